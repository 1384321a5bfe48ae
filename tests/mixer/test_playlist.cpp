// The playlist: M3U reading and writing, the Add dialog, moving and removing rows, drops from
// the desktop and the drag of a row onto a deck.
#include "deck/SongSettings.h"
#include "desktest/DeckDriving.h"
#include "engine/analysis/BackgroundScan.h"
#include "mixer/M3u.h"
#include "support/FileIo.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_INI.h"
#include "widgets/ListBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

#include <sys/stat.h>
#include <time.h>

namespace spinx::test {
namespace {

using PlaylistTest = DeskTest;

std::vector<std::string> Rows(const ListBox& list) {
    std::vector<std::string> texts;
    for (int row = 0; row < list.count(); ++row)
        texts.push_back(list.item(row)->text().toStdString());
    return texts;
}

std::vector<std::string> Paths(const Frm_Master& master) {
    std::vector<std::string> paths;
    for (int row = 0; row < Ctl<ListBox>(master, "List1").count(); ++row) {
        const std::string* path = master.PlaylistRowPath(row);
        paths.push_back(path ? *path : "<none>");
    }
    return paths;
}

// Lets the event loop run until the title scan has named every row (at most a few seconds).
void WaitForNames(const ListBox& list) {
    for (int i = 0; i < 500; ++i) {
        QApplication::processEvents();
        bool named = true;
        for (int row = 0; row < list.count() && named; ++row)
            named = list.item(row)->data(Qt::UserRole + 1).toBool();
        if (named) return;
        QThread::msleep(10);
    }
}

// Selects `rows` as a click and ctrl-clicks would: the first becomes the current row.
void Select(ListBox& list, std::initializer_list<int> rows) {
    list.clearSelection();
    list.setCurrentRow(*rows.begin());
    for (int row : rows)
        list.item(row)->setSelected(true);
}

std::string Mp3Path() {
    return ReadINI("", "MP3 Path", "<unset>", "Settings");
}

// M3U lines: blanks and "#" lines name no song, absolute lines (drive, share, leading
// separator) stand as they are, relative ones join the list's folder, "\" separates folders.
// Saved lines are relative with "/" only below the list's folder (a whole folder name, with
// its case), else the full path; every line ends in CR LF and reads back to the same path.
TEST(PlaylistRules, ReadingAndWritingLines) {
    EXPECT_FALSE(M3uSongPath("/lists", "  \t"));
    EXPECT_EQ(M3uSongPath("/", "c.mp3"), "/c.mp3");
    EXPECT_EQ(M3uSongPath("/lists", "\\music\\e.mp3"), "/music/e.mp3");
    EXPECT_EQ(M3uSongPath("/lists", "C:\\Music\\f.mp3"), "C:\\Music\\f.mp3");
    EXPECT_EQ(M3uSongPath("/lists", "\\\\server\\share\\g.mp3"), "\\\\server\\share\\g.mp3");
    EXPECT_EQ(M3uSongs("/l", "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,x\r\na.mp3\r\n\r\nB b.mp3\nc.mp3"),
              (std::vector<std::string>{"/l/a.mp3", "/l/B b.mp3", "/l/c.mp3"}));

    EXPECT_EQ(M3uLine("/music/a", "/music/ab/z.mp3"), "/music/ab/z.mp3");
    EXPECT_EQ(M3uLine("/music", "/Music/x.mp3"), "/Music/x.mp3");
    EXPECT_EQ(M3uLine("/", "/music/x.mp3"), "music/x.mp3");
    const std::vector<std::string> songs = {"/m/a.mp3", "/m/Rock/Live/b.mp3", "/other/c.mp3",
                                            "C:\\Music\\d.mp3"};
    const std::string text = M3uText("/m/", songs);
    EXPECT_EQ(text, "a.mp3\r\nRock/Live/b.mp3\r\n/other/c.mp3\r\nC:\\Music\\d.mp3\r\n");
    EXPECT_EQ(M3uSongs("/m", text), songs);
}

// The Add dialog: Cancel changes nothing; a choice adds the files in the dialog's order (names
// kept exactly, a leading blank too; extensions in any case), shows base names and remembers
// the folder under "MP3 Path".
TEST_F(PlaylistTest, AddThroughTheDialog) {
    WriteINI("", "MP3 Path", "/start/here", "Settings");
    scripted.Cancel();
    master->Cmd_Add_Click();
    ASSERT_EQ(scripted.dialogs.size(), 1u);
    const FileRequest& shown = scripted.dialogs[0];
    EXPECT_EQ(shown.folder, "/start/here");
    EXPECT_TRUE(shown.multiple);
    EXPECT_EQ(Ctl<ListBox>(*master, "List1").count(), 0);
    EXPECT_EQ(Mp3Path(), "/start/here");

    const std::string songs = folder / "Songs";
    std::filesystem::create_directory(songs);
    scripted.Choose({songs + "/c.mp3", songs + "/ a.mp3", songs + "/b.MP3"});
    master->Cmd_Add_Click();
    EXPECT_EQ(Rows(Ctl<ListBox>(*master, "List1")), (std::vector<std::string>{"c", " a", "b"}));
    EXPECT_EQ(Paths(*master),
              (std::vector<std::string>{songs + "/c.mp3", songs + "/ a.mp3", songs + "/b.MP3"}));
    EXPECT_EQ(Mp3Path(), songs);
}

// Our own saved list reads back exactly, whether its songs lie below its folder (relative
// lines) or elsewhere (full paths); other programs' header and comment lines are skipped.
TEST_F(PlaylistTest, SaveAndLoadRoundTrip) {
    const std::string lists = folder / "Lists";
    std::filesystem::create_directory(lists);
    const std::string foreign = WriteFile(
        lists + "/foreign.m3u",
        "#EXTM3U\r\n#EXTINF:200,A - a\r\na.mp3\r\n\r\nSub\\b.mp3\r\n/elsewhere/c.mp3\r\n");
    // A previous Open leaves a song's name in the dialog; Save must not offer to overwrite it.
    scripted.Choose({lists + "/a.mp3"});
    master->Cmd_Add_Click();
    master->Mixer().Songs().Clear();
    master->AddFile(foreign);
    const std::vector<std::string> expected = {lists + "/a.mp3", lists + "/Sub/b.mp3",
                                               "/elsewhere/c.mp3"};
    EXPECT_EQ(Rows(Ctl<ListBox>(*master, "List1")), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Paths(*master), expected);

    const std::string saved = lists + "/mine.m3u";
    scripted.Choose({saved});
    master->Cmd_Save_Click();
    const FileRequest& shown = scripted.dialogs.back();
    EXPECT_EQ(scripted.dialogs.back().kind, FileDialogKind::Save);
    EXPECT_EQ(shown.name, "");
    EXPECT_EQ(shown.defaultExt, "m3u");
    EXPECT_EQ(ReadFile(saved), "a.mp3\r\nSub/b.mp3\r\n/elsewhere/c.mp3\r\n");
    EXPECT_EQ(Mp3Path(), lists);

    master->Mixer().Songs().Clear();
    master->AddFile(saved);
    EXPECT_EQ(Paths(*master), expected);
}

// A list that cannot be read or written is reported by name and nothing else changes; a
// cancelled Save writes nothing and keeps "MP3 Path".
TEST_F(PlaylistTest, FailuresAreReported) {
    master->AddFile(folder / "a.mp3");
    master->AddFile(folder / "gone.m3u");
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_NE(scripted.messages[0].find(folder / "gone.m3u"), std::string::npos);
    EXPECT_EQ(Rows(Ctl<ListBox>(*master, "List1")), std::vector<std::string>{"a"});
    // A file far larger than any playlist is refused, by name, before it is read.
    const std::string huge = WriteFile(folder / "huge.m3u", "b.mp3\n");
    std::filesystem::resize_file(huge, (16 << 20) + 1);
    master->AddFile(huge);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_NE(scripted.messages[1].find(huge), std::string::npos);
    EXPECT_EQ(Rows(Ctl<ListBox>(*master, "List1")), std::vector<std::string>{"a"});
    scripted.messages.pop_back();

    WriteINI("", "MP3 Path", "/kept", "Settings");
    scripted.Cancel();
    master->Cmd_Save_Click();
    EXPECT_EQ(Mp3Path(), "/kept");
    EXPECT_EQ(scripted.messages.size(), 1u);

    const std::string nowhere = folder / "no such folder/list.m3u";
    scripted.Choose({nowhere});
    master->Cmd_Save_Click();
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_NE(scripted.messages[1].find(nowhere), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Moving: the first row cannot go higher, the last no lower, the moved row stays selected and
// current with its path; the buttons work only while exactly one row is selected, and after a
// ctrl-click that deselects a row (which makes it current) the row still selected moves.
TEST_F(PlaylistTest, MovingRows) {
    for (const char* name : {"a", "b", "c", "d"})
        master->AddFile(folder / (std::string(name) + ".mp3"));
    ListBox& list = Ctl<ListBox>(*master, "List1");
    QToolButton& up = Ctl<QToolButton>(*master, "Cmd_Move", 0);
    QToolButton& down = Ctl<QToolButton>(*master, "Cmd_Move", 1);
    EXPECT_FALSE(up.isEnabled());
    Select(list, {0});
    up.click();
    down.click();
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"b", "a", "c", "d"}));
    EXPECT_TRUE(list.currentRow() == 1 && list.item(1)->isSelected());
    EXPECT_EQ(Paths(*master)[1], folder / "a.mp3");

