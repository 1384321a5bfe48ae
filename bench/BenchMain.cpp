// spinx-bench [AREA...]: runs the registered figures (all, or those of the named areas) and
// prints one `<name> <value>` line per figure, then the figures that missed their target. An
// area "engine" also selects its parts ("engine.render"); a part alone runs just that part.
#include "Bench.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace spinx::bench {

namespace {
constexpr const char* kHelp =
    "Usage: spinx-bench [AREA]...\n"
    "Measures the figures of the named areas (all without AREA), one `name value` line each,\n"
    "then lists those that missed their target; exit status 1 when any did. AREA selects its\n"
    "parts too (engine: engine.overhead, engine.render...); a part runs alone.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";
std::vector<std::string> gMissed;
std::string gTemp;
} // namespace

std::vector<Figure>& Registry() {
    static std::vector<Figure> figures;
    return figures;
}

void Report(const std::string& name, double value, double target, bool lowerIsBetter) {
    std::printf("%s %.3f\n", name.c_str(), value);
    std::fflush(stdout);
    const bool ok = lowerIsBetter ? value <= target : value >= target;
    if (!ok) {
        gMissed.push_back(name + " " + std::to_string(value) + (lowerIsBetter ? " > " : " < ") +
                          std::to_string(target));
    }
}

void Report(const std::string& name, double value) {
    std::printf("%s %.3f\n", name.c_str(), value);
    std::fflush(stdout);
}

std::string TempFolder() {
    if (gTemp.empty()) {
        char pattern[] = "/tmp/spinx-bench-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) gTemp = made;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(gTemp, ec);
        });
    }
    return gTemp;
}

} // namespace spinx::bench

int main(int argc, char** argv) {
    using namespace spinx::bench;
    const spinx::CommandLine line =
        spinx::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), {});
    if (const int status = spinx::HandleCommandLine(line, "spinx-bench", SPINX_VERSION_TEXT, kHelp);
        status >= 0)
        return status;
    for (const Figure& f : Registry()) {
        bool wanted = line.operands.empty();
        for (const std::string& area : line.operands)
            wanted = wanted || f.area == area || f.area.rfind(area + ".", 0) == 0;
        if (wanted) f.run();
    }
    if (gMissed.empty()) {
        std::printf("# all figures within target\n");
        return 0;
    }
    std::printf("# missed target:\n");
    for (const auto& m : gMissed)
        std::printf("#   %s\n", m.c_str());
    return 1;
}
