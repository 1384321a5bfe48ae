#pragma once
// The settings file: a plain sections-and-keys text file beside the program, read and rewritten
// by our own line parser. Any thread, but nothing locks the file: two writers at once each write
// a whole file and the last one wins.
//
// Line rules: a line whose first three characters are "REM" (any case) or whose first character
// is "'" is a comment; a line starting with "[" is a section header whose name runs from the
// second to the next-to-last character; any other line with "=" is an entry whose key is the
// text before the first "=" and whose value is everything after it, both untrimmed. Keys compare
// without case (ASCII letters), section names with case; an empty section means the whole file.
// Lines end in CR LF when written; CR LF and LF are both read.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spinx {

// The settings folder (DataLocation.h), "/", the executable's name without extension, ".ini".
std::string INIFileName();

// Creates an empty settings file when there is none, so that a folder we may not write shows at
// start-up rather than at the first remembered folder. An empty file reads as a missing one.
bool EnsureINIFile(std::string* error = nullptr);

// The value of `key` in `section` of `file` ("" = INIFileName()), or `defaultValue` when the
// key is absent or the file is missing or cannot be read.
std::string ReadINI(const std::string& file, const std::string& key,
                    const std::string& defaultValue, const std::string& section = "");

// Sets `key` to `value` in `section`: every matching entry of the section is replaced; a new key
// goes after the section's last line, and a missing section is added at the end of the file.
// The file is replaced in one step, so a failure leaves the old file as it was; then the result
// is false and `error` says which file and why.
bool WriteINI(const std::string& file, const std::string& key, const std::string& value,
              const std::string& section = "", std::string* error = nullptr);

// The parser on text in memory, for callers that hold the file's contents already.
std::vector<std::string> SplitIniLines(std::string_view text);
std::optional<std::string> FindIniValue(const std::vector<std::string>& lines,
                                        const std::string& key, const std::string& section);
// The whole new file text, CR LF after every line.
std::string RewriteIni(const std::vector<std::string>& lines, const std::string& key,
                       const std::string& value, const std::string& section);

} // namespace spinx
