// The mixer's playlist: adding songs and M3U playlists, removing, moving and saving rows, the
// path tool tip, and the drags into and out of the list.
#include "mixer/Frm_Master.h"

#include "deck/DeckRules.h"
#include "deck/Frm_TurnTable.h"
#include "desk/MixerController.h"
#include "engine/analysis/BackgroundScan.h"
#include "mixer/M3u.h"
#include "support/FileChooser.h"
#include "support/FileIo.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"
#include "widgets/ListBox.h"
#include "widgets/PictureButton.h"

#include <QDrag>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace spinx {

namespace {
constexpr const char* kAddFilter = "MP3 Files & Playlists|*.mp3;*.m3u|M3U Playlists (*.m3u)|*.m3u|"
                                   "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kAddTitle = "Select MP3/M3U files";
// A list of a hundred thousand songs is a few megabytes; a larger file is no playlist, and
// reading it would hold up the window.
constexpr const char* kSaveFilter = "M3U Playlists (*.m3u)|*.m3u|All files (*.*)|*.*";

// A row's ItemData: its index into the run's list of files.
constexpr int kItemData = Qt::UserRole;
// Set once a row has been named after its song's tags.
constexpr int kNamedRole = Qt::UserRole + 1;
// Rows looked at per turn of the event loop when naming them.
constexpr int kRetitleChunk = 5000;
// What a row dragged with the right button carries; the deck reads the row from the list.
constexpr const char* kRowDragFormat = "application/x-spinx-playlist-row";

// Rows go into the list this many per turn of the event loop: a long playlist fills while the
// desk stays in hand.
constexpr std::size_t kRowChunk = 2000;
// Songs whose music became known are shown on their rows together, at most this often: a pass
// looks at every row, and a list known from an earlier run reports thousands of songs at once.
constexpr int kRowMusicMs = 250;
// Refusals named in one message at most; the rest are counted.
constexpr std::size_t kRefusalsNamed = 10;
// Up to this many separate runs of rows are removed run by run; more are removed by building
// the list anew, which costs the same however scattered the rows are.
constexpr std::size_t kFewRuns = 16;

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
    auto* frame = new QGroupBox(QStringLiteral("Playlist"), this);
    frame->setObjectName(QStringLiteral("Frame4"));
    playlist_ = new ListBox(frame);
    playlist_->setObjectName(QStringLiteral("List1"));
    // A few rows at least; the list grows with the mixer, which fills the main window's height.
    playlist_->setMinimumHeight(kPlaylistLines * playlist_->fontMetrics().height());
    auto* add = TextButton(frame, "+", "Add song/playlist");
    add->setObjectName(QStringLiteral("Cmd_Add"));
    auto* remove = TextButton(frame, "-", "Remove selected songs");
    remove->setObjectName(QStringLiteral("Cmd_Remove"));
    moveButtons_ = {PictureButton(frame, QStyle::SP_ArrowUp, "Move song up the list"),
                    PictureButton(frame, QStyle::SP_ArrowDown, "Move song down the list")};
    for (int i = 0; i < 2; ++i) {
        moveButtons_[i]->setObjectName(QStringLiteral("Cmd_Move"));
        moveButtons_[i]->setProperty("Index", i);
    }
    auto* save = PictureButton(frame, QStyle::SP_DialogSaveButton, "Save playlist");
    save->setObjectName(QStringLiteral("Cmd_Save"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(moveButtons_[0]);
    buttons->addWidget(moveButtons_[1]);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(playlist_, 1);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] { Cmd_Add_Click(); });
    connect(remove, &QPushButton::clicked, this, [this] { Cmd_Remove_Click(); });
    connect(moveButtons_[0], &QToolButton::clicked, this, [this] { Cmd_Move_Click(0); });
    connect(moveButtons_[1], &QToolButton::clicked, this, [this] { Cmd_Move_Click(1); });
    connect(save, &QToolButton::clicked, this, [this] { Cmd_Save_Click(); });
    // The selection changes by mouse, keyboard and code alike; the buttons follow each change.
    connect(playlist_, &ListBox::itemSelectionChanged, this, [this] { List1_Click(); });
    connect(playlist_, &ListBox::rightButtonPressed, this,
            [this] { List1_MouseDown(Qt::RightButton); });
    connect(playlist_, &ListBox::rowDragStarted, this, [this] { List1_MouseDown(Qt::LeftButton); });
    connect(playlist_, &ListBox::rowChosen, this, [this] { LoadCurrentRow(); });
    connect(playlist_, &ListBox::mouseMoved, this, [this](QPoint pos) { List1_MouseMove(pos); });
    connect(playlist_, &ListBox::filesDropped, this,
            [this](const QMimeData& data) { List1_OLEDragDrop(data); });
    retitleTimer_ = new QTimer(this);
    retitleTimer_->setSingleShot(true);
    retitleTimer_->setInterval(0);
    connect(retitleTimer_, &QTimer::timeout, this, [this] { RetitleRows(); });
    insertTimer_ = new QTimer(this);
    insertTimer_->setSingleShot(true);
    insertTimer_->setInterval(0);
    connect(insertTimer_, &QTimer::timeout, this, [this] { InsertQueuedRows(); });
    refusalTimer_ = new QTimer(this);
    refusalTimer_->setSingleShot(true);
    // Refusals come a file at a time: told together once they stop coming.
    refusalTimer_->setInterval(300);
    connect(refusalTimer_, &QTimer::timeout, this, [this] { TellRefusals(); });
    rowMusicTimer_ = new QTimer(this);
    rowMusicTimer_->setSingleShot(true);
    rowMusicTimer_->setInterval(kRowMusicMs);
    connect(rowMusicTimer_, &QTimer::timeout, this, [this] { ShowRowsMusic(); });
    // Names from the songs' tags are read on a thread of their own, each file once per change
    // (by its modification time): the window never waits on a file, whatever it is.
    titleScan_ = std::make_unique<engine::BackgroundScan>(
        *this,
        [this, known = std::make_shared<std::map<std::string, KnownTitle>>()](
            const std::string& path, const std::atomic<bool>&) -> std::function<void()> {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
                const char* kind = NonRegularKind(path);
                return
                    [this, path, kind] { SongNamed(path, QString(), kind ? kind : "not a file"); };
            }
            KnownTitle& title = (*known)[path];
            if (title.name.empty() || title.changed != st.st_mtim.tv_sec) {
                title.changed = st.st_mtim.tv_sec;
                title.name = SongRowName(path);
            }
            const QString name = QString::fromStdString(title.name);
            return [this, path, name] { SongNamed(path, name, nullptr); };
        });
    // Rows that come in, or move up past the named ones, are named in turn.
    for (const auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(playlist_->model(), change, this, [this](const QModelIndex&, int first) {
            retitleRow_ = std::min(retitleRow_, first);
            retitleTimer_->start();
        });
    List1_Click();
    return frame;
}

