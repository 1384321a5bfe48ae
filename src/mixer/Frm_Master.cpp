#include "mixer/Frm_Master.h"

#include "deck/Frm_TurnTable.h"
#include "mixer/CrossfadeLaw.h"
#include "mixer/LoudnessScan.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "mixer/SetSettings.h"
#include "support/Mod_INI.h"
#include "support/SettingsKeys.h"
#include "widgets/ClickLabel.h"
#include "widgets/ListBox.h"
#include "widgets/MdiChild.h"
#include "widgets/Twips.h"

#include <QButtonGroup>
#include <QCheckBox>
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

int16_t CheckedIndex(const std::array<QRadioButton*, 4>& buttons) {
    for (int16_t i = 0; i < 4; ++i)
        if (buttons[i]->isChecked()) return i;
    return -1;
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
    auto* master = new QGridLayout;
    master->addWidget(masterCaption, 0, 0, 1, 2, Qt::AlignHCenter);
    master->addWidget(masterVolumeSlider_, 1, 0, Qt::AlignRight);
    master->addWidget(masterVolumeValue_, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
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
    auto* fadeAndLevel = new QVBoxLayout;
    fadeAndLevel->setSpacing(2);
    fadeAndLevel->addWidget(autoFadeCheck_);
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
    connect(overlapSlider_, &QSlider::valueChanged, this, [this] { Overlap_Change(); });
    connect(centreButtons_[1], &QPushButton::clicked, this, [this] { Cmd_Center_Click(1); });
    connect(centreButtons_[2], &QPushButton::clicked, this, [this] { Cmd_Center_Click(2); });
    connect(webSiteLink_, &ClickLabel::clicked, this, [this] { Label4_Click(); });
    connect(autoFadeCheck_, &QCheckBox::toggled, this, [this] { Chk_AutoFade_Click(); });
    connect(tickTimer_, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    connect(engine_, &Aspinx::SoundDone, this,
            [this](int16_t player) { Aspinx1_SoundDone(player); });
    connect(engine_, &Aspinx::SoundLoaded, this,
            [this](int16_t player, int16_t item) { Aspinx1_SoundLoaded(player, item); });
    connect(engine_, &Aspinx::SoundLoadFailed, this,
            [this](int16_t player, const QString& path, const QString& reason) {
                Aspinx1_SoundLoadFailed(player, path, reason);
            });
    connect(engine_, &Aspinx::VUMeterValueChange, this,
            [this](int16_t player, int16_t left, int16_t right) {
                Aspinx1_VUMeterValueChange(player, left, right);
            });
    // The overview is ready a while after the song: drawn when it arrives.
    connect(engine_, &Aspinx::WaveformReady, this, [this](int16_t player) {
        if (Frm_TurnTable* deck = Deck(player)) deck->ShowOverview();
    });
    connect(autoPlayCheck_, &QCheckBox::toggled, this,
            [this](bool on) { autoPlay_.SetEnabled(on); });
    connect(levelCheck_, &QCheckBox::toggled, this, [this] { Chk_Level_Click(); });

    autoPlay_.SetSkipSilence(SettingsFlag(kSkipSilenceKey, true));
    targetLufs_ = TargetLoudness();
    loudnessScan_ = std::make_unique<LoudnessScan>(
        *this, [this](const std::string& path, std::optional<double> lufs) {
            LoudnessMeasured(path, lufs);
        });
}

Frm_Master::~Frm_Master() {
    loudnessScan_.reset(); // its reports come to this window
    // The decks play through our engine: they go first.
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
    files_.assign(1, std::string());
    titleLabel_->setText(QStringLiteral("Spinx V") +
                         QString::fromStdString(ProgramVersionString()) +
                         QStringLiteral("\nMade by the Spinx developers"
                                        "\n\u00A9 2026 Spinx. All rights reserved."));

    for (int16_t p = 0; p < Aspinx::kPlayers; ++p)
        engine_->SetBalance(p, 50);

    QWidget* mixerWindow = parentWidget() ? parentWidget() : this;
    const int deckLeft = mixerWindow->x() + mixerWindow->width() + TwipsToPixels(kDeckGapTwips);
    int deckTop = mixerWindow->y();
    for (int16_t p = 0; p < Aspinx::kPlayers; ++p) {
        auto* deck = new Frm_TurnTable(*this);
        QMdiSubWindow* window = AddChildWindow(area_, deck);
        window->resize(
            TwipsSize(kDeckWidthTwips, kDeckHeightTwips).expandedTo(window->minimumSizeHint()));
        deck->Form_Load();
        const bool shown = p < 2;
        if (shown) window->show();
        deck->ID = p;
        deck->Init();
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
    // The pair plays at its crossfader shares from the first sound, not from the first move.
    HScroll1_Change();
    tickTimer_->start();
}

Frm_TurnTable* Frm_Master::Deck(int16_t player) const {
    if (player < 0 || player >= Aspinx::kPlayers) return nullptr;
    return decks_[player].data();
}

int32_t Frm_Master::Overlap() const {
    return overlapSlider_->value();
}

void Frm_Master::Aspinx1_SoundDone(int16_t nPlayer) {
    if (Frm_TurnTable* deck = Deck(nPlayer)) deck->SoundDone();
    autoPlay_.SoundDone(nPlayer);
}

void Frm_Master::Aspinx1_SoundLoaded(int16_t nPlayer, int16_t) {
    if (Frm_TurnTable* deck = Deck(nPlayer)) deck->GetDBSettings();
    LevelDeck(nPlayer);
}

void Frm_Master::Aspinx1_SoundLoadFailed(int16_t nPlayer, const QString& path,
                                         const QString& reason) {
    Frm_TurnTable* deck = Deck(nPlayer);
    if (!deck) return;
    deck->SoundLoadFailed(path, reason);
    // A song that auto play loaded must not end an unattended set, nor vanish unnoticed.
    if (!autoPlay_.SoundLoadFailed(nPlayer, engine_->SongPath(nPlayer))) return;
    skippedNote_->setText(QStringLiteral("Skipped %1: %2").arg(QFileInfo(path).fileName(), reason));
    skippedNote_->show();
    skippedTicks_ = kSkippedNoteTicks;
}

void Frm_Master::Aspinx1_VUMeterValueChange(int16_t nPlayer, int16_t nPeakLeft,
                                            int16_t nPeakRight) {
    if (Frm_TurnTable* deck = Deck(nPlayer)) deck->DoLevel(nPeakLeft, nPeakRight);
}

void Frm_Master::Label4_Click() {
    StartDoc(AboutPagePath());
}

void Frm_Master::ApplyCrossfade(Frm_TurnTable& deck, int share) {
    const int16_t volume = CrossfadeVolume(share, deck.VolumeSliderValue());
    engine_->SetVolume(deck.ID, volume);
    deck.MaxVol = volume;
}

void Frm_Master::HScroll1_Change() {
    Frm_TurnTable* deckA = FindTurnTable(area_, CheckedIndex(deckAButtons_));
    Frm_TurnTable* deckB = FindTurnTable(area_, CheckedIndex(deckBButtons_));
    const int f = crossfader_->value();
    if (deckA) ApplyCrossfade(*deckA, 100 - f);
    if (deckB) ApplyCrossfade(*deckB, f);
}

void Frm_Master::Cmd_Center_Click(int16_t Index) {
    if (Index != 1 && Index != 2) return;
    if (fadeCheck_->isChecked()) {
        // A disabled button marks the end the crossfader is on its way to.
        centreButtons_[Index]->setEnabled(false);
        return;
    }
    centreButtons_[Index]->setEnabled(true);
    crossfader_->setValue(Index == 1 ? 0 : 100);
}

void Frm_Master::NudgeCrossfader(int delta) {
    crossfader_->setValue(
        std::clamp(crossfader_->value() + delta, crossfader_->minimum(), crossfader_->maximum()));
}

void Frm_Master::ToggleAutoPlay() {
    autoPlayCheck_->toggle();
}

void Frm_Master::ToggleAutoFade() {
    autoFadeCheck_->toggle();
}

void Frm_Master::Opt_DeckA_Click(int16_t Index) {
    for (int i = 0; i < 4; ++i)
        deckBButtons_[i]->setEnabled(i != Index);
}

void Frm_Master::Opt_DeckB_Click(int16_t Index) {
    for (int i = 0; i < 4; ++i)
        deckAButtons_[i]->setEnabled(i != Index);
}

void Frm_Master::VScroll1_Change() {
    engine_->SetMasterVolume(0, static_cast<int16_t>(masterVolumeSlider_->value()));
    masterVolumeValue_->setText(QStringLiteral("%1%").arg(engine_->GetMasterVolume(0)));
}

void Frm_Master::Overlap_Change() {
    overlapText_->setText(QString::number(overlapSlider_->value()));
}

void Frm_Master::Chk_AutoFade_Click() {
    autoPlay_.SetAutoFade(autoFadeCheck_->isChecked());
    // Auto Fade moves the crossfader in steps, which only Fade does.
    if (autoFadeCheck_->isChecked()) {
        fadeCheck_->setChecked(true);
        fadeCheck_->setEnabled(false);
    } else {
        fadeCheck_->setEnabled(true);
    }
}

void Frm_Master::Timer1_Timer() {
    if (fadeCheck_->isChecked()) {
        const int step = FadeStep(crossfader_->value(), !centreButtons_[1]->isEnabled(),
                                  !centreButtons_[2]->isEnabled());
        if (step == 0) {
            centreButtons_[1]->setEnabled(true);
            centreButtons_[2]->setEnabled(true);
        } else {
            crossfader_->setValue(crossfader_->value() + step);
        }
    }
    autoPlay_.Tick();
    if (skippedTicks_ > 0 && --skippedTicks_ == 0) skippedNote_->hide();
    if (IsRecording()) ShowRecordingTime();
}

int16_t Frm_Master::PlayerA() const {
    return CheckedIndex(deckAButtons_);
}

int16_t Frm_Master::PlayerB() const {
    return CheckedIndex(deckBButtons_);
}

bool Frm_Master::HasDeck(int16_t player) const {
    return FindTurnTable(area_, player) != nullptr;
}

std::string Frm_Master::Song(int16_t player) const {
    const Frm_TurnTable* deck = FindTurnTable(area_, player);
    return deck ? deck->Filename : std::string();
}

DeckReading Frm_Master::Read(int16_t player) const {
    DeckReading reading;
    reading.status = engine_->GetPlayerStatus(player);
    reading.position = engine_->GetSoundPosition(player);
    reading.length = engine_->GetSoundDuration(player);
    if (const Frm_TurnTable* deck = FindTurnTable(area_, player)) {
        reading.endPos = deck->EndPos;
        audibleEdges_.Fill(*engine_, player, {deck->StartPos, deck->EndPos, Overlap()}, reading);
    }
    return reading;
}

bool Frm_Master::FadePending() const {
    return fadeCheck_->isChecked() &&
           (!centreButtons_[1]->isEnabled() || !centreButtons_[2]->isEnabled());
}

void Frm_Master::Load(int16_t player, const std::string& path) {
    Frm_TurnTable* deck = FindTurnTable(area_, player);
    if (!deck) return;
    deck->Filename = path;
    deck->GetDBSettings();
    engine_->LoadSound(player, path);
}

void Frm_Master::Seek(int16_t player, int32_t positionMs) {
    engine_->SeekSound(player, positionMs);
}

void Frm_Master::Start(int16_t player) {
    if (Frm_TurnTable* deck = FindTurnTable(area_, player)) deck->Cmd_Play_Click();
}

} // namespace spinx
