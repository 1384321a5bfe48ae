#include "engine/realtime/Voice.h"

#include "engine/GainLaw.h"
#include "engine/realtime/Gain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace spinx::engine {

namespace {
constexpr double kFadeSeconds = 0.005;  // pause, stop, seek and start fades
constexpr double kLevelSeconds = 0.100; // one level event per display beat while playing
// The resampler covers every MPEG rate (up to 48 kHz) at twice the speed.
constexpr double kMaxSongRate = 48000.0;
constexpr double kMaxSpeed = 2.0;
} // namespace

Voice::Voice(int player, PlayerChannel& channel, EventOutbox outbox, int outRate)
    : player_(player), ch_(channel), outbox_(outbox), outRate_(outRate), reader_(channel),
      resampler_(std::max(1.0, kMaxSpeed * kMaxSongRate / outRate), channel.fixedRate,
                 channel.signal),
      eq_(outRate), bassCut_(outRate),
      fadeStep_(static_cast<float>(1.0 / (kFadeSeconds * outRate))),
      levelPeriod_(static_cast<int>(kLevelSeconds * outRate)) {
    ch_.keyLock.rate.store(outRate, std::memory_order_release);
}

Voice::~Voice() {
    // The workers have stopped: an offer never taken is nobody's now.
    delete ch_.keyLock.made.exchange(nullptr, std::memory_order_acq_rel);
}

