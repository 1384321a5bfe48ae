#include "shell/Frm_Main.h"

#include "deck/Frm_TurnTable.h"
#include "desk/DeskControls.h"
#include "desk/MixerController.h"
#include "library/SongTable.h"
#include "mixer/Frm_Master.h"
#include "shell/Frm_Help.h"
#include "shell/Frm_Status.h"
#include "support/ListChoice.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"
#include "widgets/MdiChild.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace spinx {

namespace {
// How far one key press moves the crossfader.
constexpr int kCrossfaderKeyStep = 10;
constexpr int kOutputWatchMs = 500;
constexpr int kBackNoticeMs = 5000; // how long "sound is back" stays
constexpr int kHeadphonesNoticeMs = 15000;
// A window the window system has not exposed by then (a minimised start) waits no longer.
constexpr int kFirstPaintWaitMs = 1000;
// Songs from the command line are added for this long per turn of the event loop.
constexpr qint64 kSongSliceMs = 10;
} // namespace

DeckSlot ArrangeSlot(int16_t id, int rowsThatFit) {
    const int rows = std::max(rowsThatFit, 1);
    const int slot = std::max<int>(id, 0);
    return {slot / rows, slot % rows};
}

Frm_Main::Frm_Main(OutputKind output, QWidget* parent) : QMainWindow(parent), output_(output) {
    setObjectName(QStringLiteral("Frm_Main"));
    setWindowTitle(QStringLiteral("Spinx"));
    area_ = new QMdiArea(this);
    area_->setObjectName(QStringLiteral("MdiArea"));
    // On a small screen the windows that do not fit stay within reach.
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->viewport()->installEventFilter(this);
    setCentralWidget(area_);

    // Menus and their items carry their old names; the items of an array carry their index.
    const auto menu = [this](const char* caption, const char* name, QWidget* parent) {
        QMenu* added = parent ? new QMenu(QString::fromLatin1(caption), parent)
                              : menuBar()->addMenu(QString::fromLatin1(caption));
        added->setObjectName(QString::fromLatin1(name));
        return added;
    };
    const auto item = [](QMenu* menu, const QString& caption, const char* name, int index = -1) {
        QAction* added = menu->addAction(caption);
        added->setObjectName(QString::fromLatin1(name));
        if (index >= 0) added->setProperty("Index", index);
        return added;
    };
    QMenu* file = menu("&File", "Mnu_File", nullptr);
    QAction* exit = item(file, QStringLiteral("E&xit"), "Mnu_File_Exit");
    QMenu* view = menu("&View", "Mnu_View", nullptr);
    for (int i = 0; i < 4; ++i) {
        viewDeckItems_[i] = item(view, QStringLiteral("Deck &%1").arg(i + 1), "Mnu_View_Deck", i);
        viewDeckItems_[i]->setCheckable(true);
        viewDeckItems_[i]->setChecked(i < 2);
    }
    QMenu* window = menu("&Window", "Mnu_Window", nullptr);
    QAction* arrange = item(window, QStringLiteral("&Arrange"), "Mnu_Window_Arrange");
    BuildControlsMenu(menu("&Controls", "Mnu_Controls", nullptr));
    QMenu* help = menu("&Help", "Mnu_Help", nullptr);
    QAction* contents = item(help, QStringLiteral("&Contents"), "Mnu_Help_Contents");
    markerMenu_ = menu("setup", "Mnu_Setup", this);
    const char* const markerCaptions[] = {"Set &Start Position", "Set &End Position",
                                          "&Reset Start/End"};
    for (int16_t i = 0; i < 3; ++i) {
        QAction* setPos =
            item(markerMenu_, QString::fromLatin1(markerCaptions[i]), "Mnu_SetPos", i);
        connect(setPos, &QAction::triggered, this, [this, i] { Mnu_SetPos_Click(i); });
    }

    connect(exit, &QAction::triggered, this, [this] { Mnu_File_Exit_Click(); });
    for (int16_t i = 0; i < 4; ++i) {
        connect(viewDeckItems_[i], &QAction::triggered, this, [this, i] {
            // The action has flipped its own check mark; the handler flips it as it always has.
            viewDeckItems_[i]->toggle();
            Mnu_View_Deck_Click(i);
        });
    }
    connect(arrange, &QAction::triggered, this, [this] { Mnu_Window_Arrange_Click(); });
    connect(contents, &QAction::triggered, this, [this] { Mnu_Help_Contents_Click(); });
    // F1 asks for help from any window of the program, the help window included.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setContext(Qt::ApplicationShortcut);
    connect(helpKey, &QShortcut::activated, this, [this] { HelpKey_Press(); });
    AddRecordMixItem(*file, exit);
    AddAudioOutputItem(*file, exit);
    loadTimer_ = new QTimer(this);
    loadTimer_->setSingleShot(true);
    connect(loadTimer_, &QTimer::timeout, this, [this] { RunLoadStep(); });
}

