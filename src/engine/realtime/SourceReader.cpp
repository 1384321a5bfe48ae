#include "engine/realtime/SourceReader.h"

#include <algorithm>
#include <cstring>

namespace spinx::engine {

namespace {
// An offline render that finds the ring empty while streaming waits for this many blocks, not
// one: one wake-up per block would cost about as much as decoding it. Right after a seek or a
// load it waits for the first block only, so the new place is heard at once.
constexpr std::size_t kWaitBlocks = 32;
} // namespace

void SourceReader::Reset(uint32_t gen, int64_t frame) {
    gen_ = gen;
    blocksSinceReset_ = 0;
    ringNext_ = frame;
    replay_ = histStart_ = histEnd_ = frame;
    ended_ = false;
    endFrame_ = INT64_MAX;
}

void SourceReader::PopBlock() {
    if (ch_.ring.Front()->gen == gen_) ++blocksSinceReset_; // stale ones do not count
    ch_.ring.Pop();
    if (ch_.ring.Fill() < kRingRefillBelow) ch_.signal.AskRefill();
}

void SourceReader::DropStale() {
    while (const AudioBlock* b = ch_.ring.Front()) {
        if (b->gen >= gen_) break;
        PopBlock();
    }
}

bool SourceReader::Ready() {
    return replay_ < histEnd_ || Current(false) != nullptr || ended_ || !WorthWaiting();
}

bool SourceReader::WorthWaiting() const {
    const uint32_t producing = ch_.progress.producingGen.load(std::memory_order_acquire);
    return producing <= gen_ && ch_.progress.deadGen.load(std::memory_order_acquire) != gen_;
}

void SourceReader::Remember(const float* src, int64_t firstFrame, int frames) {
    if (firstFrame != histEnd_) histStart_ = histEnd_ = firstFrame; // not contiguous: restart
    // At most two straight runs of the circular history (only the last kHistoryFrames count).
    const int skip = std::max(0, frames - kHistoryFrames);
    for (int i = skip; i < frames;) {
        const int slot = static_cast<int>((firstFrame + i) % kHistoryFrames);
        const int n = std::min(frames - i, kHistoryFrames - slot);
        std::memcpy(&history_[2 * slot], src + 2 * i, sizeof(float) * 2 * n);
        i += n;
    }
    histEnd_ = firstFrame + frames;
    histStart_ = std::max(histStart_, histEnd_ - kHistoryFrames);
    if (replay_ < histStart_) replay_ = histEnd_; // nothing to replay any more
}

const AudioBlock* SourceReader::Current(bool wait) {
    for (;;) {
        const AudioBlock* b = ch_.ring.Front();
        if (!b) {
            if (!wait || ended_ || !WorthWaiting()) return nullptr;
            const std::size_t need = std::min<std::size_t>(kWaitBlocks, 1 + blocksSinceReset_);
            ch_.ring.WaitForData(need, std::chrono::milliseconds(2000),
                                 [this] { return WorthWaiting(); });
            if (!ch_.ring.Front()) return nullptr;
            continue;
        }
        if (b->gen < gen_) {
            PopBlock();
            continue;
        }
        if (b->gen > gen_) return nullptr; // audio for a command this side has not applied yet
        const int64_t end = b->startFrame + b->frames;
        if (ringNext_ < b->startFrame) ringNext_ = b->startFrame; // a gap: jump it
        if (ringNext_ < end) {
            // Frames in front of the target (the pre-roll) go to the history only.
            const int64_t skip = ringNext_ - b->startFrame;
            if (skip > 0 && histStart_ == histEnd_ && histEnd_ == ringNext_) {
                const int64_t keep = std::min<int64_t>(skip, kHistoryFrames);
                Remember(b->samples + 2 * (skip - keep), ringNext_ - keep, static_cast<int>(keep));
            }
            return b;
        }
        if (b->flags & AudioBlock::kEnd) {
            ended_ = true;
            endFrame_ = end;
        }
        PopBlock();
        if (ended_) return nullptr;
    }
}

int SourceReader::Read(float* dst, int frames, bool wait) {
    int got = 0;
    while (got < frames) {
        if (replay_ < histEnd_) {
            const int n = static_cast<int>(std::min<int64_t>(frames - got, histEnd_ - replay_));
            for (int i = 0; i < n; ++i) {
                const float* slot = &history_[((replay_ + i) % kHistoryFrames) * 2];
                dst[2 * (got + i)] = slot[0];
                dst[2 * (got + i) + 1] = slot[1];
            }
            replay_ += n;
            got += n;
            continue;
        }
        if (ended_ && ringNext_ >= endFrame_) break;
        const AudioBlock* b = Current(wait);
        if (!b) break;
        const int64_t offset = ringNext_ - b->startFrame;
        const int n = static_cast<int>(std::min<int64_t>(frames - got, b->frames - offset));
        const float* src = b->samples + 2 * offset;
        std::memcpy(dst + 2 * got, src, sizeof(float) * 2 * n);
        Remember(src, ringNext_, n);
        replay_ = histEnd_;
        ringNext_ += n;
        got += n;
        if (ringNext_ >= b->startFrame + b->frames) {
            if (b->flags & AudioBlock::kEnd) {
                ended_ = true;
                endFrame_ = ringNext_;
            }
            PopBlock();
        }
    }
    return got;
}

int64_t SourceReader::HistoryBefore(int64_t frame) const {
    if (frame < histStart_ || frame > histEnd_) return 0;
    return frame - histStart_;
}

bool SourceReader::Rewind(int64_t frame) {
    if (frame == NextFrame()) return true;
    if (frame < histStart_ || frame > histEnd_) return false;
    replay_ = frame;
    return true;
}

} // namespace spinx::engine
