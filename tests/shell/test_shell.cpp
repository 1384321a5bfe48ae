// The main window (arrangement, start-up and shut-down) and the shut-down notice.
#include "desktest/DeskTest.h"
#include "library/SongTable.h"
#include "shell/Frm_Status.h"
#include "widgets/PictureBox.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

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

} // namespace
} // namespace spinx::test