bool Voice::KeyLockReady(bool offline) {
    if (!ch_.controls.keyLock.load(std::memory_order_relaxed)) return false;
    if (keyLock_) return true;
    KeyLockSlot& slot = ch_.keyLock;
    if (offline && !slot.made.load(std::memory_order_acquire)) {
        // The worker makes it within a few tens of milliseconds; without it a render would
        // start some songs locked and others not, depending on the machine's load.
        ch_.signal.Wake();
        for (int i = 0; i < 5000 && !slot.made.load(std::memory_order_acquire); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    keyLock_.reset(slot.made.exchange(nullptr, std::memory_order_acq_rel));
    return keyLock_ != nullptr;
}

void Voice::Apply(const Command& c) {
    switch (c.type) {
    case Command::Play:
        if (seekPending_) {
            transport_ = Transport::Playing; // fade in after the seek
        } else if (transport_ != Transport::Playing) {
            // From silence, or back up from a pause's fade-out.
            if (!audible_) restart_ = true;
            transport_ = Transport::Playing;
            audible_ = true;
            fadeDir_ = 1;
        }
        break;
    case Command::Pause:
    case Command::Stop: {
        const Transport to = c.type == Command::Stop ? Transport::Stopped : Transport::Paused;
        if (audible_) {
            transport_ = to;
            fadeDir_ = -1;
        } else if (transport_ != Transport::Stopped) {
            transport_ = to;
        }
        break;
    }
    case Command::Seek:
    case Command::Load:
        posGen_ = c.gen;
        if (c.type == Command::Load) {
            loadGen_ = c.gen;
            transport_ = Transport::Stopped;
        }
        if (audible_) {
            seekPending_ = true;
            seekGen_ = c.gen;
            seekFrame_ = c.frame;
            fadeDir_ = -1;
        } else {
            ApplySeek(c.gen, c.frame);
        }
        break;
    }
    PublishStatus();
}

void Voice::ApplySeek(uint32_t gen, int64_t frame) {
    seekPending_ = false;
    runStart_ = static_cast<double>(frame);
    reader_.Reset(gen, frame);
}

void Voice::PublishStatus() {
    const int16_t s = transport_ == Transport::Playing  ? kStatusPlaying
                      : transport_ == Transport::Paused ? kStatusPaused
                                                        : kStatusStopped;
    ch_.state.status.store(s, std::memory_order_release);
}

void Voice::PublishPosition(int64_t frame) {
    uint64_t cur = ch_.state.position.load(std::memory_order_acquire);
    if (PositionGen(cur) != (posGen_ & 0xffff)) return; // the UI has a newer target
    ch_.state.position.compare_exchange_strong(cur, PackPosition(posGen_, frame),
                                               std::memory_order_acq_rel);
}

bool Voice::WantsResampling() const {
    const int rate = ch_.state.rate.load(std::memory_order_relaxed);
    return (rate > 0 && rate != outRate_) ||
           ch_.controls.speed.load(std::memory_order_relaxed) != 1.0;
}

double Voice::TargetRatio() const {
    int rate = ch_.state.rate.load(std::memory_order_relaxed);
    if (rate <= 0) rate = outRate_;
    return ch_.controls.speed.load(std::memory_order_relaxed) * rate / outRate_;
}

double Voice::Position() const {
    // Silent or about to restart, the reader holds the place; sounding, the resampler does.
    const bool viaResampler = resampling_ && audible_ && !restart_;
    return viaResampler ? resampler_.Position() : static_cast<double>(reader_.NextFrame());
}

int Voice::ProduceDirect(float* dst, int frames, bool offline) {
    const int got = reader_.Read(dst, frames, offline);
    if (got < frames) std::memset(dst + 2 * got, 0, sizeof(float) * 2 * (frames - got));
    return reader_.Ended() ? got : -1;
}

double Voice::HeardPosition() const {
    if (!locked_ || restart_) return Position();
    const double speed = resampling_ ? resampler_.Ratio() : 1.0;
    return Position() - static_cast<double>(keyLock_->Lag()) * speed;
}

int Voice::Produce(float* dst, int frames, bool offline) {
    const bool lock = KeyLockReady(offline);
    if (restart_ || lock == locked_) {
        if (restart_) StartKeyLock(lock);
        return locked_ ? ProduceLocked(dst, frames, offline) : ProduceSong(dst, frames, offline);
    }
    // Key lock switched while sounding: this buffer both ways from the song frame being heard,
    // crossfaded, as when the resampler comes or goes.
    const double from = HeardPosition();
    if (locked_)
        ProduceLocked(switch_, frames, offline);
    else
        ProduceSong(switch_, frames, offline);
    const int64_t frame = std::llround(from);
    if (resampling_)
        resampler_.Resync(reader_, frame, TargetRatio(), offline);
    else
        reader_.Rewind(frame);
    StartKeyLock(lock);
    const int endAt =
        locked_ ? ProduceLocked(dst, frames, offline) : ProduceSong(dst, frames, offline);
    CrossfadeFrom(dst, switch_, frames);
    return endAt;
}

void Voice::StartKeyLock(bool on) {
    locked_ = on;
    if (!on) return;
    keyLock_->Restart(ch_.controls.speed.load(std::memory_order_relaxed));
    lockedEnd_ = -1;
}

int Voice::ProduceLocked(float* dst, int frames, bool offline) {
    keyLock_->SetSpeed(ch_.controls.speed.load(std::memory_order_relaxed));
    // The stretcher gives its output in bursts: feed whole chunks until there is enough.
    constexpr int kMaxFeeds = 32;
    for (int feeds = 0; keyLock_->Ready() < frames && feeds < kMaxFeeds; ++feeds) {
        if (lockedEnd_ < 0) {
            const int endAt = ProduceSong(feed_, kMaxChunk, offline);
            if (endAt >= 0) lockedEnd_ = keyLock_->Fed() + endAt;
        } else {
            std::memset(feed_, 0, sizeof feed_);
        }
        keyLock_->Feed(feed_, kMaxChunk);
    }
    // Frame n out of the lock is frame n fed: the song ends where it ended going in.
    const int64_t first = keyLock_->Taken();
    const int got = std::min(frames, keyLock_->Ready());
    keyLock_->Take(dst, got);
    if (got < frames) std::memset(dst + 2 * got, 0, sizeof(float) * 2 * (frames - got));
    if (lockedEnd_ >= 0 && lockedEnd_ < first + frames)
        return static_cast<int>(std::max<int64_t>(0, lockedEnd_ - first));
    return -1;
}

int Voice::ProduceSong(float* dst, int frames, bool offline) {
    const bool want = WantsResampling();
    const double ratio = TargetRatio();
    if (restart_) {
        // From silence (a start, a seek): no crossfade needed, only alignment.
        restart_ = false;
        resampling_ = want;
        if (want) resampler_.Resync(reader_, reader_.NextFrame(), ratio, offline);
    }
    if (want == resampling_) {
        return resampling_ ? resampler_.Process(reader_, dst, frames, ratio, offline)
                           : ProduceDirect(dst, frames, offline);
    }
    // The path changes while sounding (pitch leaves or returns to exactly 1000): render this
    // buffer both ways from the same song frame and crossfade, so the hand-over is inaudible.
    int endAt;
    if (want) {
        const int64_t from = reader_.NextFrame();
        ProduceDirect(other_, frames, offline);
        resampler_.Resync(reader_, from, 1.0, offline); // the direct path ran at ratio 1
        endAt = resampler_.Process(reader_, dst, frames, ratio, offline);
    } else {
        const int64_t from = std::llround(resampler_.Position());
        resampler_.Process(reader_, other_, frames, ratio, offline);
        reader_.Rewind(from);
        endAt = ProduceDirect(dst, frames, offline);
    }
    resampling_ = want;
    CrossfadeFrom(dst, other_, frames);
    return endAt;
}

int Voice::ApplyFade(float* buf, int frames) {
    if (fadeDir_ == 0) return -1;
    for (int i = 0; i < frames; ++i) {
        fade_ += static_cast<float>(fadeDir_) * fadeStep_;
        if (fade_ >= 1.0f) {
            fade_ = 1.0f;
            fadeDir_ = 0;
            return -1; // the rest of the buffer plays at full level
        }
        if (fade_ <= 0.0f) {
            fade_ = 0.0f;
            fadeDir_ = 0;
            std::memset(buf + 2 * i, 0, sizeof(float) * 2 * (frames - i));
            return i;
        }
        buf[2 * i] *= fade_;
        buf[2 * i + 1] *= fade_;
    }
    return -1;
}

void Voice::FadeOutFinished(int64_t resumeFrame) {
    if (seekPending_) {
        ApplySeek(seekGen_, seekFrame_);
    } else {
        reader_.Rewind(resumeFrame); // resume exactly where the sound stopped
        runStart_ = static_cast<double>(resumeFrame);
    }
    if (transport_ == Transport::Playing) {
        fadeDir_ = 1; // a seek while playing: fade in at the new place
        restart_ = true;
        return;
    }
    audible_ = false;
    SendLevel(0, 0);
}

void Voice::SongEnded() {
    transport_ = Transport::Stopped;
    audible_ = false;
    fade_ = 0.0f;
    fadeDir_ = 0;
    PublishStatus();
    Event e;
    e.type = Event::Done;
    e.loadGen = loadGen_;
    e.player = static_cast<uint8_t>(player_);
    outbox_.Push(e);
    SendLevel(0, 0);
}

void Voice::SendLevel(int16_t left, int16_t right) {
    peakLeft_ = peakRight_ = 0.0f;
    levelFrames_ = 0;
    if (!ch_.controls.meterOn.load(std::memory_order_relaxed)) return;
    Event e;
    e.type = Event::Level;
    e.player = static_cast<uint8_t>(player_);
    e.loadGen = loadGen_;
    e.left = left;
    e.right = right;
    outbox_.Push(e);
}

void Voice::Meter(const float* buf, int frames) {
    // Four frames per step in vector registers, in two running peaks so that each step need
    // not wait for the one before; every buffer of every player passes here.
    Quad peak = {peakLeft_, peakRight_, 0.0f, 0.0f}, peak2 = peak;
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Quad x = AbsQuad(buf + 2 * i), y = AbsQuad(buf + 2 * i + 4);
        peak = x > peak ? x : peak;
        peak2 = y > peak2 ? y : peak2;
    }
    for (; i + 2 <= frames; i += 2) {
        const Quad x = AbsQuad(buf + 2 * i);
        peak = x > peak ? x : peak;
    }
    peak = peak2 > peak ? peak2 : peak;
    float l = std::max(peak[0], peak[2]), r = std::max(peak[1], peak[3]);
    for (; i < frames; ++i) {
        l = std::max(l, std::fabs(buf[2 * i]));
        r = std::max(r, std::fabs(buf[2 * i + 1]));
    }
    peakLeft_ = l;
    peakRight_ = r;
    levelFrames_ += frames;
    if (levelFrames_ >= levelPeriod_) SendLevel(PeakToMeter(l), PeakToMeter(r));
}

int Voice::FadeOutFrames() const {
    // The same steps ApplyFade takes, so the count matches it to the frame.
    float f = fade_;
    int n = 1;
    while ((f -= fadeStep_) > 0.0f)
        ++n;
    return n;
}

void Voice::Render(float* mix, int frames, bool offline, float* cue) {
    // A seek's fade-out ending inside this buffer: the new place starts right after it, not a
    // buffer later.
    if (seekPending_ && fadeDir_ < 0 && transport_ == Transport::Playing) {
        const int out = FadeOutFrames();
        if (out < frames) {
            RenderPart(mix, out, offline, cue);
            mix += 2 * out;
            if (cue) cue += 2 * out;
            frames -= out;
        }
    }
    RenderPart(mix, frames, offline, cue);
}

void Voice::RenderPart(float* mix, int frames, bool offline, float* cue) {
    if (!audible_) {
        reader_.DropStale();
        return;
    }
    // Sound starting from silence (a Play, a seek) waits for the worker's first audio of the
    // new place, so that the fade-in is not spent on silence before the song cuts in at full
    // level.
    if (restart_ && !offline && !reader_.Ready()) return;
    float* buf = scratch_;
    const double startPos = HeardPosition();
    const double ratio = resampling_ ? resampler_.Ratio() : 1.0;
    for (int b = 0; b < Equalizer::kBands; ++b)
        eqTarget_[b] = ch_.controls.eqDb[b].load(std::memory_order_relaxed);
    if (restart_) {
        eq_.Restart(eqTarget_); // a curve set while silent applies from the start
        bassCut_.Restart(ch_.controls.bassCut.load(std::memory_order_relaxed));
        runStart_ = startPos;
        // So do the faders: a fade-in needs no glide, and a deck started at volume 0 (to be
        // cued) must not leak its first buffer onto the master.
        gainLeft_ = ch_.controls.gainLeft.load(std::memory_order_relaxed);
        gainRight_ = ch_.controls.gainRight.load(std::memory_order_relaxed);
    }
    const int endAt = Produce(buf, frames, offline);
    const bool ended = endAt >= 0 && !seekPending_;

    // Fade before the EQ: a filter started on a song's first samples would ring, a fade-in it
    // follows smoothly.
    const int fadedAt = ApplyFade(buf, frames);
    eq_.Process(buf, frames, eqTarget_);
    bassCut_.Process(buf, frames, ch_.controls.bassCut.load(std::memory_order_relaxed));
    if (fadedAt >= 0) {
        // Resume exactly where the sound stopped (song time of the faded-out frame).
        const int at = endAt >= 0 ? std::min(fadedAt, endAt) : fadedAt;
        FadeOutFinished(static_cast<int64_t>(std::floor(startPos + ratio * at)));
    }

    // The headphones' cue taps the sound here, after the EQ and before the faders.
    const float cueTarget = ch_.controls.cueGain.load(std::memory_order_relaxed);
    if (cue) {
        if (cueGain_ != 0.0f || cueTarget != 0.0f)
            AddScaledGliding(cue, buf, frames, cueGain_, cueTarget);
        cueGain_ = cueTarget;
    }

    // Gains glide from their last value to the target across this buffer: no zipper noise.
    const float targetL = ch_.controls.gainLeft.load(std::memory_order_relaxed);
    const float targetR = ch_.controls.gainRight.load(std::memory_order_relaxed);
    ScaleGliding(buf, frames, gainLeft_, gainRight_, targetL, targetR);
    AddInto(mix, buf, frames);
    gainLeft_ = targetL;
    gainRight_ = targetR;
    ch_.recent.Write(buf, frames);

    if (!seekPending_) {
        double heard = HeardPosition();
        if (audible_) {
            const double speed = resampling_ ? resampler_.Ratio() : 1.0;
            heard = std::max(heard - lead_ * speed, runStart_);
        }
        const int64_t pos = static_cast<int64_t>(std::floor(heard));
        PublishPosition(ended ? reader_.EndFrame() : std::min(pos, reader_.EndFrame()));
    }
    if (ended && audible_) {
        SongEnded();
        return;
    }
    if (audible_) Meter(buf, frames);
}

} // namespace spinx::engine
