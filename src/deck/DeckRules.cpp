#include "deck/DeckRules.h"

#include "mp3/SongTitle.h"
#include "support/Mod_Diskinfo.h"

#include <algorithm>
#include <limits>

namespace spinx {

namespace {
// peak + step in 16-bit arithmetic that stops at the ends of the range.
double Clamped16(int16_t peak, int step) {
    const int value = static_cast<int>(peak) + step;
    return std::clamp(value, static_cast<int>(std::numeric_limits<int16_t>::min()),
                      static_cast<int>(std::numeric_limits<int16_t>::max()));
}
} // namespace

double VolumeFromSlider(int sliderValue) {
    return static_cast<float>(sliderValue + 100) / 2.0f;
}

QString SpeedChangeText(int pitch) {
    const QString sign = pitch > kNeutralPitch ? QStringLiteral("+") : QString();
    return sign + QString::number((pitch - kNeutralPitch) / 10.0, 'f', 1) + QLatin1Char('%');
}

QString InitCaption(int16_t id) {
    return QStringLiteral("Deck %1").arg(id);
}

QString LoadingCaption(int16_t id, const std::string& filename) {
    return QStringLiteral("Deck %1 Loading...").arg(id) + QString::fromStdString(filename);
}

QString LoadFailedCaption(int16_t id, const std::string& filename, const QString& reason) {
    return QStringLiteral("Deck %1 Could not load %2: %3")
        .arg(id + 1)
        .arg(QString::fromStdString(filename), reason);
}

std::string SongRowName(const std::string& path) {
    if (path.empty()) return {};
    const std::string name = ShownSongName(ReadSongTitle(path));
    return name.empty() ? GetBaseName(path) : name;
}

QString TickCaption(int16_t id, const QString& songName, const QString& positionText,
                    PlayerStatus status, int32_t maxVol) {
    QString caption =
        QStringLiteral("Deck %1 [").arg(id + 1) + songName + QStringLiteral("] ") + positionText;
    if (status == PlayerStatus::Playing) caption += QStringLiteral(" (PLAYING)");
    return caption + QStringLiteral(" %1").arg(maxVol);
}

StatusLook StatusLookFor(PlayerStatus status) {
    switch (status) {
    case PlayerStatus::Playing:
        return {QStringLiteral("PLAYING"), StatusColour::Green};
    case PlayerStatus::Paused:
        return {QStringLiteral("PAUSED"), StatusColour::Green};
    case PlayerStatus::Stopped:
        return {QStringLiteral("STOPPED"), StatusColour::Neutral};
    }
    return {QStringLiteral("State: %1").arg(static_cast<int>(status)), StatusColour::Red};
}

std::array<LevelBox, 4> LevelBoxes(int16_t peakLeft, int16_t peakRight) {
    return {{
        {0, 0, 20, Clamped16(peakLeft, -1), true},
        {80, 0, 100, Clamped16(peakRight, -1), true},
        {0, Clamped16(peakLeft, 1), 20, 101, false},
        {80, Clamped16(peakRight, 1), 100, 101, false},
    }};
}

int32_t ShownPosition(int32_t position, int32_t length) {
    return position > length || position < 0 ? length : position;
}

int32_t EndMarkerFromClick(int32_t maxPos, int32_t clickPos) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(EndMarkerAt(maxPos, clickPos), 0, std::numeric_limits<int32_t>::max()));
}

std::optional<int32_t> PulledBackEnd(int32_t maxPos, int32_t endPos, int32_t overlap) {
    // A song shorter than twice the overlap would get a marker before its start, so that the
    // partner started with it: its marker stops at the middle instead.
    const int32_t target = maxPos > 0 ? std::min(overlap, maxPos / 2) : overlap;
    if (static_cast<double>(maxPos) / 2 < endPos && endPos != target) return target;
    return std::nullopt;
}

EndWarning EndWarningStep(EndWarning now, PlayerStatus status, int32_t position, int32_t maxPos,
                          int32_t endPos) {
    const int64_t marker = EndMarkerAt(maxPos, endPos);
    if (status != PlayerStatus::Playing || position <= marker - kEndWarningMs)
        return {now.counter, true};
    ++now.counter;
    const int threshold = position > marker ? 2 : 4;
    if (now.counter > threshold) {
        now.counter = 0;
        now.black = !now.black;
    }
    return now;
}

} // namespace spinx
