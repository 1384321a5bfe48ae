#include "engine/output/AudioOutput.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace spinx::engine {

int RequestRealtime() {
    sched_param param{};
    param.sched_priority = std::max(1, sched_get_priority_max(SCHED_FIFO) / 2);
    const int err = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    return err == 0 ? param.sched_priority : -err;
}

void ReportRealtime(const char* thread, int granted, double latencyMs) {
    if (granted > 0)
        std::fprintf(stderr, "spinx: %s thread runs real-time (SCHED_FIFO %d); %.0f ms latency\n",
                     thread, granted, latencyMs);
    else
        std::fprintf(stderr,
                     "spinx: %s thread runs at normal priority (real-time refused: %s); %.0f ms "
                     "latency\n",
                     thread, std::strerror(-granted), latencyMs);
}

OutputStats CallbackStats::Snapshot() const {
    OutputStats s;
    s.buffers = buffers_.load(std::memory_order_relaxed);
    s.lateBuffers = late_.load(std::memory_order_relaxed);
    s.maxStartDelayUs = static_cast<double>(maxStartDelay_.load(std::memory_order_relaxed));
    uint64_t total = 0;
    for (const auto& h : histogram_)
        total += h.load(std::memory_order_relaxed);
    if (total == 0) return s;
    const uint64_t median = (total + 1) / 2;
    const uint64_t rank = total - total / 1000; // the 99.9th percentile's position
    uint64_t seen = 0;
    for (int us = 0; us <= kMaxUs; ++us) {
        const uint32_t n = histogram_[us].load(std::memory_order_relaxed);
        if (seen < median && seen + n >= median) s.p50CallbackUs = us + 1; // bucket upper bound
        if (seen < rank && seen + n >= rank) s.p999CallbackUs = us + 1;
        seen += n;
        if (n) s.maxCallbackUs = us + 1;
    }
    return s;
}

void CallbackStats::Reset() {
    for (auto& h : histogram_)
        h.store(0, std::memory_order_relaxed);
    buffers_.store(0, std::memory_order_relaxed);
    late_.store(0, std::memory_order_relaxed);
    maxStartDelay_.store(0, std::memory_order_relaxed);
}

} // namespace spinx::engine
