#include "mp3/SongTitle.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

#include "support/FileIo.h"

#include <algorithm>

namespace spinx {

namespace {
std::string Trimmed(const TagLib::String& text) {
    return text.stripWhiteSpace().to8Bit(true);
}

SongTitle FromTag(const TagLib::Tag* tag) {
    if (!tag) return {};
    return {Trimmed(tag->title()), Trimmed(tag->artist())};
}

// A tag larger than this holds pictures, not more of a title.
constexpr int64_t kMaxTagBytes = 16 << 20;

// The song's tags and nothing else: the ID3v2 tag at its start, followed by the ID3v1 tag at its
// end. Only from a regular file, opened without waiting: a named pipe, a device or a huge file
// of zeros never holds the caller.
std::string TagBytes(const std::string& path) {
    int64_t size = 0;
    const UniqueFd fd = OpenRegularFile(path, size);
    std::string v2, v1, header;
    if (!fd) return {};
    if (ReadAt(fd.get(), 0, 10, header) && header.size() == 10 &&
        header.compare(0, 3, "ID3") == 0) {
        const auto syncsafe = [&](int i) { return static_cast<int64_t>(header[i] & 0x7f); };
        const int64_t footer = (header[5] & 0x10) ? 10 : 0;
        const int64_t tag =
            10 + footer + (syncsafe(6) << 21 | syncsafe(7) << 14 | syncsafe(8) << 7 | syncsafe(9));
        if (tag > std::min(size, kMaxTagBytes) ||
            !ReadAt(fd.get(), 0, static_cast<size_t>(tag), v2))
            v2.clear();
    }
    if (size >= static_cast<int64_t>(v2.size()) + 128 && ReadAt(fd.get(), size - 128, 128, v1) &&
        v1.compare(0, 3, "TAG") == 0)
        return v2 + v1;
    return v2;
}
} // namespace

SongTitle ReadSongTitle(const std::string& path) {
    const std::string tags = TagBytes(path);
    if (tags.empty()) return {};
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(tags.data(), static_cast<unsigned int>(tags.size())));
    // Only the tags are wanted: no audio properties.
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid()) return {};
    SongTitle song = FromTag(file.ID3v2Tag());
    if (song.title.empty()) song = FromTag(file.ID3v1Tag());
    return song;
}

std::string ShownSongName(const SongTitle& song) {
    if (song.title.empty()) return {};
    return song.artist.empty() ? song.title : song.artist + " - " + song.title;
}

} // namespace spinx
