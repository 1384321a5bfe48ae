// The deck's equaliser: the EQ settings file, the panel's controls, resets and the curve
// picture, loading and saving curves.
#include "deck/Mod_Equaliser.h"
#include "desktest/DeckDriving.h"
#include "shell/PictureBox.h"
#include "shell/Twips.h"
#include "support/Mod_INI.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QToolButton>

#include <filesystem>

namespace spinx::test {
namespace {

using EqTest = DeskTest;

const EqGains kExample = {-100, -50, 0, 50, 100, 0, 0, 0, 0, 1};
const std::string kExampleText = "-100 \r\n-50 \r\n 0 \r\n 50 \r\n 100 \r\n"
                                 " 0 \r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n";

// The file text keeps its spacing (sign or blank in front, blank behind, CR LF) byte for byte,
// and reads back to the same curve.
TEST(EqFile, ExampleCurveRoundTrip) {
    EXPECT_EQ(EqFileText(kExample), kExampleText);
    std::string flat;
    for (int i = 0; i < 10; ++i)
        flat += " 0 \r\n";
    EXPECT_EQ(EqFileText(EqGains{}), flat);
    EqGains read{};
    read.fill(7);
    EXPECT_TRUE(ReadEqFileText(kExampleText, read));
    EXPECT_EQ(read, kExample);
}

// Files written by hand: plain numbers, blanks and tabs around them, LF endings, no final line
// end, fractions rounded half to even, and anything after the tenth line ignored.
TEST(EqFile, HandWrittenFiles) {
    EqGains gains{};
    EXPECT_TRUE(ReadEqFileText("5\n5\n5\n5\n5\n5\n5\n5\n5\n5\n", gains));
    EqGains fives;
    fives.fill(5);
    EXPECT_EQ(gains, fives);

    EXPECT_TRUE(ReadEqFileText("  -3\t\r\n+4\n2.5\n3.5\n-2.5\n100\n-100\n0\n 9 \n10", gains));
    EXPECT_EQ(gains, (EqGains{-3, 4, 2, 4, -2, 100, -100, 0, 9, 10}));
    EXPECT_TRUE(ReadEqFileText(kExampleText + "banana\r\n300\r\n", gains));
    EXPECT_EQ(gains, kExample);
}

// A short or damaged file sets the bands it holds valid numbers for, keeps the others, and
// says it was not complete.
TEST(EqFile, DamagedFilesSetOnlyWhatTheyHold) {
    EqGains gains;
    gains.fill(33);
    EXPECT_FALSE(ReadEqFileText("1\n2\n3\n", gains));
    EXPECT_EQ(gains, (EqGains{1, 2, 3, 33, 33, 33, 33, 33, 33, 33}));

    gains.fill(33);
    EXPECT_FALSE(ReadEqFileText("150\nabc\n\n-101\n4 5\n6\n7\n8\n9\n10\n", gains));
    EXPECT_EQ(gains, (EqGains{33, 33, 33, 33, 33, 6, 7, 8, 9, 10}));

    gains.fill(33);
    EXPECT_FALSE(ReadEqFileText("", gains));
    EXPECT_EQ(gains[0], 33);
}

// The panel has its controls, captions, tool tips and places; every band sends the whole
// curve at once and marks the song's settings unsaved; the picture follows the thumbs.
TEST_F(EqTest, PanelAndCurve) {
    Frm_TurnTable& deck = Deck(0);
    EXPECT_EQ(deck.Frame1->title(), "Equaliser");
    EXPECT_EQ(deck.Frame1->geometry(), QRect(TwipsPoint(4320, 0), TwipsSize(4455, 2175)));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(deck.VEqual[i]->minimum(), -100);
        EXPECT_EQ(deck.VEqual[i]->maximum(), 100);
        EXPECT_EQ(deck.VEqual[i]->pageStep(), 10);
        EXPECT_EQ(deck.VEqual[i]->geometry().topLeft(), TwipsPoint(120 + 360 * i, 240));
        EXPECT_EQ(deck.Cmd_ResetEq[i]->text().toStdString(), kEqBandCaptions[i]);
    }
    EXPECT_EQ(deck.Cmd_ResetEq[9]->width(), TwipsToPixels(480));
    EXPECT_EQ(deck.Cmd_LoadEq->toolTip(), "Load EQ settings");
    EXPECT_EQ(deck.Cmd_SaveEq->toolTip(), "Save EQ settings");
    EXPECT_EQ(deck.Cmd_ResetEq[10]->toolTip(), "Reset EQ settings");
    EXPECT_EQ(deck.Chk_Eq->text(), "EQ");
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());

