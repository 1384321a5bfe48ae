// The deck's position display: time texts, the tick (bar, labels, end warning, pull-back of
// the end marker), seeking and markers on the bar, and the two display pictures.
#include "deck/DeckDisplay.h"
#include "deck/DeckRules.h"
#include "deck/Mod_MCI.h"
#include "desktest/DeckDriving.h"
#include "widgets/PictureBox.h"

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

bool IsBlank(PictureBox& box) {
    const QImage& picture = box.Picture();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) != box.BackColor()) return false;
    return true;
}

// The remaining time in its plain state (the theme's text colour) rather than the warning's.
bool IsBlack(const QLabel& label) {
    return label.palette().color(QPalette::WindowText) ==
           label.parentWidget()->palette().color(QPalette::WindowText);
}

// The time texts and the tick's rules: worked values, minutes within the hour, the pull-back
// only when it changes the marker, and a paused song's warning black with its count kept (the
// blink itself is checked on the deck).
TEST(TickRules, TimesMarkersAndBlink) {
    EXPECT_EQ(FormatTime(205123, false, true), "03.25.123");
    EXPECT_EQ(FormatTime(3665000, false, true), "01.05.000");
    EXPECT_EQ(FormatTime(3665000), "01:01.05");

    EXPECT_EQ(ShownPosition(-1, 4000), 4000);
    EXPECT_EQ(PulledBackEnd(200000, 150000, 10000), 10000);
    EXPECT_EQ(PulledBackEnd(4000, 10000, 10000), 2000) << "a short song's marker stays inside it";
    EXPECT_EQ(PulledBackEnd(4000, 2000, 10000), std::nullopt);

    const EndWarning w = EndWarningStep({2, false}, PlayerStatus::Paused, 195000, 200000, 10000);
    EXPECT_TRUE(w.black);
    EXPECT_EQ(w.counter, 2);
}

// The tick with no song shows dashes and one second on a bar of 1000; with a song at its end
// it shows the bar full and no time left; while playing toward the end marker the remaining
// time blinks every 5 ticks, every 3 past the marker, with the count in the label's tag.
TEST_F(PositionTest, TickLabelsAndBlink) {
    Frm_TurnTable& deck = Deck(0);
    QLabel& remaining = Ctl<QLabel>(deck, "Lbl_Pos", 2);
    Tick(deck);
    EXPECT_EQ(Ctl<QLabel>(deck, "Lbl_Pos", 0).text(), "--.--.---");
    EXPECT_EQ(remaining.text(), "00.01.000");
    PictureBox& progress = Ctl<PictureBox>(deck, "Pic_Progress");
    const QImage& bar = progress.Picture();
    EXPECT_EQ(bar.pixelColor(bar.width() / 2, 5), progress.BackColor());

    LoadSong(scripted, deck, Engine(), MakeMp3(folder.path(), "song.mp3", 3.0));
    Engine().SeekSound(0, deck.Controller().MaxPos());
    Tick(deck);
    EXPECT_EQ(remaining.text(), "--.--.---");
    EXPECT_EQ(bar.pixelColor(bar.width() - 3, 5), QColor(kPlayedRgb));

    // The end marker 1 s before the end: the whole song is in the warning zone.
    deck.Pic_Progress_MouseMove(0, 0, static_cast<float>(deck.Controller().MaxPos() - 1000), 5);
    deck.SetPos(1);
    Engine().SeekSound(0, 0);
    deck.Cmd_Play_Click();
    Render(100);
    std::vector<bool> black;
    for (int tick = 0; tick < 8; ++tick) {
        if (tick == 5) Engine().SeekSound(0, deck.Controller().MaxPos() - 500);
        Tick(deck);
        black.push_back(IsBlack(remaining));
    }
    EXPECT_EQ(black, (std::vector<bool>{1, 1, 1, 1, 0, 0, 0, 1}));
    EXPECT_EQ(deck.Controller().Warning().counter, 0);
}

// A left click seeks to the clicked position rounded half to even (also through the bar's own
// mouse events), the tool tip shows the time under the mouse, and the marker commands write
// the row: start at the click, end as its distance to the song's end (kept at the next tick),
// reset to 0 and the overlap also when the row had to be created first.
TEST_F(PositionTest, SeekAndMarkers) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 3.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);
    deck.Pic_Progress_MouseDown(1, 0, 2344.5f, 5);
    EXPECT_EQ(Engine().GetSoundPosition(0), 2344);
    deck.Pic_Progress_MouseDown(1, 0, 1235.5f, 5);
    EXPECT_EQ(Engine().GetSoundPosition(0), 1236);
    Tick(deck);
    PictureBox& bar = Ctl<PictureBox>(deck, "Pic_Progress");
    const QPointF middle(bar.width() / 2.0, bar.height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, middle, bar.mapToGlobal(middle), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&bar, &press);
    EXPECT_NEAR(Engine().GetSoundPosition(0), deck.Controller().MaxPos() / 2, 1);

    deck.Pic_Progress_MouseMove(0, 0, 1500.4f, 5);
    EXPECT_EQ(bar.toolTip(), "00.01.500");
    deck.SetPos(0);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(1500));
    deck.Pic_Progress_MouseMove(0, 0, 2500.f, 5);
    deck.SetPos(1);
    EXPECT_EQ(deck.Controller().EndPos(), deck.Controller().MaxPos() - 2500);
    EXPECT_EQ(Stored(song, songcol::End), DbValue(deck.Controller().MaxPos() - 2500));

    SongDb.Execute("DELETE FROM mp3s");
    Ctl<QSlider>(*master, "Overlap").setValue(1000);
    deck.SetPos(2);
    EXPECT_EQ(SongRows(), 1);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(0));
    EXPECT_EQ(Stored(song, songcol::End), DbValue(1000));
    EXPECT_EQ(deck.Controller().EndPos(), 1000);
}

// The overview appears once the engine has it and the spectrum while playing (a tone lands in
// its own bar).
TEST_F(PositionTest, DisplayPictures) {
    std::vector<float> tone(2 * 1024);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] =
            static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000 * (i / 2) / 44100.0));
    const std::vector<double> bars = SpectrumBars(tone.data(), 1024, 44100, 10);
    EXPECT_EQ(std::max_element(bars.begin(), bars.end()) - bars.begin(), 5); // 1 kHz
    EXPECT_NEAR(bars[5], 1 + 20 * std::log10(0.5) / 60, 0.05);

    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), MakeMp3(folder.path(), "song.mp3", 2.0));
    QElapsedTimer waited; // the overview is built on the loader's thread after the song
    waited.start();
    while (!Engine().GetWaveform(0) && waited.elapsed() < 5000)
        QThread::msleep(2);
    Engine().DeliverEvents();
    PictureBox& overview = Ctl<PictureBox>(deck, "Picture1");
    PictureBox& spectrum = Ctl<PictureBox>(deck, "Picture2");
    EXPECT_FALSE(IsBlank(overview));
    deck.Cmd_Play_Click();
    Render(300);
    Tick(deck);
    EXPECT_FALSE(IsBlank(spectrum));

    // Stop clears what is live; the overview shows the song, so it stays.
    deck.Cmd_Stop_Click();
    Tick(deck);
    EXPECT_FALSE(IsBlank(overview));
    EXPECT_TRUE(IsBlank(spectrum));
}

} // namespace
} // namespace spinx::test