const std::string* Frm_Master::PlaylistFile(const QListWidgetItem* row) const {
    if (!row) return nullptr;
    bool ok = false;
    const qlonglong index = row->data(kItemData).toLongLong(&ok);
    if (!ok || index < 1 || index >= static_cast<qlonglong>(files_.size())) return nullptr;
    return &files_[static_cast<std::size_t>(index)];
}

const std::string* Frm_Master::PlaylistRowPath(int row) const {
    return PlaylistFile(playlist_->item(row));
}

bool Frm_Master::Empty() const {
    return playlist_->count() == 0 && queuedRows_.empty();
}
std::string Frm_Master::TakeTop() {
    if (playlist_->count() == 0) InsertQueuedRows();
    if (playlist_->count() == 0) return {};
    // Only the top row leaves: the rows the user has selected stay selected.
    QListWidgetItem* top = playlist_->takeItem(0);
    const std::string* file = PlaylistFile(top);
    const std::string path = file ? *file : std::string();
    delete top;
    return path;
}

void Frm_Master::AddFile(const std::string& Filename) {
    const RowBatch batch(*this);
    switch (EntryKind(Filename)) {
    case PlaylistEntry::Playlist: {
        std::string text, error;
        if (!ReadWholeFile(Filename, text, &error, kPlaylistMaxBytes)) {
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
    files_.push_back(path);
    pendingRows_.push_back(
        {QString::fromStdString(GetBaseName(path)), static_cast<int>(files_.size() - 1)});
    // Named from its tags off this thread; until then the row shows the file's name.
    if (!names_.count(path)) titleScan_->Request(path);
}
void Frm_Master::FlushRows() {
    for (PendingRow& row : pendingRows_)
        queuedRows_.push_back(std::move(row));
    pendingRows_.clear();
    // The first rows go in at once (a song or a short list appears as it is added); the rest
    // follow, a chunk per turn of the event loop.
    InsertQueuedRows();
}

void Frm_Master::InsertQueuedRows() {
    if (queuedRows_.empty()) return;
    const std::size_t n = std::min(queuedRows_.size(), kRowChunk);
    const std::vector<PendingRow> rows(queuedRows_.begin(),
                                       queuedRows_.begin() + static_cast<std::ptrdiff_t>(n));
    queuedRows_.erase(queuedRows_.begin(), queuedRows_.begin() + static_cast<std::ptrdiff_t>(n));
    playlist_->setUpdatesEnabled(false);
    InsertRows(rows, 0, rows.size());
    playlist_->setUpdatesEnabled(true);
    if (!queuedRows_.empty()) insertTimer_->start();
}
void Frm_Master::RetitleRows() {
    const int rows = playlist_->count();
    for (int looked = 0; retitleRow_ < rows && looked < kRetitleChunk; ++retitleRow_, ++looked) {
        QListWidgetItem* row = playlist_->item(retitleRow_);
        if (row->data(kNamedRole).toBool()) continue;
        const std::string* path = PlaylistFile(row);
        const auto name = path ? names_.find(*path) : names_.end();
        // Rows are named in order as the names come: the pass waits at the first one not read.
        if (path && name == names_.end()) return;
        row->setData(kNamedRole, true);
        if (path) row->setText(PlaylistRowText(name->second, mixer_->KnownMusic(*path)));
    }
    if (retitleRow_ < rows) retitleTimer_->start();
}

void Frm_Master::SongNamed(const std::string& path, const QString& name, const char* refused) {
    if (!refused) {
        names_[path] = name;
        if (!retitleTimer_->isActive()) retitleTimer_->start();
        // Its music is listened to after the titles, at the lowest priority.
        mixer_->LearnPlaylistMusic(path);
        return;
    }
    // Not a song file: its rows leave the list, and the user hears why once for the lot.
    const int count = playlist_->count();
    std::vector<bool> gone(static_cast<std::size_t>(count), false);
    bool any = false;
    for (int row = 0; row < count; ++row) {
        const std::string* file = PlaylistFile(playlist_->item(row));
        if (file && *file == path) gone[static_cast<std::size_t>(row)] = any = true;
    }
    std::erase_if(queuedRows_, [&](const PendingRow& row) {
        return files_[static_cast<std::size_t>(row.index)] == path;
    });
    if (any) RemoveRows(gone, count);
    refusals_.push_back(path + " (" + refused + ")");
    refusalTimer_->start();
}

QString PlaylistRowText(const QString& title, const MixSong* music) {
    if (!music) return title;
    QString shown;
    if (music->steady && music->bpm > 0)
        shown = QString::number(music->bpm, 'f', 1) + QStringLiteral(" BPM");
    if (!music->keyCode.empty())
        shown += (shown.isEmpty() ? QString() : QStringLiteral("  ")) +
                 QString::fromStdString(music->keyCode);
    return shown.isEmpty() ? title : title + QStringLiteral("  \u00B7  ") + shown;
}

void Frm_Master::ShowRowsMusic() {
    if (musicChanged_.empty()) return;
    // Only the rows of the songs heard change; the others are read, not touched.
    for (int row = 0; row < playlist_->count(); ++row) {
        QListWidgetItem* item = playlist_->item(row);
        if (!item->data(kNamedRole).toBool()) continue; // shown when named
        const std::string* path = PlaylistFile(item);
        if (!path || !musicChanged_.count(*path)) continue;
        const auto name = names_.find(*path);
        if (name == names_.end()) continue;
        const QString text = PlaylistRowText(name->second, mixer_->KnownMusic(*path));
        if (item->text() != text) item->setText(text);
    }
    musicChanged_.clear();
}

void Frm_Master::TellRefusals() {
    if (refusals_.empty()) return;
    std::string text = "These are not song files, so they were left out of the playlist:";
    for (std::size_t i = 0; i < refusals_.size() && i < kRefusalsNamed; ++i)
        text += "\n" + refusals_[i];
    if (refusals_.size() > kRefusalsNamed)
        text += "\nand " + std::to_string(refusals_.size() - kRefusalsNamed) + " more.";
    refusals_.clear();
    MsgBox(text);
}

QString Frm_Master::SongName(const std::string& path) const {
    if (const auto known = names_.find(path); known != names_.end()) return known->second;
    if (!path.empty()) titleScan_->Request(path);
    return QString::fromStdString(GetBaseName(path));
}
void Frm_Master::InsertRows(const std::vector<PendingRow>& rows, std::size_t from, std::size_t to) {
    const int first = playlist_->count();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(to - from));
    for (std::size_t i = from; i < to; ++i)
        texts << rows[i].text;
    playlist_->addItems(texts);
    // The index is not shown, so no view needs to hear of it row by row.
    const QSignalBlocker quiet(playlist_->model());
    for (std::size_t i = from; i < to; ++i)
        playlist_->item(first + static_cast<int>(i - from))->setData(kItemData, rows[i].index);
}

void Frm_Master::Cmd_Add_Click() {
    FileRequest request;
    request.title = kAddTitle;
    request.folder = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    request.filter = kAddFilter;
    request.multiple = true;
    const std::optional<FileDialogAnswer> answer = ChooseFiles(request);
    if (!answer) return;
    RememberFolder(GetPath(answer->files.front()));
    const RowBatch batch(*this);
    for (const std::string& file : answer->files)
        AddFile(file);
}

void Frm_Master::RememberFolder(const std::string& folder) {
    std::string error;
    if (!WriteINI("", kMp3PathKey, folder, kSettingsSection, &error))
        MsgBox("The folder of these files could not be remembered: " + error);
}

void Frm_Master::Cmd_Remove_Click() {
    const int count = playlist_->count();
    std::vector<bool> gone(static_cast<std::size_t>(count), false);
    bool any = false;
    for (const QItemSelectionRange& range : playlist_->selectionModel()->selection())
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
    playlist_->selectionModel()->clear();
    playlist_->setUpdatesEnabled(false);
    if (runs.size() <= kFewRuns) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run)
            playlist_->model()->removeRows(run->first, run->second);
    } else {
        std::vector<PendingRow> kept;
        kept.reserve(static_cast<std::size_t>(count));
        for (int row = 0; row < count; ++row) {
            if (gone[static_cast<std::size_t>(row)]) continue;
            const QListWidgetItem* item = playlist_->item(row);
            kept.push_back({item->text(), item->data(kItemData).toInt()});
        }
        playlist_->clear();
        InsertRows(kept, 0, kept.size());
    }
    playlist_->setUpdatesEnabled(true);
    playlist_->selectionModel()->clear();
    List1_Click();
}

