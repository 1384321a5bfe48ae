#pragma once
// The title and artist a song's tags give (ID3v2 2.3 and 2.4 in any of their text encodings,
// else ID3v1), and the name a row or a caption shows for the song. Any thread.
#include <string>

namespace spinx {

struct SongTitle {
    std::string title; // UTF-8, trimmed; empty when no tag names it
    std::string artist;
};

// Empty fields for a file without such tags, or one that cannot be read.
SongTitle ReadSongTitle(const std::string& path);

// "Artist - Title", the title alone without an artist, else "" (the caller shows the file name).
std::string ShownSongName(const SongTitle& song);

} // namespace spinx