    const int sent = deck.EqualizerCalls();
    deck.VEqual[0]->setValue(-100);
    deck.VEqual[9]->setValue(100);
    EXPECT_EQ(deck.EqualizerCalls(), sent + 2);
    EXPECT_EQ(deck.Curve(), (EqGains{-100, 0, 0, 0, 0, 0, 0, 0, 0, 100}));
    EXPECT_TRUE(deck.Cmd_Update->isEnabled());
    deck.VEqual[9]->setValue(100);
    EXPECT_EQ(deck.EqualizerCalls(), sent + 2) << "an unchanged band sends nothing";

    // Band 0 at -100 is drawn at the top left, as its thumb sits at the top.
    const QImage& picture = deck.Pic_EQ->Picture();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(0, picture.height() - 1), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(picture.width() / 2, picture.height() / 2), QColor(Qt::black));
}

// Resetting by a band's caption or by the reset button sends the curve once for each band that
// actually changes; a flat reset sends nothing and leaves "Save settings" as it was.
TEST_F(EqTest, ResetsSendOnlyChangedBands) {
    Frm_TurnTable& deck = Deck(1);
    deck.VEqual[0]->setValue(35);
    int sent = deck.EqualizerCalls();
    deck.Cmd_ResetEq[0]->click();
    EXPECT_EQ(deck.VEqual[0]->value(), 0);
    EXPECT_EQ(deck.EqualizerCalls(), sent + 1);
    deck.Cmd_ResetEq[0]->click();
    EXPECT_EQ(deck.EqualizerCalls(), sent + 1);

    deck.VEqual[2]->setValue(-20);
    deck.VEqual[5]->setValue(60);
    deck.VEqual[8]->setValue(1);
    sent = deck.EqualizerCalls();
    deck.Cmd_ResetEq[10]->click();
    EXPECT_EQ(deck.Curve(), EqGains{});
    EXPECT_EQ(deck.EqualizerCalls(), sent + 3);

    deck.Cmd_Update->setEnabled(false);
    deck.Cmd_ResetEq_Click(10);
    EXPECT_EQ(deck.EqualizerCalls(), sent + 3);
    EXPECT_FALSE(deck.Cmd_Update->isEnabled());
}

// "EQ" only narrows and widens the window: the equaliser stays in force.
TEST_F(EqTest, CheckBoxChangesOnlyTheWidth) {
    Frm_TurnTable& deck = Deck(0);
    QWidget* window = deck.parentWidget();
    EXPECT_EQ(window->width(), TwipsToPixels(8955));
    deck.VEqual[4]->setValue(40);
    const int sent = deck.EqualizerCalls();
    deck.Chk_Eq->click();
    EXPECT_EQ(window->width(), TwipsToPixels(4395));
    EXPECT_EQ(deck.EqualizerCalls(), sent);
    EXPECT_EQ(deck.VEqual[4]->value(), 40);
    EXPECT_GE(deck.width(), deck.Chk_Eq->geometry().right()) << "the check box stays in view";
    deck.Chk_Eq->click();
    EXPECT_EQ(window->width(), TwipsToPixels(8955));
}

