#pragma once
// The fader law and the other small value mappings of the engine. Pure functions, any thread.
#include <cstdint>

namespace spinx::engine {

// Fader law for volume, master volume and the attenuated side of the balance: a square-law
// audio taper, amplitude = (v / 100)^2. It is the usual approximation of a logarithmic pot:
//   v: 100    71    50    32    22    10    1     0
//   dB: 0     -6   -12   -20   -26   -40   -80   silent
// A gentler taper than a pure dB scale keeps the linear crossfader's centre (both decks at 50)
// from dipping more than a few dB, while the bottom of the travel still fades smoothly to silence.
float FaderGain(int value);

struct StereoGain {
    float left = 1.0f;
    float right = 1.0f;
};
// Balance 0..100: 50 leaves both sides at unity; moving towards one side attenuates the other
// side through the fader law, reaching silence at the end (0 silences the right side).
StereoGain BalanceGain(int balance);

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
