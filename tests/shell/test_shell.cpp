// The main window (menus, arrangement, start-up and shut-down), the shut-down notice and the
// common dialog.
#include "desktest/DeskTest.h"
#include "library/SongTable.h"
#include "shell/Frm_Status.h"
#include "widgets/PictureBox.h"
#include "widgets/Twips.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <filesystem>

namespace spinx::test {
namespace {

using ShellTest = DeskTest;

// Arrange puts the mixer at the top left and the decks in rows 0, 1, 2, 2 overlapping the
// mixer's right edge by 150 twips, hidden decks included, from wherever they were.
TEST_F(ShellTest, ArrangePositions) {
    for (QMdiSubWindow* window : main->Area().subWindowList())
        window->move(37, 91);
    Ctl<QAction>(*main, "Mnu_Window_Arrange").trigger();

    QWidget* mixer = master->parentWidget();
    EXPECT_EQ(mixer->pos(), QPoint(0, 0));
    const int left = mixer->width() - TwipsToPixels(150);
    const int rows[] = {0, 1, 2, 2};
    for (int p = 0; p < 4; ++p) {
        QWidget* window = Deck(p).parentWidget();
        EXPECT_EQ(window->pos(), QPoint(left, window->height() * rows[p])) << "deck " << p;
    }
    EXPECT_TRUE(Deck(2).parentWidget()->isHidden());
}

// Start-up prepares the song database in the program folder; shutting down shows the notice,
// hides the main window, unloads the children and closes the database.
TEST_F(ShellTest, StartUpAndShutDown) {
    EXPECT_TRUE(SongDbIsOpen());
    EXPECT_TRUE(std::filesystem::exists(folder / "spinx.mdb"));
    main->show();

    main->MDIForm_QueryUnload();
    Frm_Status* status = main->StatusForm();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(Ctl<QLabel>(*status, "Lbl_Status").text(), "Shutting down, please wait...");
    EXPECT_EQ(Ctl<QLabel>(*status, "Lbl_Percent").text(), "0%");
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(SongDbIsOpen()) << "the database stays open until the children are gone";

    Ctl<QAction>(*main, "Mnu_File_Exit").trigger();
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_EQ(main->StatusForm(), nullptr);
    EXPECT_TRUE(main->Area().subWindowList().isEmpty());
    EXPECT_EQ(main->MasterForm(), nullptr);
}

// The notice's bar and percentage: half for 1 of 2, full for a value beyond the maximum, and a
// maximum of 0 that changes only the text.
TEST(StatusNotice, Progress) {
    EXPECT_EQ(ProgressFillFor(5, 4)->x, 1000);
    EXPECT_EQ(ProgressFillFor(5, 4)->percent, "100%");
    EXPECT_EQ(ProgressFillFor(2, 3)->percent, "67%");
    EXPECT_EQ(ProgressFillFor(-3, 4)->percent, "0%");
    EXPECT_FALSE(ProgressFillFor(1, 0));

    Frm_Status status;
    PictureBox& picture = Ctl<PictureBox>(status, "Picture1");
    picture.resize(200, 18);
    status.Progress("Working", 1, 2);
    const QImage& bar = picture.Picture();
    EXPECT_EQ(bar.pixelColor(50, 9), QColor(0, 0, 255));
    EXPECT_EQ(bar.pixelColor(150, 9), QColor(192, 192, 192));
    status.Progress("Still working", 7, 0);
    EXPECT_EQ(Ctl<QLabel>(status, "Lbl_Status").text(), "Still working");
    EXPECT_EQ(Ctl<QLabel>(status, "Lbl_Percent").text(), "50%");
    EXPECT_EQ(picture.Picture().pixelColor(50, 9), QColor(0, 0, 255));
}

// The common dialog keeps its settings between calls, as the old control did: a proposed file
// sets folder and name, an empty one keeps them, multi-select stays on once switched on, and
// Cancel gives "" (or the old error number, when CancelError asks for it).
TEST(CommonDialogTest, KeepsSettingsBetweenCalls) {
    ScriptedDialogs scripted;
    CommonDialog dialog;
    scripted.Choose({"/music/a.mp3"});
    EXPECT_EQ(ShowFileDialog(dialog, "/music/a.mp3", "", "Pick"), "/music/a.mp3");
    const CommonDialog& first = scripted.dialogs.at(0).settings;
    EXPECT_EQ(first.InitDir, "/music");
    EXPECT_EQ(first.FileName, "a.mp3");
    EXPECT_EQ(first.Filter, "(All Files)|*.*");

    scripted.Choose({"/songs/x.mp3", "/songs/y.mp3"}, 2);
    EXPECT_EQ(ShowFileDialog(dialog, "", "A|*.mp3|B|*.m3u", "More", true),
              std::string("/songs\0x.mp3\0y.mp3", 18));
    EXPECT_EQ(scripted.dialogs.at(1).settings.InitDir, "/music");
    EXPECT_EQ(scripted.dialogs.at(1).settings.FileName, "/music/a.mp3");
    EXPECT_EQ(dialog.FilterIndex, 2);

    scripted.Choose({"/songs/z.mp3"});
    EXPECT_EQ(ShowFileDialog(dialog, "", "A|*.mp3", "Again"), "/songs/z.mp3");
    EXPECT_TRUE(scripted.dialogs.at(2).settings.MultiSelect());
    scripted.Cancel();
    EXPECT_EQ(ShowFileDialog(dialog, "/music/b.mp3", "A|*.mp3", "Cancel me"), "");

    dialog.FileName = "kept.mp3";
    scripted.Cancel();
    EXPECT_EQ(dialog.ShowSave(), kCdlCancel);
    EXPECT_EQ(dialog.FileName, "kept.mp3");
    dialog.CancelError = false;
    scripted.Cancel();
    EXPECT_EQ(dialog.ShowOpen(), 0);
    EXPECT_EQ(dialog.FileName, "");

    const std::vector<FileFilter> filters = ParseFilter("Songs & Lists|*.mp3;*.m3u|All|*.*");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.mp3", "*.m3u"}));
}

} // namespace
} // namespace spinx::test
