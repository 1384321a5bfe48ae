#include "engine/loader/PlayerWorker.h"

#include "engine/loader/WaveformBuilder.h"
#include "engine/realtime/KeyLock.h"
#include "engine/realtime/Resampler.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace spinx::engine {

namespace {
// Blocks decoded before SoundLoaded, so that playing can start at once.
constexpr int kBlocksBeforeLoaded = 4;
// Played audio after which the overview, sharpened by it, is handed out again.
constexpr int64_t kOverviewRefreshSeconds = 20;
} // namespace

PlayerWorker::PlayerWorker(int player, PlayerChannel& channel, std::atomic<uint64_t>& eventSeq,
                           int wakeFd)
    : player_(player), ch_(channel), eventSeq_(eventSeq), wakeFd_(wakeFd) {
    thread_ = std::thread([this] {
        // Decoding runs well ahead of the output, so it can wait: as a batch thread its
        // wake-ups never preempt the thread that mixes for the sound card.
        const sched_param batch{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
        Run();
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        finishedCv_.notify_all();
    });
}

PlayerWorker::~PlayerWorker() {
    Stop(std::chrono::steady_clock::time_point::max());
}

bool PlayerWorker::Stop(std::chrono::steady_clock::time_point deadline) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        quit_ = true;
        ch_.signal.Wake();
        if (!finishedCv_.wait_until(lock, deadline, [this] { return finished_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

void PlayerWorker::RequestLoad(uint32_t gen, const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingLoad_ = LoadRequest{gen, path};
        pendingSeek_.reset(); // a seek in the old song means nothing for the new one
        latestLoadGen_ = gen;
        waveform_.reset();
        ch_.state.rate.store(0, std::memory_order_release);
        ch_.state.lengthFrames.store(0, std::memory_order_release);
        ch_.state.lengthExact.store(false, std::memory_order_release);
    }
    ch_.signal.Wake();
}

void PlayerWorker::RequestSeek(uint32_t gen, int64_t frame) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingSeek_ = SeekRequest{gen, frame};
    }
    ch_.signal.Wake();
}

std::shared_ptr<const Waveform> PlayerWorker::GetWaveform() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waveform_;
}

bool PlayerWorker::IsLatestLoad(uint32_t gen) const {
    return gen == latestLoadGen_;
}

void PlayerWorker::PushEvent(Event e) {
    e.player = static_cast<uint8_t>(player_);
    StampEvent(e, eventSeq_);
    // A full queue means nobody listens, and the event is dropped.
    ch_.workerEvents.Push(e);
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        // Never blocks: the eventfd is non-blocking and its counter cannot realistically fill.
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
}

// Worker thread from here on.

void PlayerWorker::Run() {
    for (;;) {
        const uint32_t seq = ch_.signal.wake.load(std::memory_order_acquire);
        std::optional<LoadRequest> load;
        std::optional<SeekRequest> seek;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_) return;
            load.swap(pendingLoad_);
            if (!load) seek.swap(pendingSeek_);
        }
        if (load) {
            DoLoad(*load);
            continue;
        }
        if (seek) {
            DoSeek(*seek);
            continue;
        }
        ServeFixedRate();
        ServeKeyLock();
        // The ring comes first: the scan and the overview fill the time it leaves.
        if (FillOneBlock()) continue;
        if (scanPending_) {
            // A full scan gives the exact length and makes every later seek cost microseconds
            // instead of tens of ms. It runs near the song's start, before anyone is likely to
            // seek: libmpg123 then seeks back to where decoding was, and in a damaged file that
            // place is only certain before the damage. The ring holds ~2 s meanwhile.
            scanPending_ = false;
            decoder_.Scan();
            PublishLength(decoder_.Length(), true);
            continue;
        }
        if (overviewPending_ || (overview_ && !overview_->Sampled())) {
            StepOverview();
            continue;
        }
        ch_.signal.refillAsked.store(false, std::memory_order_release);
        if (NeedsFill()) continue;
        ch_.signal.wake.wait(seq, std::memory_order_acquire);
    }
}

void PlayerWorker::ServeFixedRate() {
    FixedRateSlot& slot = ch_.fixedRate;
    // What the mixer gave back: its old resampler, or an offer it could not use. A ratio it no
    // longer holds may be wanted again.
    if (FixedRateResampler* back = slot.retired.exchange(nullptr, std::memory_order_acq_rel)) {
        if (back->Ratio() == madeRatio_) madeRatio_ = 0.0;
        delete back;
    }
    const double wanted = slot.wanted.load(std::memory_order_acquire);
    // An offer stays the mixer's to take or give back: replacing it here could free it while the
    // mixer reads it.
    if (wanted <= 0.0 || wanted == madeRatio_ || slot.offered.load(std::memory_order_acquire))
        return;
    madeRatio_ = wanted;
    auto made = std::make_unique<FixedRateResampler>(wanted);
    if (made->Ok()) slot.offered.store(made.release(), std::memory_order_release);
}

void PlayerWorker::ServeKeyLock() {
    // Once per player, the first time key lock is wanted; the mixer keeps it from then on.
    if (keyLockMade_ || !ch_.controls.keyLock.load(std::memory_order_relaxed)) return;
    const int rate = ch_.keyLock.rate.load(std::memory_order_acquire);
    if (rate <= 0) return;
    keyLockMade_ = true;
    auto made = std::make_unique<KeyLock>(rate);
    made->Prime();
    ch_.keyLock.made.store(made.release(), std::memory_order_release);
}

