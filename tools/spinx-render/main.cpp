// spinx-render LIST.m3u OUT.flac: plays a playlist through auto play, the engine and the song
// memory as the desk would unattended (Auto Play and Auto Fade on), offline and as fast as the
// machine allows, and writes the mix to a FLAC or WAV file.
#include "desk/MixerController.h"
#include "engine/Aspinx.h"
#include "library/SongTable.h"
#include "mixer/M3u.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"
#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sndfile.h>
#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* kProgram = "spinx-render";
constexpr const char* kHelp =
    "Usage: spinx-render LIST.m3u OUT.flac [options]\n"
    "Plays the playlist as Spinx's auto play would, with each song's remembered volume, pitch,\n"
    "curve and markers, Auto Play and Auto Fade on, and writes the mix to OUT (.flac or .wav)\n"
    "as fast as the machine allows. Songs that cannot be played are skipped and named.\n"
    "\n"
    "  --overlap MS        end marker of songs without a stored one (default 4000)\n"
    "  --level             play every song at one loudness\n"
    "  --beat-mix          beat-matched, phrase-aligned take-overs where the music allows\n"
    "  --no-skip-silence   keep the silence at songs' starts and ends\n"
    "  --database FILE     the song database to read (default: the desk's); never written\n"
    "  --no-database       play every song as new, without the song memory\n"
    "  -h, --help          show this help and exit\n"
    "  -V, --version       show the version and exit\n"
    "\n"
    "Exit status: 0 when every song played; 1 when the set could not be completed (nothing\n"
    "plays, or OUT could not be written); 2 for a wrong command line or a playlist, database or\n"
    "OUT that cannot be used; 3 when the set was written but songs were skipped.\n";

constexpr int kTickMs = 100;
// How long a load, a song's overview or its loudness may take before the set goes on without.
constexpr int kSettleWaitMs = 5000;
// Nothing playing for this long while songs remain means the set cannot go on.
constexpr int kGiveUpMs = 30000;

struct Options {
    std::string list, out, database;
    int overlap = 4000;
    bool level = false;
    bool beatMix = false;
    bool skipSilence = true;
    bool memory = true; // the song database is read
};

std::string OptionValue(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    const auto equals = arg.find('=');
    if (equals != std::string::npos) return arg.substr(equals + 1);
    return i + 1 < args.size() ? args[++i] : std::string();
}

// The values of the options ParseCommandLine has already checked.
Options ReadOptions(const std::vector<std::string>& args, const spinx::CommandLine& line) {
    Options options;
    options.list = line.operands[0];
    options.out = line.operands[1];
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") break;
        if (arg.rfind("--overlap", 0) == 0)
            options.overlap = std::atoi(OptionValue(args, i).c_str());
        if (arg.rfind("--database", 0) == 0) options.database = OptionValue(args, i);
        if (arg == "--level") options.level = true;
        if (arg == "--beat-mix") options.beatMix = true;
        if (arg == "--no-skip-silence") options.skipSilence = false;
        if (arg == "--no-database") options.memory = false;
    }
    return options;
}

// The mix's file, made by the check every recording passes: a named pipe or a device is refused
// rather than left to block in the open. Null with `why` on failure.
SNDFILE* CreateOutput(const std::string& path, int rate, std::string& why) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    std::string ext = spinx::GetExtension(path);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "flac")
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    else if (ext == "wav")
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    else {
        why = "a .flac or .wav file is needed";
        return nullptr;
    }
    spinx::UniqueFd fd = spinx::CreateRegularFile(path, &why);
    if (!fd) return nullptr;
    // libsndfile closes the descriptor, also when it fails.
    SNDFILE* file = sf_open_fd(fd.release(), SFM_WRITE, &info, SF_TRUE);
    if (!file) why = sf_strerror(nullptr);
    return file;
}