    Select(list, {3});
    master->Cmd_Move_Click(1);
    master->Cmd_Move_Click(0);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"b", "a", "d", "c"}));
    EXPECT_EQ(list.SelCount(), 1);
    Select(list, {2, 3});
    list.item(2)->setSelected(false);
    master->Cmd_Move_Click(0);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"b", "a", "c", "d"}));
    Select(list, {0, 2});
    EXPECT_FALSE(up.isEnabled() || down.isEnabled());
}

// Remove takes exactly the selected rows, however scattered (more separate runs than are
// removed one by one), leaving the others in order with their paths.
TEST_F(PlaylistTest, RemovingSelectedRows) {
    std::vector<std::string> names, kept;
    for (int i = 0; i < 60; ++i) {
        names.push_back("s" + std::to_string(i));
        master->AddFile(folder / (names.back() + ".mp3"));
        if (i % 3 != 0 && i != 59) kept.push_back(folder / (names.back() + ".mp3"));
    }
    ListBox& list = Ctl<ListBox>(*master, "List1");
    master->Cmd_Remove_Click();
    EXPECT_EQ(list.count(), 60) << "nothing selected, nothing removed";

    Select(list, {0, 59});
    for (int row = 3; row < 60; row += 3)
        list.item(row)->setSelected(true);
    master->Cmd_Remove_Click();
    EXPECT_EQ(Paths(*master), kept);
    EXPECT_EQ(list.SelCount(), 0);
    EXPECT_FALSE(Ctl<QToolButton>(*master, "Cmd_Move", 0).isEnabled());
}

