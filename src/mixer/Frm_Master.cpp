#include "mixer/Frm_Master.h"

#include "deck/Frm_TurnTable.h"
#include "desk/MixerController.h"
#include "engine/analysis/BackgroundScan.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "mixer/SetSettings.h"
#include "support/Mod_Diskinfo.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "support/SettingsKeys.h"
#include "widgets/ClickLabel.h"
#include "widgets/ListBox.h"
#include "widgets/MdiChild.h"
#include "widgets/Twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDial>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace spinx {

namespace {
// The mixer's client area and the deck windows, in twips.
constexpr int kMasterWidthTwips = 2520;
constexpr int kMasterHeightTwips = 7125;
constexpr int kDeckWidthTwips = 4395;
constexpr int kDeckHeightTwips = 2550;
// Gaps between the mixer and the first deck, and between the first two decks, at creation.
constexpr int kDeckGapTwips = 150;
constexpr int kDeckRowGapTwips = 500;
// The least room for the master volume slider and the playlist, in lines of text.
constexpr int kMasterVolumeLines = 7;
// How long the note of a skipped song stays, in 100 ms ticks.
constexpr int kSkippedNoteTicks = 50;

QGroupBox* DeckGroup(QWidget* parent, const QString& caption, const char* name,
                     std::array<QRadioButton*, 4>& buttons) {
    auto* group = new QGroupBox(caption, parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 4, 4);
    layout->setSpacing(1);
    auto* exclusive = new QButtonGroup(group);
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QRadioButton(QStringLiteral("Deck %1").arg(i + 1), group);
        buttons[i]->setObjectName(QString::fromLatin1(name));
        buttons[i]->setProperty("Index", i);
        exclusive->addButton(buttons[i], i);
        layout->addWidget(buttons[i]);
    }
    return group;
}

QFrame* Separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

template <class Control> Control* Named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

} // namespace

