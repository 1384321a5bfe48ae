#pragma once
// The start-up benchmark's hook: with SPINX_REPORT_SHOWN set, the program prints one line on
// stderr once its main window has first been painted, "spinx: shown <ms> ms", counted from the
// process's start; SPINX_REPORT_SHOWN=quit then closes the window. UI thread.

class QWidget;

namespace spinx {

// Watches `window` for its first paint when the environment asks for the report.
void ReportFirstShowIfAsked(QWidget& window);

} // namespace spinx
