#include "engine/analysis/Loudness.h"

#include "engine/loader/Mp3Decoder.h"
#include "engine/realtime/Limiter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace spinx::engine {

namespace {
constexpr int kChunkFrames = 8192;

struct StateDeleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};
} // namespace

std::optional<double> MeasureLoudness(const std::string& path, std::string* reason,
                                      LoudnessPass pass, double* peakDb) {
    auto fail = [&](const char* text) -> std::optional<double> {
        if (reason && text) *reason = text;
        return std::nullopt;
    };
    Mp3Decoder decoder;
    if (!decoder.Open(path, reason)) return fail(nullptr);
    // The fast pass meters every other frame, unfiltered. Decimating keeps a signal's power, and
    // what folds down from above half the rate lands where the weighting is as flat as where it
    // came from (+4 dB above 2 kHz), so it halves the meter's work at a small error. (Decoding
    // at half rate would be no cheaper and would lose the top octave instead.)
    const int step = pass == LoudnessPass::Fast && decoder.Rate() >= 32000 ? 2 : 1;
    std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(2, static_cast<unsigned long>(decoder.Rate() / step), EBUR128_MODE_I));
    if (!state) return fail("The loudness meter cannot start.");
    std::vector<float> buffer(kChunkFrames * 2);
    int64_t decoded = 0;
    float peak = 0.0f;
    for (bool end = false; !end;) {
        const int got = decoder.Read(buffer.data(), kChunkFrames, &end);
        if (got == 0) break;
        for (int i = 0; i < 2 * got; ++i)
            peak = std::max(peak, std::fabs(buffer[i]));
        int kept = 0;
        for (int i = static_cast<int>((step - decoded % step) % step); i < got; i += step, ++kept) {
            buffer[2 * kept] = buffer[2 * i];
            buffer[2 * kept + 1] = buffer[2 * i + 1];
        }
        decoded += got;
        ebur128_add_frames_float(state.get(), buffer.data(), static_cast<size_t>(kept));
    }
    double lufs = -HUGE_VAL;
    if (ebur128_loudness_global(state.get(), &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
        return fail("The song is silent: there is no loudness to measure.");
    if (peakDb) *peakDb = 20 * std::log10(std::max(peak, 1e-6f));
    return lufs;
}

std::optional<double> MeasureTruePeak(const float* stereo, int64_t frames, int rate) {
    std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(2, static_cast<unsigned long>(rate), EBUR128_MODE_TRUE_PEAK));
    if (!state || frames <= 0) return std::nullopt;
    ebur128_add_frames_float(state.get(), stereo, static_cast<size_t>(frames));
    double peak = 0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double p = 0;
        if (ebur128_true_peak(state.get(), channel, &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    if (peak <= 0) return std::nullopt;
    return 20 * std::log10(peak);
}

double LevellingGainDb(std::optional<double> loudness, double target,
                       std::optional<double> peakDb) {
    if (!loudness || !std::isfinite(*loudness)) return 0.0;
    const double ceilingDb = 20 * std::log10(static_cast<double>(Limiter::kCeiling));
    const double most = peakDb ? ceilingDb - *peakDb + kLimiterAllowanceDb : kMaxLevellingBoostDb;
    return std::min(target - *loudness, most) - kDefaultDeckVolumeDb;
}

} // namespace spinx::engine
