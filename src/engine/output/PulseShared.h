#pragma once
// What Spinx's two streams on the sound server (the master's and the headphones') share: the
// buffer the server keeps for each, and the wait for the server's answers.
#include <pulse/def.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace spinx::engine {

// `bufferFrames` of stereo float, the server asking for `period` frames as soon as that much has
// played (with early requests; by default it would ask at the last moment, and a busy machine
// then lets it run dry), and starting once all but a period are in. As ALSA's plugin does.
inline pa_buffer_attr PlaybackBuffer(int bufferFrames, int period) {
    const uint32_t frameBytes = sizeof(float) * 2;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(bufferFrames) * frameBytes;
    attr.prebuf = static_cast<uint32_t>(bufferFrames - period) * frameBytes;
    attr.minreq = static_cast<uint32_t>(period) * frameBytes;
    attr.fragsize = static_cast<uint32_t>(-1);
    return attr;
}

// The longest wait for the server to answer a connection or a new stream.
inline constexpr std::chrono::seconds kServerAnswerWait{3};

// With the library's lock held: waits (briefly unlocked) until `done` says yes (1) or no (0),
// or the server has not answered in time (false).
template <class Done> bool AwaitServer(pa_threaded_mainloop* loop, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kServerAnswerWait;
    for (;;) {
        if (const int d = done(); d >= 0) return d > 0;
        if (std::chrono::steady_clock::now() > deadline) return false;
        pa_threaded_mainloop_unlock(loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pa_threaded_mainloop_lock(loop);
    }
}

} // namespace spinx::engine
