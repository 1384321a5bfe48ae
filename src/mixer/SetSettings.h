#pragma once
// The settings of unattended sets as the settings file holds them. Any thread.
#include <string>

namespace spinx {

// "Yes"/"No" (also "1"/"0", "true"/"false", "on"/"off", any case); anything else is `fallback`.
bool ParseSettingsFlag(const std::string& text, bool fallback);
// A loudness in LUFS between -70 and 0; anything else (a typo, a positive number) is -14.
double ParseTargetLoudness(const std::string& text);

// The flag under `key` in the settings file's "Settings" section.
bool SettingsFlag(const char* key, bool fallback);
// "Target Loudness" from the settings file.
double TargetLoudness();

} // namespace spinx
