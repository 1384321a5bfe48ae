#pragma once
// What the engine's threads pass to one another: the UI thread's transport commands to the
// mixer, the events that come back, and the per-player state published through atomics.
#include "engine/Aspinx.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace spinx::engine {

// The status word a player's state publishes across threads: PlayerStatus as its number.
inline constexpr int16_t kStatusPlaying = static_cast<int16_t>(PlayerStatus::Playing);
inline constexpr int16_t kStatusPaused = static_cast<int16_t>(PlayerStatus::Paused);
inline constexpr int16_t kStatusStopped = static_cast<int16_t>(PlayerStatus::Stopped);

constexpr int kPlayers = Aspinx::kPlayers;
// Frames the mixer processes in one step; a larger request is cut into steps of this size.
constexpr int kMaxChunk = 512;
// Song frames the decoder delivers in front of a seek target, so that the resampler starts on
// real signal rather than on silence (see Voice::Resync).
constexpr int kPreRoll = 512;

// Transport commands, UI thread -> mixer, in order. Gains, pitch and the equaliser are not
// commands: they are levels the mixer reads each step (PlayerControls), so the last call wins
// even when the mixer has not run in between.
struct Command {
    enum Type : uint8_t { Play, Pause, Stop, Seek, Load };
    Type type = Play;
    uint8_t player = 0;
    uint32_t gen = 0;  // Seek, Load: the data generation the mixer accepts from now on
    int64_t frame = 0; // Seek: the song frame to continue from
};

// Events, producer thread -> UI thread. `seq` orders events of different producers; `loadGen`
// lets the UI drop events about a song that has since been replaced.
struct Event {
    enum Type : uint8_t { Done, Loaded, LoadFailed, Level, WaveformReady };
    Type type = Done;
    uint8_t player = 0;
    int16_t left = 0, right = 0; // Level
    uint32_t loadGen = 0;
    uint64_t seq = 0;
    char reason[160] = {}; // LoadFailed
};

// Levels the UI thread sets and the mixer reads at each step.
struct PlayerControls {
    std::atomic<float> gainLeft{1.0f}, gainRight{1.0f}; // volume x balance
    std::atomic<double> speed{1.0};                     // pitch / 1000
    std::array<std::atomic<float>, 10> eqDb{}; // band gains in dB (all 0 when the EQ is off)
    std::atomic<bool> meterOn{false};
    std::atomic<bool> keyLock{false}; // speed changes the tempo only (taken when sound starts)
    std::atomic<bool> bassCut{false}; // the lows below ~150 Hz out (a glide, not a switch)
    // The headphones' pre-fader level: the levelling trim while cued, 0 when not.
    std::atomic<float> cueGain{0.0f};
};

// State the mixer and the loader publish for the UI thread's getters.
struct PlayerState {
    std::atomic<int16_t> status{kStatusStopped};
    // (seek generation & 0xffff) << 48 | song frame. The UI thread stores a seek target at once;
    // the mixer only overwrites a value carrying the generation it is playing (CAS), so a
    // position computed before a seek never replaces the target.
    std::atomic<uint64_t> position{0};
    std::atomic<int32_t> rate{0};         // sample rate of the loaded song, 0 when empty
    std::atomic<int64_t> lengthFrames{0}; // length, 0 when empty
    std::atomic<bool> lengthExact{false}; // no background scan left that may change the length
};

inline uint64_t PackPosition(uint32_t gen, int64_t frame) {
    return (static_cast<uint64_t>(gen & 0xffff) << 48) |
           (static_cast<uint64_t>(frame < 0 ? 0 : frame) & 0xffffffffffffull);
}
inline uint32_t PositionGen(uint64_t packed) {
    return static_cast<uint32_t>(packed >> 48);
}
inline int64_t PositionFrame(uint64_t packed) {
    return static_cast<int64_t>(packed & 0xffffffffffffull);
}

} // namespace spinx::engine
