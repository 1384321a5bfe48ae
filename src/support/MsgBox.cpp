#include "support/MsgBox.h"

#include "support/Mod_INI.h"
#include "support/SettingsKeys.h"

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
    case MsgButtons::YesNoDontAsk:
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

bool ConfirmUnlessSilenced(const std::string& text, const std::string& settingsKey) {
    if (ReadINI("", settingsKey, "", kSettingsSection) == "No") return true;
    const MsgResult answer = MsgBox(text, MsgButtons::YesNoDontAsk);
    // Not being able to remember the tick costs only a question next time.
    if (answer == MsgResult::YesDontAsk) WriteINI("", settingsKey, "No", kSettingsSection);
    return answer == MsgResult::Yes || answer == MsgResult::YesDontAsk;
}

MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace spinx
