#pragma once
// What the desk's tests share: a whole program on the engine's offline output in a temporary
// program folder, dialogs and message boxes answered by the test, and generated MP3 files.
#include "deck/Frm_TurnTable.h"
#include "desk/MixerController.h"
#include "mixer/Frm_Master.h"
#include "shell/Frm_Main.h"
#include "support/FileChooser.h"
#include "support/MsgBox.h"
#include "support/ScriptedDialogs.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QString>
#include <QToolButton>

#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// Lets failed expectations on QString print the text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace spinx::test {

// The control of `window` that carries the old control name `name` (for a control array, its
// element `index`); a missing one fails the test.
template <class Control = QWidget>
Control& Ctl(const QObject& window, const char* name, int index = -1) {
    for (Control* control : window.findChildren<Control*>(QString::fromLatin1(name)))
        if (index < 0 || control->property("Index").toInt() == index) return *control;
    throw std::runtime_error(std::string("no control ") + name);
}

// Whether the deck's Play button shows the Pause picture (rather than Play).
inline bool ShowsPause(const QToolButton& button) {
    const QPixmap pause = Ctl<QLabel>(*button.parent(), "Pic_Pause").pixmap();
    return button.icon().pixmap(16).toImage() == pause.toImage();
}

// A tone of `seconds` made with sox and lame, as `folder`/`name`; `effects` are sox's, after the
// tone (a "vol", a "pad" of silence).
std::string MakeMp3(const std::string& folder, const std::string& name, double seconds,
                    const std::string& effects = "");

// The program after start-up, playing offline in a fresh program folder.
class DeskTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    Frm_TurnTable& Deck(int player) { return *master->Deck(static_cast<int16_t>(player)); }
    Aspinx& Engine() { return master->Engine(); }
    // Renders `ms` milliseconds of output, which advances playing players and fires events.
    void Render(int ms);
    // One 100 ms tick of the desk (its rules) and of the deck window (what it shows).
    void Tick(Frm_TurnTable& deck) {
        master->Mixer().Tick();
        deck.Timer1_Timer();
    }
    // Waits for loads under way to finish and delivers their events.
    void Settle();

    OutputKind output = OutputKind::Offline; // set before SetUp to play elsewhere
    TempFolder folder;
    ScriptedDialogs scripted;
    std::unique_ptr<Frm_Main> main;
    Frm_Master* master = nullptr;
};

} // namespace spinx::test
