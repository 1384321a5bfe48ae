#pragma once
// What a DJ hears in a song: its tempo as a constant beat grid, where its first bar starts, and
// its key. Measuring decodes and examines the whole song (about a second of CPU for a
// three-minute song): call it from a worker thread, never from the UI or the audio thread.
// The key naming functions are pure and run anywhere.
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
};

// From mono or interleaved stereo float samples at `rate`.
MusicAnalysis AnalyseMusic(const float* samples, int64_t frames, int channels, int rate);

// A whole song decoded to interleaved stereo at its own rate.
struct DecodedSong {
    int rate = 0;
    std::vector<float> stereo;
    int64_t frames() const { return static_cast<int64_t>(stereo.size() / 2); }
};
// Nothing, with `reason` set, when the file cannot be decoded.
std::optional<DecodedSong> DecodeSong(const std::string& path, std::string* reason = nullptr);

// Decodes the MP3 at `path` whole and analyses it. On failure returns nothing and sets `reason`
// to a sentence a person understands.
std::optional<MusicAnalysis> AnalyseMusicFile(const std::string& path,
                                              std::string* reason = nullptr);

} // namespace spinx::engine
