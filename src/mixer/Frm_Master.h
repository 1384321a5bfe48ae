#pragma once
// The mixer window: owns the engine and the desk's mixer controller, makes the four deck windows
// and hosts them, and shows the crossfader, the pair, the master volume, the overlap and auto
// play's switches, handing what the user does to the controller. It keeps the playlist, which
// auto play takes its songs from. Its controls carry their old names as object names. UI thread.
#include "deck/DeckHost.h"
#include "desk/DeskTypes.h"
#include "engine/Aspinx.h"
#include "mixer/AutoPlay.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QCheckBox;
class QDial;
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
namespace engine {
class BackgroundScan;
}
class MixerController;
struct MixSong;

// A playlist row's text: the song's title and, once its music is known, its tempo at its own
// speed and its key's wheel code ("Title  ·  128.0 BPM  8A"); a song without a steady beat
// shows only its key, one with neither shows its title alone.
QString PlaylistRowText(const QString& title, const MixSong* music);

class Frm_Master : public QWidget, private DeckHost {
    Q_OBJECT
  public:
    // `output` is where the engine plays: the program uses the default device, tests render
    // offline or into nothing.
    Frm_Master(QMdiArea& area, OutputKind output, QWidget* parent = nullptr);
    ~Frm_Master() override;

    QSize sizeHint() const override;

  protected:
    // The heights that are not text follow the font too, so a smaller font gives a shorter mixer.
    void changeEvent(QEvent* event) override;

  public:
    Aspinx& Engine() const { return *engine_; }
    MixerController& Mixer() const { return *mixer_; }
    // The deck window whose ID is `player`, or null; there are four once Form_Load has run.
    Frm_TurnTable* Deck(int16_t player) const;
    // The deck windows, in player order.
    std::vector<Frm_TurnTable*> Decks() const;
    // Restores the playlist kept in `file` and keeps it there from now on, saved on every change.
    void KeepPlaylist(const std::string& file);

    void Form_Load();

    void Label4_Click();
    void HScroll1_Change();
    void Cmd_Center_Click(int16_t Index);
    void Opt_DeckA_Click(int16_t Index);
    void Opt_DeckB_Click(int16_t Index);
    void VScroll1_Change();
    void Overlap_Change();

    // The 100 ms tick: one step of a gradual crossfade, then auto play.
    void Timer1_Timer();
    void Chk_AutoFade_Click();
    const AutoPlay& AutoPlayer() const;
    // "Level songs": each deck plays at a trim that brings its song to the target loudness, on
    // top of its own volume; off, no deck is trimmed. Kept in the settings file.
    void Chk_Level_Click();
    // Measures the loudness of songs loaded for the first time, in the background.
    engine::BackgroundScan& LoudnessScanner() const;

    // Starts recording the master mix to a FLAC or WAV file chosen in a Save dialog, or, while
    // recording, stops.
    void StartOrStopRecording();
    bool IsRecording() const;
    // Finalises the recording, so that the file opens. The user hears about a problem, and
    // about `why` when it is given (the recording did not stop at their asking).
    void StopRecording(const std::string& why = "");

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
    // The current row into the first deck of Deck A and Deck B that is stopped: the player it
    // went to, or -1 (told to the user when both decks are busy).
    int16_t LoadCurrentRow();
    // The current row (the top one when none is) into the deck of `player`, as a drag onto that
    // deck does; the next row then becomes current.
    void LoadCurrentRowInto(int16_t player);
    // The crossfader moved by `delta` (toward Deck B when positive), stopped at its ends.
    void NudgeCrossfader(int delta);
    // The path a playlist row stands for, or null when it stands for none.
    const std::string* PlaylistRowPath(int row) const override;

  signals:
    // A deck asked for the marker menu; the main window owns it.
    void markerMenuRequested();
    void recordingChanged(bool recording);

  private:
    static constexpr int kPlaylistLines = 5; // the least room for the playlist, in rows
    // DeckHost.
    void RequestMarkerMenu() override { emit markerMenuRequested(); }
    QString SongName(const std::string& path) const override;
    void SyncDeck(int16_t player) override;
    // The controls show the mixer controller's state, without sending it back.
    void ShowPair();
    void ShowCrossfader();
    void ShowAutomation();
    void SongSkipped(const std::string& path, const QString& reason);

    QGroupBox* BuildPlaylistFrame();
    // The list shows what the mixer controller's playlist holds.
    void BindPlaylist();
    void InsertQueuedRows();
    // Names rows after their songs' tags as the names come in from the title scan.
    void RetitleRows();
    // The title scan's report: the song's name, or why it is no song file at all.
    void SongNamed(const std::string& path, const QString& name, const char* refused);
    // Shows the tempo and key of the songs whose music became known on their named rows.
    void ShowRowsMusic();
    void TellRefusals();
    void RemoveRows(const std::vector<bool>& gone);
    void MoveRow(int from, int to);
    void RememberFolder(const std::string& folder);
    // The recording's time on the label, each tick; a recording whose file failed is stopped.
    void ShowRecordingTime();

    Aspinx* const engine_;
    QMdiArea& area_;
    // Element p is the deck whose ID is p; filled once by Form_Load.
    std::array<QPointer<Frm_TurnTable>, Aspinx::kPlayers> decks_;
    // The list shows the playlist's first rows; the rest go in a chunk per turn.
    int shown_ = 0;
    QTimer* retitleTimer_ = nullptr;
    QTimer* insertTimer_ = nullptr;
    QTimer* refusalTimer_ = nullptr;
    // What the title scan keeps of each file it has read.
    struct KnownTitle {
        long changed = 0; // modification time, s
        std::string name;
    };
    std::unique_ptr<engine::BackgroundScan> titleScan_;
    std::unordered_map<std::string, QString> names_; // the songs' names as rows show them
    std::vector<std::string> refusals_;              // not yet told
    int retitleRow_ = 0;                             // rows above it have been named
    std::unordered_set<std::string> musicChanged_;   // songs whose rows show too little
    QTimer* rowMusicTimer_ = nullptr;

    std::unique_ptr<MixerController> mixer_;
    std::string recordFolder_; // where the last recording went; "" before the first
    int recordFilter_ = 1;     // its format, as the Save dialog's filter (1 FLAC, 2 WAV)

    QLabel* titleLabel_;
    ClickLabel* webSiteLink_;
    std::array<QRadioButton*, 4> deckAButtons_;
    std::array<QRadioButton*, 4> deckBButtons_;
    QSlider* crossfader_;                       // 0 all Deck A, 100 all Deck B
    std::array<QPushButton*, 3> centreButtons_; // elements 1 ("Deck A") and 2 ("Deck B")
    QCheckBox* fadeCheck_;
    QSlider* masterVolumeSlider_; // 0..100
    QDial* cueMixDial_;
    QDial* phonesDial_;
    QLabel* masterVolumeValue_;
    QSlider* overlapSlider_; // default end marker, ms before a song's end (0..30000)
    QLineEdit* overlapText_;
    QTimer* tickTimer_;
    QCheckBox* autoPlayCheck_;
    QCheckBox* autoFadeCheck_;
    QCheckBox* levelCheck_;
    QCheckBox* beatMixCheck_;
    QLabel* recordingLabel_; // the recording's elapsed time, shown while it runs
    QLabel* skippedNote_;    // names a song auto play skipped, for a few seconds
    int skippedTicks_ = 0;   // ticks left before the note goes
    ListBox* playlist_;
    std::array<QToolButton*, 2> moveButtons_; // 0 up, 1 down
};

} // namespace spinx
