// The main window's menus acting on the decks: showing and hiding decks, the marker pop-up on
// the active deck only, and help from the menu and the F1 key.
#include "desktest/DeckDriving.h"
#include "shell/Frm_Help.h"
#include "widgets/PictureBox.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextBrowser>

namespace spinx::test {
namespace {

using MenuTest = DeskTest;

std::vector<bool> DeckVisibility(Frm_Main& main) {
    std::vector<bool> shown;
    for (Frm_TurnTable* deck : main.findChild<Frm_Master*>()->Decks())
        shown.push_back(deck->parentWidget()->isVisibleTo(&main));
    return shown;
}

// "Deck 3" shows deck 3 and checks its item; chosen again it hides it.
TEST_F(MenuTest, ViewDeckShowsAndHides) {
    main->show();
    EXPECT_EQ(DeckVisibility(*main), (std::vector<bool>{true, true, false, false}));
    Ctl<QAction>(*main, "Mnu_View_Deck", 2).trigger();
    EXPECT_TRUE(Ctl<QAction>(*main, "Mnu_View_Deck", 2).isChecked());
    EXPECT_EQ(DeckVisibility(*main), (std::vector<bool>{true, true, true, false}));
    Ctl<QAction>(*main, "Mnu_View_Deck", 2).trigger();
    EXPECT_EQ(DeckVisibility(*main), (std::vector<bool>{true, true, false, false}));
}

// The marker commands act on the active window only: with the mixer active they do nothing;
// a right click on a deck's bar makes that deck active and opens the menu (a pop-up, not on the
// menu bar), whose command then sets the deck's marker at the click.
TEST_F(MenuTest, MarkerMenuActsOnActiveDeckOnly) {
    main->show();
    const std::string song = MakeMp3(folder.path(), "song.mp3", 2.0);
    Frm_TurnTable& deck = Deck(0);
    LoadSong(scripted, deck, Engine(), song);

    main->Area().setActiveSubWindow(qobject_cast<QMdiSubWindow*>(master->parentWidget()));
    deck.Pic_Progress_MouseMove(0, 0, 800.f, 5);
    Ctl<QAction>(*main, "Mnu_SetPos", 0).trigger();
    Ctl<QAction>(*main, "Mnu_SetPos", 2).trigger();
    EXPECT_EQ(deck.Controller().StartPos(), 0);
    EXPECT_TRUE(Stored(song, songcol::Start).IsNull());

    deck.Pic_Progress_MouseDown(2, 0, 900.f, 5);
    EXPECT_EQ(main->Area().activeSubWindow(), deck.parentWidget());
    EXPECT_TRUE(Ctl<QMenu>(*main, "Mnu_Setup").isVisible());
    EXPECT_FALSE(main->menuBar()->actions().contains(Ctl<QMenu>(*main, "Mnu_Setup").menuAction()));
    Ctl<QAction>(*main, "Mnu_SetPos", 0).trigger();
    Ctl<QMenu>(*main, "Mnu_Setup").hide();
    EXPECT_EQ(deck.Controller().StartPos(), 900);
    EXPECT_EQ(Stored(song, songcol::Start), DbValue(900));
    EXPECT_EQ(Deck(1).Controller().StartPos(), 0);
}

// Help > Contents and the F1 key both open the help document that ships with the program, at
// its start.
TEST_F(MenuTest, HelpOpensFromMenuAndKey) {
    main->show();
    EXPECT_EQ(main->HelpForm(), nullptr);
    Ctl<QAction>(*main, "Mnu_Help_Contents").trigger();
    Frm_Help* help = main->HelpForm();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(Ctl<QTextBrowser>(*help, "Browser").source(), Frm_Help::Contents());

    help->close();
    // Keys reach shortcuts only in the active window.
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    QTest::keyClick(&Ctl<PictureBox>(Deck(0), "Pic_Progress"), Qt::Key_F1);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(main->HelpForm(), help) << "one help window, shown again";
}

} // namespace
} // namespace spinx::test
