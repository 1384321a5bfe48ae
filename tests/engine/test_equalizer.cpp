// The ten-band equaliser: gains at the band centres, what it leaves alone, and smooth changes.
#include "EngineTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace spinx;
using namespace spinx::test;

namespace {
constexpr int kRate = 44100;
constexpr int kCentres[10] = {600, 1000, 1700, 2400, 3000, 3700, 4300, 5000, 8000, 13700};
constexpr size_t kSettled = 8192; // past the start fade and the gain glide

std::string ToneAt(int hz) {
    return ToneMp3("eq" + std::to_string(hz), 1.0, hz, kRate, 2, "-b 256");
}

// RMS (dB) of the left channel of `path` played with `gains`.
double LevelWith(const std::string& path, const EqGains& gains, bool enabled = true) {
    OfflineEngine t;
    EXPECT_TRUE(t.Load(0, path));
    t.engine.SetEqualizer(0, enabled, gains);
    t.engine.SetMasterVolume(0, 25); // keeps the boosts under the limiter's ceiling
    t.engine.PlaySound(0);
    return RmsDb(t.Render(kRate / 2), 0, kSettled);
}

EqGains All(int16_t v) {
    EqGains g;
    g.fill(v);
    return g;
}
} // namespace

// Each band lifts a tone at its centre by 12 dB at -100 and cuts it by 12 dB at +100.
TEST(EngineEqualizer, BandCentresMoveTwelveDecibels) {
    for (int band = 0; band < 10; ++band) {
        const std::string tone = ToneAt(kCentres[band]);
        const double flat = LevelWith(tone, All(0));
        EqGains g = All(0);
        g[band] = -100;
        EXPECT_NEAR(LevelWith(tone, g) - flat, 12.0, 1.0) << kCentres[band] << " Hz boost";
        g[band] = 100;
        EXPECT_NEAR(LevelWith(tone, g) - flat, -12.0, 1.0) << kCentres[band] << " Hz cut";
        g[band] = -50;
        EXPECT_NEAR(LevelWith(tone, g) - flat, 6.0, 1.0) << kCentres[band] << " Hz half boost";
    }
}

// A 100 Hz tone lies below every band: the whole curve at either extreme moves it < 1 dB.
TEST(EngineEqualizer, LowToneStaysPut) {
    const std::string tone = ToneAt(100);
    const double flat = LevelWith(tone, All(0));
    EXPECT_NEAR(LevelWith(tone, All(-100)), flat, 1.0);
    EXPECT_NEAR(LevelWith(tone, All(100)), flat, 1.0);
}

// All bands at 0 leave the sound bit for bit as decoded, enabled or not.
TEST(EngineEqualizer, FlatCurveIsBitTransparent) {
    const std::string path = ToneAt(3000);
    const std::vector<float> straight = DecodeAll(path);
    for (bool enabled : {true, false}) {
        OfflineEngine t;
        ASSERT_TRUE(t.Load(0, path));
        t.engine.SetEqualizer(0, enabled, All(0));
        t.engine.PlaySound(0);
        const auto out = t.Render(kRate / 2);
        for (size_t i = 1024; i < out.size() / 2; ++i)
            ASSERT_EQ(out[2 * i], straight[2 * i]) << "frame " << i;
    }
}

// Returning the curve to flat ends bit-transparent again once the filters have rung out.
TEST(EngineEqualizer, BackToFlatIsTransparentAgain) {
    const std::string path = ToneAt(1700);
    const std::vector<float> straight = DecodeAll(path);
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, path));
    t.engine.SetEqualizer(0, true, All(60));
    t.engine.PlaySound(0);
    t.Render(kRate / 10);
    t.engine.SetEqualizer(0, true, All(0));
    t.Render(kRate / 4);
    const size_t from = kRate / 10 + kRate / 4;
    const auto out = t.Render(4096);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(out[2 * i], straight[2 * (from + i)]) << i;
}

// A band thrown between its extremes at 60 updates a second (a slider dragged hard) makes no
// click: the signal's curvature (second difference) never exceeds what the loudest steady tone
// has. Without the gain glide each jump would kink the waveform.
TEST(EngineEqualizer, DraggingABandDoesNotClick) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneAt(1000)));
    t.engine.PlaySound(0);
    t.Render(4096);
    float worst = 0;
    std::vector<float> prev;
    for (int step = 0; step <= 40; ++step) {
        EqGains g = All(0);
        g[1] = static_cast<int16_t>(step % 2 ? 100 : -100);
        t.engine.SetEqualizer(0, true, g);
        const auto out = t.Render(735, 735);
        std::vector<float> l = prev;
        for (size_t i = 0; i < 735; ++i)
            l.push_back(out[2 * i]);
        for (size_t i = 2; i < l.size(); ++i)
            worst = std::max(worst, std::fabs(l[i] - 2 * l[i - 1] + l[i - 2]));
        prev.assign(l.end() - 2, l.end());
    }
    // A 1 kHz sine of amplitude 0.5 x 4 (+12 dB) curves by at most 2 * (2 pi 1000 / 44100)^2.
    EXPECT_LT(worst, 2.0f * std::pow(2 * M_PI * 1000 / kRate, 2) * 1.1);
}