Frm_Master::Frm_Master(QMdiArea& area, OutputKind output, QWidget* parent)
    : QWidget(parent),
      engine_(new Aspinx(output, this,
                         std::atoi(ReadINI("", kAudioLatencyKey, "", kSettingsSection).c_str()))),
      area_(area) {
    setObjectName(QStringLiteral("Frm_Master"));
    setWindowTitle(QStringLiteral("Master"));

    titleLabel_ = Named(new QLabel(this), "Lbl_Title");
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setWordWrap(true);
    webSiteLink_ = Named(new ClickLabel(QStringLiteral("Click here for web site"), this), "Label4");
    webSiteLink_->setAlignment(Qt::AlignCenter);
    webSiteLink_->setCursor(Qt::PointingHandCursor);
    // The theme's link colour reads on light and dark palettes alike.
    QPalette link = webSiteLink_->palette();
    link.setColor(QPalette::WindowText, link.color(QPalette::Link));
    webSiteLink_->setPalette(link);

    auto* groups = new QHBoxLayout;
    groups->setSpacing(4);
    groups->addWidget(DeckGroup(this, QStringLiteral("Deck A"), "Opt_DeckA", deckAButtons_));
    groups->addWidget(DeckGroup(this, QStringLiteral("Deck B"), "Opt_DeckB", deckBButtons_));

    crossfader_ = Named(new QSlider(Qt::Horizontal, this), "HScroll1");
    crossfader_->setRange(0, 100);
    crossfader_->setSingleStep(1);
    crossfader_->setPageStep(10);
    crossfader_->setValue(0);
    crossfader_->setTickPosition(QSlider::TicksBelow);
    crossfader_->setTickInterval(10);
    centreButtons_ = {nullptr, new QPushButton(QStringLiteral("Deck A"), this),
                      new QPushButton(QStringLiteral("Deck B"), this)};
    for (int i = 1; i <= 2; ++i)
        Named(centreButtons_[i], "Cmd_Center")->setProperty("Index", i);
    fadeCheck_ = Named(new QCheckBox(QStringLiteral("Fade"), this), "Chk_Fade");
    auto* centre = new QHBoxLayout;
    centre->setSpacing(4);
    centre->addWidget(centreButtons_[1]);
    centre->addWidget(fadeCheck_, 0, Qt::AlignHCenter);
    centre->addWidget(centreButtons_[2]);

    masterVolumeSlider_ = Named(new QSlider(Qt::Vertical, this), "VScroll1");
    masterVolumeSlider_->setRange(0, 100);
    masterVolumeSlider_->setSingleStep(1);
    masterVolumeSlider_->setPageStep(10);
    masterVolumeSlider_->setValue(100);
    masterVolumeSlider_->setMinimumHeight(kMasterVolumeLines * fontMetrics().height());
    masterVolumeSlider_->setTickPosition(QSlider::TicksBothSides);
    masterVolumeSlider_->setTickInterval(10);
    auto* masterCaption = Named(new QLabel(QStringLiteral("Master Volume"), this), "Label1");
    masterVolumeValue_ = Named(new QLabel(QStringLiteral("100%"), this), "lblMasterVol");
    // The headphones beside the master: what they hear (the cued decks or the master) and how
    // loud.
    cueMixDial_ = Named(new QDial(this), "Dial_CueMix");
    phonesDial_ = Named(new QDial(this), "Dial_Phones");
    for (QDial* dial : {cueMixDial_, phonesDial_}) {
        dial->setRange(0, 100);
        dial->setPageStep(10);
        dial->setNotchesVisible(true);
        dial->setFixedSize(3 * fontMetrics().height(), 3 * fontMetrics().height());
    }
    cueMixDial_->setToolTip(QStringLiteral("Headphones: the cued decks (left) or the master"));
    phonesDial_->setToolTip(QStringLiteral("Headphone volume"));
    auto* phones = new QVBoxLayout;
    phones->setSpacing(0);
    phones->addWidget(new QLabel(QStringLiteral("Cue/Mst"), this), 0, Qt::AlignHCenter);
    phones->addWidget(cueMixDial_, 0, Qt::AlignHCenter);
    phones->addWidget(new QLabel(QStringLiteral("Phones"), this), 0, Qt::AlignHCenter);
    phones->addWidget(phonesDial_, 0, Qt::AlignHCenter);
    auto* master = new QGridLayout;
    master->addWidget(masterCaption, 0, 0, 1, 2, Qt::AlignHCenter);
    master->addWidget(masterVolumeSlider_, 1, 0, Qt::AlignRight);
    master->addWidget(masterVolumeValue_, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
    master->addLayout(phones, 0, 2, 2, 1);
    master->setColumnStretch(0, 1);
    master->setColumnStretch(1, 1);

    overlapSlider_ = Named(new QSlider(Qt::Horizontal, this), "Overlap");
    overlapSlider_->setRange(0, 30000);
    overlapSlider_->setSingleStep(100);
    overlapSlider_->setPageStep(100);
    overlapSlider_->setValue(10000);
    overlapText_ = Named(new QLineEdit(QStringLiteral("10000"), this), "Txt_Overlap");
    overlapText_->setReadOnly(true); // shows the slider; typing into it changes nothing
    overlapText_->setMaximumWidth(TwipsToPixels(900));
    // Looks read-only in any theme: the window's colour behind the theme's text colour.
    QPalette shown = overlapText_->palette();
    shown.setColor(QPalette::Base, shown.color(QPalette::Window));
    shown.setColor(QPalette::Text, shown.color(QPalette::WindowText));
    overlapText_->setPalette(shown);
    auto* overlapCaption = Named(new QLabel(QStringLiteral("Overlap (ms)"), this), "Label2");
    auto* overlap = new QGridLayout;
    overlap->addWidget(overlapCaption, 0, 0);
    overlap->addWidget(overlapText_, 0, 1);
    overlap->addWidget(overlapSlider_, 1, 0, 1, 2);

    auto* autoPlayFrame = Named(new QGroupBox(QStringLiteral("Auto Play"), this), "Frame1");
    autoPlayCheck_ = Named(new QCheckBox(QStringLiteral("Enabled"), autoPlayFrame), "Chk_AutoPlay");
    auto* autoPlay = new QVBoxLayout(autoPlayFrame);
    autoPlay->setContentsMargins(6, 2, 4, 4);
    autoPlay->addWidget(autoPlayCheck_);
    autoFadeCheck_ = Named(new QCheckBox(QStringLiteral("Auto Fade"), this), "Chk_AutoFade");
    levelCheck_ = Named(new QCheckBox(QStringLiteral("Level songs"), this), "Chk_Level");
    levelCheck_->setToolTip(QStringLiteral("Play every song at one loudness"));
    levelCheck_->setChecked(SettingsFlag(kLevelSongsKey, false));
    beatMixCheck_ = Named(new QCheckBox(QStringLiteral("Beat Mix"), this), "Chk_BeatMix");
    beatMixCheck_->setToolTip(
        QStringLiteral("Auto play mixes on the beat: tempo matched, phrase by phrase"));
    beatMixCheck_->setChecked(SettingsFlag(kBeatMixKey, false));
    auto* fadeAndLevel = new QVBoxLayout;
    fadeAndLevel->setSpacing(2);
    fadeAndLevel->addWidget(autoFadeCheck_);
    fadeAndLevel->addWidget(beatMixCheck_);
    fadeAndLevel->addWidget(levelCheck_);
    auto* automatic = new QHBoxLayout;
    automatic->setSpacing(4);
    automatic->addWidget(autoPlayFrame);
    automatic->addLayout(fadeAndLevel);
    recordingLabel_ = Named(new QLabel(this), "Lbl_Recording");
    recordingLabel_->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    recordingLabel_->hide();
    skippedNote_ = Named(new QLabel(this), "Lbl_Skipped");
    skippedNote_->setWordWrap(true);
    skippedNote_->hide();

    tickTimer_ = Named(new QTimer(this), "Timer1");
    tickTimer_->setInterval(100);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);
    root->addWidget(titleLabel_);
    root->addWidget(webSiteLink_);
    root->addWidget(Separator(this));
    root->addLayout(groups);
    root->addWidget(crossfader_);
    root->addLayout(centre);
    root->addWidget(Separator(this));
    root->addLayout(master);
    root->addWidget(Separator(this));
    root->addLayout(overlap);
    root->addLayout(automatic);
    root->addWidget(skippedNote_);
    root->addWidget(recordingLabel_);
    root->addWidget(BuildPlaylistFrame(), 1);

    for (int16_t i = 0; i < 4; ++i) {
        connect(deckAButtons_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Opt_DeckA_Click(i);
        });
        connect(deckBButtons_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Opt_DeckB_Click(i);
        });
    }
    // valueChanged fires while a thumb is dragged as well, so the sound follows the drag.
    connect(crossfader_, &QSlider::valueChanged, this, [this] { HScroll1_Change(); });
    connect(masterVolumeSlider_, &QSlider::valueChanged, this, [this] { VScroll1_Change(); });
    connect(cueMixDial_, &QDial::valueChanged, this, [this](int v) { mixer_->SetCueMix(v); });
    connect(phonesDial_, &QDial::valueChanged, this,
            [this](int v) { mixer_->SetHeadphoneVolume({v}); });
    connect(overlapSlider_, &QSlider::valueChanged, this, [this] { Overlap_Change(); });
    connect(centreButtons_[1], &QPushButton::clicked, this, [this] { Cmd_Center_Click(1); });
    connect(centreButtons_[2], &QPushButton::clicked, this, [this] { Cmd_Center_Click(2); });
    connect(webSiteLink_, &ClickLabel::clicked, this, [this] { Label4_Click(); });
    connect(autoFadeCheck_, &QCheckBox::toggled, this, [this] { Chk_AutoFade_Click(); });
    connect(fadeCheck_, &QCheckBox::toggled, this, [this](bool on) { mixer_->SetGradual(on); });
    connect(tickTimer_, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    mixer_ = std::make_unique<MixerController>(*engine_);
    BindPlaylist();
    mixer_->SetSkipSilence(SettingsFlag(kSkipSilenceKey, true));
    mixer_->SetTargetLoudness(TargetLoudness());
    mixer_->SetLevelling(levelCheck_->isChecked());
    mixer_->SetBeatMix(beatMixCheck_->isChecked());
    mixer_->SetOverlap(overlapSlider_->value());
    connect(mixer_.get(), &MixerController::pairChanged, this, [this] { ShowPair(); });
    connect(mixer_.get(), &MixerController::crossfaderChanged, this, [this] { ShowCrossfader(); });
    connect(mixer_.get(), &MixerController::fadeChanged, this, [this] { ShowCrossfader(); });
    connect(mixer_.get(), &MixerController::automationChanged, this, [this] { ShowAutomation(); });
    connect(mixer_.get(), &MixerController::masterChanged, this, [this] {
        const QSignalBlocker quiet(masterVolumeSlider_);
        masterVolumeSlider_->setValue(mixer_->MasterVolume().value);
        masterVolumeValue_->setText(QStringLiteral("%1%").arg(mixer_->MasterVolume().value));
        const QSignalBlocker cueQuiet(cueMixDial_), phonesQuiet(phonesDial_);
        cueMixDial_->setValue(mixer_->CueMix());
        phonesDial_->setValue(mixer_->HeadphoneVolume().value);
    });
    connect(mixer_.get(), &MixerController::overlapChanged, this, [this] {
        const QSignalBlocker quiet(overlapSlider_);
        overlapSlider_->setValue(mixer_->Overlap());
        overlapText_->setText(QString::number(mixer_->Overlap()));
    });
    // The playlist's songs are listened to once their titles are all in.
    mixer_->SetPlaylistBusy([this] { return titleScan_ && !titleScan_->WaitIdle(0); });
    connect(mixer_.get(), &MixerController::musicKnown, this, [this](const std::string& path) {
        const MixSong* music = mixer_->KnownMusic(path);
        // A song that cannot be analysed changes no row.
        if (!music || PlaylistRowText(QString(), music).isEmpty()) return;
        musicChanged_.insert(path);
        if (!rowMusicTimer_->isActive()) rowMusicTimer_->start();
    });
    connect(mixer_.get(), &MixerController::problem, this,
            [](const QString& text) { MsgBox(text.toStdString()); });
    connect(mixer_.get(), &MixerController::songSkipped, this,
            [this](const std::string& path, const QString& reason) { SongSkipped(path, reason); });
    connect(autoPlayCheck_, &QCheckBox::toggled, this,
            [this](bool on) { mixer_->SetAutoPlay(on); });
    connect(levelCheck_, &QCheckBox::toggled, this, [this] { Chk_Level_Click(); });
    connect(beatMixCheck_, &QCheckBox::toggled, this, [this](bool on) {
        mixer_->SetBeatMix(on);
        std::string error;
        if (!WriteINI("", kBeatMixKey, on ? "Yes" : "No", kSettingsSection, &error))
            MsgBox("The Beat Mix setting cannot be kept. " + error);
    });
}

