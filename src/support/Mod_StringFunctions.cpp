#include "support/Mod_StringFunctions.h"

namespace spinx {

namespace {
std::string TrimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}
} // namespace

std::string GetToken(std::string& text, const std::string& separator) {
    const std::string sep = separator.empty() ? std::string(" ") : separator;
    text = TrimBlanks(text);
    const auto at = text.find(sep);
    if (at == std::string::npos) {
        std::string token;
        token.swap(text);
        return token;
    }
    std::string token = text.substr(0, at);
    text.erase(0, at + sep.size());
    return token;
}

void SplitList(const std::string& text, std::vector<std::string>& list,
               const std::string& separator, bool append) {
    const std::string sep = separator.empty() ? std::string(",") : separator;
    // The next token goes one past the upper bound (append) or to index 1 (fresh list).
    std::size_t index = append ? list.size() : 1;
    std::string rest = text;
    while (!rest.empty()) {
        std::string token = GetToken(rest, sep);
        list.resize(index + 1);
        list[index] = std::move(token);
        ++index;
    }
}

} // namespace spinx
