#include "deck/Frm_TurnTable.h"

#include "deck/Mod_Deck.h"
#include "engine/Aspinx.h"
#include "mixer/Frm_Master.h"
#include "shell/PictureBox.h"
#include "support/Mod_Convert.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/Mod_MsgBox.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace spinx {

namespace {
constexpr const char* kMp3Filter = "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kMp3PathKey = "MP3 Path";
constexpr const char* kMp3PathDefault = "C:\\My Music";
constexpr const char* kSettingsSection = "Settings";

const QColor kDisplayBack(16, 24, 32);
const QColor kStatusGreen(0, 255, 0);
const QColor kStatusRed(255, 0, 0);

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(QString::fromLatin1(tip));
    button->setAutoRaise(false);
    button->setIconSize(QSize(18, 18));
    return button;
}

QSlider* Slider(QWidget* parent, Qt::Orientation orientation, int min, int max, int value) {
    auto* slider = new QSlider(orientation, parent);
    slider->setRange(min, max);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setValue(value);
    return slider;
}

// The first local file of a drop from the desktop, or "".
std::string FirstDroppedFile(const QMimeData& data) {
    if (!data.hasUrls()) return {};
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) return url.toLocalFile().toStdString();
    return {};
}
} // namespace

Frm_TurnTable::Frm_TurnTable(Frm_Master& master, QWidget* parent)
    : QWidget(parent), master_(master) {
    setObjectName(kName);

    Load0Btn = PictureButton(this, QStyle::SP_DialogOpenButton, "Load MP3 file");
    Pic_Play = style()->standardIcon(QStyle::SP_MediaPlay);
    Pic_Pause = style()->standardIcon(QStyle::SP_MediaPause);
    Cmd_Play = PictureButton(this, QStyle::SP_MediaPlay, "Play/Pause MP3");
    Cmd_Play->setIcon(Pic_Play);
    Cmd_Stop = PictureButton(this, QStyle::SP_MediaStop, "Stop MP3");
    Cmd_Update = PictureButton(this, QStyle::SP_DialogSaveButton, "Save settings");
    Cmd_Update->setEnabled(false);

    Picture1 = new PictureBox(this);
    Picture1->SetBackColor(kDisplayBack);
    Picture1->setMinimumHeight(30);
    Picture2 = new PictureBox(this);
    Picture2->SetBackColor(kDisplayBack);
    Picture2->setFixedWidth(44);

    Lbl_Status = new QLabel(QStringLiteral("STOPPED"), this);
    Lbl_Status->setAlignment(Qt::AlignCenter);
    Lbl_Status->setAutoFillBackground(true);
    Lbl_Status->setFrameShape(QFrame::Panel);
    Lbl_Status->setFrameShadow(QFrame::Sunken);

    VScroll2 = Slider(this, Qt::Vertical, -100, 100, 0);
    HScroll3 = Slider(this, Qt::Horizontal, 1, 2000, 1000);
    HScroll1 = Slider(this, Qt::Horizontal, 0, 100, 50);
    // The labels show the sliders' starting values; the engine hears of them when they move.
    lblPlayer1Vol = new QLabel(QStringLiteral("%1%").arg(VScroll2->value()), this);
    lblPlayer1Pit = new QLabel(QString::number(HScroll3->value()), this);
    lblPlayer1Bal = new QLabel(QString::number(HScroll1->value()), this);
    for (QLabel* value : {lblPlayer1Vol, lblPlayer1Pit, lblPlayer1Bal}) {
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-100%")));
    }
    lblPlayer1Vol->setAlignment(Qt::AlignCenter);

    Pic_Level = new PictureBox(this);
    Pic_Level->SetBackColor(Qt::black);
    Pic_Level->setFixedWidth(24);
    Pic_Level->Scale(kLevelScaleLeft, kLevelScaleTop, kLevelScaleRight, kLevelScaleBottom);
    Line_MaxVol = Pic_Level->AddLine(QLineF(kLevelScaleLeft, 0, kLevelScaleRight, 0), Qt::white);

    Frame1 = new QWidget(this);
    Frame1->hide();

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);

    // Transport row: status, then the picture buttons.
    auto* transport = new QHBoxLayout;
    transport->setSpacing(2);
    transport->addWidget(Lbl_Status, 1);
    for (QToolButton* button : {Load0Btn, Cmd_Play, Cmd_Stop, Cmd_Update})
        transport->addWidget(button);

    auto* controls = new QGridLayout;
    controls->setHorizontalSpacing(3);
    controls->setVerticalSpacing(3);
    auto* displays = new QHBoxLayout;
    displays->setSpacing(3);
    displays->addWidget(Picture1, 1);
    displays->addWidget(Picture2);
    controls->addLayout(displays, 0, 0, 1, 5);
    controls->addLayout(transport, 1, 0, 1, 5);
    controls->addWidget(new QLabel(QStringLiteral("Pitch"), this), 2, 0);
    controls->addWidget(HScroll3, 2, 1, 1, 3);
    controls->addWidget(lblPlayer1Pit, 2, 4);
    controls->addWidget(new QLabel(QStringLiteral("Balance"), this), 3, 0);
    controls->addWidget(new QLabel(QStringLiteral("L"), this), 3, 1);
    controls->addWidget(HScroll1, 3, 2);
    controls->addWidget(new QLabel(QStringLiteral("R"), this), 3, 3);
    controls->addWidget(lblPlayer1Bal, 3, 4);
    controls->setColumnStretch(2, 1);
    controls->setRowStretch(0, 1);

    auto* volume = new QGridLayout;
    volume->setHorizontalSpacing(3);
    volume->setVerticalSpacing(2);
    volume->addWidget(new QLabel(QStringLiteral("Volume"), this), 0, 0, 1, 2, Qt::AlignHCenter);
    volume->addWidget(VScroll2, 1, 0, Qt::AlignHCenter);
    volume->addWidget(Pic_Level, 1, 1);
    volume->addWidget(lblPlayer1Vol, 2, 0, 1, 2, Qt::AlignHCenter);
    volume->setRowStretch(1, 1);

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(4, 4, 4, 4);
    root->setSpacing(6);
    root->addLayout(controls, 1);
    root->addLayout(volume);
    root->addWidget(Frame1);

    connect(Load0Btn, &QToolButton::clicked, this, [this] { Load0Btn_Click(); });
    connect(Cmd_Play, &QToolButton::clicked, this, [this] { Cmd_Play_Click(); });
    connect(Cmd_Stop, &QToolButton::clicked, this, [this] { Cmd_Stop_Click(); });
    // valueChanged fires while a thumb is dragged as well, so the sound follows the drag.
    connect(VScroll2, &QSlider::valueChanged, this, [this] { VScroll2_Change(); });
    connect(HScroll3, &QSlider::valueChanged, this, [this] { HScroll3_Change(); });
    connect(HScroll1, &QSlider::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

Aspinx& Frm_TurnTable::Engine() const {
    return *master_.Aspinx1;
}

void Frm_TurnTable::Form_Load() {
    HScroll3_Change();
    setAcceptDrops(true);
    // Sending the design-time pitch is no change of the user's: nothing waits to be saved yet.
    Cmd_Update->setEnabled(false);
    Timer1->start();
}

void Frm_TurnTable::Init() {
    const uint32_t yellow = ColourNumber(QBColor(14));
    const uint32_t white = ColourNumber(QBColor(15));
    const uint32_t pictureBack = ColourNumber(Picture1->BackColor());
    // The engine only keeps these as tokens, so the widgets' addresses serve as their handles.
    Engine().SetDisplayWindows(ID, 0, reinterpret_cast<quintptr>(Picture2),
                               reinterpret_cast<quintptr>(Picture1));
    Engine().SetDisplayColours(ID, white, pictureBack);
    Engine().DisplaySwitch68(ID, true);
    Engine().DisplaySetup64(ID, true, yellow, white, pictureBack);
    Engine().DisplaySwitch67(ID, true);
    Engine().VUMeterCreate(ID, 0, true, yellow, white, ColourNumber(Pic_Level->BackColor()));
    Engine().DisplaySwitch66(ID, true);
    setWindowTitle(InitCaption(ID));
}

void Frm_TurnTable::GetDBSettings() {
    loadFailure_.clear();
    StartPos = 0;
    Engine().SeekSound(ID, StartPos);
    MaxPos = Engine().GetSoundDuration(ID);
    Cmd_Update->setEnabled(false);
}

void Frm_TurnTable::SoundDone() {
    Cmd_Play->setIcon(Pic_Play);
}

void Frm_TurnTable::SoundLoadFailed(const QString& path, const QString& reason) {
    // A failure for a song that has since been replaced by another is old news.
    if (path != QString::fromStdString(Filename)) return;
    loadFailurePath_ = path;
    loadFailure_ = reason;
    Filename.clear();
    MaxPos = 0;
    Cmd_Play->setIcon(Pic_Play);
    Timer1_Timer();
}

void Frm_TurnTable::DoLevel(int16_t nPeakLeft, int16_t nPeakRight) {
    Pic_Level->Scale(kLevelScaleLeft, kLevelScaleTop, kLevelScaleRight, kLevelScaleBottom);
    for (const LevelBox& box : LevelBoxes(nPeakLeft, nPeakRight))
        Pic_Level->FillBox(box.x1, box.y1, box.x2, box.y2,
                           box.lit ? QBColor(2) : Pic_Level->BackColor());
}

void Frm_TurnTable::Load0Btn_Click() {
    CommonDialog1.InitDir = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    CommonDialog1.FileName.clear();
    CommonDialog1.Filter = kMp3Filter;
    CommonDialog1.ShowOpen();
    if (CommonDialog1.FileName.empty()) return;

    Filename = CommonDialog1.FileName;
    loadFailure_.clear();
    setWindowTitle(LoadingCaption(ID, Filename));
    Engine().LoadSoundFast(ID, QString::fromStdString(Filename));
    std::string error;
    if (!WriteINI("", kMp3PathKey, GetPath(Filename), kSettingsSection, &error))
        MsgBox("The folder of this song could not be remembered: " + error);
    Cmd_Play->setIcon(Pic_Play);
}

void Frm_TurnTable::Cmd_Play_Click() {
    if (Engine().GetPlayerStatus(ID) == kPlaying) {
        Engine().PauseSound(ID);
        Cmd_Play->setIcon(Pic_Play);
    } else {
        Engine().PlaySound(ID);
        Cmd_Play->setIcon(Pic_Pause);
    }
}

void Frm_TurnTable::Cmd_Stop_Click() {
    Engine().StopSound(ID);
    Cmd_Play->setIcon(Pic_Play);
    Engine().SeekSound(ID, StartPos);
    Picture1->Cls();
    Picture2->Cls();
}

void Frm_TurnTable::Form_OLEDragDrop(const QMimeData& data) {
    const std::string first = FirstDroppedFile(data);
    if (first.empty()) return;
    Filename = first;
    loadFailure_.clear();
    Engine().LoadSound(ID, QString::fromStdString(Filename));
}

namespace {
// The mixer's playlist, when it is what a drag comes from.
const QListWidget* PlaylistSource(const QObject* source) {
    const auto* list = qobject_cast<const QListWidget*>(source);
    return list && list->objectName() == QLatin1String("List1") ? list : nullptr;
}

} // namespace

void Frm_TurnTable::Form_DragDrop(const QObject* Source) {
    const QListWidget* list = PlaylistSource(Source);
    if (!list || list->currentRow() < 0) return;
    // The row's index is taken whole: a long playlist has more rows than 16 bits can count.
    const std::string* path = master_.PlaylistFile(list->currentItem());
    if (!path) return;
    Filename = *path;
    loadFailure_.clear();
    Engine().LoadSound(ID, QString::fromStdString(Filename));
}

void Frm_TurnTable::dragEnterEvent(QDragEnterEvent* event) {
    if (PlaylistSource(event->source()) ||
        (event->mimeData() && !FirstDroppedFile(*event->mimeData()).empty()))
        event->acceptProposedAction();
}

void Frm_TurnTable::dropEvent(QDropEvent* event) {
    if (PlaylistSource(event->source())) {
        Form_DragDrop(event->source());
        event->acceptProposedAction();
        return;
    }
    if (!event->mimeData()) return;
    Form_OLEDragDrop(*event->mimeData());
    event->acceptProposedAction();
}

void Frm_TurnTable::VScroll2_Change() {
    const int v = VScroll2->value();
    const double volume = VolumeFromSlider(v);
    Engine().SetVolume(ID, CInt(volume));
    lblPlayer1Vol->setText(QStringLiteral("%1%").arg(v));
    if (MaxVol != volume) Cmd_Update->setEnabled(true);
}

void Frm_TurnTable::HScroll3_Change() {
    const int p = HScroll3->value();
    Engine().SetPitch(ID, static_cast<int16_t>(p));
    lblPlayer1Pit->setText(QString::number(p));
    Cmd_Update->setEnabled(true);
}

void Frm_TurnTable::HScroll1_Change() {
    const int b = HScroll1->value();
    Engine().SetBalance(ID, static_cast<int16_t>(b));
    lblPlayer1Bal->setText(QString::number(b));
}

void Frm_TurnTable::Timer1_Timer() {
    const int16_t status = Engine().GetPlayerStatus(ID);
    StatusLook look = StatusLookFor(status);
    if (!loadFailure_.isEmpty()) look = {QStringLiteral("LOAD FAILED"), StatusColour::Red};
    QPalette colours = Lbl_Status->palette();
    const QColor back = look.colour == StatusColour::Green ? kStatusGreen
                        : look.colour == StatusColour::Red ? kStatusRed
                                                           : palette().color(QPalette::Window);
    colours.setColor(QPalette::Window, back);
    colours.setColor(QPalette::WindowText, look.colour == StatusColour::Neutral
                                               ? palette().color(QPalette::WindowText)
                                               : QColor(Qt::black));
    Lbl_Status->setPalette(colours);
    Lbl_Status->setText(look.caption);

    Line_MaxVol->Move(QLineF(kLevelScaleLeft, MaxVol, kLevelScaleRight, MaxVol));

    if (!loadFailure_.isEmpty()) {
        const QString text = LoadFailedCaption(ID, loadFailurePath_.toStdString(), loadFailure_);
        Lbl_Status->setToolTip(text);
        setWindowTitle(text);
        return;
    }
    Lbl_Status->setToolTip(QString());
    setWindowTitle(
        TickCaption(ID, Filename, Engine().GetPositionText(ID, false, true), status, MaxVol));
}

std::vector<Frm_TurnTable*> LoadedTurnTables(const QMdiArea& area) {
    std::vector<Frm_TurnTable*> decks;
    for (QMdiSubWindow* window : area.subWindowList(QMdiArea::CreationOrder)) {
        QWidget* form = window->widget();
        if (form && form->objectName() == QLatin1String(Frm_TurnTable::kName))
            if (auto* deck = qobject_cast<Frm_TurnTable*>(form)) decks.push_back(deck);
    }
    return decks;
}

Frm_TurnTable* FindTurnTable(const QMdiArea& area, int16_t id) {
    for (Frm_TurnTable* deck : LoadedTurnTables(area))
        if (deck->ID == id) return deck;
    return nullptr;
}

} // namespace spinx
