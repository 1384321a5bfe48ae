#include "shell/Frm_Main.h"

#include "deck/Frm_TurnTable.h"
#include "library/SongTable.h"
#include "mixer/Frm_Master.h"
#include "shell/Frm_Help.h"
#include "shell/Frm_Status.h"
#include "widgets/MdiChild.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QCursor>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShortcut>

#include <algorithm>
#include <vector>

namespace spinx {

namespace {
// How far each deck overlaps the mixer's right edge.
constexpr int kDeckOverlapTwips = 150;
} // namespace

int ArrangeRow(int16_t id) {
    return std::clamp<int>(id, 0, 2);
}

Frm_Main::Frm_Main(OutputKind output, QWidget* parent) : QMainWindow(parent), output_(output) {
    setObjectName(QStringLiteral("Frm_Main"));
    setWindowTitle(QStringLiteral("Spinx"));
    MdiArea = new QMdiArea(this);
    setCentralWidget(MdiArea);

    Mnu_File = menuBar()->addMenu(QStringLiteral("&File"));
    Mnu_File_Exit = Mnu_File->addAction(QStringLiteral("E&xit"));
    Mnu_View = menuBar()->addMenu(QStringLiteral("&View"));
    for (int i = 0; i < 4; ++i) {
        Mnu_View_Deck[i] = Mnu_View->addAction(QStringLiteral("Deck &%1").arg(i + 1));
        Mnu_View_Deck[i]->setCheckable(true);
        Mnu_View_Deck[i]->setChecked(i < 2);
    }
    Mnu_Window = menuBar()->addMenu(QStringLiteral("&Window"));
    Mnu_Window_Arrange = Mnu_Window->addAction(QStringLiteral("&Arrange"));
    Mnu_Help = menuBar()->addMenu(QStringLiteral("&Help"));
    Mnu_Help_Contents = Mnu_Help->addAction(QStringLiteral("&Contents"));
    Mnu_Setup = new QMenu(QStringLiteral("setup"), this);
    Mnu_SetPos = {Mnu_Setup->addAction(QStringLiteral("Set &Start Position")),
                  Mnu_Setup->addAction(QStringLiteral("Set &End Position")),
                  Mnu_Setup->addAction(QStringLiteral("&Reset Start/End"))};

    connect(Mnu_File_Exit, &QAction::triggered, this, [this] { Mnu_File_Exit_Click(); });
    for (int16_t i = 0; i < 4; ++i) {
        connect(Mnu_View_Deck[i], &QAction::triggered, this, [this, i] {
            // The action has flipped its own check mark; the handler flips it as it always has.
            Mnu_View_Deck[i]->toggle();
            Mnu_View_Deck_Click(i);
        });
    }
    connect(Mnu_Window_Arrange, &QAction::triggered, this, [this] { Mnu_Window_Arrange_Click(); });
    for (int16_t i = 0; i < 3; ++i)
        connect(Mnu_SetPos[i], &QAction::triggered, this, [this, i] { Mnu_SetPos_Click(i); });
    connect(Mnu_Help_Contents, &QAction::triggered, this, [this] { Mnu_Help_Contents_Click(); });
    // F1 asks for help from any window of the program, the help window included.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setContext(Qt::ApplicationShortcut);
    connect(helpKey, &QShortcut::activated, this, [this] { HelpKey_Press(); });
}

Frm_Main::~Frm_Main() = default;

void Frm_Main::MDIForm_Load() {
    // Without a usable database the program still runs, only without its song memory; the
    // preparation has told the user why.
    PrepareSongDatabase(SongDatabasePath());

    master_ = new Frm_Master(*MdiArea, output_);
    connect(master_, &Frm_Master::markerMenuRequested, this,
            [this] { Mnu_Setup->popup(QCursor::pos()); });
    QMdiSubWindow* window = AddChildWindow(*MdiArea, master_);
    window->adjustSize();
    window->show();
    master_->Form_Load();

    Arrange();
    FitToChildren();
}

void Frm_Main::Arrange() {
    if (!master_) return;
    QWidget* mixerWindow = master_->parentWidget();
    mixerWindow->move(0, 0);
    const int deckLeft = mixerWindow->width() - TwipsToPixels(kDeckOverlapTwips);
    for (Frm_TurnTable* deck : LoadedTurnTables(*MdiArea)) {
        QWidget* window = deck->parentWidget();
        window->move(deckLeft, window->height() * ArrangeRow(deck->ID));
    }
}

void Frm_Main::FitToChildren() {
    QRect used;
    for (QMdiSubWindow* window : MdiArea->subWindowList())
        if (!window->isHidden()) used |= window->geometry();
    const QSize client =
        used.size() + QSize(used.x(), used.y()) + QSize(2, 2) * MdiArea->frameWidth();
    QSize wanted(client.width(), client.height() + menuBar()->sizeHint().height());
    if (const QScreen* screen = this->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    resize(wanted);
}

void Frm_Main::Mnu_File_Exit_Click() {
    close();
}

void Frm_Main::Mnu_View_Deck_Click(int16_t Index) {
    if (Index < 0 || Index >= static_cast<int16_t>(Mnu_View_Deck.size())) return;
    Mnu_View_Deck[Index]->setChecked(!Mnu_View_Deck[Index]->isChecked());
    for (Frm_TurnTable* deck : LoadedTurnTables(*MdiArea)) {
        if (deck->ID < 0 || deck->ID >= static_cast<int16_t>(Mnu_View_Deck.size())) continue;
        // Hiding only hides: the deck keeps its song and goes on playing.
        deck->parentWidget()->setVisible(Mnu_View_Deck[deck->ID]->isChecked());
    }
}

void Frm_Main::Mnu_Window_Arrange_Click() {
    Arrange();
}

void Frm_Main::Mnu_SetPos_Click(int16_t Index) {
    QMdiSubWindow* active = MdiArea->activeSubWindow();
    QWidget* form = active ? active->widget() : nullptr;
    if (!form || form->objectName() != QLatin1String(Frm_TurnTable::kName)) return;
    if (auto* deck = qobject_cast<Frm_TurnTable*>(form)) deck->SetPos(Index);
}

void Frm_Main::Mnu_Help_Contents_Click() {
    HelpKey_Press();
}

void Frm_Main::HelpKey_Press() {
    if (!help_) help_ = new Frm_Help(this);
    help_->ShowContents();
}

void Frm_Main::closeEvent(QCloseEvent* event) {
    // Whether closed from the title bar or through File > Exit, the program ends one way.
    if (!unloaded_) {
        unloaded_ = true;
        MDIForm_QueryUnload();
        UnloadChildren();
        MDIForm_Unload();
    }
    event->accept();
}

void Frm_Main::MDIForm_QueryUnload() {
    if (!status_) status_ = std::make_unique<Frm_Status>();
    status_->ShowCentred();
    status_->Progress(QStringLiteral("Shutting down, please wait..."), 0, 1);
    hide();
}

void Frm_Main::UnloadChildren() {
    // Newest first: the decks go before the mixer whose engine they play through.
    std::vector<QPointer<QMdiSubWindow>> windows;
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder))
        windows.emplace_back(window);
    std::reverse(windows.begin(), windows.end());
    master_ = nullptr;
    for (QPointer<QMdiSubWindow>& window : windows)
        delete window.data();
}

void Frm_Main::MDIForm_Unload() {
    CloseSongDatabase();
    status_.reset();
}

} // namespace spinx
