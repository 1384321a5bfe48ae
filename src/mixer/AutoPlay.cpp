#include "mixer/AutoPlay.h"

#include <algorithm>

namespace spinx {

namespace {
bool InLastStretch(const DeckReading& deck) {
    // A length not yet known (the song is still loading) is no last stretch. 64-bit, so that
    // no marker or length can wrap the comparison.
    const int32_t end = deck.audibleEnd > 0 ? std::min(deck.audibleEnd, deck.length) : deck.length;
    return deck.status == PlayerStatus::Playing && deck.length > 0 &&
           int64_t{deck.position} > int64_t{end} - deck.endPos;
}

bool ValidPlayer(int16_t player) {
    return player >= 0 && player < 4;
}
} // namespace

int FadeStep(int position, bool towardA, bool towardB) {
    int target = position;
    if (towardA) target = 0;
    if (towardB) target = 100;
    return std::clamp(target - position, -kFadeStepLimit, kFadeStepLimit);
}

AutoStart WhichDeckStarts(const DeckReading& a, const DeckReading& b) {
    if (InLastStretch(a) && b.status != PlayerStatus::Playing) return AutoStart::DeckB;
    if (InLastStretch(b) && a.status != PlayerStatus::Playing) return AutoStart::DeckA;
    return AutoStart::None;
}

void AutoPlay::SetEnabled(bool on) {
    enabled_ = on;
    Observe();
}

void AutoPlay::Tick() {
    if (!enabled_) return;
    const int16_t a = desk_.PlayerA();
    const int16_t b = desk_.PlayerB();
    if (!desk_.HasDeck(a) || !desk_.HasDeck(b)) return;

    SkipLeadIn(a);
    SkipLeadIn(b);
    switch (takesOver_ ? WhichDeckStarts(ReadDeck(a), ReadDeck(b)) : AutoStart::None) {
    case AutoStart::DeckB:
        TakeOver(b, 2);
        break;
    case AutoStart::DeckA:
        TakeOver(a, 1);
        break;
    case AutoStart::None:
        break;
    }
    if (desk_.Song(a).empty()) {
        Refill(a);
        Start(a);
    }
    if (desk_.Song(b).empty()) Refill(b);
    Observe();
}

void AutoPlay::SoundDone(int16_t player) {
    Refill(player);
    StartWaitingPartner(player);
    Observe();
}

bool AutoPlay::SoundLoadFailed(int16_t player, const std::string& path) {
    if (!ValidPlayer(player)) return false;
    Loaded& load = loaded_[player];
    if (load.path.empty() || load.path != path) return false;
    const bool started = load.started;
    load = {};
    if (!desk_.Song(player).empty()) return true; // the deck holds another song by now
    if (Refill(player) && started) Start(player);
    Observe();
    return true;
}

bool AutoPlay::Refill(int16_t player) {
    if (!enabled_ || desk_.PlaylistEmpty()) return false;
    // The row leaves the list even when no deck can take its song.
    const std::string path = desk_.TakeTopRow();
    if (!desk_.HasDeck(player) || path.empty()) return false;
    desk_.Load(player, path);
    loaded_[player] = {path, false};
    return true;
}

void AutoPlay::Start(int16_t player) {
    desk_.Start(player);
    if (!ValidPlayer(player)) return;
    Loaded& load = loaded_[player];
    if (!load.path.empty() && load.path == desk_.Song(player)) load.started = true;
    SkipLeadIn(player);
}

DeckReading AutoPlay::ReadDeck(int16_t player) const {
    DeckReading reading = desk_.Read(player);
    if (!skipSilence_) reading.audibleStart = reading.audibleEnd = 0;
    return reading;
}

void AutoPlay::SkipLeadIn(int16_t player) {
    // Once, for a song auto play started, as soon as the desk knows where its sound begins (the
    // overview may come a little after the start).
    if (!ValidPlayer(player)) return;
    Loaded& load = loaded_[player];
    if (!load.started || load.leadInSkipped || load.path != desk_.Song(player)) return;
    const DeckReading reading = ReadDeck(player);
    if (reading.audibleStart <= 0) return;
    load.leadInSkipped = true;
    if (reading.position < reading.audibleStart) desk_.Seek(player, reading.audibleStart);
}

void AutoPlay::StartWaitingPartner(int16_t player) {
    // The tick starts the partner inside the playing song's last stretch; with no stretch (an
    // end marker of 0, or one shorter than a tick) the song can end first, and then both decks
    // would wait for ever.
    if (!enabled_) return;
    const int16_t a = desk_.PlayerA();
    const int16_t b = desk_.PlayerB();
    if (player != a && player != b) return;
    const int16_t partner = player == a ? b : a;
    if (!desk_.HasDeck(partner) || desk_.Song(partner).empty() ||
        desk_.Read(partner).status == PlayerStatus::Playing)
        return;
    TakeOver(partner, player == a ? 2 : 1);
}

void AutoPlay::TakeOver(int16_t player, int16_t end) {
    // The crossfader is applied only when it moves, so the waiting deck's player may still
    // have the engine's full volume, or the volume its song's recall sent: it starts from its
    // share of the crossfader instead, and the fade rises from there.
    if (autoFade_) desk_.ApplyCrossfader();
    Start(player);
    if (autoFade_) {
        desk_.FadeTo(end);
        state_.fadingTo = end;
    }
}

void AutoPlay::Observe() {
    State next;
    next.fadingTo = desk_.FadePending() ? state_.fadingTo : 0;
    const int16_t a = desk_.PlayerA();
    const int16_t b = desk_.PlayerB();
    if (!enabled_) {
        state_ = next;
        return;
    }
    if (!desk_.HasDeck(a) || !desk_.HasDeck(b) || desk_.Song(a).empty() || desk_.Song(b).empty()) {
        next.phase = Phase::Filling;
        state_ = next;
        return;
    }
    const bool playsA = desk_.Read(a).status == PlayerStatus::Playing;
    const bool playsB = desk_.Read(b).status == PlayerStatus::Playing;
    if (playsA && playsB) {
        next.phase = Phase::Overlapping;
        // The deck that waited before is the one taking over.
        next.playing = state_.phase == Phase::Overlapping ? state_.playing
                       : state_.waiting >= 0              ? state_.waiting
                                                          : a;
        next.waiting = -1;
    } else if (playsA || playsB) {
        next.phase = Phase::Playing;
        next.playing = playsA ? a : b;
        next.waiting = playsA ? b : a;
    } else {
        next.phase = Phase::Stalled;
    }
    state_ = next;
}

} // namespace spinx
