#include "mixer/Frm_Master.h"

#include "deck/Frm_TurnTable.h"
#include "mixer/Mod_AutoPlay.h"
#include "mixer/Mod_Crossfade.h"
#include "mixer/Mod_StartDoc.h"
#include "mixer/Mod_Version.h"
#include "shell/ClickLabel.h"
#include "shell/ListBox.h"
#include "shell/MdiChild.h"
#include "shell/Twips.h"
#include "support/Mod_INI.h"

#include <QButtonGroup>
#include <QCheckBox>
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

QGroupBox* DeckGroup(QWidget* parent, const QString& caption,
                     std::array<QRadioButton*, 4>& buttons) {
    auto* group = new QGroupBox(caption, parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 4, 4);
    layout->setSpacing(1);
    auto* exclusive = new QButtonGroup(group);
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QRadioButton(QStringLiteral("Deck %1").arg(i + 1), group);
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

int16_t CheckedIndex(const std::array<QRadioButton*, 4>& buttons) {
    for (int16_t i = 0; i < 4; ++i)
        if (buttons[i]->isChecked()) return i;
    return -1;
}
} // namespace

Frm_Master::Frm_Master(QMdiArea& area, OutputKind output, QWidget* parent)
    : QWidget(parent),
      Aspinx1(new Aspinx(output, this,
                         std::atoi(ReadINI("", "Audio Latency", "", "Settings").c_str()))),
      area_(area) {
    setObjectName(QStringLiteral("Frm_Master"));
    setWindowTitle(QStringLiteral("Master"));

    Lbl_Title = new QLabel(this);
    Lbl_Title->setAlignment(Qt::AlignCenter);
    Lbl_Title->setWordWrap(true);
    Label4 = new ClickLabel(QStringLiteral("Click here for web site"), this);
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setCursor(Qt::PointingHandCursor);
    QPalette blue = Label4->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label4->setPalette(blue);

    auto* groups = new QHBoxLayout;
    groups->setSpacing(4);
    groups->addWidget(DeckGroup(this, QStringLiteral("Deck A"), Opt_DeckA));
    groups->addWidget(DeckGroup(this, QStringLiteral("Deck B"), Opt_DeckB));

    HScroll1 = new QSlider(Qt::Horizontal, this);
    HScroll1->setRange(0, 100);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(10);
    HScroll1->setValue(0);
    HScroll1->setTickPosition(QSlider::TicksBelow);
    HScroll1->setTickInterval(10);
    Cmd_Center = {nullptr, new QPushButton(QStringLiteral("Deck A"), this),
                  new QPushButton(QStringLiteral("Deck B"), this)};
    Chk_Fade = new QCheckBox(QStringLiteral("Fade"), this);
    auto* centre = new QHBoxLayout;
    centre->setSpacing(4);
    centre->addWidget(Cmd_Center[1]);
    centre->addWidget(Chk_Fade, 0, Qt::AlignHCenter);
    centre->addWidget(Cmd_Center[2]);

    VScroll1 = new QSlider(Qt::Vertical, this);
    VScroll1->setRange(0, 100);
    VScroll1->setSingleStep(1);
    VScroll1->setPageStep(10);
    VScroll1->setValue(100);
    VScroll1->setMinimumHeight(100);
    VScroll1->setTickPosition(QSlider::TicksBothSides);
    VScroll1->setTickInterval(10);
    Label1 = new QLabel(QStringLiteral("Master Volume"), this);
    lblMasterVol = new QLabel(QStringLiteral("100%"), this);
    auto* master = new QGridLayout;
    master->addWidget(Label1, 0, 0, 1, 2, Qt::AlignHCenter);
    master->addWidget(VScroll1, 1, 0, Qt::AlignRight);
    master->addWidget(lblMasterVol, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
    master->setColumnStretch(0, 1);
    master->setColumnStretch(1, 1);

    Overlap = new QSlider(Qt::Horizontal, this);
    Overlap->setRange(0, 30000);
    Overlap->setSingleStep(100);
    Overlap->setPageStep(100);
    Overlap->setValue(10000);
    Txt_Overlap = new QLineEdit(QStringLiteral("10000"), this);
    Txt_Overlap->setReadOnly(true); // shows the slider; typing into it changes nothing
    Txt_Overlap->setMaximumWidth(TwipsToPixels(900));
    QPalette grey = Txt_Overlap->palette();
    grey.setColor(QPalette::Base, QColor(192, 192, 192));
    Txt_Overlap->setPalette(grey);
    Label2 = new QLabel(QStringLiteral("Overlap (ms)"), this);
    auto* overlap = new QGridLayout;
    overlap->addWidget(Label2, 0, 0);
    overlap->addWidget(Txt_Overlap, 0, 1);
    overlap->addWidget(Overlap, 1, 0, 1, 2);

    Frame1 = new QGroupBox(QStringLiteral("Auto Play"), this);
    Chk_AutoPlay = new QCheckBox(QStringLiteral("Enabled"), Frame1);
    auto* autoPlay = new QVBoxLayout(Frame1);
    autoPlay->setContentsMargins(6, 2, 4, 4);
    autoPlay->addWidget(Chk_AutoPlay);
    Chk_AutoFade = new QCheckBox(QStringLiteral("Auto Fade"), this);
    auto* automatic = new QHBoxLayout;
    automatic->setSpacing(4);
    automatic->addWidget(Frame1);
    automatic->addWidget(Chk_AutoFade);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(4);
    root->addWidget(Lbl_Title);
    root->addWidget(Label4);
    root->addWidget(Separator(this));
    root->addLayout(groups);
    root->addWidget(HScroll1);
    root->addLayout(centre);
    root->addWidget(Separator(this));
    root->addLayout(master);
    root->addWidget(Separator(this));
    root->addLayout(overlap);
    root->addLayout(automatic);
    root->addWidget(BuildPlaylistFrame(), 1);

    for (int16_t i = 0; i < 4; ++i) {
        connect(Opt_DeckA[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Opt_DeckA_Click(i);
        });
        connect(Opt_DeckB[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) Opt_DeckB_Click(i);
        });
    }
    // valueChanged fires while a thumb is dragged as well, so the sound follows the drag.
    connect(HScroll1, &QSlider::valueChanged, this, [this] { HScroll1_Change(); });
    connect(VScroll1, &QSlider::valueChanged, this, [this] { VScroll1_Change(); });
    connect(Overlap, &QSlider::valueChanged, this, [this] { Overlap_Change(); });
    connect(Cmd_Center[1], &QPushButton::clicked, this, [this] { Cmd_Center_Click(1); });
    connect(Cmd_Center[2], &QPushButton::clicked, this, [this] { Cmd_Center_Click(2); });
    connect(Label4, &ClickLabel::clicked, this, [this] { Label4_Click(); });
    connect(Chk_AutoFade, &QCheckBox::toggled, this, [this] { Chk_AutoFade_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    connect(Aspinx1, &Aspinx::SoundDone, this,
            [this](int16_t player) { Aspinx1_SoundDone(player); });
    connect(Aspinx1, &Aspinx::SoundLoaded, this,
            [this](int16_t player, int16_t item) { Aspinx1_SoundLoaded(player, item); });
    connect(Aspinx1, &Aspinx::SoundLoadFailed, this,
            [this](int16_t player, const QString& path, const QString& reason) {
                Aspinx1_SoundLoadFailed(player, path, reason);
            });
    connect(Aspinx1, &Aspinx::VUMeterValueChange, this,
            [this](int16_t player, int16_t left, int16_t right) {
                Aspinx1_VUMeterValueChange(player, left, right);
            });
}

Frm_Master::~Frm_Master() {
    // The decks play through our engine: they go first.
    for (QPointer<Frm_TurnTable>& deck : Decks) {
        if (!deck) continue;
        QWidget* window = deck->parentWidget();
        delete (window ? window : static_cast<QWidget*>(deck.data()));
    }
}

QSize Frm_Master::sizeHint() const {
    return TwipsSize(kMasterWidthTwips, kMasterHeightTwips).expandedTo(minimumSizeHint());
}

void Frm_Master::Form_Load() {
    PlaylistFiles.assign(1, std::string());
    Lbl_Title->setText(QStringLiteral("Spinx V") + QString::fromStdString(ProgramVersionString()) +
                       QStringLiteral("\nMade by the Spinx developers"
                                      "\n\u00A9 2026 Spinx. All rights reserved."));

    Aspinx1->InitPlayers(Aspinx::kPlayers, reinterpret_cast<quintptr>(this), 0, 0, 0, 0);
    for (int16_t p = 0; p < Aspinx::kPlayers; ++p)
        Aspinx1->SetBalance(p, 50);

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
        Decks[p] = deck;
    }

    Opt_DeckA[0]->setChecked(true);
    Opt_DeckB[1]->setChecked(true);
    VScroll1_Change();
    Timer1->start();
}

Frm_TurnTable* Frm_Master::DeckOf(int16_t nPlayer) const {
    if (nPlayer < 0 || nPlayer >= Aspinx::kPlayers) return nullptr;
    return Decks[nPlayer].data();
}

void Frm_Master::Aspinx1_SoundDone(int16_t nPlayer) {
    if (Frm_TurnTable* deck = DeckOf(nPlayer)) deck->SoundDone();
    RefillFromPlaylist(nPlayer);
    StartWaitingPartner(nPlayer);
}

void Frm_Master::Aspinx1_SoundLoaded(int16_t nPlayer, int16_t) {
    if (Frm_TurnTable* deck = DeckOf(nPlayer)) deck->GetDBSettings();
}

void Frm_Master::Aspinx1_SoundLoadFailed(int16_t nPlayer, const QString& path,
                                         const QString& reason) {
    Frm_TurnTable* deck = DeckOf(nPlayer);
    if (!deck) return;
    deck->SoundLoadFailed(path, reason);
    // A song that automatic play loaded must not end an unattended set: the next one takes its
    // place, and starts if the failed one had been started.
    AutoLoad& load = autoLoads_[nPlayer];
    if (load.path.empty() || QString::fromStdString(load.path) != path) return;
    const bool started = load.started;
    load = {};
    if (!deck->Filename.empty()) return; // the deck holds another song by now
    if (RefillFromPlaylist(nPlayer) && started) StartDeck(*deck);
}

void Frm_Master::Aspinx1_VUMeterValueChange(int16_t nPlayer, int16_t nPeakLeft,
                                            int16_t nPeakRight) {
    if (Frm_TurnTable* deck = DeckOf(nPlayer)) deck->DoLevel(nPeakLeft, nPeakRight);
}

void Frm_Master::Label4_Click() {
    StartDoc(AboutPagePath());
}

void Frm_Master::ApplyCrossfade(Frm_TurnTable& deck, int share) {
    const int16_t volume = CrossfadeVolume(share, deck.VScroll2->value());
    Aspinx1->SetVolume(deck.ID, volume);
    deck.MaxVol = volume;
}

void Frm_Master::HScroll1_Change() {
    Frm_TurnTable* deckA = FindTurnTable(area_, CheckedIndex(Opt_DeckA));
    Frm_TurnTable* deckB = FindTurnTable(area_, CheckedIndex(Opt_DeckB));
    const int f = HScroll1->value();
    if (deckA) ApplyCrossfade(*deckA, 100 - f);
    if (deckB) ApplyCrossfade(*deckB, f);
}

void Frm_Master::Cmd_Center_Click(int16_t Index) {
    if (Index != 1 && Index != 2) return;
    if (Chk_Fade->isChecked()) {
        // A disabled button marks the end the crossfader is on its way to.
        Cmd_Center[Index]->setEnabled(false);
        return;
    }
    Cmd_Center[Index]->setEnabled(true);
    HScroll1->setValue(Index == 1 ? 0 : 100);
}

void Frm_Master::Opt_DeckA_Click(int16_t Index) {
    for (int i = 0; i < 4; ++i)
        Opt_DeckB[i]->setEnabled(i != Index);
}

void Frm_Master::Opt_DeckB_Click(int16_t Index) {
    for (int i = 0; i < 4; ++i)
        Opt_DeckA[i]->setEnabled(i != Index);
}

void Frm_Master::VScroll1_Change() {
    Aspinx1->SetMasterVolume(0, static_cast<int16_t>(VScroll1->value()));
    lblMasterVol->setText(QStringLiteral("%1%").arg(Aspinx1->GetMasterVolume(0)));
}

void Frm_Master::Overlap_Change() {
    Txt_Overlap->setText(QString::number(Overlap->value()));
}

void Frm_Master::Chk_AutoFade_Click() {
    // Auto Fade moves the crossfader in steps, which only Fade does.
    if (Chk_AutoFade->isChecked()) {
        Chk_Fade->setChecked(true);
        Chk_Fade->setEnabled(false);
    } else {
        Chk_Fade->setEnabled(true);
    }
}

void Frm_Master::Timer1_Timer() {
    if (Chk_Fade->isChecked()) {
        const int step =
            FadeStep(HScroll1->value(), !Cmd_Center[1]->isEnabled(), !Cmd_Center[2]->isEnabled());
        if (step == 0) {
            Cmd_Center[1]->setEnabled(true);
            Cmd_Center[2]->setEnabled(true);
        } else {
            HScroll1->setValue(HScroll1->value() + step);
        }
    }
    if (Chk_AutoPlay->isChecked()) AutoPlayStep();
}

void Frm_Master::AutoPlayStep() {
    const int16_t a = CheckedIndex(Opt_DeckA);
    const int16_t b = CheckedIndex(Opt_DeckB);
    Frm_TurnTable* deckA = FindTurnTable(area_, a);
    Frm_TurnTable* deckB = FindTurnTable(area_, b);
    if (!deckA || !deckB) return;

    DeckReading readA, readB;
    readA.status = Aspinx1->GetPlayerStatus(a);
    readB.status = Aspinx1->GetPlayerStatus(b);
    readA.position = Aspinx1->GetSoundPosition(a);
    readB.position = Aspinx1->GetSoundPosition(b);
    readA.length = Aspinx1->GetSoundDuration(a);
    readB.length = Aspinx1->GetSoundDuration(b);
    readA.endPos = deckA->EndPos;
    readB.endPos = deckB->EndPos;
    switch (WhichDeckStarts(readA, readB)) {
    case AutoStart::DeckB:
        TakeOver(*deckB, 2);
        break;
    case AutoStart::DeckA:
        TakeOver(*deckA, 1);
        break;
    case AutoStart::None:
        break;
    }

    if (deckA->Filename.empty()) {
        RefillFromPlaylist(a);
        StartDeck(*deckA);
    }
    if (deckB->Filename.empty()) RefillFromPlaylist(b);
}

bool Frm_Master::RefillFromPlaylist(int16_t nPlayer) {
    if (List1->count() == 0 || !Chk_AutoPlay->isChecked()) return false;
    // Only the top row leaves: rows the user had selected stay where they are.
    List1->clearSelection();
    List1->setCurrentRow(0);
    QListWidgetItem* top = List1->item(0);
    const std::string* file = PlaylistFile(top);
    const std::string path = file ? *file : std::string();
    top->setSelected(true);
    Cmd_Remove_Click();

    Frm_TurnTable* deck = FindTurnTable(area_, nPlayer);
    if (!deck || path.empty()) return false;
    deck->Filename = path;
    deck->GetDBSettings();
    Aspinx1->LoadSoundFast(nPlayer, QString::fromStdString(path));
    autoLoads_[nPlayer] = {path, false};
    return true;
}

void Frm_Master::StartDeck(Frm_TurnTable& deck) {
    deck.Cmd_Play_Click();
    AutoLoad& load = autoLoads_[deck.ID];
    if (!load.path.empty() && load.path == deck.Filename) load.started = true;
}

void Frm_Master::StartWaitingPartner(int16_t nPlayer) {
    // The tick starts the partner inside the playing song's last stretch; with no stretch (an
    // end marker of 0, or one shorter than a tick) the song can end first, and then both decks
    // would wait for ever.
    if (!Chk_AutoPlay->isChecked()) return;
    const int16_t a = CheckedIndex(Opt_DeckA);
    const int16_t b = CheckedIndex(Opt_DeckB);
    if (nPlayer != a && nPlayer != b) return;
    const int16_t partner = nPlayer == a ? b : a;
    Frm_TurnTable* deck = FindTurnTable(area_, partner);
    if (!deck || deck->Filename.empty() || Aspinx1->GetPlayerStatus(partner) == kPlaying) return;
    TakeOver(*deck, nPlayer == a ? 2 : 1);
}

void Frm_Master::TakeOver(Frm_TurnTable& deck, int16_t Index) {
    const bool fade = Chk_AutoFade->isChecked();
    // The crossfader is applied only when it moves, so the waiting deck's player may still
    // have the engine's full volume, or the volume its song's recall sent: it starts from its
    // share of the crossfader instead, and the fade rises from there.
    if (fade) HScroll1_Change();
    StartDeck(deck);
    if (fade) Cmd_Center_Click(Index);
}

} // namespace spinx
