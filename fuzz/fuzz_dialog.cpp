// Feeds an arbitrary answer of the multi-selection Open dialog to its splitter: no name is empty
// or holds a separator, and a NUL-separated answer gives back its folder and every name.
#include "mixer/M3u.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const spinx::DialogChoice choice = spinx::SplitDialogChoice(answer);
    if (answer.find('\0') == std::string::npos) return 0;
    std::string joined = choice.folder;
    for (const std::string& name : choice.names) {
        if (name.empty() || name.find('\0') != std::string::npos) __builtin_trap();
        joined += '\0' + name;
    }
    // Only empty parts (doubled or trailing NULs) are dropped.
    std::string squeezed;
    for (std::size_t i = 0; i < answer.size(); ++i)
        if (answer[i] != '\0' || (i + 1 < answer.size() && answer[i + 1] != '\0'))
            squeezed += answer[i];
    if (joined != squeezed) __builtin_trap();
    return 0;
}
