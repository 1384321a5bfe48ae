#include "engine/output/HeadphoneOutput.h"

#include "engine/output/AlsaHeadphones.h"
#include "engine/output/PulseHeadphones.h"

#include <cstdint>
#include <cstdio>
#include <unistd.h>

namespace spinx::engine {

namespace {
// What the ring keeps at least between the two devices' bursts (about 4 ms at 44.1 kHz): the
// threads' wake-ups jitter by about that much on a desktop.
constexpr int kCushionFrames = 192;
} // namespace

HeadphoneOutput::HeadphoneOutput(HeadphoneRing& feed, int rate, double bufferMs, int wakeFd)
    : feed_(feed), rate_(rate), bufferMs_(bufferMs), wakeFd_(wakeFd) {}

double HeadphoneOutput::LatencyMs() const {
    return bufferMs_ + 1000.0 * feed_.AverageWaitFrames() / rate_;
}

void HeadphoneOutput::Lose(const char* why) {
    if (lost_.load(std::memory_order_acquire)) return;
    std::snprintf(why_, sizeof why_, "%s", why);
    lost_.store(true, std::memory_order_release);
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

std::unique_ptr<HeadphoneOutput> OpenHeadphones(const std::string& name, int rate, int latencyMs,
                                                HeadphoneRing& feed, int wakeFd,
                                                std::string* reason) {
    feed.Attach(kCushionFrames);
    bool noServer = false;
    std::string serverReason;
    if (auto server =
            PulseHeadphones::Open(name, rate, latencyMs, feed, wakeFd, &serverReason, &noServer))
        return server;
    feed.Attach(kCushionFrames);
    std::string alsaReason;
    if (auto device = AlsaHeadphones::Open(name, rate, latencyMs, feed, wakeFd, &alsaReason))
        return device;
    // Without a server, ALSA is all there is; with one, the name was meant for either.
    *reason = noServer ? alsaReason : serverReason + "; " + alsaReason;
    return nullptr;
}

} // namespace spinx::engine
