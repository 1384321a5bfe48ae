#pragma once
// The deck window: drives one player of the engine. It loads a song, plays, pauses and stops it,
// and carries the player's volume, pitch and balance and its level meter. UI thread.
#include "support/Mod_CommonDialog.h"

#include <QIcon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QMdiArea;
class QMimeData;
class QSlider;
class QTimer;
class QToolButton;

namespace spinx {

class Aspinx;
class Frm_Master;
class PictureBox;
class PictureLine;

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
    void GetDBSettings(); // the song has loaded
    void SoundDone();     // the song has played to its end
    void SoundLoadFailed(const QString& path, const QString& reason);
    void DoLevel(int16_t nPeakLeft, int16_t nPeakRight);

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

    // What went wrong with the last song that failed to load; empty when nothing did.
    const QString& LoadFailure() const { return loadFailure_; }

    // Controls.
    QToolButton* Load0Btn;
    QToolButton* Cmd_Play;
    QToolButton* Cmd_Stop;
    QToolButton* Cmd_Update;
    QIcon Pic_Play;
    QIcon Pic_Pause;
    PictureBox* Picture1; // display windows handed to the engine
    PictureBox* Picture2;
    QLabel* Lbl_Status;
    QSlider* VScroll2; // volume: 100 at the top, -100 at the bottom
    QSlider* HScroll3; // pitch 1..2000
    QSlider* HScroll1; // balance 0..100
    QLabel* lblPlayer1Vol;
    QLabel* lblPlayer1Pit;
    QLabel* lblPlayer1Bal;
    PictureBox* Pic_Level;
    PictureLine* Line_MaxVol;
    QWidget* Frame1; // room for the equaliser panel
    QTimer* Timer1;
    CommonDialog CommonDialog1;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    Aspinx& Engine() const;

    Frm_Master& master_;
    QString loadFailure_;
    QString loadFailurePath_;
};

// The loaded decks among the main window's children, in the order their windows were created.
std::vector<Frm_TurnTable*> LoadedTurnTables(const QMdiArea& area);
// The first loaded deck whose ID is `id`, or null.
Frm_TurnTable* FindTurnTable(const QMdiArea& area, int16_t id);

} // namespace spinx
