#pragma once
// The keys the windows read and write in the settings file, in one place.
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

} // namespace spinx
