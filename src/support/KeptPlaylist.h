#pragma once
// The playlist kept between runs: an M3U file of full paths in the data folder, replaced
// atomically on every save. Any thread, one writer at a time.
#include <string>
#include <vector>

namespace spinx {

// "playlist.m3u" in the data folder (DataLocation.h).
std::string KeptPlaylistPath();

// Writes `paths` in order (a path holding a line break is left out); false with `error` set when
// the file could not be replaced.
bool SaveKeptPlaylist(const std::string& file, const std::vector<std::string>& paths,
                      std::string* error = nullptr);

// The paths saved in `file`, passing over lines that are no full path. A missing, unreadable or
// damaged file gives an empty list: the desk then simply starts with an empty playlist.
std::vector<std::string> LoadKeptPlaylist(const std::string& file);

} // namespace spinx
