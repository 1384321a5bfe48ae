// The deck's position display: the time texts, the tick (bar, labels, status, end warning,
// pull-back of the end marker), seeking on the bar, the markers and the two display pictures.
#include "deck/Mod_Deck.h"
#include "deck/Mod_Display.h"
#include "deck/Mod_MCI.h"
#include "desktest/DeckDriving.h"
#include "shell/PictureBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QThread>
#include <QToolButton>

#include <cmath>
#include <numbers>

namespace spinx::test {
namespace {

using PositionTest = DeskTest;

// Whether any pixel of `picture` has `colour`.
bool Shows(const QImage& picture, QColor colour) {
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) == colour) return true;
    return false;
}

bool IsBlank(PictureBox& box) {
    const QImage& picture = box.Picture();
    const QColor back = box.BackColor();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) != back) return false;
    return true;
}

QColor TextColour(const QLabel& label) {
    return label.palette().color(QPalette::WindowText);
}

// The time texts: dashes below 1 ms, minutes within the hour even when hours are hidden, the
// worked values of the deck's labels.
TEST(FormatTimeTest, WorkedValues) {
    EXPECT_EQ(FormatTime(0, false, true), "--.--.---");
    EXPECT_EQ(FormatTime(1000, false, true), "00.01.000");
    EXPECT_EQ(FormatTime(205123, false, true), "03.25.123");
    EXPECT_EQ(FormatTime(3665000, false, true), "01.05.000");
    EXPECT_EQ(FormatTime(3665000), "01:01.05");
    EXPECT_EQ(FormatTime(-5), "--:--.--");
    EXPECT_EQ(FormatTime(0, true, true), "--:--.--.---");
    EXPECT_EQ(FormatTime(1), "00:00.00");
    EXPECT_EQ(FormatTime(360000000, true, true), "100:00.00.000");
}

// The tick's rules: positions beyond the song show as its length; an end marker in the first
// half is pulled back to the overlap only when that changes it; a click sets the end marker as
// a distance before the end; the status texts.
TEST(TickRules, PositionsMarkersAndStatus) {
    EXPECT_EQ(ShownPosition(5000, 4000), 4000);
    EXPECT_EQ(ShownPosition(-1, 4000), 4000);
    EXPECT_EQ(ShownPosition(3999, 4000), 3999);

    EXPECT_EQ(PulledBackEnd(200000, 150000, 10000), 10000);
    EXPECT_EQ(PulledBackEnd(200000, 100000, 10000), std::nullopt) << "exactly half stays";
    EXPECT_EQ(PulledBackEnd(4000, 10000, 10000), std::nullopt) << "a short song is left alone";
    EXPECT_EQ(PulledBackEnd(4000, 10000, 12000), 12000);

    EXPECT_EQ(EndMarkerFromClick(200000, 185000), 15000);
    EXPECT_EQ(EndMarkerFromClick(1000, 1400), 0);

    EXPECT_EQ(StatusLookFor(7).caption, "State: 7");
    EXPECT_EQ(StatusLookFor(7).colour, StatusColour::Red);
    EXPECT_EQ(StatusLookFor(2).colour, StatusColour::Green);
}

// The end warning counted in ticks: with the marker at 190000 it starts after 170000 and
// toggles every 5 ticks, every 3 ticks past the marker, and turns black (keeping its count)
// when not playing or before the zone.
TEST(TickRules, EndWarningBlink) {
    EndWarning w;
    w = EndWarningStep(w, 1, 170000, 200000, 10000);
    EXPECT_EQ(w.counter, 0);
    std::vector<bool> colours;
    for (int tick = 0; tick < 10; ++tick) {
        w = EndWarningStep(w, 1, 175000, 200000, 10000);
        colours.push_back(w.black);
    }
    EXPECT_EQ(colours, (std::vector<bool>{1, 1, 1, 1, 0, 0, 0, 0, 0, 1}));
    colours.clear();
    for (int tick = 0; tick < 6; ++tick) {
        w = EndWarningStep(w, 1, 190001, 200000, 10000);
        colours.push_back(w.black);
    }
    EXPECT_EQ(colours, (std::vector<bool>{1, 1, 0, 0, 0, 1}));
    w = EndWarningStep(w, 1, 190001, 200000, 10000);
    const int counted = w.counter;
    w.black = false;
    w = EndWarningStep(w, 2, 195000, 200000, 10000);
    EXPECT_TRUE(w.black);
    EXPECT_EQ(w.counter, counted);
}

