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
// the file cannot be decoded or holds nothing loud enough to measure (silence). `peakDb`, when
// given, receives the song's sample peak in dBFS from the same decode.
std::optional<double> MeasureLoudness(const std::string& path, std::string* reason = nullptr,
                                      LoudnessPass pass = LoudnessPass::Fast,
                                      double* peakDb = nullptr);

// The highest true (inter-sample) peak of interleaved stereo, in dBTP; nothing for silence.
std::optional<double> MeasureTruePeak(const float* stereo, int64_t frames, int rate);

inline constexpr double kDefaultTargetLufs = -14.0;
// A deck's volume slider in the middle, where songs start: the fader law's -4.5 dB.
inline constexpr double kDefaultDeckVolumeDb = -4.5154499;
// How far a boost may push a song's peaks over the limiter's ceiling: the limiter holds that
// much on the odd peak without being heard pumping.
inline constexpr double kLimiterAllowanceDb = 6.0;
// A song whose peak is not known is raised at most this much.
inline constexpr double kMaxLevellingBoostDb = 9.0;

// The trim in dB that makes a song of `loudness` play at `target` with its deck at the default
// volume; a boost stops where the song's peaks (`peakDb`, dBFS) would go further over the
// limiter's ceiling than it can take. 0 when the loudness is unknown.
double LevellingGainDb(std::optional<double> loudness, double target = kDefaultTargetLufs,
                       std::optional<double> peakDb = std::nullopt);

} // namespace spinx::engine
