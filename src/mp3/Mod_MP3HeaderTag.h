#pragma once
// The first MPEG audio frame header near the start of an MP3 file, the ID3v1 tag near its end,
// and the song identifier made from them. The functions that take a record are safe on any
// thread; the shared record `LastMp3Info` belongs to the UI thread.
//
// Stored song tables are keyed on the identifier, so every rule that feeds it stays as the
// program has always applied it, odd ones included: only FF FA / FF FB count as a sync, and
// only in the first 5000 bytes; without one the header is read from the first byte; headers
// other than MPEG-1 give bitrate and sample rate 0; the duration is 0 from 256 MiB on.
#include <cstdint>
#include <string>
#include <string_view>

namespace spinx {

// The decoded frame header and tag of one file. Strings are UTF-8; the tag's bytes are taken
// as ISO 8859-1.
struct Mp3Info {
    int16_t Bitrate = 0;    // kbit/s, 0 when unknown
    int32_t SampleRate = 0; // Hz, 0 when unknown
    std::string Mode;       // "stereo", "joint stereo", "dual channel", "single channel"
    std::string Emphasis;   // "no", "50/15", "reserved", "CCITT J 17"
    int16_t Version = 0;    // 1, 2, 25 (MPEG-2.5), 0 for the reserved value
    int16_t Layer = 0;      // 1, 2, 3, 0 for the reserved value
    std::string Padding;    // "yes" / "no"
    std::string Protection; // "yes" when a checksum follows the header
    float Duration = 0;     // whole seconds, estimated from length and bitrate
    std::string Copyright;  // "yes" / "no"
    std::string Original;   // "yes" / "no"
    std::string Private;    // "yes" / "no"
    bool HasTag = false;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::string Genre; // the genre byte as a decimal number
    std::string Track; // the character at the tag's byte 126, as it stands
};

// The record the last GetMP3ID (or a DecodeHeader on it) filled: the deck reads the title and
// artist of the song it has just identified from here. A file under 256 bytes leaves the
// previous song's tag fields in it.
extern Mp3Info LastMp3Info;

// The value of a string of "0" and "1"; any other character counts as "0". A value that does
// not fit in 16 bits gives 0.
int16_t BinToDec(std::string_view bits);

// What the reader takes from a file: its length, its first bytes (the sync search and the
// header) and its last 256 (the tag). `readable` is false when the file could not be read.
struct Mp3FileBytes {
    static constexpr std::size_t kHeadBytes = 5003; // a sync at byte 5000 still has its header
    static constexpr std::size_t kTailBytes = 256;
    std::int64_t length = 0;
    std::string head;
    std::string tail;
    bool readable = false;
};

// Reads those bytes from a regular file; never more, whatever the file's size.
Mp3FileBytes ReadMp3FileBytes(const std::string& path);
// The same from bytes in memory.
Mp3FileBytes Mp3FileBytesFromMemory(std::string_view data);

// Fills the tag fields of `info` (with `ReadTag`) and returns the header as 32 characters "0"
// and "1", most significant bit first. Returns "" and changes nothing for an empty path, a file
// that cannot be read or one under 256 bytes; also "" when the tag's genre byte is a blank or
// lies past the end, after the other tag fields were set.
std::string ReadHeaderAndTag(const std::string& path, bool ReadTag, bool ReadHeader, Mp3Info& info);
std::string ReadHeaderAndTag(const Mp3FileBytes& file, bool ReadTag, bool ReadHeader,
                             Mp3Info& info);

// Reads the file and decodes its header into `info`; never fails, a value it cannot decode
// becomes 0 or "".
void DecodeHeader(const std::string& path, bool ReadTag, bool ReadHeader, Mp3Info& info);
void DecodeHeader(const Mp3FileBytes& file, bool ReadTag, bool ReadHeader, Mp3Info& info);

// The song identifier: Bitrate, Duration, SampleRate and the file's length in bytes, written
// one after the other in decimal. "" for a missing file, and for a folder or a file that cannot
// be read (nothing to identify).
std::string GetMP3ID(const std::string& path, Mp3Info& info = LastMp3Info);
// The identifier of bytes already read; "" when they were not readable.
std::string GetMP3ID(const Mp3FileBytes& file, Mp3Info& info);

} // namespace spinx
