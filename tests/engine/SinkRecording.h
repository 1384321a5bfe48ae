#pragma once
// One of the test sound server's null sinks (spinx_null unless told), recorded from its monitor
// by parec (16-bit stereo at 44.1 kHz) while this lives: for the real-output tests and the bench.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace spinx::test {

class SinkRecording {
  public:
    explicit SinkRecording(std::string path, const std::string& sink = "spinx_null")
        : path_(std::move(path)) {
        const std::string command = "parec --device=" + sink +
                                    ".monitor --raw --format=s16le "
                                    "--rate=44100 --channels=2 > '" +
                                    path_ + "' & echo $!";
        if (FILE* shell = popen(command.c_str(), "r")) {
            if (std::fscanf(shell, "%d", &pid_) != 1) pid_ = -1;
            pclose(shell);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // parec connects
    }
    ~SinkRecording() { Stop(); }

    // Stops recording; every frame heard, one int32 per frame (zero only when both channels
    // are).
    const std::vector<int32_t>& Stop() {
        if (pid_ <= 0) return frames_;
        kill(pid_, SIGTERM);
        pid_ = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::ifstream in(path_, std::ios::binary);
        for (int32_t frame = 0; in.read(reinterpret_cast<char*>(&frame), sizeof frame);)
            frames_.push_back(frame);
        return frames_;
    }
    // Stops recording; the longest stretch of digital silence in ms between the first and last
    // sound (-1 when nothing was heard).
    double LongestSilenceMs() {
        const std::vector<int32_t>& frames = Stop();
        size_t first = 0, last = frames.size();
        while (first < last && frames[first] == 0)
            ++first;
        while (last > first && frames[last - 1] == 0)
            --last;
        if (first == last) return -1;
        const auto level = [](int32_t f) {
            return std::max(std::abs(static_cast<int16_t>(f & 0xffff)), std::abs(f >> 16));
        };
        int peak = 1;
        for (size_t i = first; i < last; ++i)
            peak = std::max(peak, level(frames[i]));
        startStep_ = static_cast<double>(level(frames[first])) / peak;
        size_t longest = 0, run = 0;
        for (size_t i = first; i < last; ++i) {
            run = frames[i] == 0 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return static_cast<double>(longest) * 1000.0 / 44100;
    }
    // After LongestSilenceMs: the first sound's first sample against the loudest one (a fade-in
    // starts near 0; a start that skipped ahead jumps).
    double StartStep() const { return startStep_; }

  private:
    std::string path_;
    int pid_ = -1;
    std::vector<int32_t> frames_;
    double startStep_ = 1;
};

} // namespace spinx::test
