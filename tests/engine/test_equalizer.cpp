// The ten-band equaliser: a response that follows the sliders, bit-transparency when flat, and
// curve changes that never click.
#include "EngineTestUtil.h"
#include "engine/realtime/Equalizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

using namespace spinx;
using namespace spinx::test;
using engine::Equalizer;

namespace {
constexpr int kRate = 44100;

EqGains All(int16_t v) {
    EqGains g;
    g.fill(v);
    return g;
}

// Gain (dB) at each of `hz` of an equaliser holding `curve`, from its impulse response.
std::vector<double> ResponseDb(const Equalizer::Curve& curve, const std::vector<double>& hz) {
    constexpr int kLength = 16384;
    Equalizer eq(kRate);
    eq.Restart(curve);
    std::vector<float> h(2 * kLength);
    h[0] = 1.0f;
    eq.Process(h.data(), kLength, curve);
    std::vector<double> db;
    for (double f : hz) {
        std::complex<double> sum = 0;
        for (int n = 0; n < kLength; ++n)
            sum += static_cast<double>(h[2 * n]) * std::polar(1.0, -2 * M_PI * f * n / kRate);
        db.push_back(20 * std::log10(std::abs(sum)));
    }
    return db;
}

// The left channel high-passed at 10 kHz (4th-order Butterworth): what a click adds to a low tone.
std::vector<double> HighPassed(const std::vector<float>& stereo) {
    std::vector<double> y(stereo.size() / 2);
    for (size_t i = 0; i < y.size(); ++i)
        y[i] = stereo[2 * i];
    const double w = 2 * M_PI * 10000.0 / kRate, c = std::cos(w);
    for (double q : {0.5412, 1.3066}) {
        const double alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
        const double b0 = (1 + c) / 2 / a0, a1 = -2 * c / a0, a2 = (1 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : y) {
            const double out = b0 * (v - 2 * x1 + x2) - a1 * y1 - a2 * y2;
            x2 = x1, x1 = v, y2 = y1, y1 = out, v = out;
        }
    }
    return y;
}
} // namespace

// The response means what the sliders say: any curve is met at every centre, a band alone
// reaches its gain, and equal bands make a flat shelf at their gain (no stacking) that leaves
// the bass under the lowest band alone.
TEST(EngineEqualizer, ResponseFollowsTheCurve) {
    const std::vector<double> centres(Equalizer::kCentresHz.begin(), Equalizer::kCentresHz.end());
    std::vector<double> between;
    for (double f = centres.front(); f <= centres.back(); f *= 1.02)
        between.push_back(f);
    std::vector<Equalizer::Curve> curves = {{12, -12, 12, -12, 12, -12, 12, -12, 12, -12},
                                            {-12, 12, -12, 12, -12, 12, -12, 12, -12, 12},
                                            {12, 7, 2, -2, -4, -4, -2, 2, 7, 12}};
    for (float g : {-12.0f, -6.0f, 6.0f, 12.0f}) {
        curves.emplace_back().fill(g);
        for (double db : ResponseDb(curves.back(), between))
            EXPECT_NEAR(db, g, 1.5) << "all bands at " << g;
        EXPECT_NEAR(ResponseDb(curves.back(), {100})[0], 0.0, 1.0) << "all bands at " << g;
    }
    for (size_t i = 0; i < curves.size(); ++i) {
        const std::vector<double> db = ResponseDb(curves[i], centres);
        for (int b = 0; b < Equalizer::kBands; ++b)
            EXPECT_NEAR(db[b], curves[i][b], 1.0) << "curve " << i << ", band " << b;
    }
    for (int b = 0; b < Equalizer::kBands; ++b) {
        for (float g : {-12.0f, 12.0f}) {
            Equalizer::Curve one{};
            one[b] = g;
            EXPECT_NEAR(ResponseDb(one, {centres[b]})[0], g, 0.5) << "band " << b << " alone";
        }
    }
}

// The EQ switched off, or a curve back at flat, leaves the sound bit for bit as decoded; a
// curve reaches the sound with its sign (-25 lifts by 3 dB, staying under the limiter).
TEST(EngineEqualizer, FlatIsBitTransparent) {
    const std::string path = ToneMp3("eq1700", 1.0, 1700, kRate, 2, "-b 256");
    const std::vector<float> straight = DecodeAll(path);
    OfflineEngine off, t;
    ASSERT_TRUE(off.Load(0, path));
    ASSERT_TRUE(t.Load(0, path));
    off.engine.SetEqualizer(0, false, All(-100));
    t.engine.SetEqualizer(0, true, All(-25));
    off.engine.PlaySound(0);
    t.engine.PlaySound(0);
    const auto unfiltered = off.Render(kRate / 4);
    for (size_t i = 1024; i < unfiltered.size() / 2; ++i)
        ASSERT_EQ(unfiltered[2 * i], straight[2 * i]) << "EQ off, frame " << i;
    const size_t boosted = kRate / 10;
    EXPECT_NEAR(RmsDb(t.Render(boosted), 0, 4096) - RmsDb(straight, 0, 4096, boosted), 3.0, 0.75);
    t.engine.SetEqualizer(0, true, All(0));
    t.Render(kRate / 4);
    const size_t from = boosted + kRate / 4;
    const auto out = t.Render(4096);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(out[2 * i], straight[2 * (from + i)]) << "back to flat, frame " << i;
}

