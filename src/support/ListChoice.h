#pragma once
// A pick from a short list (a sound device, say) behind a replaceable handler: the windows
// install one that shows a real dialog, tests install one that answers by script. UI thread.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace spinx {

struct ListChoice {
    std::string title;
    std::string prompt;
    std::vector<std::string> items;
    int current = 0; // the item selected when the dialog opens
};

// The index of the item chosen, or none when the user cancelled.
using ListChooser = std::function<std::optional<int>(const ListChoice& choice)>;

// Replaces the handler and returns the previous one. Without a handler every choice cancels.
ListChooser SetListChooser(ListChooser chooser);

// Asks; an answer outside the list counts as Cancel.
std::optional<int> ChooseFromList(const ListChoice& choice);

} // namespace spinx
