#include "engine/output/NullOutput.h"

#include "engine/realtime/Mixer.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace spinx::engine {

NullOutput::NullOutput(Mixer& mixer, int rate, int framesPerBuffer)
    : mixer_(mixer), rate_(rate), frames_(framesPerBuffer) {
    thread_ = std::thread([this] { Run(); });
}

NullOutput::~NullOutput() {
    quit_.store(true, std::memory_order_relaxed);
    thread_.join();
}

void NullOutput::Run() {
    ReportRealtime("clock", RequestRealtime(), 1000.0 * frames_ / rate_);

    using Clock = std::chrono::steady_clock;
    std::vector<float> buffer(static_cast<size_t>(frames_) * 2);
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames_) / rate_));
    auto due = Clock::now();
    while (!quit_.load(std::memory_order_relaxed)) {
        const auto start = Clock::now();
        mixer_.Render(buffer.data(), frames_, /*offline=*/false);
        const auto end = Clock::now();
        // A device would start playing this buffer one period after it was asked for it.
        const bool late = end > due + period;
        stats_.Record(std::chrono::duration<double, std::micro>(end - start).count(), late);
        stats_.RecordStartDelay(std::chrono::duration<double, std::micro>(start - due).count());
        due += period;
        if (end > due + 4 * period) due = end; // far behind (a stalled machine): catch up
        std::this_thread::sleep_until(due);
    }
}

} // namespace spinx::engine