void Frm_Main::AddRecordMixItem(QMenu& file, QAction* before) {
    auto* record = new QAction(QStringLiteral("&Record Mix\u2026"), &file);
    record->setObjectName(QStringLiteral("Mnu_File_RecordMix"));
    file.insertAction(before, record);
    connect(record, &QAction::triggered, this, [this] { Mnu_File_RecordMix_Click(); });
}

void Frm_Main::Mnu_File_RecordMix_Click() {
    if (master_) master_->StartOrStopRecording();
}

void Frm_Main::AddAudioOutputItem(QMenu& file, QAction* before) {
    auto* audio = new QAction(QStringLiteral("&Audio Output\u2026"), &file);
    audio->setObjectName(QStringLiteral("Mnu_File_AudioOutput"));
    file.insertAction(before, audio);
    file.insertSeparator(before);
    connect(audio, &QAction::triggered, this, [this] { Mnu_File_AudioOutput_Click(); });

    outputLine_ = new QLabel(this);
    outputLine_->setObjectName(QStringLiteral("Lbl_Output"));
    statusBar()->addWidget(outputLine_, 1);
    statusBar()->hide(); // shown only while there is something to say
    outputLineHide_ = new QTimer(this);
    outputLineHide_->setSingleShot(true);
    connect(outputLineHide_, &QTimer::timeout, this, [this] {
        if (shownOutput_ != OutputKind::Null) statusBar()->hide();
    });
    // The watchdog drops a dead device on its own thread; a glance twice a second is enough.
    outputWatch_ = new QTimer(this);
    outputWatch_->setInterval(kOutputWatchMs);
    connect(outputWatch_, &QTimer::timeout, this, [this] { CheckOutput(); });
}

void Frm_Main::CheckOutput() {
    if (!master_) return;
    const Aspinx& engine = master_->Engine();
    const OutputKind now = engine.ActiveOutput();
    if (now == shownOutput_ || now == OutputKind::Offline) return;
    const bool back = shownOutput_ == OutputKind::Null;
    shownOutput_ = now;
    if (now == OutputKind::Null) {
        outputLine_->setText(QStringLiteral("No sound output: the decks play in silence. Choose a "
                                            "device under File > Audio Output\u2026"));
        outputLine_->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
        outputLineHide_->stop();
        statusBar()->show();
    } else if (back) {
        const QString device = engine.OutputDevice();
        outputLine_->setText(
            QStringLiteral("Sound is back on %1.")
                .arg(device.isEmpty() ? QStringLiteral("the default device") : device));
        outputLine_->setStyleSheet({});
        outputLineHide_->start(kBackNoticeMs);
    }
}

void Frm_Main::UseStoredOutputDevice() {
    if (output_ != OutputKind::Default) return;
    const QString name = QString::fromStdString(ReadINI("", kAudioDeviceKey, "", kSettingsSection));
    if (name.isEmpty()) return;
    // A device unplugged since: the default plays, and the choice stays for when it is back.
    if (!Aspinx::OutputDevices().contains(name)) {
        std::fprintf(stderr, "spinx: the sound device %s is not there; using the default\n",
                     qPrintable(name));
        return;
    }
    Aspinx& engine = master_->Engine();
    if (QString reason; !engine.SetOutputDevice(name, &reason)) {
        std::fprintf(stderr, "spinx: the sound device %s will not play (%s); using the default\n",
                     qPrintable(name), qPrintable(reason));
        engine.SetOutputDevice({});
    }
}

void Frm_Main::UseStoredHeadphones() {
    if (output_ != OutputKind::Default) return;
    const QString name =
        QString::fromStdString(ReadINI("", kHeadphoneDeviceKey, "", kSettingsSection));
    // A device that will not play is told on the status line; the choice stays for next time.
    if (!name.isEmpty()) master_->Engine().SetHeadphoneOutput(name);
}