// With no song the labels read dashes and one second, the bar is drawn on a scale of 1000 with
// only its first column played, and the status is the window's own colour.
TEST_F(PositionTest, TickWithoutSong) {
    Frm_TurnTable& deck = Deck(0);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Pos[0]->text(), "--.--.---");
    EXPECT_EQ(deck.Lbl_Pos[1]->text(), "00.01.000");
    EXPECT_EQ(deck.Lbl_Pos[2]->text(), "00.01.000");
    EXPECT_EQ(deck.Lbl_Status->text(), "STOPPED");
    EXPECT_EQ(deck.Lbl_Status->palette().color(QPalette::Window),
              deck.palette().color(QPalette::Window));
    EXPECT_TRUE(deck.windowTitle().startsWith("Deck 1 [] "));
    const QImage& bar = deck.Pic_Progress->Picture();
    EXPECT_EQ(bar.pixelColor(bar.width() / 2, bar.height() / 2), deck.Pic_Progress->BackColor());
    EXPECT_EQ(TextColour(*deck.Lbl_Pos[2]), QColor(Qt::black));
}

// A song at its very end shows the bar full and no time remaining; the status takes the green
// holder's colour while playing.
TEST_F(PositionTest, TickAtEndAndWhilePlaying) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    deck.Cmd_Play_Click();
    Render(100);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Status->text(), "PLAYING");
    EXPECT_EQ(deck.Lbl_Status->palette().color(QPalette::Window),
              deck.Lbl_Green->palette().color(QPalette::Window));

    Engine().SeekSound(0, deck.MaxPos);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.Lbl_Pos[2]->text(), "--.--.---");
    EXPECT_EQ(deck.Lbl_Pos[0]->text(), deck.Lbl_Pos[1]->text());
    const QImage& bar = deck.Pic_Progress->Picture();
    EXPECT_EQ(bar.pixelColor(bar.width() - 3, bar.height() / 2), QBColor(4));
}

// The remaining time blinks as the deck plays toward its end marker: every 5 ticks before it,
// every 3 ticks after it, black again when paused; the count lives in the label's tag.
TEST_F(PositionTest, BlinkCountedInTicks) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    deck.EndPos = 1000; // marker at 2 s; the whole song lies in the warning zone
    deck.Cmd_Play_Click();
    Render(100);
    QLabel& remaining = *deck.Lbl_Pos[2];
    std::vector<bool> black;
    for (int tick = 0; tick < 5; ++tick) {
        deck.Timer1_Timer();
        black.push_back(TextColour(remaining) == QColor(Qt::black));
    }
    EXPECT_EQ(black, (std::vector<bool>{1, 1, 1, 1, 0}));
    EXPECT_EQ(remaining.property("Tag").toString(), "0");

    Engine().SeekSound(0, 2500);
    black.clear();
    for (int tick = 0; tick < 3; ++tick) {
        deck.Timer1_Timer();
        black.push_back(TextColour(remaining) == QColor(Qt::black));
    }
    EXPECT_EQ(black, (std::vector<bool>{0, 0, 1}));
    deck.Timer1_Timer();
    deck.Cmd_Play_Click();
    deck.Timer1_Timer();
    EXPECT_EQ(TextColour(remaining), QColor(Qt::black));
    EXPECT_EQ(remaining.property("Tag").toString(), "1");
}

// An end marker in the first half of the song is pulled back to the overlap once, and saved
// once: a song shorter than twice the overlap is not saved again at every tick.
TEST_F(PositionTest, PullBackSavesOnlyOnChange) {
    const std::string song = MakeMp3(folder.path(), "short.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    deck.EndPos = 2500;
    deck.VScroll2->setValue(30);
    deck.Timer1_Timer();
    EXPECT_EQ(deck.EndPos, 10000);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
    EXPECT_EQ(Stored(song, songcol::Volume), DbValue(30));

    deck.VScroll2->setValue(60);
    for (int tick = 0; tick < 5; ++tick)
        deck.Timer1_Timer();
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    EXPECT_EQ(Stored(song, songcol::Volume), DbValue(30));
}

// A left click seeks to the clicked position rounded half to even, through the bar's own mouse
// events as well; moving the mouse shows the time under it.
TEST_F(PositionTest, ClickSeeksWithRounding) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    deck.Pic_Progress_MouseDown(1, 0, 2344.5f, 5);
    EXPECT_EQ(Engine().GetSoundPosition(0), 2344);
    deck.Pic_Progress_MouseDown(1, 0, 1235.5f, 5);
    EXPECT_EQ(Engine().GetSoundPosition(0), 1236);

    deck.Timer1_Timer(); // scales the bar to the song
    PictureBox& bar = *deck.Pic_Progress;
    const QPointF middle(bar.width() / 2.0, bar.height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, middle, bar.mapToGlobal(middle), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&bar, &press);
    EXPECT_NEAR(Engine().GetSoundPosition(0), Engine().GetSoundDuration(0) / 2, 1);

    deck.Pic_Progress_MouseMove(0, 0, 61000.4f, 5);
    EXPECT_EQ(bar.toolTip(), "01.01.000");
}

