// The main window (arrangement, start-up and shut-down) and the shut-down notice.
#include "desktest/DeskTest.h"
#include "library/SongTable.h"
#include "shell/Frm_Status.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWindow>

#include <filesystem>

namespace spinx::test {
namespace {

using ShellTest = DeskTest;

// Start-up prepares the song database in the program folder; shutting down shows the notice,
// hides the main window, unloads the children and closes the database.
TEST_F(ShellTest, StartUpAndShutDown) {
    EXPECT_TRUE(SongDbIsOpen());
    EXPECT_TRUE(std::filesystem::exists(folder / "spinx.mdb"));
    main->show();

    main->MDIForm_QueryUnload();
    Frm_Status* status = main->StatusForm();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->windowHandle()->isExposed()) << "the notice is up before the work starts";
    EXPECT_EQ(Ctl<QLabel>(*status, "Lbl_Status").text(), "Shutting down, please wait...");
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(SongDbIsOpen()) << "the database stays open until the children are gone";

    Ctl<QAction>(*main, "Mnu_File_Exit").trigger();
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_EQ(main->StatusForm(), nullptr);
    EXPECT_TRUE(main->Area().subWindowList().isEmpty());
}

// The notice's fill: clamped at both ends, and a maximum of 0 changes only the text.
TEST(StatusNotice, ProgressFill) {
    EXPECT_EQ(ProgressFillFor(5, 4)->x, 1000);
    EXPECT_EQ(ProgressFillFor(2, 3)->percent, "67%");
    EXPECT_EQ(ProgressFillFor(-3, 4)->percent, "0%");
    EXPECT_FALSE(ProgressFillFor(1, 0));
}

} // namespace
} // namespace spinx::test