void Frm_Main::ShowHeadphonesLost(const QString& device, const QString& reason) {
    outputLine_->setText(QStringLiteral("The headphones (%1) do not play: %2. The master plays on; "
                                        "choose them again under File > Audio Output\u2026")
                             .arg(device, reason));
    outputLine_->setStyleSheet(QStringLiteral("color: red;"));
    outputLineHide_->start(kHeadphonesNoticeMs);
    statusBar()->show();
}

void Frm_Main::Mnu_File_AudioOutput_Click() {
    if (!master_) return;
    Aspinx& engine = master_->Engine();
    const QStringList devices = Aspinx::OutputDevices();
    ListChoice choice{"Audio Output", "Play the decks through:", {"Default device"}, 0};
    for (int i = 0; i < devices.size(); ++i) {
        choice.items.push_back(devices[i].toStdString());
        if (devices[i] == engine.OutputDevice()) choice.current = i + 1;
    }
    const std::optional<int> picked = ChooseFromList(choice);
    if (!picked) return;
    const QString name = *picked == 0 ? QString() : devices[*picked - 1];
    // A recording goes on: it takes the mix, whichever device plays it.
    const QString previous = engine.OutputDevice();
    if (QString reason; !engine.SetOutputDevice(name, &reason)) {
        MsgBox("The sound device \"" + choice.items[*picked] +
               "\" cannot be used: " + reason.toStdString() + ".");
        if (name != previous) engine.SetOutputDevice(previous);
    } else if (std::string error;
               !WriteINI("", kAudioDeviceKey, name.toStdString(), kSettingsSection, &error)) {
        MsgBox("The choice of sound device cannot be kept. " + error);
    }
    CheckOutput();
    ChooseHeadphones(devices);
}

void Frm_Main::ChooseHeadphones(const QStringList& devices) {
    Aspinx& engine = master_->Engine();
    // None, the master's card split (a Y cable), or a second card.
    ListChoice choice{"Headphones",
                      "Play the cued decks (the headphones) through:",
                      {"None", "Split: the master on the left, the cue on the right"},
                      0};
    const QString now = engine.HeadphoneOutput();
    if (now == QLatin1String(Aspinx::kSplitHeadphones)) choice.current = 1;
    for (int i = 0; i < devices.size(); ++i) {
        choice.items.push_back(devices[i].toStdString());
        if (devices[i] == now) choice.current = i + 2;
    }
    const std::optional<int> picked = ChooseFromList(choice);
    if (!picked) return;
    const QString name = *picked == 0   ? QString()
                         : *picked == 1 ? QString::fromLatin1(Aspinx::kSplitHeadphones)
                                        : devices[*picked - 2];
    if (QString reason; !engine.SetHeadphoneOutput(name, &reason)) {
        MsgBox("The headphones cannot play on \"" + choice.items[*picked] +
               "\": " + reason.toStdString() + ".");
    } else if (std::string error;
               !WriteINI("", kHeadphoneDeviceKey, name.toStdString(), kSettingsSection, &error)) {
        MsgBox("The choice of headphones cannot be kept. " + error);
    }
}

Frm_Main::~Frm_Main() = default;