void PlayerWorker::DoLoad(const LoadRequest& req) {
    ch_.progress.producingGen.store(req.gen, std::memory_order_release);
    gen_ = loadGen_ = req.gen;
    genStartWrite_ = ch_.ring.WriteCount();
    overview_.reset();
    scanPending_ = overviewPending_ = false;
    endPushed_ = false;
    atEnd_ = false;
    nextFrame_ = 0;
    std::string reason;
    hasSong_ = decoder_.Open(req.path, &reason);
    if (!hasSong_) {
        ch_.progress.deadGen.store(req.gen, std::memory_order_release);
        Event e;
        e.type = Event::LoadFailed;
        e.loadGen = req.gen;
        std::strncpy(e.reason, reason.c_str(), sizeof e.reason - 1);
        PushEvent(e);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!IsLatestLoad(req.gen)) return; // replaced meanwhile; the next request follows
        ch_.state.rate.store(decoder_.Rate(), std::memory_order_release);
        ch_.state.lengthFrames.store(decoder_.Length(), std::memory_order_release);
    }
    publishedLength_ = decoder_.Length();
    if (decoder_.Scanned()) ch_.state.lengthExact.store(true, std::memory_order_release);
    for (int i = 0; i < kBlocksBeforeLoaded && FillOneBlock(); ++i) {
    }
    Event e;
    e.type = Event::Loaded;
    e.loadGen = req.gen;
    PushEvent(e);
    scanPending_ = !decoder_.Scanned();
    overviewPending_ = true;
    path_ = req.path;
}

void PlayerWorker::StepOverview() {
    if (overviewPending_) {
        overviewPending_ = false;
        overview_ = std::make_unique<WaveformBuilder>();
        if (!overview_->Start(path_, decoder_)) overview_.reset();
        return;
    }
    if (overview_->Step()) PublishOverview();
}

void PlayerWorker::PublishOverview() {
    auto done = overview_->Snapshot();
    bool current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current = IsLatestLoad(loadGen_);
        if (current) waveform_ = std::move(done);
    }
    if (!current) return;
    Event e;
    e.type = Event::WaveformReady;
    e.loadGen = loadGen_;
    PushEvent(e);
}

void PlayerWorker::DoSeek(const SeekRequest& req) {
    ch_.progress.producingGen.store(req.gen, std::memory_order_release);
    gen_ = req.gen;
    genStartWrite_ = ch_.ring.WriteCount();
    if (!hasSong_) {
        ch_.progress.deadGen.store(req.gen, std::memory_order_release);
        return;
    }
    endPushed_ = false;
    // Start a little before the target: the mixer's resampler needs real signal in front of it.
    const int64_t start = std::clamp<int64_t>(req.frame - kPreRoll, 0, decoder_.Length());
    const int64_t reached = start < decoder_.Length() ? decoder_.Seek(start) : -1;
    // At or past the end (or a failed seek): the next block only tells the mixer where the song
    // ends.
    atEnd_ = reached < 0;
    nextFrame_ = atEnd_ ? decoder_.Length() : reached;
}

void PlayerWorker::PublishLength(int64_t frames, bool exact) {
    publishedLength_ = frames;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsLatestLoad(loadGen_)) return;
    ch_.state.lengthFrames.store(frames, std::memory_order_release);
    if (exact) ch_.state.lengthExact.store(true, std::memory_order_release);
}

bool PlayerWorker::NeedsFill() const {
    if (!hasSong_ || endPushed_) return false;
    const uint64_t write = ch_.ring.WriteCount();
    const uint64_t read = ch_.ring.ReadCount();
    const uint64_t ours = write - std::max(read, genStartWrite_);
    return ours < kRingTarget && write - read < ch_.ring.Capacity();
}

bool PlayerWorker::FillOneBlock() {
    if (!NeedsFill()) return false;
    AudioBlock* b = ch_.ring.BeginWrite();
    if (!b) return false;
    bool end = atEnd_;
    const int got = atEnd_ ? 0 : decoder_.Read(b->samples, kBlockFrames, &end);
    b->gen = gen_;
    b->flags = end ? uint32_t{AudioBlock::kEnd} : 0u;
    b->rate = decoder_.Rate();
    b->frames = got;
    b->startFrame = nextFrame_;
    nextFrame_ += got;
    endPushed_ = end;
    // The stream ended elsewhere than its header said (damaged frames were skipped, or the
    // header is wrong): the length becomes what really plays. Published before the block, so
    // nobody sees the song end before its length is right.
    if (end && !atEnd_ && nextFrame_ != publishedLength_) PublishLength(nextFrame_, false);
    ch_.ring.CommitWrite();
    // The overview takes its exact peaks from what is decoded for playing.
    if (overview_ && got > 0) {
        overview_->AddPlayed(b->startFrame, b->samples, got);
        const bool refresh =
            end || overview_->PlayedSinceSnapshot() >= kOverviewRefreshSeconds * decoder_.Rate();
        if (overview_->Sampled() && refresh) PublishOverview();
    }
    return true;
}

} // namespace spinx::engine
