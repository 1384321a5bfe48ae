// What a DJ does without thinking: loading from the playlist by drag, double-click, Enter or key,
// the desk's keys (kept away from text boxes), and the questions before live music is cut.
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "library/SongTable.h"
#include "support/Mod_INI.h"
#include "support/SettingsKeys.h"
#include "widgets/ListBox.h"

#include <QLineEdit>
#include <QSlider>
#include <QTest>

namespace spinx::test {
namespace {

using HabitTest = DeskTest;

// Loading over a playing deck asks; No keeps the song, "Don't ask again" is kept in the settings
// file and stops the question; Exit with a deck playing asks, and No keeps the program running.
TEST_F(HabitTest, LiveActionsAskFirst) {
    const std::string first = MakeMp3(folder.path(), "first.mp3", 2.0);
    const std::string second = MakeMp3(folder.path(), "second.mp3", 2.0);
    master->AddFile(second);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    list.setCurrentRow(0);
    scripted.Choose({first});
    Deck(0).Load0Btn_Click();
    Settle();
    Deck(0).Cmd_Play_Click();
    ASSERT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Playing);

    scripted.replies = {MsgResult::No};
    Deck(0).Form_DragDrop(&list);
    EXPECT_EQ(Deck(0).Controller().Filename(), first);
    ASSERT_EQ(scripted.messages.size(), 1u);
    scripted.replies = {MsgResult::YesDontAsk};
    Deck(0).Form_DragDrop(&list);
    EXPECT_EQ(Deck(0).Controller().Filename(), second);
    EXPECT_EQ(ReadINI("", kAskLoadOverPlayingKey, "", kSettingsSection), "No");
    Settle();
    Deck(0).Cmd_Play_Click();
    ASSERT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Playing);
    scripted.Choose({first});
    Deck(0).Load0Btn_Click();
    EXPECT_EQ(Deck(0).Controller().Filename(), first);
    EXPECT_EQ(scripted.messages.size(), 2u) << "asked again after Don't ask again";

    Settle();
    Deck(0).Cmd_Play_Click();
    scripted.replies = {MsgResult::No};
    main->Mnu_File_Exit_Click();
    EXPECT_TRUE(SongDbIsOpen());
    EXPECT_EQ(scripted.messages.size(), 3u);
    Deck(0).Cmd_Stop_Click();
    main->Mnu_File_Exit_Click();
    EXPECT_FALSE(SongDbIsOpen()) << "a stopped desk closes without a question";
    EXPECT_EQ(scripted.messages.size(), 3u);
}

// Enter and double-click load the current row into Deck A, else Deck B when A is in use, else
// nowhere; the desk's keys play, stop, load and move the crossfader, but not from a text box.
TEST_F(HabitTest, PlaylistGesturesAndKeys) {
    const std::string a = MakeMp3(folder.path(), "a.mp3", 2.0);
    const std::string b = MakeMp3(folder.path(), "b.mp3", 2.0);
    master->AddFile(a);
    master->AddFile(b);
    main->show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    ListBox& list = Ctl<ListBox>(*master, "List1");
    list.setCurrentRow(0);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(Deck(0).Controller().Filename(), a);
    Settle();
    QTest::keyClick(&list, Qt::Key_F5);
    EXPECT_EQ(Engine().GetPlayerStatus(0), PlayerStatus::Playing);

    list.setCurrentRow(1);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                       list.visualItemRect(list.item(1)).center());
    EXPECT_EQ(Deck(1).Controller().Filename(), b);
    Settle();
    Deck(1).Cmd_Play_Click();
    EXPECT_EQ(master->LoadCurrentRow(), -1) << "both decks play";
    EXPECT_EQ(Deck(1).Controller().Filename(), b);

    QTest::keyClick(&list, Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(Engine().GetPlayerStatus(1), PlayerStatus::Stopped);
    list.setCurrentRow(0);
    QTest::keyClick(&list, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(Deck(2).Controller().Filename(), a);

    QSlider& crossfader = Ctl<QSlider>(*master, "HScroll1");
    QTest::keyClick(&list, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(crossfader.value(), 10);
    QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(crossfader.value(), 100);
    QLineEdit& text = Ctl<QLineEdit>(*master, "Txt_Overlap");
    text.setFocus();
    Settle();
    QTest::keyClick(&text, Qt::Key_F7);
    EXPECT_NE(Engine().GetPlayerStatus(2), PlayerStatus::Playing) << "a key typed into a text box played";
    QTest::keyClick(&list, Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(master->AutoPlayer().Enabled());
}

} // namespace
} // namespace spinx::test
