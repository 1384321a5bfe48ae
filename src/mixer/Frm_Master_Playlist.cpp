// The mixer's playlist: adding songs and M3U playlists, removing, moving and saving rows, the
// path tool tip, and the drags into and out of the list.
#include "mixer/Frm_Master.h"

#include "mixer/Mod_Playlist.h"
#include "shell/ListBox.h"
#include "shell/Twips.h"
#include "support/FileIo.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/Mod_MsgBox.h"

#include <QDrag>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace spinx {

namespace {
constexpr const char* kAddFilter = "MP3 Files & Playlists|*.mp3;*.m3u|M3U Playlists (*.m3u)|*.m3u|"
                                   "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kAddTitle = "Select MP3/M3U files";
constexpr const char* kSaveFilter = "M3U Playlists (*.m3u)|*.m3u|All files (*.*)|*.*";
constexpr const char* kMp3PathKey = "MP3 Path";
constexpr const char* kMp3PathDefault = "C:\\My Music";
constexpr const char* kSettingsSection = "Settings";

// A row's ItemData: its index into PlaylistFiles.
constexpr int kItemData = Qt::UserRole;
// What a row dragged with the right button carries; the deck reads the row from the list.
constexpr const char* kRowDragFormat = "application/x-spinx-playlist-row";

// Rows go into the list this many at a time, so that a progress dialog can follow.
constexpr std::size_t kRowChunk = 5000;
// A longer insertion shows its progress.
constexpr qint64 kProgressAfterMs = 500;
// Up to this many separate runs of rows are removed run by run; more are removed by building
// the list anew, which costs the same however scattered the rows are.
constexpr std::size_t kFewRuns = 16;

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(QString::fromLatin1(tip));
    return button;
}

QPushButton* TextButton(QWidget* parent, const char* caption, const char* tip) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setToolTip(QString::fromLatin1(tip));
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("MMM")));
    return button;
}
} // namespace

Frm_Master::RowBatch::RowBatch(Frm_Master& master) : master_(master) {
    ++master_.batchDepth_;
}

Frm_Master::RowBatch::~RowBatch() {
    if (--master_.batchDepth_ == 0) master_.FlushRows();
}

QGroupBox* Frm_Master::BuildPlaylistFrame() {
    Frame4 = new QGroupBox(QStringLiteral("Playlist"), this);
    List1 = new ListBox(Frame4);
    List1->setObjectName(QStringLiteral("List1"));
    // Room for a dozen songs: the list is what a DJ watches during a set.
    List1->setMinimumHeight(TwipsToPixels(3000));
    Cmd_Add = TextButton(Frame4, "+", "Add song/playlist");
    Cmd_Remove = TextButton(Frame4, "-", "Remove selected songs");
    Cmd_Move = {PictureButton(Frame4, QStyle::SP_ArrowUp, "Move song up the list"),
                PictureButton(Frame4, QStyle::SP_ArrowDown, "Move song down the list")};
    Cmd_Save = PictureButton(Frame4, QStyle::SP_DialogSaveButton, "Save playlist");

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(Cmd_Add);
    buttons->addWidget(Cmd_Remove);
    buttons->addStretch(1);
    buttons->addWidget(Cmd_Move[0]);
    buttons->addWidget(Cmd_Move[1]);
    buttons->addWidget(Cmd_Save);
    auto* layout = new QVBoxLayout(Frame4);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(List1, 1);
    layout->addLayout(buttons);

    connect(Cmd_Add, &QPushButton::clicked, this, [this] { Cmd_Add_Click(); });
    connect(Cmd_Remove, &QPushButton::clicked, this, [this] { Cmd_Remove_Click(); });
    connect(Cmd_Move[0], &QToolButton::clicked, this, [this] { Cmd_Move_Click(0); });
    connect(Cmd_Move[1], &QToolButton::clicked, this, [this] { Cmd_Move_Click(1); });
    connect(Cmd_Save, &QToolButton::clicked, this, [this] { Cmd_Save_Click(); });
    // The selection changes by mouse, keyboard and code alike; the buttons follow each change.
    connect(List1, &ListBox::itemSelectionChanged, this, [this] { List1_Click(); });
    connect(List1, &ListBox::rightButtonPressed, this,
            [this] { List1_MouseDown(Qt::RightButton); });
    connect(List1, &ListBox::mouseMoved, this, [this](QPoint pos) { List1_MouseMove(pos); });
    connect(List1, &ListBox::filesDropped, this,
            [this](const QMimeData& data) { List1_OLEDragDrop(data); });
    List1_Click();
    return Frame4;
}

