// Beat Mix: the mixer controller's take-overs as a DJ makes them. The plan comes from BeatMix.h;
// this runs it tick by tick against the players' positions.
#include "desk/MixerController.h"

#include "deck/DeckRules.h"

#include <algorithm>
#include <cmath>

namespace spinx {

namespace {
constexpr int kTickMs = 100;
// A start that lands further than this from the outgoing's beat is set right once, while the
// incoming is still nearly silent.
constexpr double kPhaseToleranceMs = 2;
// The new song glides back to its own speed over this many of its beats.
constexpr int kGlideBeats = 32;
} // namespace

void MixerController::SetBeatMix(bool on) {
    beatMix_ = on;
    autoPlay_.SetTakesOver(!on);
    if (!on) transition_ = {};
    emit automationChanged();
}

void MixerController::SetSongMusic(const std::string& path, const MixSong& music) {
    music_[path] = music;
    for (const auto& deck : decks_)
        if (deck->Filename() == path && !deck->LoadPending()) deck->SetMusic(music);
    emit musicKnown(path);
}

bool MixerController::Sync(PlayerId player) {
    if (!ValidPlayer(player)) return false;
    const PlayerId other = player == deckA_ ? deckB_ : deckA_;
    DeckController& deck = Deck(player);
    const DeckController& leader = Deck(other);
    const std::optional<double> tempo = leader.HeardBpm();
    if (!tempo || !deck.HeardBpm()) return false;
    const double bpm = deck.Music()->bpm;
    // Half or double tempo where that needs the smaller change.
    double factor = 1;
    for (const double f : {2.0, 0.5})
        if (std::fabs(*tempo / (bpm * f) - deck.Pitch().value / 1000.0) <
            std::fabs(*tempo / (bpm * factor) - deck.Pitch().value / 1000.0))
            factor = f;
    deck.SetPitch({static_cast<int>(std::lround(1000 * *tempo / (bpm * factor)))});
    if (leader.Status() != PlayerStatus::Playing) return true;
    // In phase: both at the same fraction of a beat as heard.
    const MixSong& lead = *leader.Music();
    // One beat of the leader in each song's own time.
    const double leadBeat = 60000.0 / lead.bpm, ownBeat = 60000.0 / (bpm * factor);
    const double leadPhase =
        std::fmod(std::fmod(SongPosition(other) - lead.downbeatMs, leadBeat) + leadBeat, leadBeat) /
        leadBeat;
    const double position = SongPosition(player);
    const double ownPhase =
        std::fmod(std::fmod(position - deck.Music()->downbeatMs, ownBeat) + ownBeat, ownBeat) /
        ownBeat;
    double shift = leadPhase - ownPhase; // in beats, to the nearest in-phase place
    if (shift > 0.5) shift -= 1;
    if (shift < -0.5) shift += 1;
    deck.Seek(static_cast<int32_t>(std::lround(std::max(0.0, position + shift * ownBeat))));
    return true;
}

void MixPoints(MixSong& song) {
    const bool mixInKnown = song.mixInMs > 0;
    if (!mixInKnown) song.mixInMs = song.audibleStartMs;
    song.mixOutMs = song.audibleEndMs;
    if (!song.steady || song.bpm <= 0) return;
    // The music starts on the first bar line in the sound and ends on the last one before the
    // sound does (the sound's end is read from an overview a few ms at a time: a bar line within
    // half a beat after it counts).
    const double bar = 4 * 60000.0 / song.bpm;
    if (!mixInKnown)
        song.mixInMs =
            song.downbeatMs + std::ceil((song.audibleStartMs - song.downbeatMs) / bar) * bar;
    song.mixOutMs =
        song.downbeatMs + std::floor((song.audibleEndMs + bar / 8 - song.downbeatMs) / bar) * bar;
    if (song.mixOutMs <= song.mixInMs) song.mixOutMs = song.audibleEndMs;
}

int32_t MixerController::SongPosition(PlayerId player) const {
    return engine_.GetSoundPosition(player);
}

std::optional<MixSong> MixerController::MusicOf(PlayerId player) const {
    const DeckController& deck = Deck(player);
    if (deck.Filename().empty() || deck.LoadPending()) return std::nullopt;
    MixSong song;
    if (const auto known = music_.find(deck.Filename()); known != music_.end())
        song = known->second;
    // Where the sound begins and ends, from the overview, when the analysis did not say.
    if (song.audibleEndMs <= 0) {
        DeckReading reading;
        edges_.Fill(engine_, player, {0, overlap_, overlap_}, reading);
        if (reading.audibleEnd <= 0 && !engine_.GetWaveform(player)) return std::nullopt;
        song.audibleStartMs = reading.audibleStart;
        song.audibleEndMs = reading.audibleEnd > 0 ? reading.audibleEnd : deck.Length();
    }
    if (song.mixOutMs <= 0) MixPoints(song);
    song.pitch = deck.Pitch().value;
    return song;
}

void MixerController::BeatMixTick() {
    if (!beatMix_ || !autoPlay_.Enabled()) {
        PrepareKeyLock(-1);
        return;
    }
    // Planned again on every tick until it starts: a song's music may become known meanwhile.
    if (!transition_.started) {
        if (!PlanTransition()) transition_ = {};
        const Transition& t = transition_;
        PrepareKeyLock(t.in >= 0 && t.plan.incomingPitch != t.inOwnPitch ? t.in : -1);
    }
    if (transition_.out >= 0) RunTransition();
    GlidePitchBack();
}

bool MixerController::PlanTransition() {
    const bool playsA = Deck(deckA_).Status() == PlayerStatus::Playing;
    const bool playsB = Deck(deckB_).Status() == PlayerStatus::Playing;
    if (playsA == playsB) return false;
    const PlayerId out = playsA ? deckA_ : deckB_;
    const PlayerId in = playsA ? deckB_ : deckA_;
    const std::optional<MixSong> outSong = MusicOf(out);
    if (!outSong) return false;
    const DeckController& next = Deck(in);
    const bool hasNext = !next.Filename().empty() && !(eachSongOnce_ && next.Ended());
    transition_ = {};
    transition_.out = out;
    transition_.outPitch = outSong->pitch;
    if (!hasNext) {
        // The last song: the set ends where its sound does.
        transition_.plan.endOutMs = outSong->audibleEndMs;
        transition_.plan.startOutMs = outSong->audibleEndMs;
        return true;
    }
    const std::optional<MixSong> inSong = MusicOf(in);
    if (!inSong) {
        transition_ = {};
        return false;
    }
    transition_.in = in;
    transition_.inOwnPitch = inSong->pitch;
    transition_.plan = spinx::PlanTransition(*outSong, *inSong, overlap_);
    return true;
}

void MixerController::RunTransition() {
    Transition& t = transition_;
    DeckController& out = Deck(t.out);
    if (out.Status() != PlayerStatus::Playing) {
        // The outgoing stopped under us (the user, or its end): whatever was planned is void.
        if (t.started && t.in >= 0) EndTransition();
        transition_ = {};
        return;
    }
    const double outPos = SongPosition(t.out);
    const TransitionPlan& plan = t.plan;
    const double outSpeed = t.outPitch / 1000.0;
    if (t.in < 0) {
        if (outPos >= plan.endOutMs) {
            out.Stop();
            out.SoundDone();
            autoPlay_.SoundDone(t.out);
            transition_ = {};
        }
        return;
    }
    DeckController& in = Deck(t.in);
    const double inSpeed = plan.incomingPitch / 1000.0;
    // Where the incoming should be now: its start point plus the real time since the start.
    const auto dueIn = [&](double outAt) {
        return plan.incomingFromMs + (outAt - plan.startOutMs) / outSpeed * inSpeed;
    };
    if (!t.started) {
        // Started on the tick that reaches the start, at the place the beat has come to.
        if (outPos + kTickMs * outSpeed < plan.startOutMs) return;
        const double startAt = std::max(outPos, plan.startOutMs);
        in.SetPitch({plan.incomingPitch}, false);
        // Matched to the outgoing's tempo, the incoming keeps its own key; its lows wait for
        // the swap.
        in.HoldKeyLock(plan.incomingPitch != t.inOwnPitch);
        in.SetBassCut(true);
        in.SetMixVolume(0);
        in.Seek(static_cast<int32_t>(std::lround(std::max(0.0, dueIn(startAt)))));
        in.Start();
        t.started = true;
        return;
    }
    if (!t.phaseChecked) {
        t.phaseChecked = true;
        const double off = SongPosition(t.in) - dueIn(outPos);
        if (std::fabs(off) > kPhaseToleranceMs)
            in.Seek(static_cast<int32_t>(std::lround(dueIn(outPos))));
    }
    if (!t.bassSwapped && outPos >= plan.bassSwapOutMs) {
        t.bassSwapped = true;
        in.SetBassCut(false);
        out.SetBassCut(true);
    }
    const double length = std::max(1.0, plan.endOutMs - plan.startOutMs);
    const double progress = std::clamp((outPos - plan.startOutMs) / length, 0.0, 1.0);
    const FadeGains gains = EqualPowerFade(progress);
    out.SetMixVolume(VolumeForGain(gains.out, VolumeFromSlider(out.Volume().value)));
    in.SetMixVolume(VolumeForGain(gains.in, VolumeFromSlider(in.Volume().value)));
    // The crossfader shows the transition's way from the outgoing's end to the incoming's.
    const int shown = static_cast<int>(std::lround(progress * 100));
    const CrossfadePosition position{t.out == deckA_ ? shown : 100 - shown};
    if (position != crossfader_) {
        crossfader_ = position;
        emit crossfaderChanged();
    }
    if (outPos >= plan.endOutMs) EndTransition();
}

void MixerController::EndTransition() {
    Transition& t = transition_;
    DeckController& out = Deck(t.out);
    DeckController& in = Deck(t.in);
    crossfader_ = {t.in == deckA_ ? 0 : 100};
    ApplyCrossfader();
    in.SetBassCut(false); // a transition cut short before its swap
    out.SetBassCut(false);
    emit crossfaderChanged();
    if (t.plan.incomingPitch != t.inOwnPitch && in.Status() == PlayerStatus::Playing) {
        const std::optional<MixSong> song = MusicOf(t.in);
        const double beatMs =
            song && song->bpm > 0 ? 60000.0 / (song->bpm * t.plan.incomingPitch / 1000.0) : 500.0;
        glide_ = {t.in, t.inOwnPitch,
                  (t.inOwnPitch - t.plan.incomingPitch) / (kGlideBeats * beatMs / kTickMs),
                  static_cast<double>(t.plan.incomingPitch)};
    }
    const PlayerId gone = t.out;
    transition_ = {};
    // A song that ended by itself has had its end told already (and its deck refilled).
    if (out.Status() != PlayerStatus::Playing) return;
    out.Stop();
    out.SoundDone();
    autoPlay_.SoundDone(gone);
}

void MixerController::PrepareKeyLock(PlayerId wanted) {
    // The stretcher is made and primed before the start, while the incoming waits: made at the
    // start it held the start back and, live, left the incoming's sound a stretcher's delay
    // behind its beat.
    if (wanted == keyLockReady_) return;
    if (keyLockReady_ >= 0 && Deck(keyLockReady_).Status() != PlayerStatus::Playing)
        Deck(keyLockReady_).HoldKeyLock(false);
    keyLockReady_ = wanted;
    if (wanted >= 0) Deck(wanted).HoldKeyLock(true);
}

void MixerController::GlidePitchBack() {
    if (glide_.player < 0) return;
    DeckController& deck = Deck(glide_.player);
    glide_.at += glide_.perTick;
    const bool arrived = glide_.perTick >= 0 ? glide_.at >= glide_.to : glide_.at <= glide_.to;
    deck.SetPitch({arrived ? glide_.to : static_cast<int>(std::lround(glide_.at))}, false);
    if (!arrived) return;
    // Back at its own speed the song is in its own key either way: the lock may go (unless the
    // deck's own box keeps it), and with it the stretcher's work.
    deck.HoldKeyLock(false);
    glide_ = {};
}

} // namespace spinx