void Frm_Master::Cmd_Move_Click(int16_t Index) {
    // The one selected row; the current row when there is no single selection, as from code.
    const QItemSelection selection = playlist_->selectionModel()->selection();
    int i = playlist_->SelCount() == 1 ? selection.first().top() : playlist_->currentRow();
    if (i < 0) return;
    QListWidgetItem* row = playlist_->takeItem(i);
    i += Index == 0 ? -1 : 1;
    i = std::clamp(i, 0, playlist_->count());
    playlist_->insertItem(i, row);
    playlist_->setCurrentItem(row, QItemSelectionModel::ClearAndSelect);
}

void Frm_Master::Cmd_Save_Click() {
    FileRequest request;
    request.kind = FileDialogKind::Save;
    request.folder = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    request.defaultExt = "m3u";
    request.filter = kSaveFilter;
    request.confirmOverwrite = true;
    const std::optional<std::string> chosen = ChooseFile(request);
    if (!chosen) return;

    const std::string& name = *chosen;
    const std::string listFolder = GetPath(name);
    RememberFolder(listFolder);
    std::string error;
    if (!WriteFileAtomically(name, M3uText(listFolder, ListedSongs()), &error))
        MsgBox("The playlist could not be saved. " + error);
}

void Frm_Master::List1_Click() {
    const bool one = playlist_->SelCount() == 1;
    for (QToolButton* button : moveButtons_)
        button->setEnabled(one);
}