void Frm_Main::BuildControlsMenu(QMenu* controls) {
    const auto add = [this, controls](const QString& caption, const QKeySequence& key,
                                      std::function<void(Frm_Master&)> act) {
        QAction* action = controls->addAction(caption);
        action->setObjectName(QStringLiteral("Mnu_Controls_Item"));
        action->setShortcut(key);
        deskKeys_.push_back(key);
        connect(action, &QAction::triggered, this, [this, act] {
            if (master_) act(*master_);
        });
    };
    // Each key reaches its control by name, as a controller mapping would.
    const auto press = [](std::string group, std::string key) {
        return [group, key](Frm_Master& m) { DeskControls(m.Mixer()).Press(group, key); };
    };
    const auto nudge = [](int delta) {
        return
            [delta](Frm_Master& m) { DeskControls(m.Mixer()).Nudge("Mixer", "crossfader", delta); };
    };
    for (int16_t p = 0; p < 4; ++p) {
        const QString n = QString::number(p + 1);
        const std::string group = "Deck" + n.toStdString();
        add(QStringLiteral("Play/Pause Deck ") + n, QKeySequence(Qt::Key_F5 + p),
            press(group, "play"));
        add(QStringLiteral("Stop Deck ") + n, QKeySequence(Qt::SHIFT | (Qt::Key_F5 + p)),
            press(group, "stop"));
        add(QStringLiteral("Sync Deck ") + n, QKeySequence(Qt::CTRL | (Qt::Key_F5 + p)),
            press(group, "sync"));
        add(QStringLiteral("Cue Deck ") + n, QKeySequence(Qt::CTRL | Qt::SHIFT | (Qt::Key_F5 + p)),
            press(group, "cue"));
        add(QStringLiteral("Load Playlist Row into Deck ") + n,
            QKeySequence(Qt::CTRL | (Qt::Key_1 + p)),
            [p](Frm_Master& m) { m.LoadCurrentRowInto(p); });
        controls->addSeparator();
    }
    add(QStringLiteral("Crossfader toward Deck A"), QKeySequence(Qt::CTRL | Qt::Key_Left),
        nudge(-kCrossfaderKeyStep));
    add(QStringLiteral("Crossfader toward Deck B"), QKeySequence(Qt::CTRL | Qt::Key_Right),
        nudge(kCrossfaderKeyStep));
    add(QStringLiteral("Crossfader All Deck A"), QKeySequence(Qt::CTRL | Qt::Key_Home),
        nudge(-100));
    add(QStringLiteral("Crossfader All Deck B"), QKeySequence(Qt::CTRL | Qt::Key_End), nudge(100));
    controls->addSeparator();
    add(QStringLiteral("Auto Play On/Off"), QKeySequence(Qt::CTRL | Qt::Key_P),
        press("Mixer", "auto_play"));
    add(QStringLiteral("Auto Fade On/Off"), QKeySequence(Qt::CTRL | Qt::Key_F),
        press("Mixer", "auto_fade"));
    // Typing into a text box keeps its keys: the desk's keys are handed to the box instead.
    qApp->installEventFilter(this);
}

void Frm_Main::MDIForm_Load() {
    master_ = new Frm_Master(*area_, output_);
    connect(master_, &Frm_Master::markerMenuRequested, this,
            [this] { markerMenu_->popup(QCursor::pos()); });
    connect(&master_->Engine(), &Aspinx::HeadphoneOutputFailed, this,
            &Frm_Main::ShowHeadphonesLost);
    if (auto* record = findChild<QAction*>(QStringLiteral("Mnu_File_RecordMix")))
        connect(master_, &Frm_Master::recordingChanged, record, [record](bool recording) {
            record->setText(recording ? QStringLiteral("Stop &Recording")
                                      : QStringLiteral("&Record Mix\u2026"));
        });
    QMdiSubWindow* window = AddChildWindow(*area_, master_);
    window->adjustSize();
    window->show();
    master_->Form_Load();

    Arrange();
    FitToChildren();
}

void Frm_Main::LoadAfterShow(std::string keptPlaylist, std::vector<std::string> songs) {
    keptPlaylist_ = std::move(keptPlaylist);
    songsToAdd_ = std::move(songs);
    songsAdded_ = 0;
    loadStep_ = LoadStep::SongTable;
    // On a real display the window is exposed (and painted) a round trip after show(), and a
    // timer due meanwhile would run first: the event filter starts the steps at that expose.
    loadTimer_->start(isVisible() && !exposed_ ? kFirstPaintWaitMs : 0);
}

void Frm_Main::FinishLoading() {
    loadTimer_->stop();
    while (Loading() && !unloaded_)
        RunLoadStep();
    loadTimer_->stop();
}

void Frm_Main::RunLoadStep() {
    if (unloaded_ || !master_) return;
    // A step may show a message box, whose event loop can close the window under it.
    switch (loadStep_) {
    case LoadStep::SongTable:
        // Before any song is loaded or listed. Without a usable database the program still runs,
        // only without its song memory; the preparation has told the user why.
        PrepareSongDatabase(SongDatabasePath());
        loadStep_ = LoadStep::OutputDevice;
        break;
    case LoadStep::OutputDevice:
        UseStoredOutputDevice();
        UseStoredHeadphones();
        if (output_ != OutputKind::Offline) outputWatch_->start();
        CheckOutput();
        loadStep_ = LoadStep::KeptPlaylist;
        break;
    case LoadStep::KeptPlaylist:
        if (!keptPlaylist_.empty()) master_->KeepPlaylist(keptPlaylist_);
        loadStep_ = LoadStep::Songs;
        break;
    case LoadStep::Songs:
        AddSongsSlice();
        if (songsAdded_ == songsToAdd_.size()) {
            songsToAdd_.clear();
            loadStep_ = LoadStep::Done;
        }
        break;
    case LoadStep::Done:
        return;
    }
    if (unloaded_) {
        loadStep_ = LoadStep::Done;
        return;
    }
    if (Loading()) {
        loadTimer_->start(0);
    } else {
        emit loaded();
    }
}

