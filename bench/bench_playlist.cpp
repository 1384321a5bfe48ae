// Playlist figures on the mixer window itself: adding a 100,000-line M3U, and removing 10,000
// scattered selected rows from 100,000. Each includes the list's own layout afterwards. The
// same again while another mixer's 200-song playlist is listened to in the background, and how
// long that playlist's window goes without its event loop while its rows gain tempo and key.
#include "Bench.h"

#include "desk/MixerController.h"
#include "engine/analysis/BackgroundScan.h"
#include "mixer/Frm_Master.h"
#include "support/ProgramFolder.h"
#include "widgets/ListBox.h"

#include <QApplication>
#include <QItemSelection>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace spinx;

constexpr int kRows = 100'000;
constexpr int kRemoved = 10'000;
constexpr int kAnalysedSongs = 200;
constexpr int kRowsPerSong = 10; // the analysed list is 2,000 rows long

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

// 200 songs of 20 s, a 128 BPM kick over a chord, made with sox and lame: one song copied, as
// the desk listens to each path.
std::vector<std::string> AnalysedSongs() {
    const std::string dir = bench::TempFolder(), base = dir + "/loop",
                      sox = "sox -q -n -r 44100 -c 2 -b 16 '";
    const std::string make =
        sox + base + ".kick.wav' synth 0.46875 sine 160/45 fade q 0.002 0.46875 0.3 repeat 41 && " +
        sox + base +
        ".pad.wav' synth 19.6875 sine 220 synth 19.6875 sine mix 261.63 synth 19.6875 "
        "sine mix 329.63 vol 0.3 && sox -q -m '" +
        base + ".kick.wav' '" + base + ".pad.wav' '" + base + ".wav' && lame --silent -b 192 '" +
        base + ".wav' '" + base + ".mp3'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_playlist: cannot make the songs (sox and lame needed)\n");
        std::exit(2);
    }
    std::vector<std::string> songs;
    for (int song = 0; song < kAnalysedSongs; ++song) {
        songs.push_back(dir + "/song " + std::to_string(song) + ".mp3");
        std::filesystem::copy_file(base + ".mp3", songs.back(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    return songs;
}

// A second mixer window whose playlist (each song on several rows) is being listened to.
struct Analysing {
    Mixer mixer;
    explicit Analysing(const std::vector<std::string>& songs) {
        for (int copy = 0; copy < kRowsPerSong; ++copy)
            for (const std::string& song : songs)
                mixer.master.AddFile(song);
    }
    // Songs whose rows show a tempo.
    int Heard() {
        int rows = 0;
        for (int row = 0; row < mixer.List().count(); ++row)
            rows += mixer.List().item(row)->text().contains(QStringLiteral(" BPM"));
        return rows / kRowsPerSong;
    }
};

double ThreadMillis() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Millis(double since) {
    return (bench::NowSeconds() - since) * 1e3;
}

// Loading the big list and removing a tenth of it, as `suffix` names them.
void ListFigures(const std::string& list, const std::string& suffix) {
    const double load = bench::MedianOf(5, [&] {
        Mixer mixer;
        const double started = bench::NowSeconds();
        mixer.master.AddFile(list);
        AwaitRows(mixer.List(), kRows);
        const double ms = Millis(started);
        if (mixer.List().count() != kRows) std::abort();
        return ms;
    });
    bench::Report("m3u_load_100k" + suffix + "_ms", load, 1000, true);

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
        mixer.master.findChild<QPushButton*>(QStringLiteral("Cmd_Remove"))->click();
        QApplication::processEvents();
        const double ms = Millis(started);
        if (mixer.List().count() != kRows - kRemoved) std::abort();
        return ms;
    });
    bench::Report("playlist_remove_10k_of_100k" + suffix + "_ms", remove, 500, true);
}

SPINX_BENCH("playlist") {
    const std::unique_ptr<QApplication> app = ApplicationIfNone();
    SetProgramFolder(bench::TempFolder());
    const std::string list = BigPlaylist();

    ListFigures(list, "");

    // The same while 200 songs are listened to, their rows updated as each is heard.
    Analysing analysing(AnalysedSongs());
    const double started = bench::NowSeconds();
    while (analysing.Heard() == 0 && bench::NowSeconds() - started < 60)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (analysing.Heard() == 0) std::abort();
    ListFigures(list, "_analysing");
    bench::Report("playlist_analysed_during_figures", analysing.Heard());

    // The longest stretch the analysed list's window went without its event loop, in this
    // thread's time (not counting time the machine gave to other programs), over 3 s.
    double longest = 0, last = ThreadMillis();
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, ThreadMillis() - last);
        last = ThreadMillis();
    });
    beat.start(5);
    const int before = analysing.Heard();
    const double from = bench::NowSeconds();
    while (bench::NowSeconds() - from < 3)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    beat.stop();
    bench::Report("playlist_analysis_stall_ms", longest, 50, true);
    bench::Report("playlist_analysed_songs_per_s", (analysing.Heard() - before) / 3.0);
}

} // namespace
