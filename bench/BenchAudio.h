#pragma once
// What the real-output figures share: a private PulseAudio server with a null sink, recordings
// of its monitor, and generated songs.
#include "Bench.h"
#include "engine/OrdinaryScheduling.h"

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

// The null sink's monitor recorded by parec (16-bit stereo at 44.1 kHz) until Stop.
class SinkRecording {
  public:
    explicit SinkRecording(std::string path) : path_(std::move(path)) {
        const std::string command = "parec --device=spinx_null.monitor --raw --format=s16le "
                                    "--rate=44100 --channels=2 > '" +
                                    path_ + "' & echo $!";
        if (FILE* shell = popen(command.c_str(), "r")) {
            if (std::fscanf(shell, "%d", &pid_) != 1) pid_ = -1;
            pclose(shell);
        }
    }
    ~SinkRecording() { Stop(); }
    std::vector<int32_t> Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            for (int i = 0; i < 100 && kill(pid_, 0) == 0; ++i)
                usleep(10000);
            pid_ = -1;
        }
        return RecordedFrames(path_);
    }

  private:
    std::string path_;
    int pid_ = -1;
};

// The longest run of digital silence between the first and the last sound, in ms; -1 when
// nothing was heard.
inline double LongestGapMs(const std::vector<int32_t>& frames, int rate) {
    size_t first = 0, last = frames.size();
    while (first < last && frames[first] == 0)
        ++first;
    while (last > first && frames[last - 1] == 0)
        --last;
    if (first == last) return -1;
    size_t longest = 0, run = 0;
    for (size_t i = first; i < last; ++i) {
        run = frames[i] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return 1000.0 * static_cast<double>(longest) / rate;
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
