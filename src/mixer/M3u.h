#pragma once
// The playlist's rules on paths and M3U text, apart from the window so that they can be checked
// on their own. Pure functions on UTF-8 byte strings, any thread.
//
// Paths we build use "/"; "\" in what we read is a folder separator too, so lists written on
// Windows still resolve.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spinx {

// The largest playlist file read: hundreds of thousands of songs; anything larger is not a list.
inline constexpr std::int64_t kPlaylistMaxBytes = 16 << 20;

// `name` inside `folder`; an empty folder leaves the name as it is.
std::string JoinPath(const std::string& folder, const std::string& name);

// The song that one line of an M3U names, or nothing for a line that names none (blank, or a
// "#" comment such as #EXTM3U and #EXTINF). A drive ("C:"), a share ("\\server") or a leading
// separator makes the line absolute and it is taken as it is; any other line is relative to
// `listFolder`, the folder of the playlist file.
std::optional<std::string> M3uSongPath(const std::string& listFolder, std::string_view line);

// The songs of a whole M3U text, in order. Lines end in LF or CR LF; a leading UTF-8 byte order
// mark is not part of the first line.
std::vector<std::string> M3uSongs(const std::string& listFolder, std::string_view text);

// The line naming `songPath` in a playlist saved into `listFolder`: relative, with "/", when
// the song lies in that folder or below it; otherwise the song's full path as it is.
std::string M3uLine(const std::string& listFolder, const std::string& songPath);

// A whole playlist file: one line per song, each ending in CR LF.
std::string M3uText(const std::string& listFolder, const std::vector<std::string>& songs);

// Whether `path` names a song (".mp3") or a playlist (".m3u"), in any case.
enum class PlaylistEntry { Song, Playlist, Other };
PlaylistEntry EntryKind(const std::string& path);

} // namespace spinx
