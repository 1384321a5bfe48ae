#include "engine/realtime/Mixer.h"

#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace spinx::engine {

namespace {

// Flush-to-zero and denormals-are-zero for the mixing thread while it renders: a filter tail
// decaying into denormals would otherwise cost hundreds of cycles per sample. Restored on exit,
// because an offline render borrows the caller's thread.
class DenormalGuard {
  public:
#if defined(__SSE__)
    DenormalGuard() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | 0x8040);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved_);
    }

  private:
    unsigned saved_;
#endif
};

} // namespace

Mixer::Mixer(std::array<PlayerChannel, kPlayers>& channels, int outRate) : outRate_(outRate) {
    for (int p = 0; p < kPlayers; ++p)
        voices_[p] =
            std::make_unique<Voice>(p, channels[p], EventOutbox{events_, eventSeq_}, outRate);
}

Mixer::~Mixer() = default;

void Mixer::Render(float* out, int frames, bool offline) {
    if (rendering_.exchange(true, std::memory_order_acquire)) {
        std::memset(out, 0, sizeof(float) * 2 * frames);
        return;
    }
    DenormalGuard guard;
    Command c;
    while (commands_.Pop(c))
        voices_[c.player]->Apply(c);

    while (frames > 0) {
        const int n = frames < kMaxChunk ? frames : kMaxChunk;
        std::memset(mix_, 0, sizeof(float) * 2 * n);
        for (auto& v : voices_)
            v->Render(mix_, n, offline);
        const float target = masterGain_.load(std::memory_order_relaxed);
        const float step = (target - master_) / static_cast<float>(n);
        float g = master_;
        for (int i = 0; i < n; ++i) {
            g += step;
            out[2 * i] = mix_[2 * i] * g;
            out[2 * i + 1] = mix_[2 * i + 1] * g;
        }
        master_ = target;
        tap_.Write(out, n, offline);
        out += 2 * n;
        frames -= n;
    }
    rendering_.store(false, std::memory_order_release);
}

} // namespace spinx::engine