// Files dropped from the desktop: songs and playlists' songs are added in the drop's order,
// anything else is passed over.
TEST_F(PlaylistTest, MixedDrops) {
    const std::string list = WriteFile(folder / "set.m3u", "one.mp3\r\ntwo.mp3\r\n");
    const std::string notes = WriteFile(folder / "notes.txt", "not a song\r\n");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder / "first.mp3")),
                  QUrl::fromLocalFile(QString::fromStdString(notes)),
                  QUrl::fromLocalFile(QString::fromStdString(list)),
                  QUrl(QStringLiteral("https://example.com/remote.mp3"))});
    master->List1_OLEDragDrop(data);
    EXPECT_EQ(Rows(Ctl<ListBox>(*master, "List1")),
              (std::vector<std::string>{"first", "one", "two"}));
    EXPECT_EQ(Paths(*master)[1], folder / "one.mp3");
    EXPECT_TRUE(scripted.messages.empty());
}

// A row dragged onto a deck loads its path into that deck's player; drags from elsewhere or with
// no current row change nothing. The list's tool tip shows the path of the row under the mouse.
TEST_F(PlaylistTest, RowOntoDeckAndToolTip) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 1.0);
    master->AddFile(folder / "other.mp3");
    master->AddFile(song);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    Frm_TurnTable& deck = Deck(2);

    deck.Form_DragDrop(&list);
    EXPECT_EQ(deck.Controller().Filename(), "") << "no current row yet";
    list.setCurrentRow(1);
    deck.Form_DragDrop(&Ctl<QPushButton>(*master, "Cmd_Add"));
    EXPECT_EQ(deck.Controller().Filename(), "");
    deck.Form_DragDrop(&list);
    EXPECT_EQ(deck.Controller().Filename(), song);
    Settle();
    EXPECT_NEAR(Engine().GetSoundDuration(2), 1000, 100);

    master->resize(400, 700);
    master->show();
    const QRect first = list.visualItemRect(list.item(0));
    master->List1_MouseMove(first.center());
    EXPECT_EQ(list.toolTip().toStdString(), folder / "other.mp3");
}

