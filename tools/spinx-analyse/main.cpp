// spinx-analyse FILE... [--json]: measures what a DJ hears in each MP3 file, decoding it whole:
// its exact length, tempo and beat grid, first downbeat, key, loudness and true peak, where its
// sound begins and ends, and where to mix it in and out. As `Key=Value` lines with a blank line
// between files, or with
// --json as one JSON array. It reads only the files named and writes only to stdout and stderr.
// A file that cannot be analysed is named on stderr with the reason, and the exit status is 1.
#include "engine/analysis/Loudness.h"
#include "engine/analysis/MusicAnalysis.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace spinx::engine;

constexpr const char* kHelp =
    "Usage: spinx-analyse [--json] FILE...\n"
    "Decodes each MP3 file whole and prints what a DJ hears in it: Duration (ms, exact),\n"
    "Tempo (steady, drifting or none), BPM, FirstBeat and FirstDownbeat (ms, for a steady\n"
    "tempo), BeatConfidence (0-1), Key and KeyCode (the harmonic-mixing wheel), Loudness (LUFS),\n"
    "TruePeak (dBTP), AudibleStart and AudibleEnd (ms, above -50 dBFS), and MixIn and MixOut\n"
    "(ms: with a steady tempo the first downbeat of the sound and the last phrase's start, else\n"
    "the audible start and end). A figure that cannot be measured is left empty (null in JSON).\n"
    "Exit status 1 when a file cannot be analysed.\n"
    "\n"
    "      --json     one JSON array of objects instead of Key=Value lines\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";

// Everything printed for one song; unset figures print empty.
struct Report {
    MusicAnalysis music;
    std::optional<double> loudness, truePeak;
};

const char* TempoWord(Tempo tempo) {
    switch (tempo) {
    case Tempo::Steady:
        return "steady";
    case Tempo::Drifting:
        return "drifting";
    case Tempo::None:
        break;
    }
    return "none";
}

std::string Fixed(std::optional<double> value, int decimals) {
    if (!value) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

QJsonValue Json(std::optional<double> value, int decimals) {
    if (!value) return QJsonValue::Null;
    return QString::fromStdString(Fixed(value, decimals)).toDouble();
}

// The figures in their order: name, value, decimals (-1 for text).
struct Field {
    const char* key;
    std::optional<double> number;
    int decimals;
    std::optional<std::string> text;
};

std::vector<Field> Fields(const Report& r) {
    const BeatGrid& grid = r.music.grid;
    const bool steady = grid.tempo == Tempo::Steady;
    const auto ifSteady = [&](double v) {
        return steady ? std::optional<double>(v) : std::nullopt;
    };
    const auto key = [&](auto name) {
        return r.music.key ? std::optional<std::string>(name(*r.music.key)) : std::nullopt;
    };
    const auto ifAudible = [&](double ms) {
        return r.music.audible.audible ? std::optional<double>(ms) : std::nullopt;
    };
    return {
        {"Duration", r.music.durationMs, 3, {}},
        {"Tempo", {}, -1, TempoWord(grid.tempo)},
        {"BPM", ifSteady(grid.bpm), 2, {}},
        {"FirstBeat", ifSteady(grid.firstBeatMs), 1, {}},
        {"FirstDownbeat", r.music.firstDownbeatMs, 1, {}},
        {"BeatConfidence", grid.confidence, 2, {}},
        {"Key", {}, -1, key(KeyName)},
        {"KeyCode", {}, -1, key(KeyWheelCode)},
        {"Loudness", r.loudness, 1, {}},
        {"TruePeak", r.truePeak, 1, {}},
        {"AudibleStart", ifAudible(r.music.audible.startMs), 0, {}},
        {"AudibleEnd", ifAudible(r.music.audible.endMs), 0, {}},
        {"MixIn", ifAudible(r.music.mixInMs), 1, {}},
        {"MixOut", ifAudible(r.music.mixOutMs), 1, {}},
    };
}

// Lower camel case for JSON: "FirstBeat" -> "firstBeat", "BPM" -> "bpm".
QString JsonName(const char* key) {
    QString name = QString::fromLatin1(key);
    if (name == "BPM") return "bpm";
    name[0] = name[0].toLower();
    return name;
}

} // namespace

int main(int argc, char** argv) {
    spinx::CommandLineRules rules;
    rules.passAlone = {"json"};
    const std::vector<std::string> args(argv + 1, argv + argc);
    const spinx::CommandLine line = spinx::ParseCommandLine(args, rules);
    if (const int status =
            spinx::HandleCommandLine(line, "spinx-analyse", SPINX_VERSION_TEXT, kHelp);
        status >= 0)
        return status;
    if (line.operands.empty()) {
        std::fprintf(stderr, "usage: spinx-analyse [--json] FILE...\n");
        return 2;
    }
    // --json is an option only before a "--".
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--") break;
        json = json || arg == "--json" || arg == "-json";
    }

    int status = 0;
    QJsonArray songs;
    for (const std::string& path : line.operands) {
        std::string reason;
        const std::optional<DecodedSong> song = DecodeSong(path, &reason);
        if (!song) {
            std::fflush(stdout);
            std::fprintf(stderr, "spinx-analyse: %s: %s\n", path.c_str(), reason.c_str());
            status = 1;
            if (json)
                songs.append(QJsonObject{{"file", QString::fromLocal8Bit(path.c_str())},
                                         {"error", QString::fromStdString(reason)}});
            continue;
        }
        Report report;
        report.music = AnalyseMusic(song->stereo.data(), song->frames(), 2, song->rate);
        report.loudness = MeasureLoudness(path, nullptr, LoudnessPass::Exact);
        report.truePeak = MeasureTruePeak(song->stereo.data(), song->frames(), song->rate);
        if (json) {
            QJsonObject object{{"file", QString::fromLocal8Bit(path.c_str())}};
            for (const Field& f : Fields(report))
                object.insert(JsonName(f.key),
                              f.decimals < 0 ? (f.text ? QJsonValue(QString::fromStdString(*f.text))
                                                       : QJsonValue(QJsonValue::Null))
                                             : Json(f.number, f.decimals));
            songs.append(object);
        } else {
            if (&path != &line.operands.front()) std::printf("\n");
            std::printf("File=%s\n", path.c_str());
            for (const Field& f : Fields(report))
                std::printf(
                    "%s=%s\n", f.key,
                    (f.decimals < 0 ? f.text.value_or("") : Fixed(f.number, f.decimals)).c_str());
        }
    }
    if (json) std::fputs(QJsonDocument(songs).toJson().constData(), stdout);
    return status;
}
