#pragma once
// What the real-output figures share: a private PulseAudio server with a null sink, recordings
// of its monitor, and generated songs.
#include "Bench.h"
#include "engine/OrdinaryScheduling.h"
#include "engine/SinkRecording.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
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

} // namespace spinx::bench
