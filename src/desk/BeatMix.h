#pragma once
// How a DJ would take one song over from another: the outgoing plays to the end of its music,
// the transition spans whole phrases, the incoming plays at the outgoing's tempo with its first
// downbeat on a downbeat of the outgoing's phrase, and the lows swap at the transition's middle.
// Pure functions, any thread.
#include <cstdint>
#include <string>

namespace spinx {

// What the desk knows of a song for mixing, all in song time (ms at the song's own speed).
struct MixSong {
    bool steady = false;   // one tempo throughout: the beat grid holds
    double bpm = 0;        // at the song's own speed
    double downbeatMs = 0; // the first beat of a bar
    double mixInMs = 0;    // where the music starts (a downbeat when steady)
    double mixOutMs = 0;   // where the music ends, at the end of a phrase when steady
    double audibleStartMs = 0;
    double audibleEndMs = 0;
    int pitch = 1000;    // the speed the deck plays it at, per mille
    std::string key;     // "A minor 8A"; empty when unknown
    std::string keyCode; // the same on the mixing wheel alone ("8A")
    bool operator==(const MixSong&) const = default;
};

// The tempo window a DJ matches in: the incoming is played at the outgoing's tempo when the two
// are this close (also at half or double tempo).
inline constexpr double kTempoWindow = 0.08;
// Transitions span a whole number of beats from these phrase lengths.
inline constexpr int kPhraseBeats[] = {8, 16, 32, 64};

struct TransitionPlan {
    bool beatMatched = false;  // tempo matched and phrase aligned; else a plain crossfade
    int incomingPitch = 1000;  // the incoming's speed during the transition, per mille
    int beats = 0;             // the transition's length in the outgoing's beats (0: plain)
    double startOutMs = 0;     // outgoing song time at which the incoming starts
    double endOutMs = 0;       // outgoing song time at which the transition ends
    double incomingFromMs = 0; // incoming song time it starts from
    double bassSwapOutMs = 0;  // outgoing song time of the swap of the lows
};

// Fills in where the music starts and ends from where the sound does and the beat grid.
void MixPoints(MixSong& song);

// The plan for `in` taking over from `out`, with a transition as close to `overlapMs` of real
// time as the music allows. Songs without a steady beat, or out of the tempo window, get a
// plain crossfade of `overlapMs` ending at the outgoing's audible end.
TransitionPlan PlanTransition(const MixSong& out, const MixSong& in, int32_t overlapMs);

// The equal-power fade: the outgoing's and the incoming's amplitude at `progress` (0..1).
struct FadeGains {
    double out = 1;
    double in = 0;
};
FadeGains EqualPowerFade(double progress);

// An engine volume (0..100, under the fader law) for an amplitude of `gain` (0..1) times that
// of the volume `ceiling`.
int VolumeForGain(double gain, double ceiling);

} // namespace spinx