const std::string* Frm_Master::PlaylistFile(const QListWidgetItem* row) const {
    if (!row) return nullptr;
    bool ok = false;
    const qlonglong index = row->data(kItemData).toLongLong(&ok);
    if (!ok || index < 1 || index >= static_cast<qlonglong>(PlaylistFiles.size())) return nullptr;
    return &PlaylistFiles[static_cast<std::size_t>(index)];
}

void Frm_Master::AddFile(const std::string& Filename) {
    const RowBatch batch(*this);
    switch (EntryKind(Filename)) {
    case PlaylistEntry::Playlist: {
        std::string text, error;
        if (!ReadWholeFile(Filename, text, &error)) {
            MsgBox("The playlist could not be added. " + error);
            return;
        }
        for (const std::string& song : M3uSongs(GetPath(Filename), text))
            AppendSong(song);
        break;
    }
    case PlaylistEntry::Song:
        AppendSong(Filename);
        break;
    case PlaylistEntry::Other:
        break;
    }
}

void Frm_Master::AppendSong(const std::string& path) {
    PlaylistFiles.push_back(path);
    pendingRows_.push_back(
        {QString::fromStdString(GetBaseName(path)), static_cast<int>(PlaylistFiles.size() - 1)});
}

void Frm_Master::FlushRows() {
    const std::vector<PendingRow> rows = std::move(pendingRows_);
    pendingRows_.clear();
    if (rows.empty()) return;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    List1->setUpdatesEnabled(false);
    for (std::size_t done = 0; done < rows.size();) {
        const std::size_t end = std::min(rows.size(), done + kRowChunk);
        InsertRows(rows, done, end);
        done = end;
        if (!progress && done < rows.size() && clock.elapsed() > kProgressAfterMs) {
            progress = std::make_unique<QProgressDialog>(
                QStringLiteral("Adding songs to the playlist..."), QString(), 0,
                static_cast<int>(rows.size()), this);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
        }
        // A modal progress dialog keeps the program's other windows and timers going; the rows
        // still to come are ours, so a tick that takes a row meanwhile disturbs nothing.
        if (progress) progress->setValue(static_cast<int>(done));
    }
    List1->setUpdatesEnabled(true);
}

void Frm_Master::InsertRows(const std::vector<PendingRow>& rows, std::size_t from, std::size_t to) {
    const int first = List1->count();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(to - from));
    for (std::size_t i = from; i < to; ++i)
        texts << rows[i].text;
    List1->addItems(texts);
    // The index is not shown, so no view needs to hear of it row by row.
    const QSignalBlocker quiet(List1->model());
    for (std::size_t i = from; i < to; ++i)
        List1->item(first + static_cast<int>(i - from))->setData(kItemData, rows[i].index);
}

void Frm_Master::Cmd_Add_Click() {
    CommonDialog1.InitDir = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    const std::string answer = ShowFileDialog(CommonDialog1, "", kAddFilter, kAddTitle, true);
    if (answer.empty()) return;
    const DialogChoice choice = SplitDialogChoice(answer);
    RememberFolder(choice.folder);
    const RowBatch batch(*this);
    for (const std::string& name : choice.names)
        AddFile(JoinPath(choice.folder, name));
}

void Frm_Master::RememberFolder(const std::string& folder) {
    std::string error;
    if (!WriteINI("", kMp3PathKey, folder, kSettingsSection, &error))
        MsgBox("The folder of these files could not be remembered: " + error);
}

void Frm_Master::Cmd_Remove_Click() {
    const int count = List1->count();
    std::vector<bool> gone(static_cast<std::size_t>(count), false);
    bool any = false;
    for (const QItemSelectionRange& range : List1->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            gone[static_cast<std::size_t>(row)] = any = true;
    if (any) RemoveRows(gone, count);
}

void Frm_Master::RemoveRows(const std::vector<bool>& gone, int count) {
    std::vector<std::pair<int, int>> runs; // first row, row count
    for (int row = 0; row < count;) {
        int end = row;
        while (end < count && gone[static_cast<std::size_t>(end)])
            ++end;
        if (end > row) runs.emplace_back(row, end - row);
        row = end + 1;
    }
    // Without a selection the model has no ranges to keep up to date while rows go.
    List1->selectionModel()->clear();
    List1->setUpdatesEnabled(false);
    if (runs.size() <= kFewRuns) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run)
            List1->model()->removeRows(run->first, run->second);
    } else {
        std::vector<PendingRow> kept;
        kept.reserve(static_cast<std::size_t>(count));
        for (int row = 0; row < count; ++row) {
            if (gone[static_cast<std::size_t>(row)]) continue;
            const QListWidgetItem* item = List1->item(row);
            kept.push_back({item->text(), item->data(kItemData).toInt()});
        }
        List1->clear();
        InsertRows(kept, 0, kept.size());
    }
    List1->setUpdatesEnabled(true);
    List1->selectionModel()->clear();
    List1_Click();
}

