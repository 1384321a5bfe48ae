#pragma once
// The main window: parent of the mixer and the decks. It starts the program up, arranges its
// child windows and shuts the program down. UI thread.
#include "engine/Aspinx.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

namespace spinx {

class Frm_Help;
class Frm_Master;
class Frm_Status;

// Where a deck goes in the standard arrangement: the decks fill a column beside the mixer, as
// many rows as fit, then the next column, so that no deck lies over another.
struct DeckSlot {
    int column;
    int row;
};
DeckSlot ArrangeSlot(int16_t id, int rowsThatFit);

class Frm_Main : public QMainWindow {
    Q_OBJECT
  public:
    // `output` is where the engine plays: the program uses the default device, tests render
    // offline or into nothing.
    explicit Frm_Main(OutputKind output = OutputKind::Default, QWidget* parent = nullptr);
    ~Frm_Main() override;

    // Start-up, first half: the mixer (which creates the decks) and the arrangement, which the
    // first paint shows.
    void MDIForm_Load();
    // Start-up, second half, from the event loop once the window has been painted (at once when
    // it is not shown): the song database, the stored sound device, the playlist kept in
    // `keptPlaylist` (none when empty), then `songs` appended after it in order, a slice at a
    // time so that the window keeps answering. Closing the window drops what is left.
    void LoadAfterShow(std::string keptPlaylist, std::vector<std::string> songs);
    // Whatever is left of the second half, done now (tests and tools that need the whole desk).
    void FinishLoading();
    bool Loading() const { return loadStep_ != LoadStep::Done; }
    // Mixer at the top left, as tall as the area; the decks beside it, each in its own place.
    void Arrange();

    void Mnu_File_Exit_Click();
    // Lists the sound devices; the one chosen plays from then on and is kept in the settings.
    void Mnu_File_AudioOutput_Click();
    // Starts recording the mix into a file chosen in a Save dialog, or stops the recording.
    void Mnu_File_RecordMix_Click();
    // Flips the item's check mark, then shows every deck whose item is checked and hides the
    // others.
    void Mnu_View_Deck_Click(int16_t Index);
    void Mnu_Window_Arrange_Click();
    // The marker menu: passes Index on to the active deck's SetPos; with any other window
    // active it does nothing.
    void Mnu_SetPos_Click(int16_t Index);
    // Same as the help key F1: the help window at its contents.
    void Mnu_Help_Contents_Click();
    void HelpKey_Press();

    // Shut-down, in the order the window closes: the notice, then (after the children are
    // gone) the database.
    void MDIForm_QueryUnload();
    void MDIForm_Unload();

    QMdiArea& Area() const { return *area_; }
    Frm_Master* MasterForm() const { return master_; }
    Frm_Status* StatusForm() const { return status_.get(); } // null unless shutting down
    Frm_Help* HelpForm() const { return help_; }             // null until help was asked for
    // The status bar line while the engine plays into nothing, and once when sound is back;
    // a timer calls it, and so does every change of device.
    void CheckOutput();

  signals:
    // The second half of start-up is done.
    void loaded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // The desk's keys: transport and loading per deck, the crossfader, auto play and fade.
    void BuildControlsMenu(QMenu* controls);
    // Whether the program may end: with a deck playing the user is asked first.
    bool MayExit() const;
    void UnloadChildren();
    // Sized to show the mixer and the decks that are visible, within the screen.
    void FitToChildren();
    // The room the child windows may fill: the area's once the window is up, else what the
    // screen leaves below the menu bar.
    QSize Room() const;
    // The menu bar and, while it shows, the status line: what the window holds besides the area.
    int FrameBarsHeight() const;
    // Places the mixer and the decks for Arrange at the area's present font.
    void PlaceWindows();
    // Whether the mixer and all four decks, as placed, are in view at once.
    bool DeskInView() const;
    // On a screen scaled up, draws the desk smaller (never below its size at scale 1) until the
    // mixer and the four decks are in view at once.
    void FitDeskToRoom();
    // The mixer fills the area's height, so its playlist grows with the window.
    void StretchMixer();
    void AddAudioOutputItem(QMenu& file, QAction* before);
    void AddRecordMixItem(QMenu& file, QAction* before);
    // The device kept in the settings, when it is still there; else the default stays.
    void UseStoredOutputDevice();
    void UseStoredHeadphones();
    void ChooseHeadphones(const QStringList& devices);
    void ShowHeadphonesLost(const QString& device, const QString& reason);
    enum class LoadStep { SongTable, OutputDevice, KeptPlaylist, Songs, Done };
    // One step of the second half of start-up; the songs step adds one slice.
    void RunLoadStep();
    void AddSongsSlice();

    QMdiArea* area_;
    std::array<QAction*, 4> viewDeckItems_;
    QMenu* markerMenu_; // opened as a pop-up menu only
    QList<QKeySequence> deskKeys_;

    OutputKind output_;
    Frm_Master* master_ = nullptr;
    std::unique_ptr<Frm_Status> status_;
    Frm_Help* help_ = nullptr;
    bool unloaded_ = false;
    bool shown_ = false;
    bool fitted_ = false; // the desk's font was chosen to fit a scaled screen
    QLabel* outputLine_;
    QTimer* outputLineHide_;
    QTimer* outputWatch_;
    OutputKind shownOutput_ = OutputKind::Default; // what the line last told

    LoadStep loadStep_ = LoadStep::Done;
    QTimer* loadTimer_;    // runs the next step of the second half from the event loop
    bool exposed_ = false; // the window has been on screen
    std::string keptPlaylist_;
    std::vector<std::string> songsToAdd_;
    std::size_t songsAdded_ = 0;
};

} // namespace spinx
