#include "widgets/DesktopDialogs.h"

#include "support/DataLocation.h"
#include "support/FileChooser.h"
#include "support/ListChoice.h"
#include "support/Mod_Diskinfo.h"
#include "support/MsgBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace spinx {

namespace {
MsgResult ShowMessageBox(const std::string& text, MsgButtons buttons, const std::string& title) {
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (buttons) {
    case MsgButtons::OK:
        break;
    case MsgButtons::YesNo:
        shown = QMessageBox::Yes | QMessageBox::No;
        icon = QMessageBox::Question;
        break;
    case MsgButtons::RetryCancel:
        shown = QMessageBox::Retry | QMessageBox::Cancel;
        icon = QMessageBox::Warning;
        break;
    case MsgButtons::YesNoDontAsk:
        shown = QMessageBox::Yes | QMessageBox::No;
        icon = QMessageBox::Question;
        break;
    }
    // The terminal or session log keeps every message, also those of a start nobody watched.
    std::fprintf(stderr, "spinx: message box: %s\n", text.c_str());
    QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(text), shown,
                    QApplication::activeWindow());
    if (buttons == MsgButtons::YesNoDontAsk)
        box.setCheckBox(new QCheckBox(QStringLiteral("Don't ask again"), &box));
    switch (box.exec()) {
    case QMessageBox::Yes:
        return box.checkBox() && box.checkBox()->isChecked() ? MsgResult::YesDontAsk
                                                             : MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        return MsgResult::OK;
    }
}

// "MP3 Songs (*.mp3)" with pattern "*.mp3" stays as it is; a description without its patterns
// gets them added, as the file dialog reads the patterns from the parentheses.
QString NameFilter(const FileFilter& filter) {
    QString description = QString::fromStdString(filter.description).trimmed();
    if (description.endsWith(QLatin1Char(')'))) {
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0) description = description.left(open).trimmed();
    }
    QStringList patterns;
    for (const std::string& pattern : filter.patterns)
        // "*.*" meant every file where it came from; here many names have no dot.
        patterns << (pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern));
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    return description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

std::optional<FileDialogAnswer> ShowQtFileDialog(const FileRequest& request) {
    QFileDialog box(QApplication::activeWindow(), QString::fromStdString(request.title));
    box.setDirectory(QString::fromStdString(DialogStartFolder(request.folder)));
    QStringList filters;
    for (const FileFilter& filter : ParseFilter(request.filter))
        filters << NameFilter(filter);
    if (!filters.isEmpty()) {
        box.setNameFilters(filters);
        const int index = std::clamp(request.filterIndex, 1, static_cast<int>(filters.size()));
        box.selectNameFilter(filters[index - 1]);
    }
    if (!request.name.empty()) box.selectFile(QString::fromStdString(request.name));
    if (!request.defaultExt.empty())
        box.setDefaultSuffix(QString::fromStdString(request.defaultExt));
    if (request.kind == FileDialogKind::Save) {
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setFileMode(QFileDialog::AnyFile);
        if (!request.confirmOverwrite) box.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    FileDialogAnswer answer;
    for (const QString& file : box.selectedFiles())
        answer.files.push_back(file.toStdString());
    answer.filterIndex = static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1;
    return answer;
}

std::optional<int> ShowListDialog(const ListChoice& choice) {
    QStringList items;
    for (const std::string& item : choice.items)
        items << QString::fromStdString(item);
    QInputDialog box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(choice.title));
    box.setLabelText(QString::fromStdString(choice.prompt));
    box.setOption(QInputDialog::UseListViewForComboBoxItems);
    box.setComboBoxItems(items);
    if (choice.current >= 0 && choice.current < items.size())
        box.setTextValue(items[choice.current]);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return static_cast<int>(items.indexOf(box.textValue()));
}
} // namespace

void InstallDesktopDialogs() {
    SetMsgBoxHandler(ShowMessageBox);
    SetFileDialogPresenter(ShowQtFileDialog);
    SetListChooser(ShowListDialog);
}

} // namespace spinx