void Frm_Master::Cmd_Move_Click(int16_t Index) {
    // The one selected row; the current row when there is no single selection, as from code.
    const QItemSelection selection = List1->selectionModel()->selection();
    int i = List1->SelCount() == 1 ? selection.first().top() : List1->currentRow();
    if (i < 0) return;
    QListWidgetItem* row = List1->takeItem(i);
    i += Index == 0 ? -1 : 1;
    i = std::clamp(i, 0, List1->count());
    List1->insertItem(i, row);
    List1->setCurrentItem(row, QItemSelectionModel::ClearAndSelect);
}

void Frm_Master::Cmd_Save_Click() {
    CommonDialog1.InitDir = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    CommonDialog1.DefaultExt = "m3u";
    CommonDialog1.Filter = kSaveFilter;
    // The dialog keeps what the Open dialog last had: the name of a song to save over, the
    // Open dialog's title. Neither belongs here.
    CommonDialog1.FileName.clear();
    CommonDialog1.DialogTitle.clear();
    CommonDialog1.Flags |= kCdlOverwritePrompt;
    if (CommonDialog1.ShowSave() != 0 || CommonDialog1.FileName.empty()) return;

    const std::string name = CommonDialog1.FileName;
    const std::string listFolder = GetPath(name);
    RememberFolder(listFolder);
    std::string error;
    if (!WriteFileAtomically(name, M3uText(listFolder, ListedSongs()), &error))
        MsgBox("The playlist could not be saved. " + error);
}

void Frm_Master::List1_Click() {
    const bool one = List1->SelCount() == 1;
    for (QToolButton* button : Cmd_Move)
        button->setEnabled(one);
}

void Frm_Master::List1_MouseDown(Qt::MouseButton Button) {
    // The right button leaves the current row alone: that row, last clicked with the left
    // button, is the song that goes to the deck it is dropped on.
    if (Button != Qt::RightButton || List1->currentRow() < 0) return;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowDragFormat), QByteArray());
    auto* drag = new QDrag(List1);
    drag->setMimeData(data);
    drag->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(24, 24));
    drag->exec(Qt::CopyAction);
}

void Frm_Master::List1_MouseMove(const QPoint& pos) {
    // Over empty space below the rows the tip keeps its last text.
    if (const std::string* path = PlaylistFile(List1->itemAt(pos)))
        List1->setToolTip(QString::fromStdString(*path));
}

void Frm_Master::List1_OLEDragDrop(const QMimeData& Data) {
    const RowBatch batch(*this);
    for (const QUrl& url : Data.urls())
        if (url.isLocalFile()) AddFile(url.toLocalFile().toStdString());
}

std::vector<std::string> Frm_Master::ListedSongs() const {
    std::vector<std::string> songs;
    songs.reserve(static_cast<std::size_t>(List1->count()));
    for (int row = 0; row < List1->count(); ++row)
        if (const std::string* path = PlaylistFile(List1->item(row))) songs.push_back(*path);
    return songs;
}

void Frm_Master::KeepPlaylist(const std::string& file) {
    {
        const RowBatch batch(*this);
        for (const std::string& path : LoadKeptPlaylist(file))
            AppendSong(path);
    }
    // Rows receive their paths after the model reports them, and one change can come as several
    // reports: the save runs once, when the event loop is back.
    auto* save = new QTimer(this);
    save->setSingleShot(true);
    save->setInterval(0);
    connect(save, &QTimer::timeout, this, [this, file] {
        std::string error;
        // A box on every change would bury the DJ; the next change tries again.
        if (!SaveKeptPlaylist(file, ListedSongs(), &error))
            std::fprintf(stderr, "spinx: the playlist could not be kept: %s\n", error.c_str());
    });
    const auto changed = [save] { save->start(); };
    const QAbstractItemModel* model = List1->model();
    connect(model, &QAbstractItemModel::rowsInserted, save, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, save, changed);
    connect(model, &QAbstractItemModel::rowsMoved, save, changed);
    connect(model, &QAbstractItemModel::modelReset, save, changed);
}

} // namespace spinx