void Frm_Master::List1_MouseDown(Qt::MouseButton Button) {
    // The right button leaves the current row alone: that row, last clicked with the left
    // button, is the song that goes to the deck it is dropped on. A left drag takes the row
    // it started on, which the press made current.
    if ((Button != Qt::RightButton && Button != Qt::LeftButton) || playlist_->currentRow() < 0)
        return;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowDragFormat), QByteArray());
    auto* drag = new QDrag(playlist_);
    drag->setMimeData(data);
    drag->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(24, 24));
    drag->exec(Qt::CopyAction);
}

int16_t Frm_Master::LoadCurrentRow() {
    if (!PlaylistFile(playlist_->currentItem())) return -1;
    for (const PlayerId player : {mixer_->DeckA(), mixer_->DeckB()}) {
        const PlayerStatus status = mixer_->Deck(player).Status();
        if (status == PlayerStatus::Playing || status == PlayerStatus::Paused) continue;
        LoadCurrentRowInto(player);
        return player;
    }
    const QRect row = playlist_->visualItemRect(playlist_->currentItem());
    QToolTip::showText(playlist_->viewport()->mapToGlobal(row.center()),
                       QStringLiteral("Deck A and Deck B are both in use: stop one to load."),
                       playlist_);
    return -1;
}
void Frm_Master::LoadCurrentRowInto(int16_t player) {
    if (!MixerController::ValidPlayer(player) || playlist_->count() == 0) return;
    // From the keyboard a set is loaded row after row: the top row when none is current, and
    // the next row becomes current.
    if (playlist_->currentRow() < 0) playlist_->setCurrentRow(0);
    const std::string* path = PlaylistFile(playlist_->currentItem());
    DeckController& deck = mixer_->Deck(player);
    if (!path || !MayLoadOver(deck)) return;
    deck.Load(*path, LoadOrigin::Playlist);
    if (playlist_->currentRow() + 1 < playlist_->count())
        playlist_->setCurrentRow(playlist_->currentRow() + 1);
}
void Frm_Master::List1_MouseMove(const QPoint& pos) {
    // Over empty space below the rows the tip keeps its last text.
    if (const std::string* path = PlaylistFile(playlist_->itemAt(pos)))
        playlist_->setToolTip(QString::fromStdString(*path));
}

