#pragma once
// Where the running program lives: the folder of the settings file and the song database.
#include <string>

namespace spinx {

// Folder of the running executable, without a trailing separator.
std::string ProgramFolder();
// The executable's file name without extension ("spinx").
std::string ProgramName();
// Points the program folder elsewhere (tests use a temporary folder); "" restores the real one.
void SetProgramFolder(const std::string& folder);

} // namespace spinx
