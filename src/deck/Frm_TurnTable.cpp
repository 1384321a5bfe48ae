#include "deck/Frm_TurnTable.h"

#include "deck/Mod_Deck.h"
#include "deck/Mod_Display.h"
#include "deck/Mod_Equaliser.h"
#include "deck/Mod_MCI.h"
#include "deck/Mod_SongSettings.h"
#include "engine/Aspinx.h"
#include "library/Database.h"
#include "library/SongTable.h"
#include "mixer/Frm_Master.h"
#include "shell/Frm_Main.h"
#include "shell/PictureBox.h"
#include "shell/Twips.h"
#include "support/DataLocation.h"
#include "support/FileIo.h"
#include "support/Mod_Convert.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/Mod_MsgBox.h"

#include <QCheckBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

namespace spinx {

namespace {
constexpr const char* kMp3Filter = "MP3 Songs (*.mp3)|*.mp3|All files (*.*)|*.*";
constexpr const char* kMp3PathKey = "MP3 Path";
constexpr const char* kMp3PathDefault = "C:\\My Music";
constexpr const char* kEqFilter = "EQ Settings (*.eq)|*.eq|All files (*.*)|*.*";
constexpr const char* kEqPathKey = "Eq Settings Path";
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kBlinkTag = "Tag";

const QColor kDisplayBack(16, 24, 32);
const QColor kProgressBack(48, 56, 64);
const QColor kOverviewColour(90, 150, 200);

// The window's width with the equaliser panel shown and hidden, and the room its controls need.
constexpr int kWideTwips = 8955;
constexpr int kNarrowTwips = 4395;
constexpr int kClientHeightTwips = 2175;

// The live spectrum: frames analysed per tick, and bars shown.
constexpr int kSpectrumFrames = 1024;
constexpr int kSpectrumBars = 10;

struct TwipsRect {
    int left, top, width, height;
};

void Place(QWidget* widget, TwipsRect at) {
    widget->setGeometry(QRect(TwipsPoint(at.left, at.top), TwipsSize(at.width, at.height)));
}

// Controls left of the equaliser panel; the narrow window shows them all.
constexpr TwipsRect kPicture1{60, 60, 2880, 600};
constexpr TwipsRect kPicture2{2985, 60, 600, 600};
constexpr TwipsRect kProgress{60, 705, 3525, 180};
constexpr std::array<TwipsRect, 3> kLblPos{
    {{60, 900, 1170, 180}, {1230, 900, 1185, 180}, {2415, 900, 1170, 180}}};
constexpr TwipsRect kStatus{60, 1125, 2070, 330};
constexpr int kButtonTwips = 330;
constexpr std::array<int, 4> kButtonLeft = {2175, 2535, 2895, 3255}; // load, play, stop, save
constexpr TwipsRect kPitchLabel{60, 1500, 690, 270};
constexpr TwipsRect kPitch{870, 1500, 2190, 270};
constexpr TwipsRect kPitchValue{3090, 1500, 495, 270};
constexpr TwipsRect kBalanceLabel{60, 1815, 690, 270};
constexpr TwipsRect kBalanceL{750, 1815, 120, 270};
constexpr TwipsRect kBalance{870, 1815, 2055, 270};
constexpr TwipsRect kBalanceR{2940, 1815, 135, 270};
constexpr TwipsRect kBalanceValue{3090, 1815, 495, 270};
constexpr TwipsRect kVolumeLabel{3630, 30, 630, 210};
constexpr TwipsRect kVolume{3705, 255, 240, 990};
constexpr TwipsRect kLevel{3975, 255, 240, 990};
constexpr TwipsRect kVolumeValue{3630, 1260, 630, 210};
constexpr TwipsRect kChkEq{3660, 1500, 555, 255};

// The equaliser panel; its controls are placed inside the frame.
constexpr TwipsRect kFrame1{4320, 0, 4455, 2175};
constexpr TwipsRect VEqualAt(int i) {
    return {120 + 360 * i, 240, 180, 1575};
}
constexpr TwipsRect BandCaptionAt(int i) {
    return {60 + 360 * i, 1860, i == 9 ? 480 : 360, 195};
}
constexpr TwipsRect kLoadEq{3900, 240, 375, 375};
constexpr TwipsRect kSaveEq{3900, 660, 375, 375};
constexpr TwipsRect kResetAll{3900, 1080, 375, 375};
constexpr TwipsRect kPicEq{3840, 1560, 495, 435};

QToolButton* PictureButton(QWidget* parent, QStyle::StandardPixmap picture, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setToolTip(QString::fromLatin1(tip));
    button->setAutoRaise(false);
    button->setIconSize(QSize(16, 16));
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

QLabel* Label(QWidget* parent, const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

QFont SmallFont(const QWidget& parent, int points) {
    QFont font = parent.font();
    font.setFamily(QStringLiteral("Small Fonts"));
    font.setPointSize(points);
    return font;
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
    if (!data.hasUrls()) return {};
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) return url.toLocalFile().toStdString();
    return {};
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

Frm_TurnTable::Frm_TurnTable(Frm_Master& master, QWidget* parent)
    : QWidget(parent), master_(master) {
    setObjectName(kName);
    QFont deckFont = font();
    deckFont.setPointSize(8);
    setFont(deckFont);
    setMinimumHeight(TwipsToPixels(kClientHeightTwips));

    Picture1 = new PictureBox(this);
    Picture1->SetBackColor(kDisplayBack);
    Place(Picture1, kPicture1);
    overviewPosition_ = Picture1->AddLine(QLineF(-1, 1, -1, -1), Qt::white);
    Picture2 = new PictureBox(this);
    Picture2->SetBackColor(kDisplayBack);
    Place(Picture2, kPicture2);

    Pic_Progress = new PictureBox(this);
    Pic_Progress->SetBackColor(kProgressBack);
    Pic_Progress->setMouseTracking(true);
    Pic_Progress->installEventFilter(this);
    Place(Pic_Progress, kProgress);
    const Qt::Alignment posAlignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int i = 0; i < 3; ++i) {
        Lbl_Pos[i] = Label(this, QStringLiteral("0:00.0000"), posAlignments[i]);
        Lbl_Pos[i]->setFont(SmallFont(*this, 7));
        Place(Lbl_Pos[i], kLblPos[i]);
    }
    SetTextColour(*Lbl_Pos[2], Qt::black);

    Lbl_Status = new QLabel(QStringLiteral("STOPPED"), this);
    Lbl_Status->setAlignment(Qt::AlignCenter);
    Lbl_Status->setAutoFillBackground(true);
    Lbl_Status->setFrameShape(QFrame::Panel);
    Lbl_Status->setFrameShadow(QFrame::Sunken);
    Place(Lbl_Status, kStatus);
    Lbl_Green = new QLabel(QStringLiteral("GREEN"), this);
    Lbl_Red = new QLabel(QStringLiteral("RED"), this);
    for (auto [label, colour] :
         {std::pair{Lbl_Green, QColor(0, 255, 0)}, std::pair{Lbl_Red, QColor(255, 0, 0)}}) {
        QPalette colours = label->palette();
        colours.setColor(QPalette::Window, colour);
        label->setPalette(colours);
        label->hide();
    }

    Load0Btn = PictureButton(this, QStyle::SP_DialogOpenButton, "Load MP3 file");
    Pic_Play = style()->standardIcon(QStyle::SP_MediaPlay);
    Pic_Pause = style()->standardIcon(QStyle::SP_MediaPause);
    Cmd_Play = PictureButton(this, QStyle::SP_MediaPlay, "Play/Pause MP3");
    Cmd_Play->setIcon(Pic_Play);
    Cmd_Stop = PictureButton(this, QStyle::SP_MediaStop, "Stop MP3");
    Cmd_Update = PictureButton(this, QStyle::SP_DialogSaveButton, "Save settings");
    Cmd_Update->setEnabled(false);
    QToolButton* const buttons[] = {Load0Btn, Cmd_Play, Cmd_Stop, Cmd_Update};
    for (int i = 0; i < 4; ++i)
        Place(buttons[i], {kButtonLeft[i], kStatus.top, kButtonTwips, kButtonTwips});

    VScroll2 = Slider(this, Qt::Vertical, -100, 100, 0);
    HScroll3 = Slider(this, Qt::Horizontal, 1, 2000, 1000);
    HScroll1 = Slider(this, Qt::Horizontal, 0, 100, 50);
    // The labels show the sliders' starting values; the engine hears of them when they move.
    lblPlayer1Vol = Label(this, QStringLiteral("%1%").arg(VScroll2->value()), Qt::AlignHCenter);
    lblPlayer1Pit = Label(this, QString::number(HScroll3->value()), Qt::AlignRight);
    lblPlayer1Bal = Label(this, QString::number(HScroll1->value()), Qt::AlignRight);
    Label2 = Label(this, QStringLiteral("Volume"), Qt::AlignHCenter);
    Label12 = Label(this, QStringLiteral("Pitch"));
    Label4 = Label(this, QStringLiteral("Balance"));
    Label6 = Label(this, QStringLiteral("L"), Qt::AlignHCenter);
    Label5 = Label(this, QStringLiteral("R"), Qt::AlignHCenter);
    Place(VScroll2, kVolume);
    Place(HScroll3, kPitch);
    Place(HScroll1, kBalance);
    Place(lblPlayer1Vol, kVolumeValue);
    Place(lblPlayer1Pit, kPitchValue);
    Place(lblPlayer1Bal, kBalanceValue);
    Place(Label2, kVolumeLabel);
    Place(Label12, kPitchLabel);
    Place(Label4, kBalanceLabel);
    Place(Label6, kBalanceL);
    Place(Label5, kBalanceR);

    Pic_Level = new PictureBox(this);
    Pic_Level->SetBackColor(Qt::black);
    Pic_Level->Scale(kLevelScaleLeft, kLevelScaleTop, kLevelScaleRight, kLevelScaleBottom);
    Line_MaxVol = Pic_Level->AddLine(QLineF(kLevelScaleLeft, 0, kLevelScaleRight, 0), Qt::white);
    Place(Pic_Level, kLevel);

    Chk_Eq = new QCheckBox(QStringLiteral("EQ"), this);
    Chk_Eq->setChecked(true);
    Place(Chk_Eq, kChkEq);
    BuildEqualiser();

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);

    connect(Load0Btn, &QToolButton::clicked, this, [this] { Load0Btn_Click(); });
    connect(Cmd_Play, &QToolButton::clicked, this, [this] { Cmd_Play_Click(); });
    connect(Cmd_Stop, &QToolButton::clicked, this, [this] { Cmd_Stop_Click(); });
    connect(Cmd_Update, &QToolButton::clicked, this, [this] { Cmd_Update_Click(); });
    // valueChanged fires while a thumb is dragged as well, so the sound follows the drag.
    connect(VScroll2, &QSlider::valueChanged, this, [this] { VScroll2_Change(); });
    connect(HScroll3, &QSlider::valueChanged, this, [this] { HScroll3_Change(); });
    connect(HScroll1, &QSlider::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Chk_Eq, &QCheckBox::toggled, this, [this] { Chk_Eq_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

void Frm_TurnTable::BuildEqualiser() {
    Frame1 = new QGroupBox(QStringLiteral("Equaliser"), this);
    Place(Frame1, kFrame1);
    for (int i = 0; i < static_cast<int>(kEqBands); ++i) {
        // Scroll bars have their minimum at the top: -100 sits up there, as it always did.
        VEqual[i] = new QScrollBar(Qt::Vertical, Frame1);
        VEqual[i]->setRange(kEqMin, kEqMax);
        VEqual[i]->setSingleStep(1);
        VEqual[i]->setPageStep(10);
        VEqual[i]->setValue(0);
        Place(VEqual[i], VEqualAt(i));
        auto* caption = new QToolButton(Frame1);
        caption->setText(QString::fromLatin1(kEqBandCaptions[i]));
        caption->setFont(SmallFont(*this, 6));
        Place(caption, BandCaptionAt(i));
        Cmd_ResetEq[i] = caption;
    }
    Cmd_LoadEq = PictureButton(Frame1, QStyle::SP_DialogOpenButton, "Load EQ settings");
    Cmd_SaveEq = PictureButton(Frame1, QStyle::SP_DialogSaveButton, "Save EQ settings");
    Cmd_ResetEq[kEqBands] =
        PictureButton(Frame1, QStyle::SP_DialogResetButton, "Reset EQ settings");
    Place(Cmd_LoadEq, kLoadEq);
    Place(Cmd_SaveEq, kSaveEq);
    Place(Cmd_ResetEq[kEqBands], kResetAll);
    Pic_EQ = new PictureBox(Frame1);
    Pic_EQ->SetBackColor(Qt::white);
    Place(Pic_EQ, kPicEq);

    for (int16_t i = 0; i < static_cast<int16_t>(kEqBands); ++i)
        connect(VEqual[i], &QScrollBar::valueChanged, this, [this, i] { VEqual_Change(i); });
    for (int16_t i = 0; i <= static_cast<int16_t>(kEqBands); ++i)
        connect(Cmd_ResetEq[i], &QToolButton::clicked, this, [this, i] { Cmd_ResetEq_Click(i); });
    connect(Cmd_LoadEq, &QToolButton::clicked, this, [this] { Cmd_LoadEq_Click(); });
    connect(Cmd_SaveEq, &QToolButton::clicked, this, [this] { Cmd_SaveEq_Click(); });
}

Aspinx& Frm_TurnTable::Engine() const {
    return *master_.Aspinx1;
}

void Frm_TurnTable::Form_Load() {
    Chk_Eq_Click();
    HScroll3_Change();
    VEqual_Change(0);
    setAcceptDrops(true);
    // Sending the design-time values is no change of the user's: nothing waits to be saved yet.
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
    // The overview is ready a while after the song: drawn when it arrives.
    connect(&Engine(), &Aspinx::WaveformReady, this, [this](int16_t player) {
        if (player == ID) ShowOverview();
    });
    setWindowTitle(InitCaption(ID));
}

bool Frm_TurnTable::WithSongDb(const std::function<void()>& work) {
    if (!SongDbIsOpen()) return false;
    try {
        work();
        return true;
    } catch (const DbError& e) {
        MsgBox(std::string("The song database could not be used: ") + e.what() +
               "\nThe song plays on; its settings are not remembered this time.");
        return false;
    }
}

void Frm_TurnTable::GetDBSettings() {
    loadFailure_.clear();
    const int32_t overlap = master_.Overlap->value();
    std::optional<RecalledSong> song;
    if (!Filename.empty()) WithSongDb([&] { song = RecallSong(Filename, overlap); });
    if (song) {
        MaxVol = song->volume;
        VScroll2->setValue(MaxVol);
        HScroll3->setValue(song->pitch);
        EqGains curve = Curve();
        DecodeEq(song->eq, curve);
        SetCurve(curve);
    }
    // Without a stored row the song starts at its beginning and fades at the overlap time.
    StartPos = song ? song->start : 0;
    Engine().SeekSound(ID, StartPos);
    MaxPos = Engine().GetSoundDuration(ID);
    EndPos = song ? song->end : overlap;
    ShowOverview();
    Cmd_Update->setEnabled(false);
}

void Frm_TurnTable::Cmd_Update_Click() {
    if (Filename.empty()) return;
    bool identified = false;
    const bool stored = WithSongDb(
        [&] { identified = StoreSong(Filename, VScroll2->value(), HScroll3->value(), Curve()); });
    if (stored && !identified)
        MsgBox("The settings of this song could not be saved: its file can no longer be read.");
    if (stored && identified) Cmd_Update->setEnabled(false);
}

void Frm_TurnTable::SetPos(int16_t Index) {
    if (Filename.empty()) return;
    // A song the table does not know yet gets its row (and its recalled settings) first.
    const bool stored = WithSongDb([&] {
        if (!SongHasRow(Filename)) GetDBSettings();
    });
    std::optional<int32_t> start, end;
    switch (Index) {
    case 0:
        StartPos = ClickPos;
        start = StartPos;
        break;
    case 1:
        // Every reader takes the end marker as a distance before the song's end.
        EndPos = EndMarkerFromClick(MaxPos, ClickPos);
        end = EndPos;
        break;
    case 2:
        StartPos = 0;
        MaxPos = Engine().GetSoundDuration(ID);
        EndPos = master_.Overlap->value();
        start = StartPos;
        end = EndPos;
        break;
    default:
        break;
    }
    // Without a usable database the markers still serve for this session.
    if (stored && (start || end)) WithSongDb([&] { StoreMarkers(Filename, start, end); });
    Timer1_Timer();
}

void Frm_TurnTable::SoundDone() {
    Cmd_Play->setIcon(Pic_Play);
    Picture2->Cls();
}

void Frm_TurnTable::SoundLoadFailed(const QString& path, const QString& reason) {
    // A failure for a song that has since been replaced by another is old news.
    if (path != QString::fromStdString(Filename)) return;
    loadFailurePath_ = path;
    loadFailure_ = reason;
    Filename.clear();
    MaxPos = 0;
    Cmd_Play->setIcon(Pic_Play);
    ShowOverview();
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
    ClearDisplays();
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

EqGains Frm_TurnTable::Curve() const {
    EqGains curve{};
    for (std::size_t i = 0; i < kEqBands; ++i)
        curve[i] = static_cast<int16_t>(VEqual[i]->value());
    return curve;
}

void Frm_TurnTable::SetCurve(const EqGains& curve) {
    // Band by band: each one that changes sends the whole curve, as a user's move would.
    for (std::size_t i = 0; i < kEqBands; ++i)
        VEqual[i]->setValue(curve[i]);
}

void Frm_TurnTable::VEqual_Change(int16_t) {
    Engine().SetEqualizer(ID, true, Curve());
    ++equalizerCalls_;
    Cmd_Update->setEnabled(true);
    DrawEqCurve();
}

void Frm_TurnTable::DrawEqCurve() {
    Pic_EQ->Cls();
    Pic_EQ->Scale(kEqPictureLeft, kEqPictureTop, kEqPictureRight, kEqPictureBottom);
    Pic_EQ->DrawLine(kEqPictureLeft, 0, kEqPictureRight, 0, QColor(200, 200, 200));
    const auto points = EqCurvePoints(Curve());
    Pic_EQ->DrawLine(points[0].x, points[0].y, points[0].x, points[0].y, Qt::black);
    for (std::size_t i = 1; i < points.size(); ++i)
        Pic_EQ->DrawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, Qt::black);
}

void Frm_TurnTable::Chk_Eq_Click() {
    // Only the window's width changes: the equaliser stays in force while hidden.
    QWidget* window = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    window->resize(TwipsToPixels(Chk_Eq->isChecked() ? kWideTwips : kNarrowTwips),
                   window->height());
}

void Frm_TurnTable::Cmd_ResetEq_Click(int16_t Index) {
    if (Index == static_cast<int16_t>(kEqBands)) {
        SetCurve(EqGains{});
    } else if (Index >= 0 && Index < static_cast<int16_t>(kEqBands)) {
        VEqual[Index]->setValue(0);
    }
}

void Frm_TurnTable::Cmd_LoadEq_Click() {
    CommonDialog1.InitDir = ReadINI("", kEqPathKey, DataFolder(), kSettingsSection);
    CommonDialog1.FileName.clear();
    CommonDialog1.Filter = kEqFilter;
    CommonDialog1.FilterIndex = 1;
    CommonDialog1.ShowOpen();
    if (CommonDialog1.FileName.empty()) return;

    // A file that cannot be read changes nothing; a short or damaged one sets what it holds.
    EqGains curve = Curve();
    std::string text;
    const bool complete =
        ReadWholeFile(CommonDialog1.FileName, text) && ReadEqFileText(text, curve);
    SetCurve(curve);
    if (!complete) MsgBox("Error loading Eq settings!");
}

void Frm_TurnTable::Cmd_SaveEq_Click() {
    CommonDialog1.InitDir = ReadINI("", kEqPathKey, DataFolder(), kSettingsSection);
    CommonDialog1.FileName.clear();
    CommonDialog1.DefaultExt = "eq";
    CommonDialog1.Filter = kEqFilter;
    CommonDialog1.FilterIndex = 1;
    CommonDialog1.ShowSave();
    // The dialog is shared with the song loader, which must not add ".eq" to a typed name.
    CommonDialog1.DefaultExt.clear();
    const std::string file = CommonDialog1.FileName;
    if (file.empty()) return;
    if (FileExists(file) && MsgBox("Overwrite file?", MsgButtons::YesNo) != MsgResult::Yes) return;
    // Written beside and renamed over, so a failure never leaves half a file.
    if (!WriteFileAtomically(file, EqFileText(Curve()))) MsgBox("Error saving Eq settings!");
}

void Frm_TurnTable::Timer1_Timer() {
    int32_t length = Engine().GetSoundDuration(ID);
    const int32_t position = ShownPosition(Engine().GetSoundPosition(ID), length);
    if (const std::optional<int32_t> end =
            PulledBackEnd(MaxPos, EndPos, master_.Overlap->value())) {
        EndPos = *end;
        Cmd_Update_Click();
    }
    // An empty deck still gets a bar with a scale.
    if (length == 0) length = 1000;
    DrawProgress(position, length);

    const int16_t status = Engine().GetPlayerStatus(ID);
    ShowStatus(status);
    BlinkRemaining(status, position);
    Line_MaxVol->Move(QLineF(kLevelScaleLeft, MaxVol, kLevelScaleRight, MaxVol));

    if (!loadFailure_.isEmpty()) {
        const QString text = LoadFailedCaption(ID, loadFailurePath_.toStdString(), loadFailure_);
        Lbl_Status->setToolTip(text);
        setWindowTitle(text);
    } else {
        Lbl_Status->setToolTip(QString());
        setWindowTitle(
            TickCaption(ID, Filename, Engine().GetPositionText(ID, false, true), status, MaxVol));
    }

    const int32_t times[] = {position, length, length - position};
    for (int i = 0; i < 3; ++i)
        Lbl_Pos[i]->setText(QString::fromStdString(FormatTime(times[i], false, true)));
    DrawDisplays(status, position);
}

void Frm_TurnTable::DrawProgress(int32_t position, int32_t length) {
    Pic_Progress->Scale(0, 0, length, 10);
    Pic_Progress->FillBox(0, 0, position, 10, QBColor(4));
    Pic_Progress->FillBox(position + 1.0, 0, length, 10, Pic_Progress->BackColor());
    const double endMarker = static_cast<double>(EndMarkerAt(MaxPos, EndPos));
    Pic_Progress->DrawLine(StartPos, 0, StartPos, 10, QBColor(15));
    Pic_Progress->DrawLine(endMarker, 0, endMarker, 10, QBColor(15));
}

void Frm_TurnTable::ShowStatus(int16_t status) {
    StatusLook look = StatusLookFor(status);
    if (!loadFailure_.isEmpty()) look = {QStringLiteral("LOAD FAILED"), StatusColour::Red};
    QPalette colours = Lbl_Status->palette();
    const QColor back = look.colour == StatusColour::Green ? BackgroundOf(*Lbl_Green)
                        : look.colour == StatusColour::Red ? BackgroundOf(*Lbl_Red)
                                                           : palette().color(QPalette::Window);
    colours.setColor(QPalette::Window, back);
    colours.setColor(QPalette::WindowText, look.colour == StatusColour::Neutral
                                               ? palette().color(QPalette::WindowText)
                                               : QColor(Qt::black));
    Lbl_Status->setPalette(colours);
    Lbl_Status->setText(look.caption);
}

void Frm_TurnTable::BlinkRemaining(int16_t status, int32_t position) {
    QLabel& remaining = *Lbl_Pos[2];
    EndWarning warning;
    warning.counter = remaining.property(kBlinkTag).toString().toInt();
    warning.black = remaining.palette().color(QPalette::WindowText) == QColor(Qt::black);
    warning = EndWarningStep(warning, status, position, MaxPos, EndPos);
    remaining.setProperty(kBlinkTag, QString::number(warning.counter));
    SetTextColour(remaining, warning.black ? QBColor(0) : QBColor(15));
}

void Frm_TurnTable::ShowOverview() {
    overview_ = Filename.empty() ? nullptr : Engine().GetWaveform(ID);
    Picture1->Cls();
    overviewPosition_->Move(QLineF(-1, 1, -1, -1));
    if (!overview_ || overview_->points() == 0) {
        overview_.reset();
        return;
    }
    const int columns = Picture1->width();
    Picture1->Scale(0, 1, columns, -1);
    const std::vector<OverviewColumn> shape = OverviewColumns(*overview_, columns);
    for (int c = 0; c < columns; ++c)
        Picture1->DrawLine(c, shape[c].high, c, shape[c].low, kOverviewColour);
    // From here on the picture's scale is the song's time, for the position line.
    Picture1->Scale(0, 1, std::max(overview_->durationMs, 1), -1);
}

void Frm_TurnTable::ClearDisplays() {
    overview_.reset();
    overviewPosition_->Move(QLineF(-1, 1, -1, -1));
    Picture1->Cls();
    Picture2->Cls();
}

void Frm_TurnTable::DrawDisplays(int16_t status, int32_t position) {
    // A stopped deck keeps its pictures clear until it plays again.
    const bool running = status == kPlaying || status == kPaused;
    if (running && !overview_ && !Filename.empty() && Engine().GetWaveform(ID)) ShowOverview();
    if (overview_) overviewPosition_->Move(QLineF(position, 1, position, -1));
    if (status != kPlaying) return;

    recentOutput_.assign(2 * kSpectrumFrames, 0.0f);
    Engine().CopyRecentOutput(ID, recentOutput_.data(), kSpectrumFrames);
    const std::vector<double> bars =
        SpectrumBars(recentOutput_.data(), kSpectrumFrames, Engine().SampleRate(), kSpectrumBars);
    Picture2->Cls();
    Picture2->Scale(0, 1, kSpectrumBars, 0);
    for (int b = 0; b < kSpectrumBars; ++b)
        if (bars[b] > 0) Picture2->FillBox(b + 0.15, 0, b + 0.85, bars[b], QBColor(14));
}

bool Frm_TurnTable::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Pic_Progress &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF at = Pic_Progress->FromPixel(mouse->position());
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
    ClickPos = CLng(X);
    if (Button == 1) {
        Engine().SeekSound(ID, ClickPos);
    } else if (Button == 2) {
        if (auto* main = qobject_cast<Frm_Main*>(window())) main->Mnu_Setup->popup(QCursor::pos());
    }
}

void Frm_TurnTable::Pic_Progress_MouseMove(int16_t, int16_t, float X, float) {
    const QString time = QString::fromStdString(FormatTime(CLng(X), false, true));
    Pic_Progress->setToolTip(time);
    // The tip follows the mouse along the bar rather than waiting for it to rest.
    if (QToolTip::isVisible()) QToolTip::showText(QCursor::pos(), time, Pic_Progress);
    ClickPos = CLng(X);
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
