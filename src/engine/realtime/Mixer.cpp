#include "engine/realtime/Mixer.h"

#include "engine/realtime/Gain.h"

#include <algorithm>
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

Mixer::Mixer(std::array<PlayerChannel, kPlayers>& channels, int outRate)
    : outRate_(outRate), limiter_(outRate, kMaxChunk) {
    for (int p = 0; p < kPlayers; ++p)
        voices_[p] =
            std::make_unique<Voice>(p, channels[p], EventOutbox{events_, eventSeq_}, outRate);
}

Mixer::~Mixer() = default;

void Mixer::MixChunk(int frames, bool offline) {
    bool sound = false;
    for (const auto& v : voices_)
        sound |= v->Audible();
    silentFrames_ = sound ? 0 : silentFrames_ + frames;

    std::memset(mix_, 0, sizeof(float) * 2 * frames);
    for (auto& v : voices_)
        v->Render(mix_, frames, offline);
    const float target = masterGain_.load(std::memory_order_relaxed);
    ScaleGliding(mix_, frames, master_, master_, target, target);
    master_ = target;
}

void Mixer::Render(float* out, int frames, bool offline) {
    if (rendering_.exchange(true, std::memory_order_acquire)) {
        std::memset(out, 0, sizeof(float) * 2 * frames);
        return;
    }
    DenormalGuard guard;
    Command c;
    while (commands_.Pop(c))
        voices_[c.player]->Apply(c);

    const bool limit = limiterOn_.load(std::memory_order_relaxed);
    if (!limit || silentFrames_ >= limiter_.Lookahead()) limiter_.Reset();
    for (auto& v : voices_)
        v->SetOutputLead(limit ? limiter_.Lookahead() : 0);
    while (limit && limiter_.Missing() > 0) {
        const int n = std::min(limiter_.Missing(), kMaxChunk);
        MixChunk(n, offline);
        limiter_.Prime(mix_, n);
    }
    while (frames > 0) {
        const int n = frames < kMaxChunk ? frames : kMaxChunk;
        MixChunk(n, offline);
        if (limit)
            limiter_.Process(mix_, out, n);
        else
            std::memcpy(out, mix_, sizeof(float) * 2 * n);
        tap_.Write(out, n, offline);
        out += 2 * n;
        frames -= n;
    }
    rendering_.store(false, std::memory_order_release);
}

} // namespace spinx::engine
