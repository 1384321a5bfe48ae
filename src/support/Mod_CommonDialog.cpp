#include "support/Mod_CommonDialog.h"

#include "support/Mod_Diskinfo.h"

#include <utility>

namespace spinx {

namespace {
FileDialogPresenter& Presenter() {
    static FileDialogPresenter presenter;
    return presenter;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::string FolderOf(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    if (sep == std::string::npos) return {};
    return sep == 0 ? path.substr(0, 1) : path.substr(0, sep);
}
} // namespace

std::vector<FileFilter> ParseFilter(const std::string& filter) {
    std::vector<FileFilter> result;
    if (filter.empty()) return result;
    const std::vector<std::string> parts = SplitAt(filter, '|');
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        FileFilter entry{parts[i], {}};
        if (i + 1 < parts.size()) {
            for (std::string& pattern : SplitAt(parts[i + 1], ';'))
                if (!pattern.empty()) entry.patterns.push_back(std::move(pattern));
        }
        result.push_back(std::move(entry));
    }
    return result;
}

FileDialogPresenter SetFileDialogPresenter(FileDialogPresenter presenter) {
    return std::exchange(Presenter(), std::move(presenter));
}

int CommonDialog::ShowOpen() {
    return Show(FileDialogKind::Open);
}

int CommonDialog::ShowSave() {
    return Show(FileDialogKind::Save);
}

int CommonDialog::Show(FileDialogKind kind) {
    std::optional<FileDialogAnswer> answer;
    if (Presenter()) answer = Presenter()(*this, kind);
    if (!answer || answer->files.empty()) {
        if (CancelError) return kCdlCancel;
        FileName.clear();
        return 0;
    }
    if (answer->filterIndex > 0) FilterIndex = answer->filterIndex;
    FileName = MultiSelect() ? JoinSelection(answer->files) : answer->files.front();
    return 0;
}

std::string JoinSelection(const std::vector<std::string>& files) {
    if (files.empty()) return {};
    if (files.size() == 1) return files.front();
    std::string joined = FolderOf(files.front());
    for (const std::string& file : files) {
        joined += '\0';
        joined += GetFileName(file);
    }
    return joined;
}

std::string ShowFileDialog(CommonDialog& dialog, const std::string& file, const std::string& filter,
                           const std::string& title, bool multiSelect,
                           const std::string& defaultExt) {
    dialog.CancelError = true;
    std::string name = file;
    if (!name.empty()) {
        dialog.InitDir = GetPath(name);
        name = GetFileName(name);
    }
    if (!name.empty()) dialog.FileName = name;
    dialog.Filter = filter.empty() ? std::string("(All Files)|*.*") : filter;
    if (multiSelect) dialog.Flags = kCdlAllowMultiselect | kCdlExplorer;
    dialog.DefaultExt = defaultExt;
    dialog.DialogTitle = title;
    if (dialog.ShowOpen() != 0) return {};
    return dialog.FileName;
}

} // namespace spinx
