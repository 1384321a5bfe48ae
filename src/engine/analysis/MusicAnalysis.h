#pragma once
// What a DJ hears in a song: its tempo as a constant beat grid, where its first bar starts, its
// key, and where to mix it in and out. Measuring decodes and examines the whole song (about a
// second of CPU for a three-minute song): call it from a worker thread, never from the UI or the
// audio thread; another thread may abandon it through a cancel flag. The key naming functions
// are pure and run anywhere.
#include "engine/analysis/AudibleRange.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spinx::engine {

enum class Tempo {
    Steady,   // one tempo throughout: the grid holds
    Drifting, // a pulse, but no single tempo fits it (live drumming, tempo changes)
    None,     // no pulse to speak of (ambient pads, speech, silence)
};

// A constant grid: beat n falls at firstBeatMs + n * 60000 / bpm. Only meaningful for Steady.
struct BeatGrid {
    Tempo tempo = Tempo::None;
    double bpm = 0;         // rounded to 0.01
    double firstBeatMs = 0; // the first beat the song plays
    // How well the song's beats sit on the grid, 0..1: the share of the detected beats within a
    // few percent of a beat from it, times how clearly the pulse repeats at that period.
    double confidence = 0;
};

struct MusicKey {
    int tonic = 0; // pitch class of the key note: 0 = C, 1 = C#/Db, ... 11 = B
    bool minor = false;
    bool operator==(const MusicKey&) const = default;
};

// "A minor", "Eb major": the spelling DJs read on record sleeves (flats for major keys except
// F#, sharps for the minor keys that usually take them).
std::string KeyName(MusicKey key);
// The harmonic-mixing wheel: "8A" for A minor, "8B" for C major; neighbours on the wheel mix.
std::string KeyWheelCode(MusicKey key);

struct MusicAnalysis {
    double durationMs = 0;
    BeatGrid grid;
    std::optional<double> firstDownbeatMs; // the first beat of a 4/4 bar; only with a Steady grid
    std::optional<MusicKey> key;           // none when the song is silent
    AudibleRange audible;                  // as the desk's overview shows it
    // Where a DJ brings the song in and takes it out. With a Steady grid, mixInMs is the first
    // beat at or after the audible start, moved to the bar's downbeat when the bar is known (so
    // a pad intro that starts on the grid is mixed in from its start), and mixOutMs the last
    // phrase boundary with at least a beat of sound after it: phrases of 8, 16 or 32 beats
    // counted from the first downbeat (every 16- and 32-beat boundary is an 8-beat one, so this
    // is the latest multiple of 8 beats), where the phrase after it no longer fits before the
    // audible end. Without a steady grid, or in a song too short for a phrase after the mix-in,
    // they are the audible start and end as they are.
    double mixInMs = 0, mixOutMs = 0;
};

// From mono or interleaved stereo float samples at `rate`.
MusicAnalysis AnalyseMusic(const float* samples, int64_t frames, int channels, int rate);
// The same, abandoned (nothing returned) soon after `cancel` is set: it is looked at between the
// stages and every few milliseconds of work within them.
std::optional<MusicAnalysis> AnalyseMusic(const float* samples, int64_t frames, int channels,
                                          int rate, const std::atomic<bool>& cancel);

// A whole song decoded to interleaved stereo at its own rate.
struct DecodedSong {
    int rate = 0;
    std::vector<float> stereo;
    int64_t frames() const { return static_cast<int64_t>(stereo.size() / 2); }
};
// Nothing, with `reason` set, when the file cannot be decoded or `cancel` was set.
std::optional<DecodedSong> DecodeSong(const std::string& path, std::string* reason = nullptr,
                                      const std::atomic<bool>* cancel = nullptr);

// Decodes the MP3 at `path` whole and analyses it. On failure (or when cancelled) returns nothing
// and sets `reason` to a sentence a person understands.
std::optional<MusicAnalysis> AnalyseMusicFile(const std::string& path,
                                              std::string* reason = nullptr,
                                              const std::atomic<bool>* cancel = nullptr);

} // namespace spinx::engine
