#pragma once
// Splitting of separated lists. Pure functions, any thread.
#include <string>
#include <vector>

namespace spinx {

// Trims blanks from both ends of `text`, then returns the text before the first `separator`
// and leaves only what follows it in `text`; without a separator the whole text is the token
// and `text` becomes empty.
std::string GetToken(std::string& text, const std::string& separator = " ");

// Stores the tokens of `text` at indexes 1..n of `list` (index 0 is kept, empty for a fresh
// list), or after the list's last element when `append` is true. An empty separator means ",".
void SplitList(const std::string& text, std::vector<std::string>& list,
               const std::string& separator = ",", bool append = false);

} // namespace spinx