Frm_Master::~Frm_Master() {
    titleScan_.reset(); // its reports come to this window
    // The deck windows show the controller's decks: they go first.
    for (QPointer<Frm_TurnTable>& deck : decks_) {
        if (!deck) continue;
        QWidget* window = deck->parentWidget();
        delete (window ? window : static_cast<QWidget*>(deck.data()));
    }
}
void Frm_Master::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    masterVolumeSlider_->setMinimumHeight(kMasterVolumeLines * fontMetrics().height());
    playlist_->setMinimumHeight(kPlaylistLines * playlist_->fontMetrics().height());
}

QSize Frm_Master::sizeHint() const {
    return TwipsSize(kMasterWidthTwips, kMasterHeightTwips).expandedTo(minimumSizeHint());
}

void Frm_Master::Form_Load() {
    titleLabel_->setText(QStringLiteral("Spinx V") +
                         QString::fromStdString(ProgramVersionString()) +
                         QStringLiteral("\nMade by the Spinx developers"
                                        "\n\u00A9 2026 Spinx. All rights reserved."));

    QWidget* mixerWindow = parentWidget() ? parentWidget() : this;
    const int deckLeft = mixerWindow->x() + mixerWindow->width() + TwipsToPixels(kDeckGapTwips);
    int deckTop = mixerWindow->y();
    for (int16_t p = 0; p < Aspinx::kPlayers; ++p) {
        auto* deck = new Frm_TurnTable(mixer_->Deck(p), *this);
        QMdiSubWindow* window = AddChildWindow(area_, deck);
        window->resize(
            TwipsSize(kDeckWidthTwips, kDeckHeightTwips).expandedTo(window->minimumSizeHint()));
        deck->Form_Load();
        const bool shown = p < 2;
        if (shown) window->show();
        if (shown) {
            window->move(deckLeft, deckTop);
            deckTop += window->height() + TwipsToPixels(kDeckRowGapTwips);
        } else {
            window->hide();
        }
        decks_[p] = deck;
    }

    deckAButtons_[0]->setChecked(true);
    deckBButtons_[1]->setChecked(true);
    VScroll1_Change();
    ShowPair();
    ShowCrossfader();
    ShowAutomation();
    tickTimer_->start();
}

