#pragma once
// The Open and Save dialogs as the old common dialog control offered them: a value that keeps its
// settings between calls, shown through a replaceable presenter. The windows install a presenter
// that shows a real dialog, tests install one that answers by script. UI thread only.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace spinx {

enum class FileDialogKind { Open, Save };

// The control's flag numbers, kept so that callers read as they always did.
inline constexpr int32_t kCdlOverwritePrompt = 0x2;
inline constexpr int32_t kCdlAllowMultiselect = 0x200;
inline constexpr int32_t kCdlExplorer = 0x80000;
// Error number of a cancelled dialog when CancelError is set.
inline constexpr int kCdlCancel = 32755;

// One entry of a filter list such as "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*".
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns; // from the ";"-separated pattern part
};
std::vector<FileFilter> ParseFilter(const std::string& filter);

// What a presenter reports when the user pressed OK.
struct FileDialogAnswer {
    std::vector<std::string> files; // full paths, at least one
    int filterIndex = 0;            // 1-based filter the user ended on; 0 leaves it unchanged
};

class CommonDialog;
// Shows the dialog described by `dialog`; no answer means Cancel (or a dialog that failed).
using FileDialogPresenter =
    std::function<std::optional<FileDialogAnswer>(const CommonDialog& dialog, FileDialogKind kind)>;

// Replaces the presenter and returns the previous one. Without a presenter every dialog cancels.
FileDialogPresenter SetFileDialogPresenter(FileDialogPresenter presenter);

class CommonDialog {
  public:
    std::string InitDir;
    std::string FileName;    // in: the proposed name; out: the choice (see JoinSelection)
    std::string Filter;      // "description|pattern|description|pattern..."
    int FilterIndex = 1;     // 1-based
    std::string DefaultExt;  // added to a typed name that has no extension
    std::string DialogTitle; // empty: the toolkit's own title
    int32_t Flags = 0;
    bool CancelError = false;

    // 0 when a file was chosen (FileName holds it). On Cancel: kCdlCancel when CancelError is
    // set, leaving FileName as it was; otherwise 0 with FileName cleared.
    int ShowOpen();
    int ShowSave();

    bool MultiSelect() const { return (Flags & kCdlAllowMultiselect) != 0; }

  private:
    int Show(FileDialogKind kind);
};

// The old control's multi-selection form: one file gives its full path; several give their
// folder followed by each file name, the parts separated by a NUL character.
std::string JoinSelection(const std::vector<std::string>& files);

// Prepares `dialog` and shows it for opening: a proposed `file` sets the folder and name, an
// empty one keeps what the dialog last had; multi-select is switched on (never off again).
// Returns the choice, or "" on Cancel.
std::string ShowFileDialog(CommonDialog& dialog, const std::string& file, const std::string& filter,
                           const std::string& title, bool multiSelect = false,
                           const std::string& defaultExt = "");

} // namespace spinx
