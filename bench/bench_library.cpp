// Song library figures on a table of a million songs: one deck's seek + edit + update, and the
// whole start-up preparation.
#include "Bench.h"

#include "library/EqText.h"
#include "library/Mod_Database.h"
#include "library/SongRows.h"
#include "library/SongTable.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using namespace spinx;

constexpr int kSongs = 1'000'000;

std::string SongId(int song) {
    return std::to_string(128215441000000000LL + song * 7919LL);
}

// The million-song database, built once in one transaction and shared by both figures.
const std::string& SongLibrary() {
    static const std::string path = [] {
        const std::string file = bench::TempFolder() + "/spinx.mdb";
        if (!PrepareSongDatabase(file)) std::abort();
        const double started = bench::NowSeconds();
        SongDb.Execute("BEGIN");
        Statement insert(SongDb, "INSERT INTO mp3s (Filename, Path, MP3ID, EQ, Volume, Pitch, "
                                 "Title, Artist, Start, \"End\") VALUES (?,?,?,?,?,?,?,?,?,?)");
        const std::string flat = EncodeEq({});
        for (int song = 0; song < kSongs; ++song) {
            const std::string name = "Song " + std::to_string(song);
            const std::string artist = "Artist " + std::to_string(song % 5000);
            const DbValue row[] = {name,
                                   "/home/dj/Music/" + artist + "/Album/" + name + ".mp3",
                                   SongId(song),
                                   flat,
                                   song % 201 - 100,
                                   1000,
                                   "Title of " + name,
                                   artist,
                                   0,
                                   10000};
            for (int column = 0; column < 10; ++column)
                insert.Bind(column + 1, row[column]);
            insert.Step();
            insert.Reset();
        }
        SongDb.Execute("COMMIT");
        CloseSongDatabase();
        std::printf("# built %d songs in %.1f s\n", kSongs, bench::NowSeconds() - started);
        return file;
    }();
    return path;
}

// One deck's save: a random song's row found and written.
double MedianSeekUpdateUs() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> anySong(0, kSongs - 1);
    return bench::MedianOf(1000, [&] {
        const int song = anySong(random);
        EqGains eq{};
        eq[song % 10] = static_cast<std::int16_t>(song % 201 - 100);
        const double started = bench::NowSeconds();
        if (!UpdateSong(SongId(song), {{songcol::Volume, song % 100}, {songcol::EQ, EncodeEq(eq)}}))
            std::abort();
        return (bench::NowSeconds() - started) * 1e6;
    });
}

SPINX_BENCH("library") {
    if (!PrepareSongDatabase(SongLibrary())) std::abort();
    bench::Report("songtable_seek_update_us", MedianSeekUpdateUs(), 1000, true);
    // Baseline: the same work without waiting for the disk at each commit, which shows how
    // much of the figure is the sync that keeps a saved song safe from a power cut.
    SongDb.Execute("PRAGMA synchronous=NORMAL");
    bench::Report("songtable_seek_update_nosync_us", MedianSeekUpdateUs());
    CloseSongDatabase();
}

SPINX_BENCH("library") {
    const std::string& path = SongLibrary();
    const double ms = bench::MedianOf(9, [&] {
        const double started = bench::NowSeconds();
        if (!PrepareSongDatabase(path)) std::abort();
        const double elapsed = (bench::NowSeconds() - started) * 1e3;
        CloseSongDatabase();
        return elapsed;
    });
    bench::Report("db_prepare_ms", ms, 300, true);
}

} // namespace