void Frm_Main::AddSongsSlice() {
    QElapsedTimer slice;
    slice.start();
    while (master_ && songsAdded_ < songsToAdd_.size() && slice.elapsed() < kSongSliceMs)
        master_->AddFile(songsToAdd_[songsAdded_++]);
}

void Frm_Main::Arrange() {
    if (!master_) return;
    FitDeskToRoom();
    PlaceWindows();
}

void Frm_Main::PlaceWindows() {
    QWidget* mixerWindow = master_->parentWidget();
    mixerWindow->move(0, 0);
    StretchMixer();
    const std::vector<Frm_TurnTable*> decks = master_->Decks();
    // One size of place for every deck, hidden ones included, so showing one moves no other.
    QSize place(1, 1);
    for (const Frm_TurnTable* deck : decks)
        place = place.expandedTo(deck->parentWidget()->size());
    const int rows = Room().height() / place.height();
    for (Frm_TurnTable* deck : decks) {
        const DeckSlot slot = ArrangeSlot(deck->ID(), rows);
        deck->parentWidget()->move(mixerWindow->width() + slot.column * place.width(),
                                   slot.row * place.height());
    }
}

bool Frm_Main::DeskInView() const {
    QRect used = master_->parentWidget()->geometry();
    for (const Frm_TurnTable* deck : master_->Decks())
        used |= deck->parentWidget()->geometry();
    return QRect(QPoint(0, 0), Room()).contains(used);
}

void Frm_Main::FitDeskToRoom() {
    const QScreen* screen = this->screen();
    const double scale = screen ? screen->devicePixelRatio() : 1.0;
    if (scale <= 1.0) {
        if (fitted_) area_->setFont(QFont()); // back on a screen at scale 1: the full font
        fitted_ = false;
        return;
    }
    fitted_ = true;
    const QFont full = QApplication::font(area_);
    // In steps of a tenth of the font, down to what the desk measures at scale 1.
    constexpr int kSteps = 10;
    QWidget* mixerWindow = master_->parentWidget();
    for (int step = kSteps;; --step) {
        const double size = std::max(static_cast<double>(step) / kSteps, 1.0 / scale);
        QFont font = full;
        font.setPointSizeF(full.pointSizeF() * size);
        area_->setFont(font);
        mixerWindow->resize(mixerWindow->sizeHint().width(), mixerWindow->height());
        PlaceWindows();
        if (DeskInView() || size <= 1.0 / scale) return;
    }
}

int Frm_Main::FrameBarsHeight() const {
    return menuBar()->sizeHint().height() +
           (statusBar()->isHidden() ? 0 : statusBar()->sizeHint().height());
}

QSize Frm_Main::Room() const {
    if (isVisible()) return area_->viewport()->size();
    const QScreen* screen = this->screen();
    const QSize screenSize = screen ? screen->availableGeometry().size() : size();
    return screenSize - QSize(2 * area_->frameWidth(), FrameBarsHeight() + 2 * area_->frameWidth());
}

void Frm_Main::StretchMixer() {
    if (!master_) return;
    QWidget* mixerWindow = master_->parentWidget();
    if (mixerWindow->y() != 0) return; // moved by the user: left where it is
    const int height = std::max(Room().height(), mixerWindow->minimumSizeHint().height());
    if (height != mixerWindow->height()) mixerWindow->resize(mixerWindow->width(), height);
}