// A curve saved from one deck is the file of the example, byte for byte, in the folder of
// "Eq Settings Path" (the program folder when unset); it loads into another deck; an existing
// file is replaced only after "Overwrite file?" is answered Yes.
TEST_F(EqTest, SaveAndLoadAcrossDecks) {
    Frm_TurnTable& source = Deck(0);
    for (int i = 0; i < 10; ++i)
        source.VEqual[i]->setValue(kExample[i]);
    const std::string file = folder / "curve.eq";

    scripted.Choose({file});
    source.Cmd_SaveEq_Click();
    ASSERT_EQ(scripted.dialogs.size(), 1u);
    const ScriptedDialogs::Shown& save = scripted.dialogs[0];
    EXPECT_EQ(save.kind, FileDialogKind::Save);
    EXPECT_EQ(save.settings.InitDir, folder.path());
    EXPECT_EQ(save.settings.DefaultExt, "eq");
    EXPECT_EQ(save.settings.Filter, "EQ Settings (*.eq)|*.eq|All files (*.*)|*.*");
    EXPECT_EQ(save.settings.FilterIndex, 1);
    EXPECT_EQ(save.settings.FileName, "");
    EXPECT_EQ(ReadFile(file), kExampleText);
    EXPECT_TRUE(scripted.messages.empty());

    {
        AnswerBoxes no(MsgResult::No);
        source.VEqual[0]->setValue(0);
        scripted.Choose({file});
        source.Cmd_SaveEq_Click();
        EXPECT_EQ(no.texts, std::vector<std::string>{"Overwrite file?"});
        EXPECT_EQ(ReadFile(file), kExampleText);
    }
    {
        AnswerBoxes yes(MsgResult::Yes);
        scripted.Choose({file});
        source.Cmd_SaveEq_Click();
        EXPECT_EQ(yes.texts, std::vector<std::string>{"Overwrite file?"});
        EXPECT_EQ(ReadFile(file).substr(0, 4), " 0 \r");
        source.VEqual[0]->setValue(-100);
        scripted.Choose({file});
        source.Cmd_SaveEq_Click();
    }

    ASSERT_TRUE(WriteINI("", "Eq Settings Path", "/some/eq/folder", "Settings"));
    Frm_TurnTable& target = Deck(1);
    const int sent = target.EqualizerCalls();
    scripted.Choose({file});
    target.Cmd_LoadEq_Click();
    ASSERT_EQ(scripted.dialogs.size(), 5u);
    const ScriptedDialogs::Shown& open = scripted.dialogs.back();
    EXPECT_EQ(open.kind, FileDialogKind::Open);
    EXPECT_EQ(open.settings.InitDir, "/some/eq/folder");
    EXPECT_EQ(open.settings.DefaultExt, "") << "the song loader must not add .eq to names";
    EXPECT_EQ(target.Curve(), kExample);
    EXPECT_EQ(target.EqualizerCalls(), sent + 5) << "one send per band that changed";
    EXPECT_TRUE(scripted.messages.empty());
}

// What goes wrong with EQ files is told, and leaves the curve (and files) as they were: a
// cancelled dialog does nothing; an unreadable file changes no band; a short file sets what it
// has; a file that cannot be written is reported and nothing half-written stays behind.
TEST_F(EqTest, FailuresKeepCurveAndFiles) {
    Frm_TurnTable& deck = Deck(0);
    deck.VEqual[3]->setValue(25);
    const EqGains before = deck.Curve();
    const int sent = deck.EqualizerCalls();

    scripted.Cancel();
    deck.Cmd_LoadEq_Click();
    scripted.Cancel();
    deck.Cmd_SaveEq_Click();
    EXPECT_TRUE(scripted.messages.empty());

    scripted.Choose({folder / "missing.eq"});
    deck.Cmd_LoadEq_Click();
    EXPECT_EQ(scripted.messages, std::vector<std::string>{"Error loading Eq settings!"});
    EXPECT_EQ(deck.Curve(), before);
    EXPECT_EQ(deck.EqualizerCalls(), sent);

    scripted.Choose({WriteFile(folder / "short.eq", " 10 \r\n-10 \r\n")});
    deck.Cmd_LoadEq_Click();
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(deck.Curve(), (EqGains{10, -10, 0, 25, 0, 0, 0, 0, 0, 0}));

    scripted.Choose({folder / "no-such-folder/x.eq"});
    deck.Cmd_SaveEq_Click();
    EXPECT_EQ(scripted.messages.back(), "Error saving Eq settings!");
    EXPECT_FALSE(std::filesystem::exists(folder / "no-such-folder"));

    // A folder in the file's place: replacing it fails, and the folder keeps its contents.
    const std::string taken = folder / "taken.eq";
    std::filesystem::create_directory(taken);
    WriteFile(taken + "/inside.txt", "kept");
    const auto entries = [&] {
        return std::distance(std::filesystem::directory_iterator(folder.path()),
                             std::filesystem::directory_iterator());
    };
    const auto entriesBefore = entries();
    AnswerBoxes yes(MsgResult::Yes);
    scripted.Choose({taken});
    deck.Cmd_SaveEq_Click();
    EXPECT_EQ(yes.texts,
              (std::vector<std::string>{"Overwrite file?", "Error saving Eq settings!"}));
    EXPECT_EQ(ReadFile(taken + "/inside.txt"), "kept");
    EXPECT_EQ(entries(), entriesBefore) << "no temporary file is left beside the target";
}

} // namespace
} // namespace spinx::test