Frm_TurnTable* Frm_Master::Deck(int16_t player) const {
    if (player < 0 || player >= Aspinx::kPlayers) return nullptr;
    return decks_[player].data();
}

std::vector<Frm_TurnTable*> Frm_Master::Decks() const {
    std::vector<Frm_TurnTable*> decks;
    for (const QPointer<Frm_TurnTable>& deck : decks_)
        if (deck) decks.push_back(deck.data());
    return decks;
}

const AutoPlay& Frm_Master::AutoPlayer() const {
    return mixer_->AutoPlayer();
}

engine::BackgroundScan& Frm_Master::LoudnessScanner() const {
    return mixer_->LoudnessScanner();
}

void Frm_Master::SyncDeck(int16_t player) {
    mixer_->Sync(player);
}

void Frm_Master::SongSkipped(const std::string& path, const QString& reason) {
    skippedNote_->setText(
        QStringLiteral("Skipped %1: %2").arg(QString::fromStdString(GetFileName(path)), reason));
    skippedNote_->show();
    skippedTicks_ = kSkippedNoteTicks;
}

void Frm_Master::Label4_Click() {
    StartDoc(AboutPagePath());
}

void Frm_Master::HScroll1_Change() {
    mixer_->SetCrossfader({crossfader_->value()});
}
void Frm_Master::Cmd_Center_Click(int16_t Index) {
    if (Index == 1 || Index == 2)
        mixer_->CentreTo(Index == 1 ? FadeTarget::DeckA : FadeTarget::DeckB);
}

