#include "mp3/Mod_MP3HeaderTag.h"

#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace spinx {

Mp3Info LastMp3Info;

namespace {

constexpr std::size_t kSyncSearchBytes = 5000;
constexpr std::int64_t kShortestFile = 256;

// Bitrates in kbit/s for indexes 0 to 14 (0 = free format) of MPEG-1 Layers I, II and III.
constexpr std::array<std::array<int16_t, 15>, 3> kMpeg1Bitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
}};
constexpr std::array<int32_t, 3> kMpeg1SampleRates{44100, 48000, 32000};
constexpr std::array<int16_t, 4> kVersions{25, 0, 2, 1};
constexpr std::array<int16_t, 4> kLayers{0, 3, 2, 1};
constexpr std::array<const char*, 4> kModes{"stereo", "joint stereo", "dual channel",
                                            "single channel"};
constexpr std::array<const char*, 4> kEmphases{"no", "50/15", "reserved", "CCITT J 17"};

unsigned char ByteAt(const std::string& bytes, std::size_t index) {
    return index < bytes.size() ? static_cast<unsigned char>(bytes[index]) : 0;
}

// Substring by 0-based start, shortened or empty where the text ends.
std::string Mid(const std::string& text, std::size_t start, std::size_t length) {
    return start >= text.size() ? std::string() : text.substr(start, length);
}

std::string RTrim(std::string text) {
    const auto last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string CutAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

std::size_t FindTagNoCase(const std::string& text) {
    for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
        if ((text[i] | 0x20) == 't' && (text[i + 1] | 0x20) == 'a' && (text[i + 2] | 0x20) == 'g')
            return i;
    }
    return std::string::npos;
}

// Position of the first FF FA / FF FB pair among the first 5000 bytes, else the first byte.
// Bytes past the end of the file read as 0.
std::size_t HeaderPosition(const std::string& head) {
    for (std::size_t i = 0; i < kSyncSearchBytes; ++i) {
        const unsigned char second = ByteAt(head, i + 1);
        if (ByteAt(head, i) == 0xFF && (second == 0xFA || second == 0xFB)) return i;
    }
    return 0;
}

std::string ToBits(const std::array<unsigned char, 4>& header) {
    std::string bits;
    for (const unsigned char b : header) {
        for (int shift = 7; shift >= 0; --shift)
            bits += ((b >> shift) & 1) ? '1' : '0';
    }
    return bits;
}

// Reads the tag fields; false when the genre byte cannot be taken (a blank, which trimming
// removes, or a position past the end), after the fields before it were set.
bool ReadTagFields(const std::string& text, Mp3Info& info) {
    const std::size_t p = FindTagNoCase(text);
    if (p == std::string::npos) {
        info.HasTag = false;
        info.Title = info.Artist = info.Album = info.Year = info.Comment = info.Genre = info.Track =
            "";
        return true;
    }
    // A "tag" anywhere in the last 256 bytes wins over the real tag after it, shifting every
    // field; identifiers do not depend on it, but stored titles do.
    auto field = [&](std::size_t offset, std::size_t length) {
        return RTrim(Mid(text, p + offset, length));
    };
    info.HasTag = true;
    info.Title = Latin1ToUtf8(field(3, 30));
    info.Artist = Latin1ToUtf8(field(33, 30));
    info.Album = Latin1ToUtf8(field(63, 30));
    info.Year = Latin1ToUtf8(field(93, 4));
    info.Comment = Latin1ToUtf8(field(97, 29));
    info.Track = Latin1ToUtf8(field(126, 1));
    const std::string genre = field(127, 1);
    if (genre.empty()) return false;
    info.Genre = std::to_string(static_cast<unsigned char>(genre[0]));
    return true;
}

// The header field at 1-based bit positions [from, from + count) of the bit string, which is
// 0 for an empty string.
int Bits(const std::string& bits, std::size_t from, std::size_t count) {
    return BinToDec(Mid(bits, from - 1, count));
}

const char* YesNo(bool yes) {
    return yes ? "yes" : "no";
}

} // namespace

int16_t BinToDec(std::string_view bits) {
    int32_t value = 0;
    for (const char c : bits) {
        value = value * 2 + (c == '1' ? 1 : 0);
        if (value > INT16_MAX) return 0;
    }
    return static_cast<int16_t>(value);
}

