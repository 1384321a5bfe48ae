#include "support/CommandLine.h"

#include <algorithm>
#include <cstdio>

namespace spinx {

namespace {

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, const CommandLineRules& rules) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (arg == "-V" || arg == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
        const auto equals = name.find('=');
        const bool hasValue = equals != std::string::npos;
        if (hasValue) name.erase(equals);
        if (Listed(rules.passAlone, name) && !hasValue) continue;
        if (Listed(rules.passWithValue, name)) {
            if (hasValue) continue;
            if (i + 1 < args.size()) {
                ++i;
                continue;
            }
            line.error = "option '" + arg + "' needs a value";
        } else {
            line.error = "unknown option '" + arg + "'";
        }
        line.action = CommandLine::Action::Error;
        return line;
    }
    return line;
}

CommandLineRules QtApplicationRules() {
    return {{"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
             "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display", "geometry",
             "name", "title", "visual"},
            {"reverse", "widgetcount", "nograb", "dograb", "sync", "qmljsdebugger"}};
}

int HandleCommandLine(const CommandLine& line, const std::string& program,
                      const std::string& version, const std::string& helpText) {
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(helpText.c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::printf("%s %s\n", program.c_str(), version.c_str());
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "%s: %s (try '%s --help')\n", program.c_str(), line.error.c_str(),
                     program.c_str());
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return -1;
}

} // namespace spinx
