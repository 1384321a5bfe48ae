#include "desk/BeatMix.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace spinx {

namespace {
// The speed, per mille, that plays a song of `bpm` at `tempo`; 0 when none in the window does
// (a song may be matched at half or double its tempo).
int MatchingPitch(double tempo, double bpm, int ownPitch) {
    int best = 0;
    double bestMiss = std::numeric_limits<double>::max();
    for (const double factor : {1.0, 2.0, 0.5}) {
        const double speed = tempo / (bpm * factor);
        // The window is around the speed the deck plays the song at now.
        const double miss = std::fabs(speed * 1000 / ownPitch - 1);
        if (miss <= kTempoWindow && miss < bestMiss) {
            bestMiss = miss;
            best = static_cast<int>(std::lround(speed * 1000));
        }
    }
    return std::clamp(best, 0, 2000);
}

TransitionPlan PlainCrossfade(const MixSong& out, const MixSong& in, int32_t overlapMs) {
    TransitionPlan plan;
    plan.incomingPitch = in.pitch;
    // The overlap is real time: in the outgoing's song time it passes at its speed.
    plan.endOutMs = out.audibleEndMs;
    plan.startOutMs = std::max(0.0, plan.endOutMs - overlapMs * out.pitch / 1000.0);
    plan.incomingFromMs = in.audibleStartMs;
    plan.bassSwapOutMs = (plan.startOutMs + plan.endOutMs) / 2;
    return plan;
}
} // namespace

TransitionPlan PlanTransition(const MixSong& out, const MixSong& in, int32_t overlapMs) {
    if (!out.steady || !in.steady || out.bpm <= 0 || in.bpm <= 0 || out.pitch <= 0)
        return PlainCrossfade(out, in, overlapMs);
    const double tempo = out.bpm * out.pitch / 1000.0; // beats per minute as heard
    const int pitch = MatchingPitch(tempo, in.bpm, in.pitch);
    if (pitch == 0) return PlainCrossfade(out, in, overlapMs);

    const double beatMs = 60000.0 / out.bpm;        // one beat in the outgoing's song time
    const double beatRealMs = 60000.0 / tempo;      // and as heard
    const double room = out.mixOutMs - out.mixInMs; // music the transition may cover
    int beats = 0;
    for (const int phrase : kPhraseBeats) {
        if (phrase * beatMs > room / 2) break; // at most half the song is transition
        if (beats == 0 ||
            std::fabs(phrase * beatRealMs - overlapMs) < std::fabs(beats * beatRealMs - overlapMs))
            beats = phrase;
    }
    if (beats == 0) return PlainCrossfade(out, in, overlapMs);

    TransitionPlan plan;
    plan.beatMatched = true;
    plan.incomingPitch = pitch;
    plan.beats = beats;
    plan.endOutMs = out.mixOutMs;
    plan.startOutMs = out.mixOutMs - beats * beatMs;
    plan.bassSwapOutMs = out.mixOutMs - beats / 2 * beatMs;
    plan.incomingFromMs = in.mixInMs;
    return plan;
}

FadeGains EqualPowerFade(double progress) {
    const double t = std::clamp(progress, 0.0, 1.0) * M_PI / 2;
    return {std::cos(t), std::sin(t)};
}

int VolumeForGain(double gain, double ceiling) {
    // The fader law is amplitude = (v / 100)^0.75: a gain g of the ceiling's amplitude is the
    // volume ceiling * g^(4/3).
    const double v = ceiling * std::pow(std::clamp(gain, 0.0, 1.0), 4.0 / 3.0);
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 100.0)));
}

} // namespace spinx
