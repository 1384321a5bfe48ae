#pragma once
// The deck window: drives one player of the engine. It loads a song, plays, pauses and stops it,
// shows where the song is and where it will fade, carries the player's volume, pitch, balance,
// level meter and equaliser, and remembers them per song. UI thread.
#include "library/EqText.h"
#include "support/Mod_CommonDialog.h"

#include <QIcon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QMdiArea;
class QMimeData;
class QScrollBar;
class QSlider;
class QTimer;
class QToolButton;

namespace spinx {

class Aspinx;
class DbError;
class Frm_Master;
class PictureBox;
class PictureLine;
struct Waveform;

class Frm_TurnTable : public QWidget {
    Q_OBJECT
  public:
    // The object name by which the other windows pick decks out of the main window's children.
    static constexpr const char* kName = "Frm_TurnTable";

    explicit Frm_TurnTable(Frm_Master& master, QWidget* parent = nullptr);

    // Reached by name from the mixer and the main window.
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

    // The ten bands as the sliders hold them.
    EqGains Curve() const;
    // How often the curve has gone to the engine.
    int EqualizerCalls() const { return equalizerCalls_; }

    // What went wrong with the last song that failed to load; empty when nothing did.
    const QString& LoadFailure() const { return loadFailure_; }

    // Controls.
    QToolButton* Load0Btn;
    QToolButton* Cmd_Play;
    QToolButton* Cmd_Stop;
    QToolButton* Cmd_Update;
    QIcon Pic_Play;
    QIcon Pic_Pause;
    PictureBox* Picture1; // the song's overview with the play position
    PictureBox* Picture2; // a live spectrum of what the player sends out
    PictureBox* Pic_Progress;
    std::array<QLabel*, 3> Lbl_Pos; // elapsed, length, remaining
    QLabel* Lbl_Status;
    QLabel* Lbl_Green; // hidden: hold the two status colours
    QLabel* Lbl_Red;
    QSlider* VScroll2; // volume: 100 at the top, -100 at the bottom
    QSlider* HScroll3; // pitch 1..2000
    QSlider* HScroll1; // balance 0..100
    QLabel* lblPlayer1Vol;
    QLabel* lblPlayer1Pit;
    QLabel* lblPlayer1Bal;
    PictureBox* Pic_Level;
    PictureLine* Line_MaxVol;
    QLabel* Label2;  // "Volume"
    QLabel* Label12; // "Pitch"
    QLabel* Label4;  // "Balance"
    QLabel* Label6;  // "L"
    QLabel* Label5;  // "R"
    QCheckBox* Chk_Eq;
    QGroupBox* Frame1; // the equaliser panel
    std::array<QScrollBar*, kEqBands> VEqual;
    std::array<QToolButton*, kEqBands + 1> Cmd_ResetEq; // the band captions, then "reset all"
    QToolButton* Cmd_LoadEq;
    QToolButton* Cmd_SaveEq;
    PictureBox* Pic_EQ;
    QTimer* Timer1;
    CommonDialog CommonDialog1;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Aspinx& Engine() const;
    void BuildEqualiser();
    void SetCurve(const EqGains& curve);
    void DrawEqCurve();
    void DrawProgress(int32_t position, int32_t length);
    void ShowStatus(int16_t status);
    void BlinkRemaining(int16_t status, int32_t position);
    // The overview of the loaded song, when the engine has one; else a blank picture.
    void ShowOverview();
    void ClearDisplays();
    void DrawDisplays(int16_t status, int32_t position);
    // Runs `work` on the song database when one is open. A failure is reported to the user and
    // gives false; the deck plays on regardless.
    bool WithSongDb(const std::function<void()>& work);

    Frm_Master& master_;
    QString loadFailure_;
    QString loadFailurePath_;
    int32_t ClickPos = 0; // the last mouse position on the bar
    int equalizerCalls_ = 0;
    std::shared_ptr<const Waveform> overview_; // drawn into Picture1, or null
    PictureLine* overviewPosition_ = nullptr;
    std::vector<float> recentOutput_;
};

// The loaded decks among the main window's children, in the order their windows were created.
std::vector<Frm_TurnTable*> LoadedTurnTables(const QMdiArea& area);
// The first loaded deck whose ID is `id`, or null.
Frm_TurnTable* FindTurnTable(const QMdiArea& area, int16_t id);

} // namespace spinx
