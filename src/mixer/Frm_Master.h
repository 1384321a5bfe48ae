#pragma once
// The mixer window: owns the engine, creates the four decks, passes the engine's events on to
// them, and mixes Deck A against Deck B with the crossfader under a master volume. It keeps the
// playlist and, with Auto Play, runs a set from it by itself. UI thread.
#include "engine/Aspinx.h"
#include "support/Mod_CommonDialog.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QLabel;
class QListWidgetItem;
class QMdiArea;
class QMimeData;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QToolButton;

namespace spinx {

class ClickLabel;
class Frm_TurnTable;
class ListBox;

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
    // Full paths of every song added during the run. Element 0 stays empty; rows carry their
    // index (ItemData), so elements are never moved or dropped.
    std::vector<std::string> PlaylistFiles{std::string()};
    // The path a playlist row stands for, or null when its ItemData lies outside PlaylistFiles.
    const std::string* PlaylistFile(const QListWidgetItem* row) const;
    // Restores the playlist kept in `file` and keeps it there from now on, saved on every change.
    void KeepPlaylist(const std::string& file);

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

    // Automatic play. The 100 ms tick: one step of a gradual crossfade, then auto play.
    void Timer1_Timer();
    void Chk_AutoFade_Click();

    // The playlist. AddFile adds one MP3 song or the songs of one M3U playlist.
    void AddFile(const std::string& Filename);
    void Cmd_Add_Click();
    void Cmd_Remove_Click();
    void Cmd_Move_Click(int16_t Index); // 0 up, any other down
    void Cmd_Save_Click();
    void List1_Click();
    void List1_MouseDown(Qt::MouseButton Button);
    void List1_MouseMove(const QPoint& pos); // in the list's viewport
    void List1_OLEDragDrop(const QMimeData& Data);

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
    QTimer* Timer1;
    QGroupBox* Frame1; // "Auto Play"
    QCheckBox* Chk_AutoPlay;
    QCheckBox* Chk_AutoFade;
    QGroupBox* Frame4; // "Playlist"
    ListBox* List1;
    QPushButton* Cmd_Add;
    QPushButton* Cmd_Remove;
    std::array<QToolButton*, 2> Cmd_Move; // 0 up, 1 down
    QToolButton* Cmd_Save;
    CommonDialog CommonDialog1;

  private:
    // A row waiting to be put into List1.
    struct PendingRow {
        QString text;
        int index; // into PlaylistFiles
    };
    // Holds back the rows that AddFile makes until the outermost batch ends, so that many
    // files go into the list in one insertion.
    class RowBatch {
      public:
        explicit RowBatch(Frm_Master& master);
        ~RowBatch();
        RowBatch(const RowBatch&) = delete;
        RowBatch& operator=(const RowBatch&) = delete;

      private:
        Frm_Master& master_;
    };
    // The song that automatic play last loaded into a player, and whether it has pressed that
    // deck's Play since: a failed load of that song is answered with the next playlist song.
    struct AutoLoad {
        std::string path;
        bool started = false;
    };

    QGroupBox* BuildPlaylistFrame();
    void AppendSong(const std::string& path);
    std::vector<std::string> ListedSongs() const; // the rows' paths, in list order
    void FlushRows();
    void InsertRows(const std::vector<PendingRow>& rows, std::size_t from, std::size_t to);
    void RemoveRows(const std::vector<bool>& gone, int count);
    void RememberFolder(const std::string& folder);

    // Loads the top playlist row into player nPlayer and takes it off the list, with Auto Play
    // on; false when nothing was loaded.
    bool RefillFromPlaylist(int16_t nPlayer);
    // Presses a deck's Play as automatic play does.
    void StartDeck(Frm_TurnTable& deck);
    // When the playing deck's song has ended while its partner still waits, the partner starts.
    void StartWaitingPartner(int16_t nPlayer);
    // Starts the waiting deck of the pair; with Auto Fade the crossfader then walks to the end
    // `Index` (1 Deck A, 2 Deck B) of Cmd_Center.
    void TakeOver(Frm_TurnTable& deck, int16_t Index);
    void AutoPlayStep();

    // The deck of player `nPlayer`, or null when the player is not one of ours.
    Frm_TurnTable* DeckOf(int16_t nPlayer) const;
    // Sends one deck of the crossfaded pair its share and remembers it as the deck's MaxVol.
    void ApplyCrossfade(Frm_TurnTable& deck, int share);

    QMdiArea& area_;
    std::vector<PendingRow> pendingRows_;
    int batchDepth_ = 0;
    std::array<AutoLoad, Aspinx::kPlayers> autoLoads_;
};

} // namespace spinx
