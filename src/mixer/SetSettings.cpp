#include "mixer/SetSettings.h"

#include "engine/analysis/Loudness.h"
#include "support/Mod_INI.h"
#include "support/SettingsKeys.h"

#include <QString>

#include <cmath>

namespace spinx {

bool ParseSettingsFlag(const std::string& text, bool fallback) {
    const QString value = QString::fromStdString(text).trimmed().toLower();
    if (value == "yes" || value == "1" || value == "true" || value == "on") return true;
    if (value == "no" || value == "0" || value == "false" || value == "off") return false;
    return fallback;
}

double ParseTargetLoudness(const std::string& text) {
    bool ok = false;
    const double lufs = QString::fromStdString(text).trimmed().toDouble(&ok);
    return ok && std::isfinite(lufs) && lufs >= -70 && lufs <= 0 ? lufs
                                                                 : engine::kDefaultTargetLufs;
}

bool SettingsFlag(const char* key, bool fallback) {
    return ParseSettingsFlag(ReadINI("", key, "", kSettingsSection), fallback);
}

double TargetLoudness() {
    return ParseTargetLoudness(ReadINI("", kTargetLoudnessKey, "", kSettingsSection));
}

} // namespace spinx