void Frm_Master::List1_OLEDragDrop(const QMimeData& Data) {
    const RowBatch batch(*this);
    for (const QUrl& url : Data.urls())
        if (url.isLocalFile()) AddFile(url.toLocalFile().toStdString());
}

std::vector<std::string> Frm_Master::ListedSongs() const {
    std::vector<std::string> songs;
    songs.reserve(static_cast<std::size_t>(playlist_->count()) + queuedRows_.size());
    for (int row = 0; row < playlist_->count(); ++row)
        if (const std::string* path = PlaylistFile(playlist_->item(row))) songs.push_back(*path);
    // Rows still on their way into the list are the list's too.
    for (const PendingRow& row : queuedRows_)
        songs.push_back(files_[static_cast<std::size_t>(row.index)]);
    return songs;
}

void Frm_Master::KeepPlaylist(const std::string& file) {
    {
        const RowBatch batch(*this);
        for (const std::string& path : LoadKeptPlaylist(file))
            AppendSong(path);
    }
    // Rows receive their paths after the model reports them, one change can come as several
    // reports, and a long list comes in chunks: the save runs once things settle.
    auto* save = new QTimer(this);
    save->setSingleShot(true);
    save->setInterval(200);
    connect(save, &QTimer::timeout, this, [this, file] {
        std::string error;
        // A box on every change would bury the DJ; the next change tries again.
        if (!SaveKeptPlaylist(file, ListedSongs(), &error))
            std::fprintf(stderr, "spinx: the playlist could not be kept: %s\n", error.c_str());
    });
    const auto changed = [save] { save->start(); };
    const QAbstractItemModel* model = playlist_->model();
    connect(model, &QAbstractItemModel::rowsInserted, save, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, save, changed);
    connect(model, &QAbstractItemModel::rowsMoved, save, changed);
    connect(model, &QAbstractItemModel::modelReset, save, changed);
}

} // namespace spinx
