#pragma once
// A song's integrated loudness (EBU R128) and the levelling gain derived from it. Measuring
// decodes the whole file: call it from a worker thread, never from the UI or the audio thread.
// The gain functions are pure and run anywhere.
#include <cstdint>
#include <optional>
#include <string>

namespace spinx::engine {

enum class LoudnessPass {
    Fast,  // metered at half the sample rate: cheaper, within a few tenths of a LU
    Exact, // metered at the song's own rate
};

// Integrated loudness in LUFS, or nothing (with `reason` set to a sentence for the user) when
// the file cannot be decoded or holds nothing loud enough to measure (silence).
std::optional<double> MeasureLoudness(const std::string& path, std::string* reason = nullptr,
                                      LoudnessPass pass = LoudnessPass::Fast);

// The highest true (inter-sample) peak of interleaved stereo, in dBTP; nothing for silence.
std::optional<double> MeasureTruePeak(const float* stereo, int64_t frames, int rate);

inline constexpr double kDefaultTargetLufs = -14.0;
// Quiet songs are raised at most this much, so the master limiter is not kept working all the
// time; loud ones are lowered as far as needed.
inline constexpr double kMaxLevellingBoostDb = 9.0;

// The trim in dB that brings a song of `loudness` to `target`; 0 when the loudness is unknown.
double LevellingGainDb(std::optional<double> loudness, double target = kDefaultTargetLufs,
                       double maxBoostDb = kMaxLevellingBoostDb);

} // namespace spinx::engine