void Frm_Master::ShowPair() {
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker quietA(deckAButtons_[i]), quietB(deckBButtons_[i]);
        deckAButtons_[i]->setChecked(i == mixer_->DeckA());
        deckBButtons_[i]->setChecked(i == mixer_->DeckB());
        // A deck cannot be on both sides.
        deckAButtons_[i]->setEnabled(i != mixer_->DeckB());
        deckBButtons_[i]->setEnabled(i != mixer_->DeckA());
    }
}

void Frm_Master::ShowCrossfader() {
    const QSignalBlocker quiet(crossfader_);
    crossfader_->setValue(mixer_->Crossfader().value);
    // A disabled button marks the end the crossfader is on its way to.
    centreButtons_[1]->setEnabled(mixer_->Fading() != FadeTarget::DeckA);
    centreButtons_[2]->setEnabled(mixer_->Fading() != FadeTarget::DeckB);
}

void Frm_Master::ShowAutomation() {
    const QSignalBlocker quietFade(fadeCheck_), quietAuto(autoPlayCheck_),
        quietAutoFade(autoFadeCheck_), quietLevel(levelCheck_), quietBeat(beatMixCheck_);
    fadeCheck_->setChecked(mixer_->Gradual());
    // Auto Fade moves the crossfader in steps, which only Fade does.
    fadeCheck_->setEnabled(!mixer_->AutoFade());
    autoPlayCheck_->setChecked(mixer_->AutoPlayOn());
    autoFadeCheck_->setChecked(mixer_->AutoFade());
    levelCheck_->setChecked(mixer_->Levelling());
    beatMixCheck_->setChecked(mixer_->BeatMix());
    ShowCrossfader();
}
void Frm_Master::NudgeCrossfader(int delta) {
    mixer_->SetCrossfader({mixer_->Crossfader().value + delta});
}

void Frm_Master::Opt_DeckA_Click(int16_t Index) {
    mixer_->SetDeckA(Index);
}
void Frm_Master::Opt_DeckB_Click(int16_t Index) {
    mixer_->SetDeckB(Index);
}
void Frm_Master::VScroll1_Change() {
    mixer_->SetMasterVolume({masterVolumeSlider_->value()});
}
void Frm_Master::Overlap_Change() {
    mixer_->SetOverlap(overlapSlider_->value());
}
void Frm_Master::Chk_AutoFade_Click() {
    mixer_->SetAutoFade(autoFadeCheck_->isChecked());
}
void Frm_Master::Timer1_Timer() {
    mixer_->Tick();
    if (skippedTicks_ > 0 && --skippedTicks_ == 0) skippedNote_->hide();
    if (IsRecording()) ShowRecordingTime();
}
} // namespace spinx
