#pragma once
// The keys the windows read and write in the settings file, in one place.
#include <string>

namespace spinx {

inline constexpr const char* kSettingsSection = "Settings";
// The folder songs and playlists were last chosen from.
inline constexpr const char* kMp3PathKey = "MP3 Path";
inline constexpr const char* kMp3PathDefault = "C:\\My Music";
// The folder of EQ settings files; read only, defaulting to the program folder.
inline constexpr const char* kEqPathKey = "Eq Settings Path";
// "No" once the user asked never again to confirm loading over a playing song.
inline constexpr const char* kAskLoadOverPlayingKey = "Ask Before Loading Over Playing Song";
// The sound device chosen under File > Audio Output; absent or empty = the default device.
inline constexpr const char* kAudioDeviceKey = "Audio Device";
// "Yes" while the mixer's "Level songs" box is ticked.
inline constexpr const char* kLevelSongsKey = "Level Songs";
// The loudness, in LUFS, that levelling brings every song to; -14 when absent or not a number.
inline constexpr const char* kTargetLoudnessKey = "Target Loudness";
// "No" keeps auto play from skipping the silence at songs' starts and ends.
inline constexpr const char* kSkipSilenceKey = "Skip Silence";
// "Yes" while the mixer's "Beat Mix" box is ticked.
inline constexpr const char* kBeatMixKey = "Beat Mix";
// "Yes" while deck `player`'s "Quantize" box is ticked: "Quantize Deck 1" for the first deck.
inline std::string QuantizeKey(int player) {
    return "Quantize Deck " + std::to_string(player + 1);
}
// "Yes" while deck `player`'s "Key lock" box is ticked: "Key Lock Deck 1" for the first deck.
inline std::string KeyLockKey(int player) {
    return "Key Lock Deck " + std::to_string(player + 1);
}
// The headphones' device under File > Audio Output: absent or empty = none, "split" = the
// master's device, master on the left and the cue on the right.
inline constexpr const char* kHeadphoneDeviceKey = "Headphone Device";
// The sound device's buffer, in milliseconds (at most 30); absent = the engine's own choice.
inline constexpr const char* kAudioLatencyKey = "Audio Latency";

} // namespace spinx
