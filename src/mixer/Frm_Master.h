#pragma once
// The mixer window: owns the engine, creates the four decks, passes the engine's events on to
// them, and mixes Deck A against Deck B with the crossfader under a master volume. UI thread.
#include "engine/Aspinx.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QLabel;
class QMdiArea;
class QPushButton;
class QRadioButton;
class QSlider;

namespace spinx {

class ClickLabel;
class Frm_TurnTable;

class Frm_Master : public QWidget {
    Q_OBJECT
  public:
    // `output` is where the engine plays: the program uses the default device, tests render
    // offline or into nothing.
    Frm_Master(QMdiArea& area, OutputKind output, QWidget* parent = nullptr);
    ~Frm_Master() override;

    QSize sizeHint() const override;

    Aspinx* const Aspinx1;
    // Element p is the deck whose ID is p; filled once by Form_Load.
    std::array<QPointer<Frm_TurnTable>, Aspinx::kPlayers> Decks;

    void Form_Load();

    void Aspinx1_SoundDone(int16_t nPlayer);
    void Aspinx1_SoundLoaded(int16_t nPlayer, int16_t nItemIndex);
    void Aspinx1_SoundLoadFailed(int16_t nPlayer, const QString& path, const QString& reason);
    void Aspinx1_VUMeterValueChange(int16_t nPlayer, int16_t nPeakLeft, int16_t nPeakRight);

    void Label4_Click();
    void HScroll1_Change();
    void Cmd_Center_Click(int16_t Index);
    void Opt_DeckA_Click(int16_t Index);
    void Opt_DeckB_Click(int16_t Index);
    void VScroll1_Change();
    void Overlap_Change();

    // Controls.
    QLabel* Lbl_Title;
    ClickLabel* Label4;
    std::array<QRadioButton*, 4> Opt_DeckA;
    std::array<QRadioButton*, 4> Opt_DeckB;
    QSlider* HScroll1;                      // crossfader: 0 all Deck A, 100 all Deck B
    std::array<QPushButton*, 3> Cmd_Center; // elements 1 ("Deck A") and 2 ("Deck B")
    QCheckBox* Chk_Fade;
    QSlider* VScroll1; // master volume 0..100
    QLabel* Label1;
    QLabel* lblMasterVol;
    QSlider* Overlap; // default end marker, ms before a song's end (0..30000)
    QLineEdit* Txt_Overlap;
    QLabel* Label2;

  private:
    // The deck of player `nPlayer`, or null when the player is not one of ours.
    Frm_TurnTable* DeckOf(int16_t nPlayer) const;
    // Sends one deck of the crossfaded pair its share and remembers it as the deck's MaxVol.
    void ApplyCrossfade(Frm_TurnTable& deck, int share);

    QMdiArea& area_;
};

} // namespace spinx