// A copy of the song database, so that recalling songs never changes the user's. A database
// named on the command line that cannot be used is an error naming it (false with `why`); the
// desk's own may not exist yet, which leaves the set without song memory.
// A copy of the song database as a reader sees it now, with what a running desk has written
// but not yet moved from its write-ahead log into the file; a plain copy of the file would
// miss that. False when SQLite cannot make one.
bool SnapshotDatabase(const std::string& from, const std::string& to) {
    sqlite3* db = nullptr;
    bool made = sqlite3_open_v2(from.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    sqlite3_stmt* vacuum = nullptr;
    if (made) {
        sqlite3_busy_timeout(db, 2000);
        made = sqlite3_prepare_v2(db, "VACUUM INTO ?", -1, &vacuum, nullptr) == SQLITE_OK &&
               sqlite3_bind_text(vacuum, 1, to.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
               sqlite3_step(vacuum) == SQLITE_DONE;
    }
    sqlite3_finalize(vacuum);
    sqlite3_close(db);
    return made;
}

bool OpenDatabaseCopy(const std::string& database, bool named, const QTemporaryDir& scratch,
                      std::string& why) {
    std::error_code error;
    if (!named && !std::filesystem::exists(database, error)) return true;
    std::int64_t size = 0;
    const spinx::UniqueFd fd = spinx::OpenRegularFile(database, size);
    const int openError = errno;
    std::string head;
    if (const char* kind = spinx::NonRegularKind(database)) {
        why = std::string("it is ") + kind + ", not a song database";
    } else if (!fd) {
        why = std::strerror(openError);
    } else if (!spinx::ReadAt(fd.get(), 0, 16, head) ||
               head != std::string("SQLite format 3\0", 16)) {
        why = "it is not a song database";
    } else {
        const std::string copy = scratch.filePath(QStringLiteral("songs.mdb")).toStdString();
        if (!SnapshotDatabase(database, copy) && (std::filesystem::remove(copy, error), true) &&
            !std::filesystem::copy_file(database, copy, error))
            why = "it could not be copied: " + error.message();
        else if (!spinx::PrepareSongDatabase(copy))
            why = "it could not be opened as a song database";
        else
            return true;
    }
    return false;
}

std::string Clock(int64_t ms) {
    const int64_t s = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    spinx::CommandLine line = spinx::ParseCommandLine(
        args, {{"overlap", "database"}, {"level", "beat-mix", "no-skip-silence", "no-database"}});
    if (line.action == spinx::CommandLine::Action::Run && line.operands.size() != 2) {
        line.action = spinx::CommandLine::Action::Error;
        line.error = "a playlist and an output file are needed";
    }
    // Found before any work; a named pipe would otherwise take the whole set and block.
    if (line.action == spinx::CommandLine::Action::Run) {
        if (const char* kind = spinx::NonRegularKind(line.operands[1])) {
            line.action = spinx::CommandLine::Action::Error;
            line.error = "the output " + line.operands[1] + " is " + kind +
                         ", not a regular file for the mix";
        }
    }
    if (const int status = spinx::HandleCommandLine(line, kProgram, SPINX_VERSION_TEXT, kHelp);
        status >= 0)
        return status;
    const Options options = ReadOptions(args, line);

    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);

    std::string text, error;
    if (!spinx::ReadWholeFile(options.list, text, &error, spinx::kPlaylistMaxBytes)) {
        std::fprintf(stderr, "%s: the playlist %s could not be read: %s\n", kProgram,
                     options.list.c_str(), error.c_str());
        return 2;
    }
    const std::vector<std::string> songs = spinx::M3uSongs(spinx::GetPath(options.list), text);

    const QTemporaryDir scratch;
    const std::string database =
        options.database.empty() ? spinx::SongDatabasePath() : options.database;
    if (std::string why;
        options.memory && !OpenDatabaseCopy(database, !options.database.empty(), scratch, why)) {
        std::fprintf(stderr, "%s: the song database %s cannot be used: %s\n", kProgram,
                     database.c_str(), why.c_str());
        return 2;
    }

    spinx::Aspinx engine(spinx::OutputKind::Offline);
    const int rate = engine.SampleRate();
    std::string why;
    SNDFILE* out = CreateOutput(options.out, rate, why);
    if (!out) {
        std::fprintf(stderr, "%s: %s cannot be written: %s\n", kProgram, options.out.c_str(),
                     why.c_str());
        return 2;
    }

    spinx::MixerController desk(engine);
    desk.Songs().Append(songs);
    desk.SetOverlap(options.overlap);
    desk.SetLevelling(options.level);
    desk.SetBeatMix(options.beatMix);
    desk.SetSkipSilence(options.skipSilence);
    desk.SetEachSongOnce(true);
    desk.SetMeasureEverySong(false);
    int skipped = 0;
    QObject::connect(&desk, &spinx::MixerController::songSkipped,
                     [&](const std::string& path, const QString& reason) {
                         ++skipped;
                         std::fprintf(stderr, "skipped %s: %s\n", path.c_str(),
                                      reason.toLocal8Bit().constData());
                     });
    QObject::connect(&desk, &spinx::MixerController::problem, [](const QString& text) {
        std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
    });
    desk.SetAutoFade(true);
    desk.SetAutoPlay(true);

    const int frames = rate * kTickMs / 1000;
    std::vector<float> buffer(static_cast<std::size_t>(frames) * 2);
    QElapsedTimer wall;
    wall.start();
    int64_t setMs = 0, silentMs = 0;
    int stalls = 0, started = 0;
    std::string lastSong[2];
    bool written = true;
    while (true) {
        desk.Tick();
        // Loads, overviews (where a song's sound begins and ends) and loudness come from
        // workers: wait for them, or a loaded machine would leave gaps the desk would not.
        desk.Settle(kSettleWaitMs);
        for (int16_t p = 0; p < 2; ++p) {
            const spinx::DeckController& deck = desk.Deck(p);
            const bool playing = deck.Status() == spinx::PlayerStatus::Playing;
            // A song counts when its deck starts it; the same file may come again.
            if (!playing) lastSong[p].clear();
            if (!playing || deck.Filename() == lastSong[p]) continue;
            lastSong[p] = deck.Filename();
            std::printf("[%d/%zu] %s %s\n", ++started, songs.size(), Clock(setMs).c_str(),
                        spinx::GetBaseName(lastSong[p]).c_str());
            std::fflush(stdout);
        }
        if (desk.Finished()) break;
        const bool silent = desk.Deck(0).Status() != spinx::PlayerStatus::Playing &&
                            desk.Deck(1).Status() != spinx::PlayerStatus::Playing;
        if (silent && silentMs == 0) ++stalls;
        silentMs = silent ? silentMs + kTickMs : 0;
        if (silentMs >= kGiveUpMs) {
            std::fprintf(stderr, "%s: the set stopped at %s: nothing plays\n", kProgram,
                         Clock(setMs).c_str());
            break;
        }
        engine.RenderOffline(buffer.data(), frames);
        written = written && sf_writef_float(out, buffer.data(), frames) == frames;
        setMs += kTickMs;
    }
    const bool closed = sf_close(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "%s: %s could not be written completely\n", kProgram,
                     options.out.c_str());
        return 1;
    }
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    std::printf("rendered %s in %.1f s (%.0f x real time): %d songs played, %d skipped, "
                "%d stalls\n",
                Clock(setMs).c_str(), seconds, seconds > 0 ? setMs / 1000.0 / seconds : 0.0,
                started, skipped, stalls);
    return silentMs >= kGiveUpMs ? 1 : skipped > 0 ? 3 : 0;
}
