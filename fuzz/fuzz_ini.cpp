// Feeds an arbitrary settings file, key, value and section to the settings parser. Where the
// key and value can be written as one line, the rewritten file must read back the value and a
// second identical rewrite must change nothing.
#include "support/Mod_INI.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {
bool OneLine(const std::string& s) {
    return s.find_first_of("\r\n") == std::string::npos;
}

// A key that the written line would not give back: one that makes the line a comment or a
// header, or one holding "=".
bool Writable(const std::string& key) {
    if (!OneLine(key) || key.find('=') != std::string::npos) return false;
    if (!key.empty() && (key[0] == '\'' || key[0] == '[')) return false;
    const std::string head = key.substr(0, 3);
    return !(head.size() == 3 && (head[0] | 0x20) == 'r' && (head[1] | 0x20) == 'e' &&
             (head[2] | 0x20) == 'm');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string key = in.ConsumeRandomLengthString(40);
    const std::string value = in.ConsumeRandomLengthString(40);
    const std::string section = in.ConsumeRandomLengthString(20);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const auto lines = spinx::SplitIniLines(text);
    (void)spinx::FindIniValue(lines, key, section);
    const std::string out = spinx::RewriteIni(lines, key, value, section);
    if (!Writable(key) || !OneLine(value) || !OneLine(section)) return 0;
    const auto after = spinx::SplitIniLines(out);
    if (spinx::FindIniValue(after, key, section) != value) __builtin_trap();
    if (spinx::RewriteIni(after, key, value, section) != out) __builtin_trap();
    return 0;
}
