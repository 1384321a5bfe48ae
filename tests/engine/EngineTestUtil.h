#pragma once
// Helpers for the engine tests: MP3 files made with sox and lame in a scratch folder (made once
// per test program and reused), a straight decode to compare against, signal measurements, and
// an offline engine with its events recorded.
#include "engine/Aspinx.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace spinx::test {

// The scratch folder of this test program (removed at exit).
std::string ScratchDir();

// Runs a shell command; fails the current test (and returns false) when it fails.
bool Shell(const std::string& command);

// An MP3 of what `sox ... synth <synth>` makes (16-bit, `rate`, `channels`), encoded by lame with
// `lameArgs`, made once per program under `name`.
std::string SynthMp3(const std::string& name, const std::string& synth,
                     const std::string& lameArgs = "-b 256", int rate = 44100, int channels = 2);
// A sine MP3 of `seconds` at `freq` Hz and half scale.
std::string ToneMp3(const std::string& name, double seconds, double freq, int rate = 44100,
                    int channels = 2, const std::string& lameArgs = "-b 192");
// Delivers the engine's events for `ms` of real time (a device output plays meanwhile).
void PumpEvents(Aspinx& engine, int ms);
// Polls `done` every few ms for up to `ms`; its last answer.
bool Within(int ms, const std::function<bool()>& done);

// A file of arbitrary bytes.
std::string WriteFile(const std::string& name, const std::string& bytes);
// The first `bytes` bytes of `path` (a truncated copy).
std::string TruncatedCopy(const std::string& path, const std::string& name, long bytes);

// Every frame of the file, decoded from start to end with libmpg123 (stereo float).
std::vector<float> DecodeAll(const std::string& path, int* rate = nullptr);

// Frequency of the tone in one channel of interleaved stereo, from its zero crossings.
double ToneFrequency(const std::vector<float>& stereo, int channel, int rate);
// Peak magnitude of one channel (0 or 1) or both (-1).
float Peak(const std::vector<float>& stereo, int channel = -1, size_t from = 0,
           size_t to = SIZE_MAX);
// RMS of one channel of interleaved stereo, in dB.
double RmsDb(const std::vector<float>& stereo, int channel, size_t from = 0, size_t to = SIZE_MAX);

// An engine on the offline output with every signal it raises counted.
class OfflineEngine {
  public:
    OfflineEngine();
    Aspinx engine{OutputKind::Offline};

    // Loads and waits for SoundLoaded or SoundLoadFailed; true when loaded.
    bool Load(int player, const std::string& path);
    // Renders `frames` frames and returns them (interleaved stereo).
    std::vector<float> Render(int frames, int chunk = 256);

    int done[4] = {};
    int loaded[4] = {};
    int failed[4] = {};
    QString lastFailure;
    std::vector<std::array<int, 3>> levels; // player, left, right
};

} // namespace spinx::test
