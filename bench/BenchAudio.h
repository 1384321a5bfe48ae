#pragma once
// What the real-output figures share: a private PulseAudio server with a null sink, recordings
// of its monitor, and generated songs.
#include "Bench.h"
#include "engine/Aspinx.h"
#include "engine/OrdinaryScheduling.h"
#include "engine/SinkRecording.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace spinx::bench {

using test::OrdinaryScheduling;
using test::SinkRecording;

// A private PulseAudio server with a null sink (the same one the real-output test uses), so
// that the default output is the real path, paced by the server's clock. Stopped again when
// this goes away; Stop and Start take it down and up meanwhile.
class SoundServer {
  public:
    SoundServer() : dir_(TempFolder() + "/pulse") {
        setenv("PULSE_RUNTIME_PATH", (dir_ + "/run").c_str(), 1);
        setenv("PULSE_STATE_PATH", (dir_ + "/state").c_str(), 1);
        Start();
    }
    ~SoundServer() { Stop(); }
    bool Start() { return up_ = std::system(Script("start").c_str()) == 0; }
    void Stop() {
        std::system(Script("stop").c_str());
        up_ = false;
    }
    bool Up() const { return up_; }
    const std::string& Dir() const { return dir_; }

  private:
    std::string Script(const char* verb) const {
        return std::string("'") + SPINX_PULSE_SCRIPT + "' " + verb + " '" + dir_ + "' >/dev/null";
    }
    std::string dir_;
    bool up_ = false;
};

// A 16-bit stereo recording, one int32 per frame (zero exactly when both channels are).
inline std::vector<int32_t> RecordedFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int32_t> frames;
    int32_t frame = 0;
    while (in.read(reinterpret_cast<char*>(&frame), sizeof frame))
        frames.push_back(frame);
    return frames;
}

// Child processes that spin on the CPU until this goes away (busy loops a freeze of this
// process does not stop).
class BusyLoops {
  public:
    explicit BusyLoops(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                for (;;)
                    asm volatile("" ::: "memory");
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyLoops() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

  private:
    std::vector<pid_t> pids_;
};

// Lets the workers finish their after-load work (the scan, the overview's sampling pass).
inline void SettleWorkers(Aspinx& engine, int players) {
    const double start = NowSeconds();
    for (;;) {
        engine.DeliverEvents();
        int ready = 0;
        for (int16_t p = 0; p < players; ++p)
            ready += engine.GetWaveform(p) != nullptr;
        if (ready == players || NowSeconds() - start > 30) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Four decks of `song` with everything working: pitch 1080, balance off centre, a full EQ curve,
// each at `volume`.
inline void LoadBusyDecks(Aspinx& engine, const std::string& song, int16_t volume = 80) {
    for (int16_t p = 0; p < 4; ++p) {
        engine.LoadSound(p, QString::fromStdString(song));
        engine.SetPitch(p, 1080);
        engine.SetBalance(p, 35);
        engine.SetVolume(p, volume);
        engine.SetEqualizer(p, true, spinx::EqGains{-60, 30, -20, 10, 40, -35, 15, -50, 25, -70});
    }
    engine.WaitIdle(10000);
    SettleWorkers(engine, 4);
}

} // namespace spinx::bench