// Rows and deck captions name songs from their tags once the event loop has had a turn; a song
// whose only tag is ID3v2 has its Title and Artist stored from it.
TEST_F(PlaylistTest, SongsNamedFromTags) {
    const std::string data = SPINX_TESTDATA;
    master->AddFile(data + "/mu_id3v1v2_combined.mp3");
    master->AddFile(data + "/mm_l3_sin1k0db.mp3");
    ListBox& list = Ctl<ListBox>(*master, "List1");
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"mu_id3v1v2_combined", "mm_l3_sin1k0db"}))
        << "the file's name until the tags are read";
    WaitForNames(list);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"Anais Mitchell - cosmic american", "mm_l3_sin1k0db"}));
    list.setCurrentRow(0);
    Deck(1).Form_DragDrop(&list);
    Tick(Deck(1));
    EXPECT_TRUE(Deck(1).windowTitle().startsWith("Deck 2 [Anais Mitchell - cosmic american] "))
        << Deck(1).windowTitle().toStdString();

    // That file's ID3v2 tag (it ends at its first frame) in front of a song that plays.
    std::string tagged;
    ASSERT_TRUE(ReadWholeFile(data + "/mm_l3_id3v2.mp3", tagged));
    std::string song;
    ASSERT_TRUE(ReadWholeFile(MakeMp3(folder.path(), "plain.mp3", 1.0), song));
    const std::string path = WriteFile(folder / "v2.mp3", tagged.substr(0, 1857) + song);
    Deck(0).Controller().Load(path, LoadOrigin::Desktop);
    Settle();
    EXPECT_EQ(Stored(path, songcol::Title).AsText(), "test title");
}

// What is not a song file (a named pipe, a device behind a song's name, a folder) never enters
// the playlist, from Add, an M3U or the kept playlist, and the window never waits on it; the
// user hears why in one message, and the kept playlist drops it for the next start.
TEST_F(PlaylistTest, SpecialFilesAreRefused) {
    const std::string fifo = folder / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", folder / "zero.mp3");
    std::filesystem::create_directory(folder / "folder.mp3");
    const std::string song = MakeMp3(folder.path(), "song.mp3", 1.0);
    WriteFile(folder / "list.m3u", "zero.mp3\nsong.mp3\nfolder.mp3\n");
    const std::string kept = folder / "kept.m3u";
    ASSERT_TRUE(SaveKeptPlaylist(kept, {fifo, song}));
    ListBox& list = Ctl<ListBox>(*master, "List1");
    QElapsedTimer clock;
    clock.start();
    master->KeepPlaylist(kept);
    master->AddFile(fifo);
    master->AddFile(folder / "list.m3u");
    WaitForNames(list);
    EXPECT_LT(clock.elapsed(), 5000) << "nothing waited on a file";
    EXPECT_EQ(Paths(*master), (std::vector<std::string>{song, song}));
    // The refusals are told together once they stop coming.
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 600)
        QApplication::processEvents();
    EXPECT_EQ(scripted.messages.size(), 1u);
    std::string told;
    for (const std::string& message : scripted.messages)
        told += message;
    for (const char* name :
         {"pipe.mp3 (a named pipe)", "zero.mp3 (a device)", "folder.mp3 (a folder)"})
        EXPECT_NE(told.find(name), std::string::npos) << told;
    QApplication::processEvents();
    std::string text;
    ASSERT_TRUE(ReadWholeFile(kept, text));
    EXPECT_EQ(text.find("pipe.mp3"), std::string::npos) << text;
}

// A 100,000-row M3U fills the list while the window stays in hand: no stretch of more than
// 100 ms without the event loop, and auto play can take the top row meanwhile.
TEST_F(PlaylistTest, LongListFillsWithoutFreezing) {
    const std::string song = MakeMp3(folder.path(), "song.mp3", 1.0);
    std::string lines;
    for (int i = 0; i < 100000; ++i)
        lines += "song.mp3\n";
    const std::string list = WriteFile(folder / "long.m3u", lines);
    ListBox& rows = Ctl<ListBox>(*master, "List1");
    // Time this thread spent between two beats of a 5 ms timer: the stretch the window could
    // not answer, not counting time the machine gave to other programs.
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    double longest = 0, last = cpuMs();
    QElapsedTimer clock;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, cpuMs() - last);
        last = cpuMs();
    });
    beat.start(5);
    clock.start();
    QTimer::singleShot(0, [&] { master->AddFile(list); });
    while (rows.count() < 100000 && clock.elapsed() < 60000)
        QApplication::processEvents();
    beat.stop();
    EXPECT_EQ(rows.count(), 100000);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(longest, 100) << "the longest stretch without the event loop, ms";
