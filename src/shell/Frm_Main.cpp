#include "shell/Frm_Main.h"

#include "deck/Frm_TurnTable.h"
#include "library/SongTable.h"
#include "mixer/Frm_Master.h"
#include "shell/Frm_Status.h"
#include "shell/MdiChild.h"
#include "shell/Twips.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>

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
    connect(Mnu_Window_Arrange, &QAction::triggered, this, [this] { Mnu_Window_Arrange_Click(); });
}

Frm_Main::~Frm_Main() = default;

void Frm_Main::MDIForm_Load() {
    // Without a usable database the program still runs, only without its song memory; the
    // preparation has told the user why.
    PrepareSongDatabase(SongDatabasePath());

    master_ = new Frm_Master(*MdiArea, output_);
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

void Frm_Main::Mnu_Window_Arrange_Click() {
    Arrange();
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
