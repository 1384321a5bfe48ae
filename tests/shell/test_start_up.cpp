// Start-up in two halves: the window is painted before the song table, the kept playlist and the
// command-line songs come, the desk ends as a one-piece start-up left it, and the window keeps
// answering while many songs go in.
#include "desktest/DeskTest.h"
#include "library/SongTable.h"
#include "support/KeptPlaylist.h"
#include "widgets/ListBox.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace spinx::test {
namespace {

// Calls `seen` at the first expose of `window`, before the window paints it.
class FirstExpose : public QObject {
  public:
    FirstExpose(QWidget& window, std::function<void()> seen)
        : window_(window), seen_(std::move(seen)) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!fired && event->type() == QEvent::Expose && watched == window_.windowHandle() &&
            window_.windowHandle()->isExposed()) {
            fired = true;
            seen_();
        }
        return false;
    }
    bool fired = false;

  private:
    QWidget& window_;
    std::function<void()> seen_;
};

class StartUpTest : public DeskTest {
  protected:
    // A fresh main window, as the program makes it, instead of the fixture's finished one, in a
    // folder without a song database, as a new user starts.
    void SetUp() override {
        DeskTest::SetUp();
        main->close();
        for (const char* file : {"spinx.mdb", "spinx.mdb-wal", "spinx.mdb-shm"})
            std::filesystem::remove(folder / file);
        main = std::make_unique<Frm_Main>(output);
        main->MDIForm_Load();
        master = main->MasterForm();
    }
    std::vector<std::string> Listed() const {
        std::vector<std::string> paths;
        for (int row = 0; row < Ctl<ListBox>(*master, "List1").count(); ++row) {
            const std::string* path = master->PlaylistRowPath(row);
            paths.push_back(path ? *path : "<none>");
        }
        return paths;
    }
    // Runs the event loop until the second half of start-up is done (at most 10 s).
    bool WaitLoaded() {
        QSignalSpy loaded(main.get(), &Frm_Main::loaded);
        return !main->Loading() || loaded.wait(10000);
    }
};

// The kept playlist comes back and the command-line songs follow it in order; the window was
// painted before the song table opened and before any row; the list is kept again with the
// new songs.
TEST_F(StartUpTest, WindowFirstThenTheSameDesk) {
    const std::string song = MakeMp3(folder.path(), "tone.mp3", 1.0);
    std::vector<std::string> kept, added;
    for (const char* name : {"kept1.mp3", "kept2.mp3", "kept3.mp3"}) {
        kept.push_back(folder / name);
        std::filesystem::copy_file(song, kept.back());
    }
    for (int i = 0; i < 100; ++i) {
        added.push_back(folder / ("added" + std::to_string(100 + i) + ".mp3"));
        std::filesystem::copy_file(song, added.back());
    }
    const std::string keptFile = folder / "playlist.m3u";
    ASSERT_TRUE(SaveKeptPlaylist(keptFile, kept, nullptr));

    int rowsAtExpose = -1;
    bool tableAtExpose = true;
    FirstExpose expose(*main, [&] {
        rowsAtExpose = Ctl<ListBox>(*master, "List1").count();
        tableAtExpose = SongDbIsOpen();
    });
    main->show();
    main->LoadAfterShow(keptFile, added);
    ASSERT_TRUE(WaitLoaded());

    ASSERT_TRUE(expose.fired);
    EXPECT_EQ(rowsAtExpose, 0);
    EXPECT_FALSE(tableAtExpose);
    EXPECT_TRUE(SongDbIsOpen());
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(Listed(), expected);
    QTRY_VERIFY_WITH_TIMEOUT(LoadKeptPlaylist(keptFile) == expected, 5000);
}

// A long command line goes in over many turns of the event loop, so the window answers
// between them, and still in order.
TEST_F(StartUpTest, ManySongsGoInSlices) {
    std::vector<std::string> added;
    for (int i = 0; i < 20000; ++i)
        added.push_back(folder / ("missing" + std::to_string(i) + ".mp3"));
    int turns = 0, insertions = 0, turnsAtFirst = -1, turnsAtLast = -1;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] { ++turns; });
    turn.start(0);
    QObject::connect(Ctl<ListBox>(*master, "List1").model(), &QAbstractItemModel::rowsInserted,
                     [&] {
                         if (insertions++ == 0) turnsAtFirst = turns;
                         turnsAtLast = turns;
                     });
    main->show();
    main->LoadAfterShow({}, added);
    ASSERT_TRUE(WaitLoaded());

    EXPECT_EQ(Listed(), added);
    EXPECT_GT(turnsAtLast, turnsAtFirst) << "all rows went in during one turn";
}

// Closing the window while start-up is under way drops the rest: the song table is not
// created (not even while the closing notice paints), and the kept playlist stays as it was.
TEST_F(StartUpTest, ClosingDuringStartUpDropsTheRest) {
    const std::string keptFile = folder / "playlist.m3u";
    const std::vector<std::string> kept{folder / "kept.mp3"};
    ASSERT_TRUE(SaveKeptPlaylist(keptFile, kept, nullptr));
    // Not shown, the steps would start at once from the event loop; it runs long enough here
    // for any of them to have started.
    main->LoadAfterShow(keptFile, {folder / "late.mp3"});
    main->close();
    QTest::qWait(100);

    EXPECT_FALSE(main->Loading());
    EXPECT_FALSE(SongDbIsOpen());
    EXPECT_FALSE(std::filesystem::exists(folder / "spinx.mdb"));
    EXPECT_EQ(LoadKeptPlaylist(keptFile), kept);
}

} // namespace
} // namespace spinx::test
