#include "mp3/SongTitle.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

namespace spinx {

namespace {
std::string Trimmed(const TagLib::String& text) {
    return text.stripWhiteSpace().to8Bit(true);
}

SongTitle FromTag(const TagLib::Tag* tag) {
    if (!tag) return {};
    return {Trimmed(tag->title()), Trimmed(tag->artist())};
}
} // namespace

SongTitle ReadSongTitle(const std::string& path) {
    // Only the tags are wanted: no audio properties, which would read the first frames too.
    TagLib::MPEG::File file(path.c_str(), false);
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