#endif
}

// A row's text: the title, then the tempo at the song's own speed to one decimal and the key's
// wheel code; a song without a steady beat shows its key alone, one with neither its title.
TEST(PlaylistRules, RowShowsTempoAndKey) {
    const QString title = QStringLiteral("Title");
    EXPECT_EQ(PlaylistRowText(title, nullptr), title) << "not analysed yet";
    MixSong song;
    song.steady = true;
    song.bpm = 127.96;
    song.keyCode = "8A";
    EXPECT_EQ(PlaylistRowText(title, &song), QStringLiteral("Title  \u00B7  128.0 BPM  8A"));
    song.bpm = 128.04;
    song.keyCode = "3B";
    EXPECT_EQ(PlaylistRowText(title, &song), QStringLiteral("Title  \u00B7  128.0 BPM  3B"));
    song.keyCode.clear();
    EXPECT_EQ(PlaylistRowText(title, &song), QStringLiteral("Title  \u00B7  128.0 BPM"));
    song.steady = false;
    song.keyCode = "8A";
    EXPECT_EQ(PlaylistRowText(title, &song), QStringLiteral("Title  \u00B7  8A"))
        << "a drifting tempo is not shown";
    song.steady = true;
    song.bpm = 0;
    EXPECT_EQ(PlaylistRowText(title, &song), QStringLiteral("Title  \u00B7  8A")) << "never zero";
    const MixSong nothing;
    EXPECT_EQ(PlaylistRowText(title, &nothing), title) << "analysed, nothing heard";
}

// A 128 BPM kick over an A minor chord, `beats` beats long, made with sox and lame: songs of
// different lengths are different songs to the song table.
std::string DrumLoop(const std::string& folder, const std::string& name, int beats,
                     bool kick = true) {
    const std::string sox = "sox -q -n -r 44100 -c 2 -b 16 '", base = folder + "/" + name;
    const std::string seconds = std::to_string(beats * 0.46875);
    const std::string make =
        sox + base + ".kick.wav' synth 0.46875 sine 160/45 fade q 0.002 0.46875 0.3 repeat " +
        std::to_string(beats - 1) + (kick ? " vol 1" : " vol 0") + " && " + sox + base +
        ".pad.wav' synth " + seconds + " sine 220 synth " + seconds + " sine mix 261.63 synth " +
        seconds + " sine mix 329.63 vol 0.3 && sox -q -m '" + base + ".kick.wav' '" + base +
        ".pad.wav' '" + base + ".wav' && lame --silent -b 128 '" + base + ".wav' '" + base +
        "' && rm -f '" + base + ".kick.wav' '" + base + ".pad.wav' '" + base + ".wav'";
    EXPECT_EQ(std::system(make.c_str()), 0) << make;
    return base;
}

// Lets the event loop run until the playlist's songs have all been listened to and their rows
// show it (at most a minute).
void WaitForMusic(Frm_Master& master) {
    for (int i = 0; i < 600; ++i) {
        QApplication::processEvents();
        if (master.Mixer().PlaylistMusicScanner().WaitIdle(100)) {
            // Reports, then the rows' pass.
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 400)
                QApplication::processEvents();
            if (master.Mixer().PlaylistMusicScanner().WaitIdle(0)) return;
        }
    }
}

