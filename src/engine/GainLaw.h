#pragma once
// The fader law and the other small value mappings of the engine. Pure functions, any thread.
#include <cstdint>

namespace spinx::engine {

// Fader law for volume, master volume and the attenuated side of the balance:
// amplitude = (v / 100)^0.75.
//   v:  100   75    50    25    10    1     0
//   dB: 0     -1.9  -4.5  -9.0  -15   -30   silent
// The reason is the crossfader, which hands each deck a linear share (both decks at 50 in the
// middle). Two different songs add by power, two copies of one song by amplitude; with this law
// the middle of a crossfade is 1.5 dB under one song alone for the first and 1.5 dB over it for
// the second, the smallest error that serves both. (A square law left a 9 dB hole there, a
// linear one 3 dB; a constant-power law makes one song on two decks 3 dB too loud.) A deck's
// own slider keeps a usable travel: its top half trims by up to 4.5 dB, its bottom half fades
// on down to -30 dB and then silence.
float FaderGain(int value);

struct StereoGain {
    float left = 1.0f;
    float right = 1.0f;
};
// Balance 0..100: 50 leaves both sides at unity; moving towards one side attenuates the other
// side through the fader law, reaching silence at the end (0 silences the right side).
StereoGain BalanceGain(int balance);

// The headphones' cue/master knob 0..100: 0 = the cue alone, 100 = the master alone. An equal-
// power law (a quarter sine each way), so that in the middle a cued song and a different master
// sum to about the loudness of either alone, the knob's travel sounds even, and neither side
// ever rises above its own level.
struct CueMixGain {
    float cue = 1.0f;
    float master = 0.0f;
};
CueMixGain CueMixLaw(int mix);

// Peak sample magnitude (1.0 = full scale) to a level-meter value: -60..0 dBFS maps linearly to
// 0..100; quieter is 0, louder is clamped to 100.
int16_t PeakToMeter(float peak);

// Equaliser slider value -100..100 to the band's gain in dB: -100 boosts 12 dB, +100 cuts 12 dB.
float EqValueToDb(int value);

// Song time conversions. A position in ms maps to the first frame at or after it, so that
// FramesToMs(MsToFrames(ms)) == ms for every rate of at least 1000 Hz.
int64_t MsToFrames(int64_t ms, int rate);
int32_t FramesToMs(int64_t frames, int rate);

} // namespace spinx::engine
