#pragma once
// The command line shared by the programs we ship: --help and --version, options that another
// layer consumes (Qt's own), and the operands. Pure, any thread.
#include <string>
#include <vector>

namespace spinx {

struct CommandLineRules {
    // Options passed on untouched, written without dashes ("style"); one dash or two.
    std::vector<std::string> passWithValue;
    std::vector<std::string> passAlone;
};

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::vector<std::string> operands; // in order; everything after "--" counts as one
    std::string error;                 // for Error: one line, without the program's name
};

CommandLine ParseCommandLine(const std::vector<std::string>& args, const CommandLineRules& rules);

// The options a Qt application takes for itself.
CommandLineRules QtApplicationRules();

// Runs the common part for a program's main: prints help or version on stdout, or the error
// and a hint on stderr. Returns the exit status to end with, or -1 to go on running.
int HandleCommandLine(const CommandLine& line, const std::string& program,
                      const std::string& version, const std::string& helpText);

} // namespace spinx