Mp3FileBytes ReadMp3FileBytes(const std::string& path) {
    Mp3FileBytes file;
    if (path.empty()) return file;
    UniqueFd fd = OpenRegularFile(path, file.length);
    if (!fd) return file;
    const std::int64_t tailStart = std::max<std::int64_t>(
        0, file.length - static_cast<std::int64_t>(Mp3FileBytes::kTailBytes));
    file.readable = ReadAt(fd.get(), 0, Mp3FileBytes::kHeadBytes, file.head) &&
                    ReadAt(fd.get(), tailStart, Mp3FileBytes::kTailBytes, file.tail);
    return file;
}

Mp3FileBytes Mp3FileBytesFromMemory(std::string_view data) {
    Mp3FileBytes file;
    file.length = static_cast<std::int64_t>(data.size());
    file.head = data.substr(0, Mp3FileBytes::kHeadBytes);
    file.tail = data.substr(data.size() - std::min(data.size(), Mp3FileBytes::kTailBytes));
    file.readable = true;
    return file;
}

std::string ReadHeaderAndTag(const Mp3FileBytes& file, bool ReadTag, bool ReadHeader,
                             Mp3Info& info) {
    if (!file.readable || file.length < kShortestFile || file.tail.size() < kShortestFile)
        return {};
    std::array<unsigned char, 4> header{};
    if (ReadHeader) {
        const std::size_t at = HeaderPosition(file.head);
        for (std::size_t k = 0; k < header.size(); ++k)
            header[k] = ByteAt(file.head, at + k);
    }
    if (ReadTag && !ReadTagFields(file.tail, info)) return {};
    return ToBits(header);
}

std::string ReadHeaderAndTag(const std::string& path, bool ReadTag, bool ReadHeader,
                             Mp3Info& info) {
    return ReadHeaderAndTag(ReadMp3FileBytes(path), ReadTag, ReadHeader, info);
}

void DecodeHeader(const Mp3FileBytes& file, bool ReadTag, bool ReadHeader, Mp3Info& info) {
    const std::string bits = ReadHeaderAndTag(file, ReadTag, ReadHeader, info);
    if (!ReadHeader) return;
    info.Version = kVersions[Bits(bits, 12, 2)];
    info.Layer = kLayers[Bits(bits, 14, 2)];
    info.Mode = kModes[Bits(bits, 25, 2)];
    info.Emphasis = kEmphases[Bits(bits, 31, 2)];

    // Only MPEG-1 has bitrate and sample-rate tables here; MPEG-2 and 2.5 decode as 0, and
    // stored identifiers carry those zeros.
    const bool mpeg1 = info.Version == 1;
    const int bitrateIndex = Bits(bits, 17, 4);
    const bool hasTable = mpeg1 && info.Layer >= 1 && info.Layer <= 3;
    info.Bitrate = hasTable && bitrateIndex < 15 ? kMpeg1Bitrates[info.Layer - 1][bitrateIndex] : 0;
    const int rateIndex = Bits(bits, 21, 2);
    info.SampleRate = mpeg1 && rateIndex < 3 ? kMpeg1SampleRates[rateIndex] : 0;

    info.Padding = YesNo(Bits(bits, 23, 1));
    info.Private = YesNo(Bits(bits, 24, 1));
    info.Copyright = YesNo(Bits(bits, 29, 1));
    info.Original = YesNo(Bits(bits, 30, 1));
    info.Protection = YesNo(!Bits(bits, 16, 1));

    // The length in bits has always been formed in 32 bits, so from 256 MiB on it overflows and
    // the duration stays 0, as it does for an unknown bitrate.
    const std::int64_t lengthBits = file.length * 8;
    info.Duration = 0;
    if (info.Bitrate != 0 && lengthBits <= INT32_MAX) {
        info.Duration =
            static_cast<float>(std::floor(static_cast<double>(lengthBits) / info.Bitrate / 1000.0));
    }

    info.Title = CutAtNul(info.Title);
    info.Album = CutAtNul(info.Album);
    info.Artist = CutAtNul(info.Artist);
}

void DecodeHeader(const std::string& path, bool ReadTag, bool ReadHeader, Mp3Info& info) {
    DecodeHeader(ReadMp3FileBytes(path), ReadTag, ReadHeader, info);
}

std::string GetMP3ID(const Mp3FileBytes& file, Mp3Info& info) {
    DecodeHeader(file, true, true, info);
    if (!file.readable) return {};
    return std::to_string(info.Bitrate) + std::to_string(static_cast<std::int64_t>(info.Duration)) +
           std::to_string(info.SampleRate) + std::to_string(file.length);
}

std::string GetMP3ID(const std::string& path, Mp3Info& info) {
    if (!FileExists(path)) return {};
    return GetMP3ID(ReadMp3FileBytes(path), info);
}

} // namespace spinx