// Playlist songs are listened to in the background: a row gains its song's tempo and key, a
// song without a beat shows its key only, a file that is no song its title only; what was heard
// goes into the song table (a row made for a song never loaded) for the next run.
TEST_F(PlaylistTest, RowsGainTempoAndKey) {
    const std::string loop = DrumLoop(folder.path(), "loop.mp3", 42);
    const std::string pad = DrumLoop(folder.path(), "pad.mp3", 40, false);
    const std::string junk = WriteFile(folder / "junk.mp3", std::string(20000, 'x'));
    ListBox& list = Ctl<ListBox>(*master, "List1");
    for (const std::string& song : {loop, pad, junk, loop})
        master->AddFile(song);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"loop", "pad", "junk", "loop"}))
        << "nothing before the analysis";
    WaitForNames(list);
    WaitForMusic(*master);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"loop  \u00B7  128.0 BPM  8A", "pad  \u00B7  8A", "junk",
                                        "loop  \u00B7  128.0 BPM  8A"}));
    EXPECT_EQ(Stored(loop, songcol::Analysed).AsLong(0), MixerController::kMusicAnalyserVersion);
    EXPECT_NEAR(Stored(loop, songcol::BPM).AsLong(0), 12800, 5);
    EXPECT_EQ(Stored(loop, songcol::Key).AsText(), "8A");
    EXPECT_EQ(Stored(pad, songcol::Key).AsText(), "8A");
    EXPECT_TRUE(Stored(pad, songcol::BPM).IsNull());

    // A song already known shows its music as it enters the list.
    master->AddFile(pad);
    WaitForNames(list);
    EXPECT_EQ(list.item(4)->text(), QStringLiteral("pad  \u00B7  8A"));

    // Loaded on a deck, a song analysed from the playlist keeps what a new row gets.
    LoadSong(scripted, Deck(0), Engine(), loop);
    Settle();
    EXPECT_EQ(Stored(loop, songcol::Volume).AsLong(-1), 0);
    EXPECT_EQ(Stored(loop, songcol::Pitch).AsLong(-1), 1000);
    EXPECT_EQ(Deck(0).Controller().Music()->bpm, 128.0) << "from its row";
}

// A song the song table holds an analysis of (by this analyser) shows it without being listened
// to; one analysed by an older analyser is listened to again.
TEST_F(PlaylistTest, KnownSongsAreNotAnalysedAgain) {
    const std::string known = DrumLoop(folder.path(), "known.mp3", 40);
    const std::string older = DrumLoop(folder.path(), "older.mp3", 41);
    // Figures the analysis would never give, so that the row can only have come from the table.
    StoredMusic kept;
    kept.bpm = 99.5;
    kept.keyCode = "3B";
    for (const auto& [song, version] :
         {std::pair{known, MixerController::kMusicAnalyserVersion},
          std::pair{older, MixerController::kMusicAnalyserVersion - 1}}) {
        Mp3Info info;
        SaveSong(GetMP3ID(song, info), {{songcol::MP3ID, GetMP3ID(song, info)}});
        kept.version = version;
        ASSERT_TRUE(StoreSongMusic(song, kept));
    }
    master->AddFile(known);
    master->AddFile(older);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    WaitForNames(list);
    WaitForMusic(*master);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"known  \u00B7  99.5 BPM  3B",
                                                    "older  \u00B7  128.0 BPM  8A"}));
    EXPECT_EQ(Stored(known, songcol::BPM).AsLong(0), 9950) << "left as it was";
    EXPECT_NEAR(Stored(older, songcol::BPM).AsLong(0), 12800, 5);
}

// A deck's song is never kept waiting by the playlist's: the playlist's song under analysis is
// dropped when a deck loads, and taken up again once the deck's song is known.
TEST_F(PlaylistTest, DeckSongsComeFirst) {
    const std::string longSong = DrumLoop(folder.path(), "long.mp3", 384);
    const std::string deckSong = DrumLoop(folder.path(), "deck.mp3", 256);
    master->AddFile(longSong);
    ListBox& list = Ctl<ListBox>(*master, "List1");
    WaitForNames(list);
    MixerController& mixer = master->Mixer();
    QElapsedTimer clock;
    clock.start();
    while (!mixer.PlaylistMusicScanner().Pending(longSong) && clock.elapsed() < 5000)
        QApplication::processEvents();
    ASSERT_TRUE(mixer.PlaylistMusicScanner().Pending(longSong)) << "the playlist's under way";

    LoadSong(scripted, Deck(0), Engine(), deckSong);
    clock.restart();
    while (!mixer.MusicScanner().Pending(deckSong) && clock.elapsed() < 5000)
        QApplication::processEvents();
    ASSERT_TRUE(mixer.MusicScanner().Pending(deckSong)) << "the deck's asked for";
    // The long song takes a second or more; dropped, it lets the scan go idle at once.
    EXPECT_TRUE(mixer.PlaylistMusicScanner().WaitIdle(300)) << "the playlist's gave way";
    ASSERT_TRUE(mixer.MusicScanner().WaitIdle(30000));
    QApplication::sendPostedEvents();
    ASSERT_TRUE(Deck(0).Controller().HeardBpm());
    EXPECT_EQ(mixer.KnownMusic(longSong), nullptr) << "the deck's song came first";

    WaitForMusic(*master);
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("long  \u00B7  128.0 BPM  8A"));
}

} // namespace
} // namespace spinx::test
