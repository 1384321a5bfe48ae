#include "support/ListChoice.h"

#include <utility>

namespace spinx {

namespace {
ListChooser& Chooser() {
    static ListChooser chooser;
    return chooser;
}
} // namespace

ListChooser SetListChooser(ListChooser chooser) {
    return std::exchange(Chooser(), std::move(chooser));
}

std::optional<int> ChooseFromList(const ListChoice& choice) {
    if (!Chooser()) return std::nullopt;
    const std::optional<int> answer = Chooser()(choice);
    if (answer && (*answer < 0 || *answer >= static_cast<int>(choice.items.size())))
        return std::nullopt;
    return answer;
}

} // namespace spinx
