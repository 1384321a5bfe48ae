#pragma once
// The deck window: drives one player of the engine. It loads a song, plays, pauses and stops it,
// shows where the song is and where it will fade, carries the player's volume, pitch, balance,
// level meter and equaliser, and remembers them per song. Its controls carry their old names as
// object names. UI thread.
#include "deck/DeckDisplay.h"
#include "support/EqGains.h"
#include "support/Mod_CommonDialog.h"
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

class Aspinx;
class DeckHost;
class EqPanel;
class PictureBox;
class PictureLine;
struct Waveform;

class Frm_TurnTable : public QWidget {
    Q_OBJECT
  public:
    // The object name by which the other windows pick decks out of the main window's children.
    static constexpr const char* kName = "Frm_TurnTable";

    explicit Frm_TurnTable(DeckHost& host, QWidget* parent = nullptr);

    // Read and written by the mixer and the main window.
    int16_t ID = 0;       // player number 0..3, set by the mixer before Init
    std::string Filename; // full path of the loaded song; empty when none is loaded
    int32_t EndPos = 0;   // end marker, as a distance before the song's end (ms)
    int32_t StartPos = 0; // start marker: where a stopped song waits (ms)
    int32_t MaxPos = 0;   // song length as last read from the engine (ms)
    int32_t MaxVol = 0;   // the volume last applied by the crossfader (or recalled)

    void Form_Load(); // runs once, before ID is set
    void Init();      // one-time set-up once ID is set

    // Called by the mixer when the engine reports on this deck's player.
    void GetDBSettings(); // the song has loaded: recall its settings
    void SoundDone();     // the song has played to its end
    void SoundLoadFailed(const QString& path, const QString& reason);
    void DoLevel(int16_t nPeakLeft, int16_t nPeakRight);
    void ShowOverview(); // the loaded song's overview, when the engine has one; else blank
    // The marker menu's commands: 0 start marker at the last click on the bar, 1 end marker
    // there, 2 both back to their defaults. Stored with the song.
    void SetPos(int16_t Index);

    // The volume slider's value (100 at the top, -100 at the bottom), the crossfader's ceiling.
    int VolumeSliderValue() const;
    // The ten bands as the sliders hold them.
    EqGains Curve() const;
    // What went wrong with the last song that failed to load; empty when nothing did.
    const QString& LoadFailure() const { return loadFailure_; }

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
    Aspinx& Engine() const;
    // Whether a new song may go onto this deck: one that is playing asks the user first.
    bool MayReplaceSong() const;
    void BuildControls();
    // Places the controls on their twips layout, grown or shrunk with the font.
    void LayOut();
    void DrawTransportPictures(); // in the palette's colours
    void DrawProgress(int32_t position, int32_t length);
    void ShowStatus(int16_t status);
    void BlinkRemaining(int16_t status, int32_t position);
    void ClearLiveDisplays(); // spectrum and level meter
    void DrawDisplays(int16_t status, int32_t position);
    // Runs `work` on the song database when one is open. A failure is reported to the user and
    // gives false; the deck plays on regardless.
    bool WithSongDb(const std::function<void()>& work);

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
    EqPanel* eqPanel_;
    QTimer* tickTimer_;
    CommonDialog dialog_;

    std::vector<std::pair<QWidget*, TwipsRect>> placements_; // the controls on the layout
    std::string shownNameOf_; // the Filename that shownName_ was read for
    QString shownName_;
    QString loadFailure_;
    QString loadFailurePath_;
    int32_t ClickPos = 0;                      // the last mouse position on the bar
    std::shared_ptr<const Waveform> overview_; // drawn into the overview picture, or null
    PictureLine* overviewPosition_ = nullptr;
    std::vector<float> recentOutput_;
    std::optional<SpectrumAnalyser> spectrum_; // made at the engine's rate on first use
};

// The loaded decks among the main window's children, in the order their windows were created.
std::vector<Frm_TurnTable*> LoadedTurnTables(const QMdiArea& area);
// The first loaded deck whose ID is `id`, or null.
Frm_TurnTable* FindTurnTable(const QMdiArea& area, int16_t id);

} // namespace spinx
