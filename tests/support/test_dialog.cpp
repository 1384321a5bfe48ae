// The common dialog as the windows use it, answered by the test instead of a person.
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace spinx {
namespace {

// The common dialog keeps its settings between calls, as the old control did: a proposed file
// sets folder and name, an empty one keeps them, multi-select stays on once switched on, and
// Cancel gives "" (or the old error number, when CancelError asks for it).
TEST(CommonDialogTest, KeepsSettingsBetweenCalls) {
    test::ScriptedDialogs scripted;
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
} // namespace spinx
