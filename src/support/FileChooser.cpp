#include "support/FileChooser.h"

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

std::optional<FileDialogAnswer> ChooseFiles(const FileRequest& request) {
    std::optional<FileDialogAnswer> answer;
    if (Presenter()) answer = Presenter()(request);
    if (!answer || answer->files.empty()) return std::nullopt;
    if (answer->filterIndex <= 0) answer->filterIndex = request.filterIndex;
    return answer;
}

std::optional<std::string> ChooseFile(const FileRequest& request) {
    const std::optional<FileDialogAnswer> answer = ChooseFiles(request);
    if (!answer) return std::nullopt;
    return answer->files.front();
}

} // namespace spinx
