#pragma once
// The program's version as the title shows it. Pure function, any thread.
#include <optional>
#include <string>

namespace spinx {

// Major as a plain number, "." and minor with two digits, then, when a revision is given, "."
// and the revision with four digits: 1, 2, 34 give "1.02.0034"; 1, 2 give "1.02".
std::string VersionString(int major, int minor, std::optional<int> revision = std::nullopt);

// The running program's own version, complete with its revision.
std::string ProgramVersionString();

} // namespace spinx
