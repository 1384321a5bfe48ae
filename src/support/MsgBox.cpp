#include "support/MsgBox.h"

#include <cstdio>
#include <utility>

namespace spinx {

namespace {
MsgBoxHandler& Handler() {
    static MsgBoxHandler handler;
    return handler;
}

MsgResult CautiousAnswer(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::RetryCancel:
        return MsgResult::Cancel;
    case MsgButtons::OK:
        break;
    }
    return MsgResult::OK;
}
} // namespace

MsgResult MsgBox(const std::string& text, MsgButtons buttons, const std::string& title) {
    const std::string& shownTitle = title.empty() ? std::string(kAppTitle) : title;
    if (Handler()) return Handler()(text, buttons, shownTitle);
    std::fprintf(stderr, "%s: %s\n", shownTitle.c_str(), text.c_str());
    return CautiousAnswer(buttons);
}

MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace spinx
