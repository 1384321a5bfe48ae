#pragma once
// The deck window: a view of one deck's controller. It shows the song, where it is and where it
// will fade, the deck's volume, pitch, balance, level meter and equaliser, and hands what the
// user does to the controller, which holds the deck's state and rules. Its controls carry their
// old names as object names. UI thread.
#include "deck/DeckDisplay.h"
#include "desk/BeatMix.h"
#include "desk/DeskTypes.h"
#include "engine/PlayerStatus.h"
#include "support/EqGains.h"
#include "widgets/Twips.h"

#include <QIcon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QMdiArea;
class QMimeData;
class QSlider;
class QTimer;
class QToolButton;

namespace spinx {

class DeckController;
class DeckHost;
class EqPanel;
class PictureBox;
class PictureLine;
struct Waveform;

class Frm_TurnTable : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kName = "Frm_TurnTable";

    Frm_TurnTable(DeckController& deck, DeckHost& host, QWidget* parent = nullptr);

    DeckController& Controller() const { return deck_; }
    int16_t ID() const;

    void Form_Load(); // runs once, when the window is made

    void DoLevel(int16_t nPeakLeft, int16_t nPeakRight);
    void ShowOverview(); // the loaded song's overview, when the engine has one; else blank
    // The marker menu's commands: 0 start marker at the last click on the bar, 1 end marker
    // there, 2 both back to their defaults. Stored with the song.
    void SetPos(int16_t Index);

    // Handlers.
    void Load0Btn_Click();
    void Cmd_Play_Click();
    void Cmd_Stop_Click();
    void Form_OLEDragDrop(const QMimeData& data);
    // A row of the mixer's playlist dragged here: `Source` is the control it came from.
    void Form_DragDrop(const QObject* Source);
    void VScroll2_Change();
    void HScroll3_Change();
    void HScroll1_Change();
    void Timer1_Timer();
    void Cmd_Update_Click();
    void VEqual_Change(int16_t Index);
    void Chk_Eq_Click();
    void Cmd_ResetEq_Click(int16_t Index);
    void Cmd_LoadEq_Click();
    void Cmd_SaveEq_Click();
    // Button 1 left, 2 right; X and Y in the bar's scale (X is a song position).
    void Pic_Progress_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void Pic_Progress_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    // A double-click on the pitch or the balance label: the slider back to neutral.
    void Label12_DblClick();
    void Label4_DblClick();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildControls();
    // Places the controls on their twips layout, grown or shrunk with the font.
    void LayOut();
    void DrawTransportPictures(); // in the palette's colours
    void DrawProgress(int32_t position, int32_t length);
    void ShowStatus(PlayerStatus status);
    void BlinkRemaining();
    void ClearLiveDisplays(); // spectrum and level meter
    void DrawDisplays(PlayerStatus status, int32_t position);
    // The controls take the deck's settings, without sending them back.
    void ShowSettings();
    void ShowTransport();
    void ShowTempo();
    // Beat ticks and bar lines over the overview, `columns` wide.
    void DrawBeatGrid(int columns);
    void LoadSong(const std::string& path, LoadOrigin origin);

    DeckController& deck_;
    DeckHost& host_;
    QToolButton* loadButton_;
    QToolButton* playButton_;
    QToolButton* stopButton_;
    QToolButton* saveSettingsButton_; // lit while settings wait to be saved
    QIcon playIcon_;
    QIcon pauseIcon_;
    QLabel* playPicture_;
    QLabel* pausePicture_;
    PictureBox* overviewPicture_; // the song's overview with the play position
    PictureBox* spectrumPicture_; // a live spectrum of what the player sends out
    PictureBox* progressBar_;
    std::array<QLabel*, 3> timeLabels_; // elapsed, length, remaining
    QLabel* statusLabel_;
    QLabel* greenSample_; // hidden: hold the two status colours
    QLabel* redSample_;
    QSlider* volumeSlider_;  // 100 at the top, -100 at the bottom
    QSlider* pitchSlider_;   // 1..2000
    QSlider* balanceSlider_; // 0..100
    QLabel* volumeValue_;
    QLabel* pitchValue_;
    QLabel* balanceValue_;
    QLabel* pitchLabel_;
    QLabel* balanceLabel_;
    PictureBox* levelMeter_;
    PictureLine* maxVolLine_;
    QCheckBox* eqCheck_;
    QToolButton* syncButton_;
    QCheckBox* quantizeCheck_;
    QCheckBox* keyLockCheck_;
    QToolButton* cueButton_;
    QLabel* tempoLabel_; // the tempo as heard and the key, once the song is analysed
    EqPanel* eqPanel_;
    QTimer* tickTimer_;

    std::vector<std::pair<QWidget*, TwipsRect>> placements_; // the controls on the layout
    int32_t clickPos_ = 0; // the last mouse position on the bar, a song position
    std::shared_ptr<const Waveform> overview_; // drawn into the overview picture, or null
    std::optional<MixSong> shownMusic_;        // the beat grid drawn over it
    PictureLine* overviewPosition_ = nullptr;
    std::vector<float> recentOutput_;
    std::optional<SpectrumAnalyser> spectrum_; // made at the engine's rate on first use
};

// Whether a new song may go onto `deck`: one that is playing asks the user first.
bool MayLoadOver(const DeckController& deck);

} // namespace spinx