bool Frm_Main::eventFilter(QObject* watched, QEvent* event) {
    // Seen before the window's own handler paints it: the step starts after that paint.
    if (!exposed_ && event->type() == QEvent::Expose && watched == windowHandle() &&
        windowHandle()->isExposed()) {
        exposed_ = true;
        if (Loading() && loadTimer_->isActive()) loadTimer_->start(0);
    }
    if (watched == area_->viewport() && event->type() == QEvent::Resize) StretchMixer();
    if (event->type() == QEvent::ShortcutOverride &&
        (qobject_cast<QLineEdit*>(watched) || qobject_cast<QAbstractSpinBox*>(watched) ||
         qobject_cast<QTextEdit*>(watched) || qobject_cast<QPlainTextEdit*>(watched))) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (deskKeys_.contains(QKeySequence(key->keyCombination()))) key->accept();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Frm_Main::FitToChildren() {
    QRect used;
    for (QMdiSubWindow* window : area_->subWindowList())
        if (!window->isHidden()) used |= window->geometry();
    const QSize client =
        used.size() + QSize(used.x(), used.y()) + QSize(2, 2) * area_->frameWidth();
    QSize wanted(client.width(), client.height() + FrameBarsHeight());
    const QScreen* screen = this->screen();
    if (!screen) {
        resize(wanted);
        return;
    }
    // The whole window, its frame included, on the screen it opens on.
    const QSize frameSize = frameGeometry().size() - size();
    const QRect room = screen->availableGeometry();
    wanted = wanted.boundedTo(room.size() - frameSize);
    resize(wanted);
    QRect outer(frameGeometry().topLeft(), wanted + frameSize);
    outer.moveRight(std::min(outer.right(), room.right()));
    outer.moveBottom(std::min(outer.bottom(), room.bottom()));
    outer.moveLeft(std::max(outer.left(), room.left()));
    outer.moveTop(std::max(outer.top(), room.top()));
    move(outer.topLeft());
}

void Frm_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Only now is the frame that the window system puts around the window known.
    if (!shown_) {
        shown_ = true;
        FitToChildren();
    }
}

void Frm_Main::Mnu_File_Exit_Click() {
    if (MayExit()) close();
}

bool Frm_Main::MayExit() const {
    if (!master_) return true;
    bool playing = false;
    for (const Frm_TurnTable* deck : master_->Decks())
        playing = playing || deck->Controller().Status() == PlayerStatus::Playing;
    return !playing || MsgBox("A deck is playing. Exit Spinx and stop the music?",
                              MsgButtons::YesNo) == MsgResult::Yes;
}

void Frm_Main::Mnu_View_Deck_Click(int16_t Index) {
    if (Index < 0 || Index >= static_cast<int16_t>(viewDeckItems_.size())) return;
    viewDeckItems_[Index]->setChecked(!viewDeckItems_[Index]->isChecked());
    for (Frm_TurnTable* deck : master_->Decks()) {
        if (deck->ID() < 0 || deck->ID() >= static_cast<int16_t>(viewDeckItems_.size())) continue;
        // Hiding only hides: the deck keeps its song and goes on playing.
        deck->parentWidget()->setVisible(viewDeckItems_[deck->ID()]->isChecked());
    }
}

void Frm_Main::Mnu_Window_Arrange_Click() {
    Arrange();
}

void Frm_Main::Mnu_SetPos_Click(int16_t Index) {
    QMdiSubWindow* active = area_->activeSubWindow();
    QWidget* form = active ? active->widget() : nullptr;
    if (!form || form->objectName() != QLatin1String(Frm_TurnTable::kName)) return;
    if (auto* deck = qobject_cast<Frm_TurnTable*>(form)) deck->SetPos(Index);
}

void Frm_Main::Mnu_Help_Contents_Click() {
    HelpKey_Press();
}

void Frm_Main::HelpKey_Press() {
    if (!help_) help_ = new Frm_Help(this);
    help_->ShowContents();
}

void Frm_Main::closeEvent(QCloseEvent* event) {
    // The title bar's close asks as File > Exit does; a close from code does not ask.
    if (!unloaded_ && event->spontaneous() && !MayExit()) {
        event->ignore();
        return;
    }
    // Whether closed from the title bar or through File > Exit, the program ends one way.
    if (!unloaded_) {
        unloaded_ = true;
        // What start-up has not done yet is not wanted now.
        loadTimer_->stop();
        loadStep_ = LoadStep::Done;
        if (master_) master_->StopRecording();
        MDIForm_QueryUnload();
        UnloadChildren();
        MDIForm_Unload();
    }
    event->accept();
}

void Frm_Main::MDIForm_QueryUnload() {
    if (!status_) status_ = std::make_unique<Frm_Status>();
    status_->ShowCentred();
    status_->Progress(QStringLiteral("Shutting down, please wait..."), 0, 1);
    hide();
}

void Frm_Main::UnloadChildren() {
    // Newest first: the decks go before the mixer whose engine they play through.
    std::vector<QPointer<QMdiSubWindow>> windows;
    for (QMdiSubWindow* window : area_->subWindowList(QMdiArea::CreationOrder))
        windows.emplace_back(window);
    std::reverse(windows.begin(), windows.end());
    master_ = nullptr;
    for (QPointer<QMdiSubWindow>& window : windows)
        delete window.data();
}

void Frm_Main::MDIForm_Unload() {
    CloseSongDatabase();
    status_.reset();
}

} // namespace spinx
