#pragma once
// Open and Save dialogs as a request and an answer, shown through a replaceable presenter: the
// windows install one that shows a real dialog, tests one that answers by script. UI thread
// only.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace spinx {

enum class FileDialogKind { Open, Save };

// One entry of a filter list such as "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*".
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns; // from the ";"-separated pattern part
};
std::vector<FileFilter> ParseFilter(const std::string& filter);

struct FileRequest {
    FileDialogKind kind = FileDialogKind::Open;
    std::string title;             // empty: the toolkit's own
    std::string folder;            // where the dialog opens
    std::string name;              // the file name proposed
    std::string filter;            // "description|pattern|description|pattern..."
    int filterIndex = 1;           // 1-based: the filter shown first
    std::string defaultExt;        // added to a typed name that has none
    bool multiple = false;         // Open: several files at once
    bool confirmOverwrite = false; // Save: ask before replacing a file
};

// What a presenter reports when the user pressed OK.
struct FileDialogAnswer {
    std::vector<std::string> files; // full paths, at least one
    int filterIndex = 0;            // 1-based filter the user ended on; 0 leaves it unchanged
};

// Shows the dialog; no answer means Cancel (or a dialog that failed).
using FileDialogPresenter = std::function<std::optional<FileDialogAnswer>(const FileRequest&)>;
// Replaces the presenter and returns the previous one. Without a presenter every dialog cancels.
FileDialogPresenter SetFileDialogPresenter(FileDialogPresenter presenter);

// The files chosen and the filter the user ended on; nothing on Cancel.
std::optional<FileDialogAnswer> ChooseFiles(const FileRequest& request);
// The one file chosen; nothing on Cancel.
std::optional<std::string> ChooseFile(const FileRequest& request);

} // namespace spinx
