#pragma once
// A song's row in the song table as the deck recalls and stores it. UI thread only. Callers
// check SongDbIsOpen() first; database failures are thrown as DbError.
#include "library/EqText.h"

#include <cstdint>
#include <optional>
#include <string>

namespace spinx {

// What a recall hands the deck: the values to put into its sliders and markers.
struct RecalledSong {
    int32_t volume = 0;
    int32_t pitch = 1000;
    std::string eq; // the stored curve text; empty when none is stored
    int32_t start = 0;
    int32_t end = 0;
};

// Finds the row of the song in `filename` by its identifier, or adds one with volume 0 and
// pitch 1000; refreshes its name, path, title and artist (read from the file's tag); gives an
// unset end marker (empty, 0 or below) the value `overlap`, in the row as well; saves the row.
// Nothing when the file cannot be identified (it has vanished or cannot be read).
std::optional<RecalledSong> RecallSong(const std::string& filename, int32_t overlap);

// Writes the song's volume, pitch and curve into its row (adding a bare row when there is none)
// together with its identifier, name and path. False when the file cannot be identified.
bool StoreSong(const std::string& filename, int32_t volume, int32_t pitch, const EqGains& eq);

// Whether the song already has a row.
bool SongHasRow(const std::string& filename);

// Writes the song's start and/or end marker into its existing row; false when it has none.
bool StoreMarkers(const std::string& filename, std::optional<int32_t> start,
                  std::optional<int32_t> end);

// How loud a song is: its integrated loudness (LUFS) and its sample peak (dBFS; unknown for a
// song measured before peaks were kept).
struct SongLevel {
    double lufs = 0;
    std::optional<double> peakDb;
};
// The song's loudness as its row keeps it; nothing when unmeasured or without a row.
std::optional<SongLevel> StoredLoudness(const std::string& filename);
// Keeps the song's measured loudness in its existing row; false when it has none.
bool StoreLoudness(const std::string& filename, const SongLevel& level);

// What listening to a song found, as its row keeps it.
struct StoredMusic {
    int version = 0;           // the analyser's
    std::optional<double> bpm; // nothing: no steady beat
    int32_t firstBeatMs = 0;
    int32_t downbeatMs = 0;
    std::string keyCode; // "8A"; empty when none was heard
    std::optional<int32_t> mixInMs, mixOutMs;
};
// The song's analysis as its row keeps it; nothing when never analysed or without a row.
std::optional<StoredMusic> StoredSongMusic(const std::string& filename);
// Keeps the song's analysis in its existing row; false when it has none.
bool StoreSongMusic(const std::string& filename, const StoredMusic& music);

} // namespace spinx
