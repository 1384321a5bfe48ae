#pragma once
// The deck's rules that carry arithmetic or exact texts, apart from the window so that they can
// be checked on their own. Pure functions, UI thread.
#include "engine/PlayerStatus.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace spinx {

// Volume slider (100 at the top, 0 in the middle, -100 at the bottom) to the engine's volume
// 0..100, unrounded: the slider moves in steps of half a volume unit.
double VolumeFromSlider(int sliderValue);

// The pitch that plays at the song's own speed, and the balance in the middle.
inline constexpr int kNeutralPitch = 1000;
inline constexpr int kCentreBalance = 50;
// The speed change a pitch setting makes, as the slider's tip shows it: "+2.5%", "-10.0%", "0.0%".
QString SpeedChangeText(int pitch);

// Captions: "Deck 0" after Init (the player number as is), "Deck 0 Loading.../a/b.mp3" while a
// chosen song loads.
QString InitCaption(int16_t id);
QString LoadingCaption(int16_t id, const std::string& filename);
// A song that could not be loaded, for the caption (numbered from 1, as the tick numbers decks).
QString LoadFailedCaption(int16_t id, const std::string& filename, const QString& reason);

// How a song is named in playlist rows and deck captions: "Artist - Title" from its tags, else
// its file name without folder and extension. Reads the file's tags.
std::string SongRowName(const std::string& path);

// The caption the deck's tick shows: "Deck 1 [song] <position text> (PLAYING) 50", where the
// song is named as its row in the playlist is.
QString TickCaption(int16_t id, const QString& songName, const QString& positionText,
                    PlayerStatus status, int32_t maxVol);

// How the status label looks for a player status.
enum class StatusColour { Green, Red, Neutral };
struct StatusLook {
    QString caption;
    StatusColour colour;
};
StatusLook StatusLookFor(PlayerStatus status);

// The level meter, drawn on a mirrored scale: x from 100 at the left edge to 0 at the right
// edge, y from 130 at the top to -1 at the bottom. The left peak stands on the right-hand fifth,
// the right peak on the left-hand fifth; each bar is painted up to its peak - 1 and cleared
// from its peak + 1 to 101. Peaks at the ends of the 16-bit range are clamped, not wrapped.
inline constexpr double kLevelScaleLeft = 100, kLevelScaleTop = 130;
inline constexpr double kLevelScaleRight = 0, kLevelScaleBottom = -1;
struct LevelBox {
    double x1, y1, x2, y2;
    bool lit; // true: the bar colour; false: the background
};
std::array<LevelBox, 4> LevelBoxes(int16_t peakLeft, int16_t peakRight);

// The position the tick shows: the engine's, or the length when the engine reports one beyond
// the song or below 0.
int32_t ShownPosition(int32_t position, int32_t length);

// Where the end marker (a distance before the song's end) sits on the bar.
inline int64_t EndMarkerAt(int32_t maxPos, int32_t endPos) {
    return int64_t{maxPos} - endPos;
}
// The end marker set by a click at `clickPos`: its distance before the end, never below 0.
int32_t EndMarkerFromClick(int32_t maxPos, int32_t clickPos);

// An end marker that lies in the first half of the song is pulled back to the mixer's overlap
// time, or to the middle of a song shorter than twice the overlap. Gives the new marker only
// when that changes it, so that nothing is saved when it stays.
std::optional<int32_t> PulledBackEnd(int32_t maxPos, int32_t endPos, int32_t overlap);

// The blink of the remaining time before the end marker, one step per tick. While playing in
// the last 20 s before the marker the counter counts ticks and the colour toggles once it
// passes 4 (every 5 ticks), or 2 past the marker (every 3 ticks); otherwise the text is black
// and the counter keeps its value.
inline constexpr int32_t kEndWarningMs = 20000;
struct EndWarning {
    int counter = 0;
    bool black = true; // false: white
};
EndWarning EndWarningStep(EndWarning now, PlayerStatus status, int32_t position, int32_t maxPos,
                          int32_t endPos);

} // namespace spinx
