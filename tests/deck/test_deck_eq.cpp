// The deck's equaliser: the EQ settings file, the panel, resets, loading and saving curves.
#include "deck/EqFile.h"
#include "deck/EqPanel.h"
#include "desktest/DeckDriving.h"
#include "widgets/PictureBox.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QToolButton>

#include <filesystem>

namespace spinx::test {
namespace {

using EqTest = DeskTest;

const EqGains kExample = {-100, -50, 0, 50, 100, 0, 0, 0, 0, 1};
const std::string kExampleText =
    "-100 \r\n-50 \r\n 0 \r\n 50 \r\n 100 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n";

// The file text round-trips byte for byte; hand-written files (plain numbers, blanks, LF,
// fractions rounded half to even, extra lines) read too; a short or damaged file sets only the
// bands it holds valid numbers for and says it was incomplete.
TEST(EqFile, TextRoundTripAndDamage) {
    EXPECT_EQ(EqFileText(kExample), kExampleText);
    EqGains gains{};
    EXPECT_TRUE(ReadEqFileText(kExampleText, gains));
    EXPECT_EQ(gains, kExample);
    EXPECT_TRUE(ReadEqFileText("5\n5\n5\n5\n5\n5\n5\n5\n5\n5", gains));
    EXPECT_EQ(gains, (EqGains{5, 5, 5, 5, 5, 5, 5, 5, 5, 5}));
    EXPECT_TRUE(ReadEqFileText("  -3\t\r\n+4\n2.5\n3.5\n0\n0\n0\n0\n0\n0\nbanana\n", gains));
    EXPECT_EQ(gains, (EqGains{-3, 4, 2, 4, 0, 0, 0, 0, 0, 0}));

    gains.fill(33);
    EXPECT_FALSE(ReadEqFileText("150\nabc\n\n-101\n4 5\n6\n7", gains));
    EXPECT_EQ(gains, (EqGains{33, 33, 33, 33, 33, 6, 7, 33, 33, 33}));
}

// Each band sends the whole curve once per change; a caption resets its band and the reset
// button all bands, sending only for bands that change; the picture mirrors the thumbs; "EQ"
// only changes the window's width.
TEST_F(EqTest, BandsResetsPictureAndWidth) {
    Frm_TurnTable& deck = Deck(0);
    QToolButton& save = Ctl<QToolButton>(deck, "Cmd_Update");
    int sent = 0;
    QObject::connect(&Ctl<EqPanel>(deck, "Frame1"), &EqPanel::curveChanged, [&] { ++sent; });
    Ctl<QScrollBar>(deck, "VEqual", 0).setValue(35);
    Ctl<QScrollBar>(deck, "VEqual", 9).setValue(100);
    Ctl<QScrollBar>(deck, "VEqual", 9).setValue(100);
    EXPECT_EQ(sent, 2);
    EXPECT_TRUE(save.isEnabled());

    Ctl<QScrollBar>(deck, "VEqual", 0).setValue(-100);
    const QImage& picture = Ctl<PictureBox>(deck, "Pic_EQ").Picture();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black)) << "-100 is drawn at the top";
    EXPECT_EQ(picture.pixelColor(0, picture.height() - 1), QColor(Qt::white));

    sent = 0;
    Ctl<QToolButton>(deck, "Cmd_ResetEq", 0).click();
    Ctl<QToolButton>(deck, "Cmd_ResetEq", 0).click();
    EXPECT_EQ(sent, 1);
    Ctl<QScrollBar>(deck, "VEqual", 5).setValue(60);
    Ctl<QToolButton>(deck, "Cmd_ResetEq", 10).click();
    EXPECT_EQ(deck.Controller().Curve(), EqGains{});
    EXPECT_EQ(sent, 4) << "band 5 set, then bands 5 and 9 reset";
    save.setEnabled(false);
    Ctl<QToolButton>(deck, "Cmd_ResetEq", 10).click();
    EXPECT_EQ(sent, 4);
    EXPECT_FALSE(save.isEnabled());

    QWidget* window = deck.parentWidget();
    const int wide = window->width();
    Ctl<QCheckBox>(deck, "Chk_Eq").click();
    EXPECT_LT(window->width(), wide);
    EXPECT_EQ(sent, 4);
    Ctl<QCheckBox>(deck, "Chk_Eq").click();
    EXPECT_EQ(window->width(), wide);
}

// A curve saved in one deck (the file of the example, in the program folder by default, an
// existing file replaced only after "Overwrite file?" is answered Yes) loads into another.
// Failures are told and change nothing they should not: an unreadable or oversized file leaves
// every band, a short one sets what it has.
TEST_F(EqTest, FilesAcrossDecksAndFailures) {
    Frm_TurnTable& source = Deck(0);
    for (int i = 0; i < 10; ++i)
        Ctl<QScrollBar>(source, "VEqual", i).setValue(kExample[i]);
    const std::string file = folder / "curve.eq";
    scripted.Choose({file});
    source.Cmd_SaveEq_Click();
    const FileRequest& save = scripted.dialogs.at(0);
    EXPECT_EQ(save.folder, folder.path());
    EXPECT_EQ(save.defaultExt, "eq");
    EXPECT_EQ(ReadFile(file), kExampleText);
    {
        AnswerBoxes no(MsgResult::No);
        Ctl<QScrollBar>(source, "VEqual", 2).setValue(9);
        scripted.Choose({file});
        source.Cmd_SaveEq_Click();
        EXPECT_EQ(no.texts, std::vector<std::string>{"Overwrite file?"});
        EXPECT_EQ(ReadFile(file), kExampleText);
    }

    Frm_TurnTable& target = Deck(1);
    Ctl<QScrollBar>(target, "VEqual", 3).setValue(25);
    int sent = 0;
    QObject::connect(&Ctl<EqPanel>(target, "Frame1"), &EqPanel::curveChanged, [&] { ++sent; });
    scripted.Choose({folder / "missing.eq"});
    target.Cmd_LoadEq_Click();
    EXPECT_EQ(scripted.messages, std::vector<std::string>{"Error loading Eq settings!"});
    EXPECT_EQ(sent, 0);
    scripted.Choose({WriteFile(folder / "short.eq", " 10 \r\n")});
    target.Cmd_LoadEq_Click();
    EXPECT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(target.Controller().Curve(), (EqGains{10, 0, 0, 25, 0, 0, 0, 0, 0, 0}));
    scripted.Choose({file});
    target.Cmd_LoadEq_Click();
    EXPECT_EQ(target.Controller().Curve(), kExample);
    EXPECT_EQ(scripted.messages.size(), 2u);
    // A file far too large for a curve is refused whole, however well it starts.
    std::string huge = EqFileText(EqGains{});
    huge.resize(64 * 1024 + 1, '\n');
    scripted.Choose({WriteFile(folder / "huge.eq", huge)});
    target.Cmd_LoadEq_Click();
    EXPECT_EQ(target.Controller().Curve(), kExample);
    EXPECT_EQ(scripted.messages.size(), 3u);

    // A folder in the file's place cannot be replaced: told.
    std::filesystem::create_directory(folder / "taken.eq");
    AnswerBoxes yes(MsgResult::Yes);
    scripted.Choose({folder / "taken.eq"});
    source.Cmd_SaveEq_Click();
    EXPECT_EQ(yes.texts,
              (std::vector<std::string>{"Overwrite file?", "Error saving Eq settings!"}));
}

} // namespace
} // namespace spinx::test
