#include "engine/output/FallibleOutput.h"

#include "engine/output/NullOutput.h"

#include <algorithm>

namespace spinx::engine {

FallibleOutput::FallibleOutput(int rate, int mixerFrames, double latencyMs)
    : rate_(rate), mixerFrames_(mixerFrames), latencyMs_(latencyMs) {}

FallibleOutput::~FallibleOutput() = default;

OutputKind FallibleOutput::Kind() const {
    return fallbackReady_.load(std::memory_order_acquire) ? OutputKind::Null : OutputKind::Default;
}

OutputStats FallibleOutput::Snapshot() const {
    if (NullOutput* n = fallbackReady_.load(std::memory_order_acquire)) return n->Snapshot();
    OutputStats s = stats_.Snapshot();
    s.latencyMs = latencyMs_;
    return s;
}

void FallibleOutput::ResetStats() {
    if (NullOutput* n = fallbackReady_.load(std::memory_order_acquire)) n->ResetStats();
    stats_.Reset();
}

bool FallibleOutput::Silent(const float* buffer, int samples) {
    return std::all_of(buffer, buffer + samples, [](float x) { return x == 0.0f; });
}

void FallibleOutput::FallBack(Mixer& mixer) {
    fallback_ = std::make_unique<NullOutput>(mixer, rate_, mixerFrames_);
    fallbackReady_.store(fallback_.get(), std::memory_order_release);
}

void FallibleOutput::StopFallback() {
    fallback_.reset();
}

} // namespace spinx::engine
