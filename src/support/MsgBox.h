#pragma once
// Message boxes behind a replaceable handler: the windows install one that shows a real box,
// tests install one that answers by script. UI thread only.
#include <functional>
#include <string>

namespace spinx {

// YesNoDontAsk is Yes and No with a "Don't ask again" box; Yes with the box ticked answers
// YesDontAsk.
enum class MsgButtons { OK, YesNo, RetryCancel, YesNoDontAsk };
enum class MsgResult { OK, Yes, No, Retry, Cancel, YesDontAsk };

// The title every box carries unless a caller gives another.
inline constexpr const char* kAppTitle = "Spinx";

using MsgBoxHandler =
    std::function<MsgResult(const std::string& text, MsgButtons buttons, const std::string& title)>;

// Shows `text`; an empty title means the application's title.
MsgResult MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK,
                 const std::string& title = "");

// Asks `text` with Yes and No unless the user once ticked "Don't ask again" on it: that choice
// is kept under `settingsKey` in the settings file. True for Yes.
bool ConfirmUnlessSilenced(const std::string& text, const std::string& settingsKey);

// Replaces the handler and returns the previous one. Without any handler installed the text
// goes to stderr and the answer is the cautious one (OK, No, Cancel).
MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler);

} // namespace spinx