// No curve change clicks: under a -6 dBFS 200 Hz tone, nothing above 10 kHz rises out of the
// noise (peak below -60 dBFS) when a band or the whole curve jumps, when a slider is dragged
// hard, when a curve arrives band by band (an EQ file, a song's stored curve), or when Play
// follows a change made while stopped.
TEST(EngineEqualizer, ChangesDoNotClick) {
    OfflineEngine t;
    ASSERT_TRUE(t.Load(0, ToneMp3("eq200", 4.0, 200, kRate, 2, "-b 256")));
    t.engine.PlaySound(0);
    std::vector<float> out = t.Render(kRate / 10);
    std::vector<std::pair<size_t, std::string>> parts; // where each case starts in `out`
    auto play = [&](int frames) {
        const std::vector<float> more = t.Render(frames);
        out.insert(out.end(), more.begin(), more.end());
    };
    auto send = [&](const std::string& what, const EqGains& g, int frames = kRate / 10) {
        if (!what.empty()) parts.emplace_back(out.size() / 2, what);
        t.engine.SetEqualizer(0, true, g);
        play(frames);
    };
    EqGains band9 = All(0), smile = {-100, -60, -20, 20, 40, 40, 20, -20, -60, -100}, g = All(0);
    for (int16_t v : {-100, 0, 100, 0}) {
        band9[9] = v;
        send("band 9 to " + std::to_string(v), band9);
        send("all bands to " + std::to_string(v), All(v));
    }
    parts.emplace_back(out.size() / 2, "band 9 dragged at 60 updates a second");
    for (int step = 0; step < 20; ++step) {
        band9[9] = static_cast<int16_t>(step % 2 ? 100 : -100);
        send("", band9, 735);
    }
    parts.emplace_back(out.size() / 2, "curve sent band by band");
    for (int b = 0; b < 10; ++b) {
        g[b] = smile[b];
        send("", g, 64);
    }
    send("flat again", All(0));
    t.engine.StopSound(0);
    play(kRate / 10);
    t.engine.SetEqualizer(0, true, smile);
    parts.emplace_back(out.size() / 2, "play after a change while stopped");
    t.engine.PlaySound(0);
    play(kRate / 5);

    const std::vector<double> hp = HighPassed(out);
    for (size_t p = 0; p < parts.size(); ++p) {
        const size_t end = p + 1 < parts.size() ? parts[p + 1].first : hp.size();
        double peak = 0;
        for (size_t i = parts[p].first; i < end; ++i)
            peak = std::max(peak, std::fabs(hp[i]));
        EXPECT_LT(20 * std::log10(peak + 1e-12), -60.0) << parts[p].second;
    }
}

// The bass cut of a bass swap: a 60 Hz tone goes at least 30 dB down while 1 kHz keeps its
// level, the cut and its return glide (no step beyond the tone's own), and once the lows are
// back the sound is untouched again.
TEST(EngineEqualizer, BassCutTakesTheLowsOnly) {
    for (const double hz : {60.0, 1000.0}) {
        SCOPED_TRACE(testing::Message() << hz << " Hz");
        const std::string tone = ToneMp3("basscut" + std::to_string(int(hz)), 3.0, hz);
        OfflineEngine t;
        ASSERT_TRUE(t.Load(0, tone));
        t.engine.PlaySound(0);
        const auto before = t.Render(kRate / 4);
        t.engine.SetBassCut(0, true);
        const auto gliding = t.Render(kRate / 4);
        const auto cut = t.Render(kRate / 4);
        t.engine.SetBassCut(0, false);
        const auto back = t.Render(kRate / 2);
        const double level = RmsDb(before, 0, kRate / 8);
        if (hz < 150) {
            EXPECT_LT(RmsDb(cut, 0) - level, -30.0);
        } else {
            EXPECT_NEAR(RmsDb(cut, 0) - level, 0.0, 0.5);
        }
        EXPECT_NEAR(RmsDb(back, 0, kRate / 4) - level, 0.0, 0.2);
        const double c = 2 * std::cos(2 * M_PI * hz / kRate);
        double jump = 0;
        for (const auto* part : {&gliding, &back})
            for (size_t i = 1; i + 1 < part->size() / 2; ++i)
                jump = std::max(jump, std::fabs((*part)[2 * (i + 1)] - c * (*part)[2 * i] +
                                                (*part)[2 * (i - 1)]));
        EXPECT_LT(jump, 0.01) << "a glide, not a click";
    }
}
