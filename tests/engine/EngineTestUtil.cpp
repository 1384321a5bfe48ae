#include "EngineTestUtil.h"

#include "engine/loader/Mp3Decoder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace spinx::test {

void PumpEvents(Aspinx& engine, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        engine.DeliverEvents();
        QThread::msleep(10);
    }
}

bool Within(int ms, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

std::string ScratchDir() {
    // Kept in a plain array: the exit handler runs after static strings are destroyed.
    static char dir[] = "/tmp/spinx-engine-test-XXXXXX";
    static const bool made = [] {
        if (!::mkdtemp(dir)) return false;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        return true;
    }();
    (void)made;
    return dir;
}

bool Shell(const std::string& command) {
    const int rc = std::system(command.c_str());
    EXPECT_EQ(rc, 0) << command;
    return rc == 0;
}

std::string SynthMp3(const std::string& name, const std::string& synth, const std::string& lameArgs,
                     int rate, int channels) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const std::string wav = ScratchDir() + "/" + name + ".wav";
    const std::string mp3 = ScratchDir() + "/" + name + ".mp3";
    // -R: sox dithers with a fixed seed, so a test's song is the same bytes on every run.
    if (!Shell("sox -q -R -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
               " -b 16 '" + wav + "' synth " + synth) ||
        !Shell("lame --silent " + lameArgs + " '" + wav + "' '" + mp3 + "'"))
        return {};
    std::filesystem::remove(wav);
    return made[name] = mp3;
}

std::string ToneMp3(const std::string& name, double seconds, double freq, int rate, int channels,
                    const std::string& lameArgs) {
    char synth[64];
    std::snprintf(synth, sizeof synth, "%.6f sine %.3f vol 0.5", seconds, freq);
    return SynthMp3(name, synth, lameArgs, rate, channels);
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string TruncatedCopy(const std::string& path, const std::string& name, long bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string data(static_cast<size_t>(bytes), '\0');
    in.read(data.data(), bytes);
    data.resize(static_cast<size_t>(in.gcount()));
    return WriteFile(name, data);
}

std::vector<float> DecodeAll(const std::string& path, int* rate) {
    engine::Mp3Decoder d;
    std::string reason;
    EXPECT_TRUE(d.Open(path, &reason)) << reason;
    if (rate) *rate = d.Rate();
    std::vector<float> all;
    std::vector<float> buf(4096 * 2);
    for (bool end = false; !end;) {
        const int got = d.Read(buf.data(), 4096, &end);
        all.insert(all.end(), buf.begin(), buf.begin() + 2 * got);
        if (got == 0 && !end) break;
    }
    return all;
}

double ToneFrequency(const std::vector<float>& stereo, int channel, int rate) {
    const size_t frames = stereo.size() / 2;
    long first = -1, last = -1, crossings = 0;
    for (size_t i = 1; i < frames; ++i) {
        const float a = stereo[2 * (i - 1) + channel], b = stereo[2 * i + channel];
        if (a < 0.0f && b >= 0.0f) {
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

float Peak(const std::vector<float>& stereo, int channel, size_t from, size_t to) {
    float peak = 0.0f;
    to = std::min(to, stereo.size() / 2);
    for (size_t i = from; i < to; ++i)
        for (int c = 0; c < 2; ++c)
            if (channel < 0 || channel == c) peak = std::max(peak, std::fabs(stereo[2 * i + c]));
    return peak;
}

double RmsDb(const std::vector<float>& stereo, int channel, size_t from, size_t to) {
    to = std::min(to, stereo.size() / 2);
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(stereo[2 * i + channel]) * stereo[2 * i + channel];
    const double rms = std::sqrt(sum / std::max<size_t>(1, to - from));
    return 20.0 * std::log10(std::max(rms, 1e-12));
}

OfflineEngine::OfflineEngine() {
    QObject::connect(&engine, &Aspinx::SoundDone, [this](int16_t p) { ++done[p]; });
    QObject::connect(&engine, &Aspinx::SoundLoaded, [this](int16_t p, int16_t item) {
        EXPECT_EQ(item, 0);
        ++loaded[p];
    });
    QObject::connect(&engine, &Aspinx::SoundLoadFailed, [this](int16_t p, QString, QString why) {
        ++failed[p];
        lastFailure = why;
    });
    QObject::connect(&engine, &Aspinx::VUMeterValueChange, [this](int16_t p, int16_t l, int16_t r) {
        levels.push_back({p, l, r});
    });
}

bool OfflineEngine::Load(int player, const std::string& path) {
    const int before = loaded[player];
    engine.LoadSound(static_cast<int16_t>(player), path);
    EXPECT_TRUE(engine.WaitIdle(10000));
    return loaded[player] == before + 1;
}

std::vector<float> OfflineEngine::Render(int frames, int chunk) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (int at = 0; at < frames; at += chunk) {
        const int n = std::min(chunk, frames - at);
        engine.RenderOffline(out.data() + 2 * at, n);
    }
    return out;
}

} // namespace spinx::test
