#include "deck/Frm_TurnTable.h"

#include "deck/DeckDisplay.h"
#include "deck/DeckHost.h"
#include "deck/DeckRules.h"
#include "deck/EqFile.h"
#include "deck/EqPanel.h"
#include "deck/Mod_MCI.h"
#include "desk/DeckController.h"
#include "mixer/SetSettings.h"
#include "support/Convert.h"
#include "support/DataLocation.h"
#include "support/FileChooser.h"
#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"
#include "widgets/DroppedFiles.h"
#include "widgets/PictureBox.h"
#include "widgets/PictureButton.h"
#include "widgets/Twips.h"

#include <QCheckBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

namespace spinx {

namespace {
constexpr const char* kMp3Filter = "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kEqFilter = "EQ Settings (*.eq)|*.eq|All files (*.*)|*.*";
// Ten short lines: anything much larger is not an EQ file, and is refused before it is read.
constexpr std::int64_t kEqFileMaxBytes = 64 * 1024;

const QColor kDisplayBack(16, 24, 32);
const QColor kProgressBack(48, 56, 64);
const QColor kOverviewColour(90, 150, 200);
const QColor kWarningColour(230, 40, 40);
const QColor kGridColour(230, 230, 230);

// The window's width with the equaliser panel shown and hidden, and the room below the controls.
constexpr int kWideTwips = 8955;
constexpr int kNarrowTwips = 4395;
constexpr int kBottomMarginTwips = 90;

// The live spectrum: frames analysed per tick, and bars shown.
constexpr int kSpectrumFrames = 1024;
constexpr int kSpectrumBars = 10;

// Gives `widget` its old control name.
template <class Control> Control* Named(Control* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The layout at the default font. The controls left of the equaliser panel; the narrow window
// shows them all.
constexpr TwipsRect kPicture1{60, 60, 2880, 600};
constexpr TwipsRect kPicture2{2985, 60, 600, 600};
constexpr TwipsRect kProgress{60, 705, 3525, 180};
constexpr std::array<TwipsRect, 3> kLblPos{
    {{60, 900, 1170, 180}, {1230, 900, 1185, 180}, {2415, 900, 1170, 180}}};
constexpr TwipsRect kStatus{60, 1125, 1020, 330};
constexpr TwipsRect kCue{1110, 1125, 465, 330};
constexpr TwipsRect kSync{1605, 1125, 525, 330};
constexpr int kButtonTwips = 330;
constexpr std::array<int, 4> kButtonLeft = {2175, 2535, 2895, 3255}; // load, play, stop, save
constexpr TwipsRect kPitchLabel{60, 1500, 540, 270};
constexpr TwipsRect kPitch{630, 1500, 1380, 270};
constexpr TwipsRect kKeyLock{2040, 1500, 1035, 270};
constexpr TwipsRect kPitchValue{3090, 1500, 495, 270};
constexpr TwipsRect kBalanceLabel{60, 1815, 720, 270};
constexpr TwipsRect kBalanceL{810, 1815, 120, 270};
constexpr TwipsRect kBalance{930, 1815, 1095, 270};
constexpr TwipsRect kBalanceR{2040, 1815, 135, 270};
constexpr TwipsRect kBalanceValue{2175, 1815, 330, 270};
constexpr TwipsRect kQuantize{2535, 1815, 1050, 270};
// The volume column between the controls and the equaliser panel.
constexpr TwipsRect kVolumeLabel{3600, 30, 690, 210};
constexpr TwipsRect kVolume{3705, 255, 240, 990};
constexpr TwipsRect kLevel{3975, 255, 240, 990};
constexpr TwipsRect kVolumeValue{3600, 1260, 690, 210};
constexpr TwipsRect kChkEq{3630, 1500, 675, 255};
constexpr int kFrame1Left = 4320, kFrame1Width = 4455;

QSlider* Slider(QWidget* parent, Qt::Orientation orientation, int min, int max, int value) {
    auto* slider = new QSlider(orientation, parent);
    slider->setRange(min, max);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setValue(value);
    return slider;
}

QLabel* Label(QWidget* parent, const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

QColor BackgroundOf(const QLabel& label) {
    return label.palette().color(QPalette::Window);
}

void SetTextColour(QWidget& widget, QColor colour) {
    QPalette colours = widget.palette();
    colours.setColor(QPalette::WindowText, colour);
    widget.setPalette(colours);
}

// The first local file of a drop from the desktop, or "".
std::string FirstDroppedFile(const QMimeData& data) {
    const std::vector<std::string> files = DroppedFiles(data);
    return files.empty() ? std::string() : files.front();
}

// Mouse buttons as the handlers number them: 1 left, 2 right, 4 middle, added together.
int16_t ButtonNumber(Qt::MouseButtons buttons) {
    return static_cast<int16_t>((buttons.testFlag(Qt::LeftButton) ? 1 : 0) |
                                (buttons.testFlag(Qt::RightButton) ? 2 : 0) |
                                (buttons.testFlag(Qt::MiddleButton) ? 4 : 0));
}

int16_t ShiftNumber(Qt::KeyboardModifiers modifiers) {
    return static_cast<int16_t>((modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
                                (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
                                (modifiers.testFlag(Qt::AltModifier) ? 4 : 0));
}
} // namespace

Frm_TurnTable::Frm_TurnTable(DeckController& deck, DeckHost& host, QWidget* parent)
    : QWidget(parent), deck_(deck), host_(host) {
    setObjectName(kName);
    BuildControls();
    LayOut();

    connect(loadButton_, &QToolButton::clicked, this, [this] { Load0Btn_Click(); });
    connect(playButton_, &QToolButton::clicked, this, [this] { Cmd_Play_Click(); });
    connect(stopButton_, &QToolButton::clicked, this, [this] { Cmd_Stop_Click(); });
    connect(saveSettingsButton_, &QToolButton::clicked, this, [this] { Cmd_Update_Click(); });
    // valueChanged fires while a thumb is dragged as well, so the sound follows the drag.
    connect(volumeSlider_, &QSlider::valueChanged, this, [this] { VScroll2_Change(); });
    connect(pitchSlider_, &QSlider::valueChanged, this, [this] { HScroll3_Change(); });
    connect(balanceSlider_, &QSlider::valueChanged, this, [this] { HScroll1_Change(); });
    connect(eqCheck_, &QCheckBox::toggled, this, [this] { Chk_Eq_Click(); });
    connect(eqPanel_, &EqPanel::curveChanged, this,
            [this](const EqGains&, int band) { VEqual_Change(static_cast<int16_t>(band)); });
    connect(eqPanel_, &EqPanel::resetClicked, this,
            [this](int index) { Cmd_ResetEq_Click(static_cast<int16_t>(index)); });
    connect(eqPanel_, &EqPanel::loadClicked, this, [this] { Cmd_LoadEq_Click(); });
    connect(eqPanel_, &EqPanel::saveClicked, this, [this] { Cmd_SaveEq_Click(); });
    connect(tickTimer_, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(syncButton_, &QToolButton::clicked, this, [this] { host_.SyncDeck(ID()); });
    connect(quantizeCheck_, &QCheckBox::toggled, this, [this](bool on) {
        deck_.SetQuantize(on);
        std::string error;
        if (!WriteINI("", QuantizeKey(ID()), on ? "Yes" : "No", kSettingsSection, &error))
            MsgBox("The Quantize setting cannot be kept. " + error);
    });

    connect(keyLockCheck_, &QCheckBox::toggled, this, [this](bool on) {
        deck_.SetKeyLock(on);
        std::string error;
        if (!WriteINI("", KeyLockKey(ID()), on ? "Yes" : "No", kSettingsSection, &error))
            MsgBox("The Key lock setting cannot be kept. " + error);
    });
    connect(cueButton_, &QToolButton::toggled, this, [this](bool on) { deck_.SetCue(on); });

    connect(&deck_, &DeckController::settingsChanged, this, [this] { ShowSettings(); });
    connect(&deck_, &DeckController::transportChanged, this, [this] { ShowTransport(); });
    connect(&deck_, &DeckController::songChanged, this, [this] {
        ShowTempo();
        if (overview_ != deck_.Overview() || deck_.Music() != shownMusic_) ShowOverview();
        Timer1_Timer();
    });
    connect(&deck_, &DeckController::overviewReady, this, [this] { ShowOverview(); });
    connect(&deck_, &DeckController::levels, this,
            [this](int16_t left, int16_t right) { DoLevel(left, right); });
}

int16_t Frm_TurnTable::ID() const {
    return deck_.ID();
}

void Frm_TurnTable::BuildControls() {
    const auto place = [this](auto* widget, const char* name, TwipsRect at) {
        placements_.push_back({Named(widget, name), at});
        return widget;
    };
    overviewPicture_ = place(new PictureBox(this), "Picture1", kPicture1);
    overviewPicture_->SetBackColor(kDisplayBack);
    overviewPosition_ = overviewPicture_->AddLine(QLineF(-1, 1, -1, -1), Qt::white);
    spectrumPicture_ = place(new PictureBox(this), "Picture2", kPicture2);
    spectrumPicture_->SetBackColor(kDisplayBack);

    progressBar_ = place(new PictureBox(this), "Pic_Progress", kProgress);
    progressBar_->SetBackColor(kProgressBack);
    progressBar_->setMouseTracking(true);
    progressBar_->installEventFilter(this);
    const Qt::Alignment posAlignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int i = 0; i < 3; ++i) {
        timeLabels_[i] = place(Label(this, QStringLiteral("0:00.0000"), posAlignments[i]),
                               "Lbl_Pos", kLblPos[i]);
        timeLabels_[i]->setProperty("Index", i);
    }

    statusLabel_ = place(new QLabel(QStringLiteral("STOPPED"), this), "Lbl_Status", kStatus);
    statusLabel_->setAlignment(Qt::AlignCenter);
    statusLabel_->setAutoFillBackground(true);
    statusLabel_->setFrameShape(QFrame::Panel);
    statusLabel_->setFrameShadow(QFrame::Sunken);
    greenSample_ = Named(new QLabel(QStringLiteral("GREEN"), this), "Lbl_Green");
    redSample_ = Named(new QLabel(QStringLiteral("RED"), this), "Lbl_Red");
    for (auto [label, colour] :
         {std::pair{greenSample_, QColor(0, 255, 0)}, std::pair{redSample_, QColor(255, 0, 0)}}) {
        QPalette colours = label->palette();
        colours.setColor(QPalette::Window, colour);
        label->setPalette(colours);
        label->hide();
    }

    // The two pictures the Play button takes, held hidden.
    playPicture_ = Named(new QLabel(this), "Pic_Play");
    pausePicture_ = Named(new QLabel(this), "Pic_Pause");
    playPicture_->hide();
    pausePicture_->hide();
    const auto button = [&](QStyle::StandardPixmap picture, const char* tip, const char* name,
                            int left) {
        return place(PictureButton(this, picture, tip), name,
                     {left, kStatus.top, kButtonTwips, kButtonTwips});
    };
    loadButton_ = button(QStyle::SP_DialogOpenButton, "Load MP3 file", "Load0Btn", kButtonLeft[0]);
    playButton_ = button(QStyle::SP_MediaPlay, "Play/Pause MP3", "Cmd_Play", kButtonLeft[1]);
    stopButton_ = button(QStyle::SP_MediaStop, "Stop MP3", "Cmd_Stop", kButtonLeft[2]);
    saveSettingsButton_ =
        button(QStyle::SP_DialogSaveButton, "Save settings", "Cmd_Update", kButtonLeft[3]);
    saveSettingsButton_->setEnabled(false);
    DrawTransportPictures();
    playButton_->setIcon(playIcon_);

    volumeSlider_ = place(Slider(this, Qt::Vertical, -100, 100, 0), "VScroll2", kVolume);
    pitchSlider_ = place(Slider(this, Qt::Horizontal, 1, 2000, kNeutralPitch), "HScroll3", kPitch);
    balanceSlider_ =
        place(Slider(this, Qt::Horizontal, 0, 100, kCentreBalance), "HScroll1", kBalance);
    // The labels show the sliders' starting values; the engine hears of them when they move.
    volumeValue_ =
        place(Label(this, QStringLiteral("%1%").arg(volumeSlider_->value()), Qt::AlignHCenter),
              "lblPlayer1Vol", kVolumeValue);
    pitchValue_ = place(Label(this, QString::number(pitchSlider_->value()), Qt::AlignRight),
                        "lblPlayer1Pit", kPitchValue);
    balanceValue_ = place(Label(this, QString::number(balanceSlider_->value()), Qt::AlignRight),
                          "lblPlayer1Bal", kBalanceValue);
    place(Label(this, QStringLiteral("Volume"), Qt::AlignHCenter), "Label2", kVolumeLabel);
    pitchLabel_ = place(Label(this, QStringLiteral("Pitch")), "Label12", kPitchLabel);
    balanceLabel_ = place(Label(this, QStringLiteral("Balance")), "Label4", kBalanceLabel);
    place(Label(this, QStringLiteral("L"), Qt::AlignHCenter), "Label6", kBalanceL);
    place(Label(this, QStringLiteral("R"), Qt::AlignHCenter), "Label5", kBalanceR);
    // A double-click on a slider's label or value sets it back to neutral.
    for (QLabel* label : {pitchLabel_, pitchValue_, balanceLabel_, balanceValue_}) {
        label->installEventFilter(this);
        label->setToolTip(QStringLiteral("Double-click: back to the middle"));
    }

    levelMeter_ = place(new PictureBox(this), "Pic_Level", kLevel);
    levelMeter_->SetBackColor(Qt::black);
    levelMeter_->Scale(kLevelScaleLeft, kLevelScaleTop, kLevelScaleRight, kLevelScaleBottom);
    maxVolLine_ = levelMeter_->AddLine(QLineF(kLevelScaleLeft, 0, kLevelScaleRight, 0), Qt::white);

    eqCheck_ = place(new QCheckBox(QStringLiteral("EQ"), this), "Chk_Eq", kChkEq);
    syncButton_ = place(new QToolButton(this), "Cmd_Sync", kSync);
    syncButton_->setText(QStringLiteral("Sync"));
    syncButton_->setToolTip(QStringLiteral("Match the other deck's tempo and beat"));
    quantizeCheck_ =
        place(new QCheckBox(QStringLiteral("Quantize"), this), "Chk_Quantize", kQuantize);
    quantizeCheck_->setToolTip(QStringLiteral("A click on the bar lands on the nearest beat"));
    keyLockCheck_ = place(new QCheckBox(QStringLiteral("Key lock"), this), "Chk_KeyLock", kKeyLock);
    keyLockCheck_->setToolTip(QStringLiteral("The pitch changes the tempo only; the key stays"));
    cueButton_ = place(new QToolButton(this), "Cmd_Cue", kCue);
    cueButton_->setText(QStringLiteral("Cue"));
    cueButton_->setCheckable(true);
    cueButton_->setToolTip(QStringLiteral("Hear this deck in the headphones"));
    // The tempo as heard and the key, over the overview's corner, where the eye already is.
    tempoLabel_ = Named(new QLabel(overviewPicture_), "Lbl_Tempo");
    tempoLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTextColour(*tempoLabel_, Qt::white);
    tempoLabel_->move(3, 1);
    eqCheck_->setChecked(true);
    eqPanel_ = new EqPanel(this);

    tickTimer_ = new QTimer(this);
    tickTimer_->setObjectName(QStringLiteral("Timer1"));
    tickTimer_->setInterval(100);
}

void Frm_TurnTable::DrawTransportPictures() {
    const bool pausing = playButton_->icon().cacheKey() == pauseIcon_.cacheKey();
    playIcon_ = MediaIcon(MediaPicture::Play, palette());
    pauseIcon_ = MediaIcon(MediaPicture::Pause, palette());
    playPicture_->setPixmap(playIcon_.pixmap(kPictureButtonPixels));
    pausePicture_->setPixmap(pauseIcon_.pixmap(kPictureButtonPixels));
    stopButton_->setIcon(MediaIcon(MediaPicture::Stop, palette()));
    playButton_->setIcon(pausing ? pauseIcon_ : playIcon_);
}

void Frm_TurnTable::LayOut() {
    const double unit = LayoutUnit(fontMetrics());
    std::vector<TwipsItem> controls, volumeColumn;
    for (const auto& [widget, at] : placements_) {
        // Text never gets less room than it needs, whatever the layout gives it; a check box's
        // box does not shrink with the font.
        QSize least(0, 0);
        if (qobject_cast<QLabel*>(widget)) least.setHeight(widget->sizeHint().height());
        if (qobject_cast<QCheckBox*>(widget)) least = widget->sizeHint();
        (at.left < kVolumeLabel.left ? controls : volumeColumn).push_back({widget, at, least});
    }
    const int iconPixels = std::max(8, static_cast<int>(std::lround(kPictureButtonPixels * unit)));
    for (QToolButton* button : {loadButton_, playButton_, stopButton_, saveSettingsButton_})
        button->setIconSize(QSize(iconPixels, iconPixels));
    const int bottom = std::max(PlaceTwipsRows(controls, unit), PlaceTwipsRows(volumeColumn, unit));
    const auto pixels = [unit](int twips) { return ScaledTwips(twips, unit); };
    const int height = bottom + pixels(kBottomMarginTwips);
    int volumeRight = 0;
    for (const TwipsItem& item : volumeColumn)
        volumeRight = std::max(volumeRight, item.widget->geometry().right() + 1);
    const int narrow = std::max(pixels(kNarrowTwips), volumeRight + pixels(kBottomMarginTwips));
    const int panelLeft = std::max(pixels(kFrame1Left), volumeRight);
    eqPanel_->setGeometry(panelLeft, 0, pixels(kFrame1Width), height);
    eqPanel_->LayOut(unit);
    const int wide = panelLeft + pixels(kWideTwips - kFrame1Left);
    setMinimumSize(eqCheck_->isChecked() ? wide : narrow, height);
    if (overview_) ShowOverview(); // drawn again at the picture's new width
}

void Frm_TurnTable::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        Chk_Eq_Click();
    } else if (event->type() == QEvent::PaletteChange) {
        DrawTransportPictures();
    }
}

void Frm_TurnTable::Form_Load() {
    Chk_Eq_Click();
    deck_.SetQuantize(
        ParseSettingsFlag(ReadINI("", QuantizeKey(ID()), "", kSettingsSection), false));
    deck_.SetKeyLock(ParseSettingsFlag(ReadINI("", KeyLockKey(ID()), "", kSettingsSection), false));
    ShowSettings();
    ShowTransport();
    setAcceptDrops(true);
    setWindowTitle(InitCaption(ID()));
    tickTimer_->start();
}

void Frm_TurnTable::ShowSettings() {
    const QSignalBlocker volume(volumeSlider_), pitch(pitchSlider_), balance(balanceSlider_),
        curve(eqPanel_);
    volumeSlider_->setValue(deck_.Volume().value);
    pitchSlider_->setValue(deck_.Pitch().value);
    balanceSlider_->setValue(deck_.Balance().value);
    volumeValue_->setText(QStringLiteral("%1%").arg(volumeSlider_->value()));
    pitchValue_->setText(QString::number(pitchSlider_->value()));
    pitchSlider_->setToolTip(SpeedChangeText(pitchSlider_->value()));
    balanceValue_->setText(QString::number(balanceSlider_->value()));
    if (eqPanel_->Curve() != deck_.Curve()) eqPanel_->SetCurve(deck_.Curve());
    eqPanel_->DrawCurve();
    saveSettingsButton_->setEnabled(deck_.SettingsUnsaved());
    const QSignalBlocker quantize(quantizeCheck_), keyLock(keyLockCheck_), cue(cueButton_);
    quantizeCheck_->setChecked(deck_.Quantize());
    keyLockCheck_->setChecked(deck_.KeyLock());
    cueButton_->setChecked(deck_.Cue());
    ShowTempo();
}

void Frm_TurnTable::ShowTempo() {
    // A song not yet analysed shows nothing rather than a wrong figure.
    QString text;
    if (const std::optional<double> bpm = deck_.HeardBpm())
        text = QString::number(*bpm, 'f', 1) + QStringLiteral(" BPM");
    if (deck_.Music() && !deck_.Music()->key.empty())
        text += (text.isEmpty() ? QString() : QStringLiteral("  ")) +
                QString::fromStdString(deck_.Music()->key);
    tempoLabel_->setText(text);
    tempoLabel_->adjustSize();
    syncButton_->setEnabled(deck_.HeardBpm().has_value());
}

void Frm_TurnTable::ShowTransport() {
    playButton_->setIcon(deck_.PlayPressed() ? pauseIcon_ : playIcon_);
}

bool MayLoadOver(const DeckController& deck) {
    if (deck.Status() != PlayerStatus::Playing) return true;
    return ConfirmUnlessSilenced("Deck " + std::to_string(deck.ID() + 1) +
                                     " is playing. Load the new song over it?",
                                 kAskLoadOverPlayingKey);
}
void Frm_TurnTable::LoadSong(const std::string& path, LoadOrigin origin) {
    if (path.empty() || !MayLoadOver(deck_)) return;
    deck_.Load(path, origin);
}

void Frm_TurnTable::Cmd_Update_Click() {
    deck_.SaveSettings();
}
void Frm_TurnTable::SetPos(int16_t Index) {
    static constexpr MarkerCommand kCommands[] = {MarkerCommand::StartHere, MarkerCommand::EndHere,
                                                  MarkerCommand::Reset};
    if (Index < 0 || Index > 2) return;
    deck_.SetMarker(kCommands[Index], clickPos_);
    Timer1_Timer();
}

void Frm_TurnTable::DoLevel(int16_t nPeakLeft, int16_t nPeakRight) {
    levelMeter_->Scale(kLevelScaleLeft, kLevelScaleTop, kLevelScaleRight, kLevelScaleBottom);
    for (const LevelBox& box : LevelBoxes(nPeakLeft, nPeakRight))
        levelMeter_->FillBox(box.x1, box.y1, box.x2, box.y2,
                             box.lit ? QColor(kLevelBarRgb) : levelMeter_->BackColor());
}

void Frm_TurnTable::Load0Btn_Click() {
    FileRequest request;
    request.folder = ReadINI("", kMp3PathKey, kMp3PathDefault, kSettingsSection);
    request.filter = kMp3Filter;
    const std::optional<std::string> chosen = ChooseFile(request);
    if (!chosen || !MayLoadOver(deck_)) return;
    deck_.Load(*chosen, LoadOrigin::OpenDialog);
    setWindowTitle(LoadingCaption(ID(), *chosen));
    std::string error;
    if (!WriteINI("", kMp3PathKey, GetPath(*chosen), kSettingsSection, &error))
        MsgBox("The folder of this song could not be remembered: " + error);
}
void Frm_TurnTable::Cmd_Play_Click() {
    deck_.PlayPause();
}
void Frm_TurnTable::Cmd_Stop_Click() {
    deck_.Stop();
    ClearLiveDisplays();
    Timer1_Timer();
}
void Frm_TurnTable::Form_OLEDragDrop(const QMimeData& data) {
    LoadSong(FirstDroppedFile(data), LoadOrigin::Desktop);
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
    if (const std::string* path = host_.PlaylistRowPath(list->currentRow()))
        LoadSong(*path, LoadOrigin::Playlist);
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
    deck_.SetVolume({volumeSlider_->value()});
}
void Frm_TurnTable::HScroll3_Change() {
    deck_.SetPitch({pitchSlider_->value()});
}
void Frm_TurnTable::Label12_DblClick() {
    pitchSlider_->setValue(kNeutralPitch);
}

void Frm_TurnTable::Label4_DblClick() {
    balanceSlider_->setValue(kCentreBalance);
}

void Frm_TurnTable::HScroll1_Change() {
    deck_.SetBalance({balanceSlider_->value()});
}

void Frm_TurnTable::VEqual_Change(int16_t) {
    deck_.SetCurve(eqPanel_->Curve());
}
void Frm_TurnTable::Chk_Eq_Click() {
    // Only the window's size changes: the equaliser stays in force while hidden.
    LayOut();
    QWidget* window = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    window->resize(window == this ? minimumSize() : window->minimumSizeHint());
}

void Frm_TurnTable::Cmd_ResetEq_Click(int16_t Index) {
    if (Index == static_cast<int16_t>(kEqBands))
        eqPanel_->SetCurve(EqGains{});
    else
        eqPanel_->SetBand(Index, 0);
}

void Frm_TurnTable::Cmd_LoadEq_Click() {
    FileRequest request;
    request.folder = ReadINI("", kEqPathKey, DataFolder(), kSettingsSection);
    request.filter = kEqFilter;
    const std::optional<std::string> chosen = ChooseFile(request);
    if (!chosen) return;

    // A file that cannot be read changes nothing; a short or damaged one sets what it holds.
    EqGains curve = deck_.Curve();
    std::string text;
    const bool complete =
        ReadWholeFile(*chosen, text, nullptr, kEqFileMaxBytes) && ReadEqFileText(text, curve);
    eqPanel_->SetCurve(curve);
    if (!complete) MsgBox("Error loading Eq settings!");
}
void Frm_TurnTable::Cmd_SaveEq_Click() {
    FileRequest request;
    request.kind = FileDialogKind::Save;
    request.folder = ReadINI("", kEqPathKey, DataFolder(), kSettingsSection);
    request.defaultExt = "eq";
    request.filter = kEqFilter;
    const std::optional<std::string> file = ChooseFile(request);
    if (!file) return;
    if (FileExists(*file) && MsgBox("Overwrite file?", MsgButtons::YesNo) != MsgResult::Yes) return;
    // Written beside and renamed over, so a failure never leaves half a file.
    if (!WriteFileAtomically(*file, EqFileText(deck_.Curve()))) MsgBox("Error saving Eq settings!");
}
void Frm_TurnTable::Timer1_Timer() {
    // An empty deck still gets a bar with a scale.
    const int32_t length = deck_.Length() > 0 ? deck_.Length() : 1000;
    const int32_t position = deck_.Position();
    DrawProgress(position, length);

    const PlayerStatus status = deck_.Status();
    ShowStatus(status);
    BlinkRemaining();
    const int maxVol = deck_.MaxVol().value;
    maxVolLine_->Move(QLineF(kLevelScaleLeft, maxVol, kLevelScaleRight, maxVol));

    if (!deck_.LoadFailure().isEmpty()) {
        const QString text = LoadFailedCaption(ID(), deck_.FailedPath(), deck_.LoadFailure());
        statusLabel_->setToolTip(text);
        setWindowTitle(text);
    } else {
        statusLabel_->setToolTip(QString());
        setWindowTitle(TickCaption(ID(), host_.SongName(deck_.Filename()), deck_.PositionText(),
                                   status, maxVol));
    }

    const int32_t times[] = {position, length, length - position};
    for (int i = 0; i < 3; ++i)
        timeLabels_[i]->setText(QString::fromStdString(FormatTime(times[i], false, true)));
    DrawDisplays(status, position);
}
void Frm_TurnTable::DrawProgress(int32_t position, int32_t length) {
    progressBar_->Scale(0, 0, length, 10);
    progressBar_->FillBox(0, 0, position, 10, QColor(kPlayedRgb));
    progressBar_->FillBox(position + 1.0, 0, length, 10, progressBar_->BackColor());
    const double endMarker = static_cast<double>(EndMarkerAt(deck_.MaxPos(), deck_.EndPos()));
    progressBar_->DrawLine(deck_.StartPos(), 0, deck_.StartPos(), 10, QColor(kMarkerRgb));
    progressBar_->DrawLine(endMarker, 0, endMarker, 10, QColor(kMarkerRgb));
}

void Frm_TurnTable::ShowStatus(PlayerStatus status) {
    StatusLook look = StatusLookFor(status);
    if (!deck_.LoadFailure().isEmpty()) look = {QStringLiteral("LOAD FAILED"), StatusColour::Red};
    QPalette colours = statusLabel_->palette();
    const QColor back = look.colour == StatusColour::Green ? BackgroundOf(*greenSample_)
                        : look.colour == StatusColour::Red ? BackgroundOf(*redSample_)
                                                           : palette().color(QPalette::Window);
    colours.setColor(QPalette::Window, back);
    colours.setColor(QPalette::WindowText, look.colour == StatusColour::Neutral
                                               ? palette().color(QPalette::WindowText)
                                               : QColor(Qt::black));
    statusLabel_->setPalette(colours);
    statusLabel_->setText(look.caption);
}

void Frm_TurnTable::BlinkRemaining() {
    // The blink alternates the theme's text colour with red, both readable on any background.
    SetTextColour(*timeLabels_[2],
                  deck_.Warning().black ? palette().color(QPalette::WindowText) : kWarningColour);
}
void Frm_TurnTable::ShowOverview() {
    overview_ = deck_.Overview();
    overviewPicture_->Cls();
    overviewPosition_->Move(QLineF(-1, 1, -1, -1));
    if (!overview_ || overview_->points() == 0) {
        overview_.reset();
        return;
    }
    const int columns = overviewPicture_->width();
    overviewPicture_->Scale(0, 1, columns, -1);
    const std::vector<OverviewColumn> shape = OverviewColumns(*overview_, columns);
    for (int c = 0; c < columns; ++c)
        overviewPicture_->DrawLine(c, shape[c].high, c, shape[c].low, kOverviewColour);
    DrawBeatGrid(columns);
    // From here on the picture's scale is the song's time, for the position line.
    overviewPicture_->Scale(0, 1, std::max(overview_->durationMs, 1), -1);
}

void Frm_TurnTable::DrawBeatGrid(int columns) {
    shownMusic_ = deck_.Music();
    if (!shownMusic_ || !shownMusic_->steady || shownMusic_->bpm <= 0) return;
    const double beatMs = 60000.0 / shownMusic_->bpm;
    const double msPerColumn = std::max(overview_->durationMs, 1) / static_cast<double>(columns);
    // Beat ticks only where they stand apart; bar lines (every 4 beats from the downbeat) taller.
    const bool beatsShown = beatMs / msPerColumn >= 3;
    const double first =
        shownMusic_->downbeatMs - std::floor(shownMusic_->downbeatMs / beatMs) * beatMs;
    const int firstBeat = static_cast<int>(std::lround((first - shownMusic_->downbeatMs) / beatMs));
    int n = firstBeat;
    for (double at = first; at < overview_->durationMs; at += beatMs, ++n) {
        const bool bar = ((n % 4) + 4) % 4 == 0;
        if (!bar && !beatsShown) continue;
        const double x = at / msPerColumn;
        const double reach = bar ? 0.25 : 0.12;
        overviewPicture_->DrawLine(x, 1, x, 1 - reach, kGridColour);
        overviewPicture_->DrawLine(x, -1, x, -1 + reach, kGridColour);
    }
}

void Frm_TurnTable::ClearLiveDisplays() {
    // The overview shows the song, not the playback: it stays.
    spectrumPicture_->Cls();
    DoLevel(0, 0);
}

void Frm_TurnTable::DrawDisplays(PlayerStatus status, int32_t position) {
    if (!overview_ && deck_.Overview()) ShowOverview();
    if (overview_) overviewPosition_->Move(QLineF(position, 1, position, -1));
    if (status != PlayerStatus::Playing) return;

    recentOutput_.assign(2 * kSpectrumFrames, 0.0f);
    deck_.CopyRecentOutput(recentOutput_.data(), kSpectrumFrames);
    if (!spectrum_ || spectrum_->SampleRate() != deck_.SampleRate())
        spectrum_.emplace(kSpectrumFrames, deck_.SampleRate(), kSpectrumBars);
    const std::vector<double>& bars = spectrum_->Bars(recentOutput_.data());
    spectrumPicture_->Cls();
    spectrumPicture_->Scale(0, 1, kSpectrumBars, 0);
    for (int b = 0; b < kSpectrumBars; ++b)
        if (bars[b] > 0)
            spectrumPicture_->FillBox(b + 0.15, 0, b + 0.85, bars[b], QColor(kSpectrumRgb));
}

bool Frm_TurnTable::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == pitchLabel_ || watched == pitchValue_) Label12_DblClick();
        if (watched == balanceLabel_ || watched == balanceValue_) Label4_DblClick();
    }
    if (watched == progressBar_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF at = progressBar_->FromPixel(mouse->position());
        const int16_t shift = ShiftNumber(mouse->modifiers());
        const auto x = static_cast<float>(at.x());
        const auto y = static_cast<float>(at.y());
        if (event->type() == QEvent::MouseButtonPress)
            Pic_Progress_MouseDown(ButtonNumber(mouse->button()), shift, x, y);
        else
            Pic_Progress_MouseMove(ButtonNumber(mouse->buttons()), shift, x, y);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Frm_TurnTable::Pic_Progress_MouseDown(int16_t Button, int16_t, float X, float) {
    // The deck clicked on becomes the active window: the marker menu acts on the active deck.
    if (auto* window = qobject_cast<QMdiSubWindow*>(parentWidget()))
        if (QMdiArea* area = window->mdiArea()) area->setActiveSubWindow(window);
    clickPos_ = RoundToInt32(X);
    if (Button == 1) {
        deck_.SeekFromBar(clickPos_);
    } else if (Button == 2) {
        host_.RequestMarkerMenu();
    }
}

void Frm_TurnTable::Pic_Progress_MouseMove(int16_t, int16_t, float X, float) {
    const QString time = QString::fromStdString(FormatTime(RoundToInt32(X), false, true));
    progressBar_->setToolTip(time);
    // The tip follows the mouse along the bar rather than waiting for it to rest.
    if (QToolTip::isVisible()) QToolTip::showText(QCursor::pos(), time, progressBar_);
    clickPos_ = RoundToInt32(X);
}

} // namespace spinx
