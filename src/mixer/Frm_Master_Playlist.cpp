// The mixer's playlist as the window shows it: the list mirrors the mixer controller's playlist
// (a long one goes in a chunk per turn), names its rows from the songs' tags, and hands adding,
// removing, moving and saving rows, the path tool tip and the drags to and from it.
#include "mixer/Frm_Master.h"

#include "deck/DeckRules.h"
#include "deck/Frm_TurnTable.h"
#include "desk/MixerController.h"
#include "engine/analysis/BackgroundScan.h"
#include "mixer/M3u.h"
#include "support/FileChooser.h"
#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"
#include "widgets/DroppedFiles.h"
#include "widgets/ListBox.h"
#include "widgets/PictureButton.h"

#include <QDrag>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include <memory>
#include <sys/stat.h>

namespace spinx {

namespace {
constexpr const char* kAddFilter = "MP3 Files & Playlists|*.mp3;*.m3u|M3U Playlists (*.m3u)|*.m3u|"
                                   "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kAddTitle = "Select MP3/M3U files";
constexpr const char* kSaveFilter = "M3U Playlists (*.m3u)|*.m3u|All files (*.*)|*.*";

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

const std::string* Frm_Master::PlaylistRowPath(int row) const {
    // Rows on their way into the list are not shown yet.
    return row < shown_ ? mixer_->Songs().Song(row) : nullptr;
}

void Frm_Master::BindPlaylist() {
    const Playlist& songs = mixer_->Songs();
    connect(&songs, &Playlist::appended, this, [this](int first, int count) {
        const Playlist& all = mixer_->Songs();
        // Named from its tags off this thread; until then the row shows the file's name.
        for (int row = first; row < first + count; ++row)
            if (!names_.count(*all.Song(row))) titleScan_->Request(*all.Song(row));
        // The first rows go in at once (a song or a short list appears as it is added); the
        // rest follow, a chunk per turn of the event loop.
        InsertQueuedRows();
    });
    connect(&songs, &Playlist::removed, this,
            [this](const std::vector<bool>& gone) { RemoveRows(gone); });
    connect(&songs, &Playlist::moved, this, [this](int from, int to) { MoveRow(from, to); });
    connect(&songs, &Playlist::cleared, this, [this] {
        playlist_->clear();
        shown_ = 0;
        List1_Click();
    });
}

void Frm_Master::AddFile(const std::string& Filename) {
    std::string error;
    if (!mixer_->Songs().Add(Filename, &error)) MsgBox("The playlist could not be added. " + error);
}

void Frm_Master::InsertQueuedRows() {
    const Playlist& songs = mixer_->Songs();
    const int n = std::min(songs.Count() - shown_, static_cast<int>(kRowChunk));
    if (n <= 0) return;
    QStringList texts;
    texts.reserve(n);
    for (int row = shown_; row < shown_ + n; ++row)
        texts << QString::fromStdString(GetBaseName(*songs.Song(row)));
    shown_ += n;
    playlist_->setUpdatesEnabled(false);
    playlist_->addItems(texts);
    playlist_->setUpdatesEnabled(true);
    if (shown_ < songs.Count()) insertTimer_->start();
}
void Frm_Master::RetitleRows() {
    const int rows = playlist_->count();
    for (int looked = 0; retitleRow_ < rows && looked < kRetitleChunk; ++retitleRow_, ++looked) {
        QListWidgetItem* row = playlist_->item(retitleRow_);
        if (row->data(kNamedRole).toBool()) continue;
        const std::string* path = PlaylistRowPath(retitleRow_);
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
    mixer_->Songs().RemoveSong(path);
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
        const std::string* path = PlaylistRowPath(row);
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
void Frm_Master::Cmd_Add_Click() {
    FileRequest request;
    request.title = kAddTitle;
    request.folder = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    request.filter = kAddFilter;
    request.multiple = true;
    const std::optional<FileDialogAnswer> answer = ChooseFiles(request);
    if (!answer) return;
    RememberFolder(GetPath(answer->files.front()));
    for (const std::string& file : answer->files)
        AddFile(file);
}

void Frm_Master::RememberFolder(const std::string& folder) {
    std::string error;
    if (!WriteINI("", kMp3PathKey, folder, kSettingsSection, &error))
        MsgBox("The folder of these files could not be remembered: " + error);
}

void Frm_Master::Cmd_Remove_Click() {
    std::vector<bool> gone(static_cast<std::size_t>(mixer_->Songs().Count()), false);
    for (const QItemSelectionRange& range : playlist_->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            gone[static_cast<std::size_t>(row)] = true;
    mixer_->Songs().Remove(gone);
}

void Frm_Master::RemoveRows(const std::vector<bool>& gone) {
    std::vector<std::pair<int, int>> runs; // first row, row count
    int removed = 0;
    for (int row = 0; row < shown_;) {
        int end = row;
        while (end < shown_ && gone[static_cast<std::size_t>(end)])
            ++end;
        if (end > row) runs.emplace_back(row, end - row);
        removed += end - row;
        row = end + 1;
    }
    playlist_->setUpdatesEnabled(false);
    // A few runs leave the other rows as they were, selected or not (auto play taking the top
    // row leaves the user's selection alone); scattered rows are removed by building the list
    // anew, without a selection for the model to keep up to date meanwhile.
    if (runs.size() <= kFewRuns) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run)
            playlist_->model()->removeRows(run->first, run->second);
    } else {
        playlist_->selectionModel()->clear();
        QStringList kept;
        kept.reserve(shown_ - removed);
        for (int row = 0; row < shown_; ++row)
            if (!gone[static_cast<std::size_t>(row)]) kept << playlist_->item(row)->text();
        playlist_->clear();
        playlist_->addItems(kept);
    }
    shown_ -= removed;
    playlist_->setUpdatesEnabled(true);
    List1_Click();
}

void Frm_Master::MoveRow(int from, int to) {
    if (from < shown_ && to < shown_) {
        playlist_->insertItem(to, playlist_->takeItem(from));
        return;
    }
    // A row moved across the end of what is shown: the shown one now stands for another song.
    const int row = std::min(from, to);
    if (row >= shown_) return;
    QListWidgetItem* item = playlist_->item(row);
    item->setText(QString::fromStdString(GetBaseName(*mixer_->Songs().Song(row))));
    item->setData(kNamedRole, false);
    retitleRow_ = std::min(retitleRow_, row);
    retitleTimer_->start();
}

void Frm_Master::Cmd_Move_Click(int16_t Index) {
    // The one selected row; the current row when there is no single selection, as from code.
    const QItemSelection selection = playlist_->selectionModel()->selection();
    const int i = playlist_->SelCount() == 1 ? selection.first().top() : playlist_->currentRow();
    if (i < 0) return;
    const int to = mixer_->Songs().Move(i, Index == 0);
    if (to < shown_) playlist_->setCurrentRow(to, QItemSelectionModel::ClearAndSelect);
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
    if (!WriteFileAtomically(name, M3uText(listFolder, mixer_->Songs().Songs()), &error))
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
    if (!PlaylistRowPath(playlist_->currentRow())) return -1;
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
    const std::string* path = PlaylistRowPath(playlist_->currentRow());
    DeckController& deck = mixer_->Deck(player);
    if (!path || !MayLoadOver(deck)) return;
    deck.Load(*path, LoadOrigin::Playlist);
    if (playlist_->currentRow() + 1 < playlist_->count())
        playlist_->setCurrentRow(playlist_->currentRow() + 1);
}
void Frm_Master::List1_MouseMove(const QPoint& pos) {
    // Over empty space below the rows the tip keeps its last text.
    if (const std::string* path = PlaylistRowPath(playlist_->indexAt(pos).row()))
        playlist_->setToolTip(QString::fromStdString(*path));
}

void Frm_Master::List1_OLEDragDrop(const QMimeData& Data) {
    for (const std::string& file : DroppedFiles(Data))
        AddFile(file);
}

void Frm_Master::KeepPlaylist(const std::string& file) {
    mixer_->Songs().Keep(file);
}

} // namespace spinx
