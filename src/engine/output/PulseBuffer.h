#pragma once
// The buffer the sound server keeps for each of Spinx's playback streams (the master's and the
// headphones').
#include <pulse/def.h>

#include <cstdint>

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

} // namespace spinx::engine
