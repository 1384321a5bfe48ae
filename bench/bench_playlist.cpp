// Playlist figures on the mixer window itself: adding a 100,000-line M3U, and removing 10,000
// scattered selected rows from 100,000. Each includes the list's own layout afterwards.
#include "Bench.h"

#include "mixer/Frm_Master.h"
#include "support/ProgramFolder.h"
#include "widgets/ListBox.h"

#include <QApplication>
#include <QItemSelection>
#include <QMdiArea>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace spinx;

constexpr int kRows = 100'000;
constexpr int kRemoved = 10'000;

// Widgets need an application object, which spinx-bench has not: one for this figure, gone
// before the program's exit (Qt's own globals are gone by then).
std::unique_ptr<QApplication> ApplicationIfNone() {
    if (QApplication::instance()) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "spinx-bench";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

// A playlist in the shape people keep: artist folders below the list's own folder, a header
// and a few comment lines among the songs.
std::string BigPlaylist() {
    const std::string path = bench::TempFolder() + "/big.m3u";
    std::ofstream out(path, std::ios::binary);
    out << "#EXTM3U\r\n";
    for (int song = 0; song < kRows; ++song)
        out << "Artist " << song % 3000 << "/Album/Song number " << song << ".mp3\r\n";
    return path;
}

// The mixer window alone, shown, with its engine producing nothing.
struct Mixer {
    QMdiArea area;
    Frm_Master master{area, OutputKind::Offline};
    ListBox& List() { return *master.findChild<ListBox*>(QStringLiteral("List1")); }
    Mixer() {
        master.show();
        QApplication::processEvents();
    }
};

// Rows go into the list a chunk per turn of the event loop: turns until all `rows` are in.
void AwaitRows(ListBox& list, int rows) {
    for (int turn = 0; turn < 10'000 && list.count() < rows; ++turn)
        QApplication::processEvents();
}

double Millis(double since) {
    return (bench::NowSeconds() - since) * 1e3;
}

SPINX_BENCH("playlist") {
    const std::unique_ptr<QApplication> app = ApplicationIfNone();
    SetProgramFolder(bench::TempFolder());
    const std::string list = BigPlaylist();

    const double load = bench::MedianOf(5, [&] {
        Mixer mixer;
        const double started = bench::NowSeconds();
        mixer.master.AddFile(list);
        AwaitRows(mixer.List(), kRows);
        const double ms = Millis(started);
        if (mixer.List().count() != kRows) std::abort();
        return ms;
    });
    bench::Report("m3u_load_100k_ms", load, 1000, true);

    const double remove = bench::MedianOf(5, [&] {
        Mixer mixer;
        mixer.master.AddFile(list);
        AwaitRows(mixer.List(), kRows);
        QItemSelection every10th;
        for (int row = 0; row < kRows; row += kRows / kRemoved)
            every10th.select(mixer.List().model()->index(row, 0),
                             mixer.List().model()->index(row, 0));
        mixer.List().selectionModel()->select(every10th, QItemSelectionModel::Select);
        QApplication::processEvents();
        const double started = bench::NowSeconds();
        mixer.master.Cmd_Remove_Click();
        QApplication::processEvents();
        const double ms = Millis(started);
        if (mixer.List().count() != kRows - kRemoved) std::abort();
        return ms;
    });
    bench::Report("playlist_remove_10k_of_100k_ms", remove, 500, true);
}

} // namespace
