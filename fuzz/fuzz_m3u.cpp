// Feeds an arbitrary playlist folder and M3U text to the reader: no song is empty, no more songs
// come out than the text has lines, and no song holds a line break the folder did not bring.
#include "mixer/M3u.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string folder = in.ConsumeRandomLengthString(40);
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::vector<std::string> songs = spinx::M3uSongs(folder, text);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (songs.size() > lines) __builtin_trap();
    for (const std::string& song : songs)
        if (song.empty() ||
            (song.find('\n') != std::string::npos && folder.find('\n') == std::string::npos))
            __builtin_trap();
    // Whatever was read can be written again.
    (void)spinx::M3uText(folder, songs);
    return 0;
}