// The marker commands write the song's row: start at the click, end as the distance from the
// click to the song's end, reset to 0 and the overlap time, also when the row had to be
// created first; an unknown index or a deck without a song writes nothing.
TEST_F(PositionTest, SetPosWritesRow) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    deck.SetPos(0);
    EXPECT_EQ(SongRows(), 0);

    LoadSong(scripted, deck, Engine(), song);
    deck.Pic_Progress_MouseMove(0, 0, 1500.f, 5);
    deck.SetPos(0);
    EXPECT_EQ(deck.StartPos, 1500);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(1500));

    deck.Pic_Progress_MouseMove(0, 0, 2500.f, 5);
    deck.SetPos(1);
    EXPECT_EQ(deck.EndPos, deck.MaxPos - 2500);
    EXPECT_EQ(Stored(song, songcol::End), DbValue(deck.MaxPos - 2500));
    EXPECT_EQ(deck.EndPos, deck.MaxPos - 2500) << "a marker in the second half stays put";

    deck.Pic_Progress_MouseMove(0, 0, 100.f, 5);
    deck.SetPos(7);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(1500));

    SongDb.Execute("DELETE FROM mp3s");
    master->Overlap->setValue(7000);
    deck.SetPos(2);
    EXPECT_EQ(SongRows(), 1);
    EXPECT_EQ(deck.StartPos, 0);
    EXPECT_EQ(deck.EndPos, 7000);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(0));
    EXPECT_EQ(Stored(song, songcol::End), DbValue(7000));
}

// The overview appears once the engine has it, with the play position drawn on it; the live
// spectrum appears while playing; Stop clears both and they come back when the song plays.
TEST_F(PositionTest, DisplayPictures) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    // The overview is built on the loader's thread after the song itself.
    QElapsedTimer waited;
    waited.start();
    while (!Engine().GetWaveform(0) && waited.elapsed() < 5000)
        QThread::msleep(2);
    ASSERT_TRUE(Engine().GetWaveform(0));
    Engine().DeliverEvents();
    EXPECT_FALSE(IsBlank(*deck.Picture1));

    deck.Cmd_Play_Click();
    Render(300);
    deck.Timer1_Timer();
    EXPECT_TRUE(Shows(deck.Picture2->Picture(), QBColor(14)));

    deck.Cmd_Stop_Click();
    deck.Timer1_Timer();
    EXPECT_TRUE(IsBlank(*deck.Picture1));
    EXPECT_TRUE(IsBlank(*deck.Picture2));

    deck.Cmd_Play_Click();
    Render(100);
    deck.Timer1_Timer();
    EXPECT_FALSE(IsBlank(*deck.Picture1));
}

// The overview keeps each column's extremes; the spectrum puts a tone in its own bar and
// silence nowhere.
TEST(DisplayRules, OverviewAndSpectrum) {
    Waveform wave;
    wave.minLeft = {-0.1f, -0.5f, -0.2f, 0.0f};
    wave.maxLeft = {0.1f, 0.2f, 0.9f, 0.0f};
    wave.minRight = {-0.3f, -0.1f, -0.1f, 0.0f};
    wave.maxRight = {0.2f, 0.1f, 0.1f, 0.0f};
    const auto columns = OverviewColumns(wave, 2);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_FLOAT_EQ(columns[0].low, -0.5f);
    EXPECT_FLOAT_EQ(columns[0].high, 0.2f);
    EXPECT_FLOAT_EQ(columns[1].high, 0.9f);

    constexpr int kFrames = 1024;
    std::vector<float> samples(2 * kFrames, 0.0f);
    EXPECT_EQ(SpectrumBars(samples.data(), kFrames, 44100, 10), std::vector<double>(10, 0.0));
    for (int i = 0; i < kFrames; ++i)
        samples[2 * i] = samples[2 * i + 1] =
            static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000 * i / 44100.0));
    const std::vector<double> bars = SpectrumBars(samples.data(), kFrames, 44100, 10);
    // 1 kHz lies in bar 5 of ten log-spaced bars from 40 Hz to 16 kHz.
    const auto loudest = std::max_element(bars.begin(), bars.end()) - bars.begin();
    EXPECT_EQ(loudest, 5);
    EXPECT_NEAR(bars[5], 1 + 20 * std::log10(0.5) / 60, 0.05);
    EXPECT_LT(bars[0], 0.2);
}

} // namespace
} // namespace spinx::test
