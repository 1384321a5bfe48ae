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
    : outRate_(outRate), limiter_(outRate, kMaxChunk), headphones_(limiter_.Lookahead()) {
    for (int p = 0; p < kPlayers; ++p)
        voices_[p] =
            std::make_unique<Voice>(p, channels[p], EventOutbox{events_, eventSeq_}, outRate);
}

Mixer::~Mixer() = default;

void Mixer::MixChunk(int frames, bool offline, bool cue) {
    bool sound = false;
    for (const auto& v : voices_)
        sound |= v->Audible();
    silentFrames_ = sound ? 0 : silentFrames_ + frames;

    std::memset(mix_, 0, sizeof(float) * 2 * frames);
    float* bus = cue ? headphones_.Begin(frames) : nullptr;
    for (auto& v : voices_)
        v->Render(mix_, frames, offline, bus);
    const float target = masterGain_.load(std::memory_order_relaxed);
    ScaleGliding(mix_, frames, master_, master_, target, target);
    master_ = target;
    if (cue) headphones_.Mix(mix_, frames);
}

void Mixer::SendHeadphones(float* out, int frames, HeadphoneRoute route, float* headphones) {
    const float* mix = headphones_.Take(frames);
    if (headphones) std::memcpy(headphones, mix, sizeof(float) * 2 * frames);
    if (route == HeadphoneRoute::Ring) {
        feed_.Write(mix, frames);
    } else if (route == HeadphoneRoute::Split) {
        for (int i = 0; i < frames; ++i) {
            out[2 * i] = 0.5f * (out[2 * i] + out[2 * i + 1]);
            out[2 * i + 1] = 0.5f * (mix[2 * i] + mix[2 * i + 1]);
        }
    }
}

void Mixer::Render(float* out, int frames, bool offline, float* headphones) {
    if (rendering_.exchange(true, std::memory_order_acquire)) {
        std::memset(out, 0, sizeof(float) * 2 * frames);
        if (headphones) std::memset(headphones, 0, sizeof(float) * 2 * frames);
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
    const HeadphoneRoute route = route_.load(std::memory_order_relaxed);
    const bool cue = route != HeadphoneRoute::None || headphones;
    // The headphones' delay holds what the limiter's does (silence, if they just came on).
    if (cue) headphones_.Align(limit ? limiter_.Lookahead() - limiter_.Missing() : 0);
    while (limit && limiter_.Missing() > 0) {
        const int n = std::min(limiter_.Missing(), kMaxChunk);
        MixChunk(n, offline, cue);
        limiter_.Prime(mix_, n);
        if (cue) headphones_.Hold(n);
    }
    while (frames > 0) {
        const int n = frames < kMaxChunk ? frames : kMaxChunk;
        MixChunk(n, offline, cue);
        if (limit)
            limiter_.Process(mix_, out, n);
        else
            std::memcpy(out, mix_, sizeof(float) * 2 * n);
        tap_.Write(out, n, offline); // the master as the audience hears it, never split
        if (cue) {
            SendHeadphones(out, n, route, headphones);
            if (headphones) headphones += 2 * n;
        }
        out += 2 * n;
        frames -= n;
    }
    rendering_.store(false, std::memory_order_release);
}

} // namespace spinx::engine
