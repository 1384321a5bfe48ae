// Start-up figure: how long a new user waits for the main window, with no sound server and the
// null ALSA device (the device's own share is the engine's figure, not this one), once with an
// empty command line and once with 100 songs on it.
#include "Bench.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace spinx::bench;
namespace fs = std::filesystem;

constexpr int kSongs = 100;
constexpr int kLaunches = 5;
constexpr int kLaunchTimeoutMs = 20000;

std::string BesideBench(const std::string& name) {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    return path.substr(0, path.find_last_of('/') + 1) + name;
}

// One short song, copied to `count` names.
std::vector<std::string> MakeSongs(const std::string& dir, int count) {
    const std::string wav = dir + "/tone.wav", mp3 = dir + "/tone.mp3";
    const std::string make = "sox -q -n -r 44100 -c 2 -b 16 '" + wav +
                             "' synth 2 sine 440 vol 0.5 && lame --silent -b 128 '" + wav + "' '" +
                             mp3 + "' && rm '" + wav + "'";
    if (std::system(make.c_str()) != 0) return {};
    std::vector<std::string> songs;
    for (int i = 0; i < count; ++i) {
        songs.push_back(dir + "/song" + std::to_string(1000 + i) + ".mp3");
        fs::copy_file(mp3, songs.back(), fs::copy_options::overwrite_existing);
    }
    return songs;
}

// Starts the program from a fresh, empty program folder (where it keeps its data) and returns
// the milliseconds it reports from its start to its window's first paint; -1 on failure.
double LaunchOnce(const std::string& program, const std::string& folder,
                  const std::vector<std::string>& songs) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    const std::string copy = folder + "/spinx";
    // A link costs nothing to make; the page cache holds the program either way.
    if (link(program.c_str(), copy.c_str()) != 0) fs::copy_file(program, copy);

    std::vector<std::string> env;
    const auto ours = [](const std::string& entry) {
        for (const char* name :
             {"QT_QPA_PLATFORM=", "PULSE_SERVER=", "ALSA_CONFIG_PATH=", "SPINX_REPORT_SHOWN="})
            if (entry.rfind(name, 0) == 0) return true;
        return false;
    };
    for (char** e = environ; *e; ++e)
        if (!ours(*e)) env.emplace_back(*e);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("PULSE_SERVER=unix:" + folder + "/no-sound-server");
    env.push_back(std::string("ALSA_CONFIG_PATH=") + SPINX_ALSA_NULL_CONF);
    env.push_back("SPINX_REPORT_SHOWN=quit");
    std::vector<char*> envp, argv{const_cast<char*>(copy.c_str())};
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    for (const std::string& song : songs)
        argv.push_back(const_cast<char*>(song.c_str()));
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execve(copy.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    double shown = -1;
    std::string text;
    const char* const mark = "spinx: shown ";
    pollfd wait{out[0], POLLIN, 0};
    bool ended = child <= 0;
    while (!ended && poll(&wait, 1, kLaunchTimeoutMs) > 0) {
        char buffer[4096];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        ended = n <= 0;
        text.append(buffer, static_cast<std::size_t>(n));
        if (const auto at = text.find(mark);
            at != std::string::npos && shown < 0 && text.find('\n', at) != std::string::npos)
            shown = std::atof(text.c_str() + at + std::strlen(mark));
    }
    close(out[0]);
    // Its stderr closed: the program is ending. Else it hangs, and the launch counts as failed.
    if (child > 0 && !ended) {
        kill(child, SIGKILL);
        shown = -1;
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    // Closed while its start-up is under way, the program still ends cleanly.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) shown = -1;
    if (shown < 0) std::fprintf(stderr, "bench_start: no window reported:\n%s", text.c_str());
    return shown;
}

} // namespace

SPINX_BENCH("start") {
    const std::string dir = TempFolder() + "/start";
    fs::create_directories(dir);
    const std::vector<std::string> songs = MakeSongs(dir, kSongs);
    if (songs.empty()) {
        std::fprintf(stderr, "bench_start: cannot make the songs (sox and lame needed)\n");
        return;
    }
    // Beside the bench's own folder: a link into a folder of ours needs the same file system.
    const std::string program = dir + "/spinx";
    fs::copy_file(BesideBench("spinx"), program, fs::copy_options::overwrite_existing);
    const auto median = [&](const std::vector<std::string>& commandLine) {
        bool failed = false;
        const double ms = MedianOf(kLaunches, [&] {
            const double once = LaunchOnce(program, dir + "/program", commandLine);
            failed = failed || once < 0;
            return once;
        });
        return failed ? 1e9 : ms;
    };
    const double empty = median({});
    Report("start_window_empty_ms", empty);
    const double withSongs = median(songs);
    Report("start_window_100_songs_ms", withSongs);
    Report("start_window_ms", std::max(empty, withSongs), 300, true);
}
