#pragma once
// The song table "mp3s": one row per song ever loaded, found by its song identifier, holding
// how the user last set the song up. UI thread only.
#include "library/DbValue.h"

#include <optional>
#include <string>

namespace spinx {

inline constexpr const char* kSongTable = "mp3s";
inline constexpr const char* kSongIndex = "MP3ID";

// The columns, in the order a new table receives them ("ID" comes with the table).
namespace songcol {
inline constexpr const char* ID = "ID";
inline constexpr const char* Filename = "Filename";
inline constexpr const char* Path = "Path";
inline constexpr const char* MP3ID = "MP3ID";
inline constexpr const char* EQ = "EQ";
inline constexpr const char* Volume = "Volume";
inline constexpr const char* Pitch = "Pitch";
inline constexpr const char* Title = "Title";
inline constexpr const char* Artist = "Artist";
inline constexpr const char* Start = "Start";
inline constexpr const char* End = "End";
// Integrated loudness in hundredths of a LUFS (-1423 is -14.23 LUFS); empty until measured.
inline constexpr const char* Loudness = "Loudness";
// What listening to the song found, appended after the columns above. BPM in hundredths of a
// beat per minute (empty: no steady beat); FirstBeat, Downbeat, MixIn and MixOut in ms; Key as
// the mixing wheel's code ("8A"); Analysed the analyser's version (empty: never analysed), so a
// better analyser measures again.
inline constexpr const char* BPM = "BPM";
inline constexpr const char* FirstBeat = "FirstBeat";
inline constexpr const char* Downbeat = "Downbeat";
inline constexpr const char* Key = "Key";
inline constexpr const char* MixIn = "MixIn";
inline constexpr const char* MixOut = "MixOut";
inline constexpr const char* Analysed = "Analysed";
// The song's sample peak in hundredths of a dBFS (-30 is -0.3 dBFS), measured with its
// loudness; empty until then. It bounds how far levelling may raise the song.
inline constexpr const char* Peak = "Peak";
} // namespace songcol

// A volume above the slider's range is reset at every start, before any deck reads it.
inline constexpr const char* kVolumeRepair = "UPDATE mp3s SET [Volume]=0 WHERE [Volume]>100";

// A "Loudness" value as LUFS, nothing when the song has not been measured; and back.
std::optional<double> LoudnessFromDb(const DbValue& stored);
DbValue LoudnessToDb(double lufs);

// Opens or creates the song database at `path`, brings the table and its index up to date and
// repairs stored volumes. Returns false, after telling the user why, when the program has to
// go on without song memory.
bool PrepareSongDatabase(const std::string& path);
void CloseSongDatabase();
// Every reader and writer of the table asks this first.
bool SongDbIsOpen();
// "spinx.mdb" in the program folder.
std::string SongDatabasePath();

} // namespace spinx
