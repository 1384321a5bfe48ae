#pragma once
// Taking paths apart and asking the file system about them. Any thread.
//
// Paths are split at both "/" and "\" so that lists written on Windows still resolve here;
// paths we build use "/". Drive ("C:") and share ("\\server\share") prefixes are recognised.
#include <string>

namespace spinx {

std::string GetFileName(const std::string& path);  // after the last separator
std::string GetBaseName(const std::string& path);  // file name cut before its last "."
std::string GetExtension(const std::string& path); // after the last "." anywhere in the path
std::string GetPath(const std::string& path);      // folder part, no trailing separator ("/"
                                                   // for the root itself)
bool HasDriveLetter(const std::string& path);      // second character is ":"
bool IsUNCPath(const std::string& path);           // begins with "\\" (or "//")
std::string GetRoot(const std::string& path);
std::string ShortPathName(const std::string& path); // the path itself when it exists, else ""
bool RootExists(const std::string& path);
bool FileExists(const std::string& path); // a file, a folder, or a file-name pattern with * and ?
bool IsFolder(const std::string& path);
std::string StripTrailingSlash(const std::string& text);
bool IsSeparator(char c); // "/" or "\"

} // namespace spinx
