// Feeds arbitrary bytes to the MP3 reader as a file's contents and checks that the identifier
// is always the four numbers it is made of.
#include "mp3/Mod_MP3HeaderTag.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    spinx::Mp3Info info;
    const std::string id = spinx::GetMP3ID(spinx::Mp3FileBytesFromMemory(bytes), info);
    const std::string expected = std::to_string(info.Bitrate) +
                                 std::to_string(static_cast<int64_t>(info.Duration)) +
                                 std::to_string(info.SampleRate) + std::to_string(size);
    if (id != expected || info.Duration < 0 || info.Bitrate < 0 || info.Bitrate > 448)
        __builtin_trap();
    return 0;
}
