#pragma once
// The message boxes and file dialogs that a person sees, installed behind the replaceable
// handlers at program start. UI thread.

namespace spinx {

void InstallDesktopDialogs();

} // namespace spinx
