// Feeds an arbitrary filter list of the file dialogs to its parser: every entry it gives has no
// empty pattern and no separator inside one, and nothing is made up beyond the input's parts.
#include "support/FileChooser.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string filter(reinterpret_cast<const char*>(data), size);
    std::size_t bars = 0;
    for (const char c : filter)
        bars += c == '|';
    const std::vector<spinx::FileFilter> entries = spinx::ParseFilter(filter);
    if (!filter.empty() && entries.size() != bars / 2 + 1) __builtin_trap();
    for (const spinx::FileFilter& entry : entries)
        for (const std::string& pattern : entry.patterns)
            if (pattern.empty() || pattern.find_first_of("|;") != std::string::npos)
                __builtin_trap();
    return 0;
}
