// The file dialogs as the windows use them, answered by the test instead of a person.
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace spinx {
namespace {

// The common dialog keeps its settings between calls, as the old control did: a proposed file
// sets folder and name, an empty one keeps them, multi-select stays on once switched on, and
// Cancel gives "" (or the old error number, when CancelError asks for it).
// A request reaches the presenter as it was made; an answer gives the files and keeps the
// request's filter when the presenter names none; Cancel, or no presenter, gives nothing.
TEST(FileChooserTest, RequestsAndAnswers) {
    test::ScriptedDialogs scripted;
    FileRequest request;
    request.title = "Pick";
    request.folder = "/music";
    request.filterIndex = 2;
    request.multiple = true;
    scripted.Choose({"/music/a.mp3", "/music/b.mp3"});
    const std::optional<FileDialogAnswer> answer = ChooseFiles(request);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->files, (std::vector<std::string>{"/music/a.mp3", "/music/b.mp3"}));
    EXPECT_EQ(answer->filterIndex, 2);
    ASSERT_EQ(scripted.dialogs.size(), 1u);
    EXPECT_EQ(scripted.dialogs[0].folder, "/music");
    EXPECT_TRUE(scripted.dialogs[0].multiple);
    scripted.Choose({"/songs/z.mp3"}, 1);
    EXPECT_EQ(ChooseFile(request), "/songs/z.mp3");
    scripted.Cancel();
    EXPECT_FALSE(ChooseFile(request));
    const FileDialogPresenter previous = SetFileDialogPresenter(nullptr);
    EXPECT_FALSE(ChooseFiles(request)) << "without a presenter every dialog cancels";
    SetFileDialogPresenter(previous);

    const std::vector<FileFilter> filters = ParseFilter("Songs & Lists|*.mp3;*.m3u|All|*.*");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.mp3", "*.m3u"}));
}

} // namespace
} // namespace spinx
