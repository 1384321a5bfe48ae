#include "shell/ShownReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace spinx {

namespace {
// Milliseconds since the kernel started this process: the dynamic linker and the static
// initialisers count too, as a user waits for them as well. Resolution is one clock tick.
double MsSinceProcessStart() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces: fields are counted after its closing one.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22 && fields >> field;)
        ++i;
    unsigned long long startTicks = 0;
    fields >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9 -
            static_cast<double>(startTicks) / ticks) *
           1000.0;
}

// Reports once, after the expose that paints the window for the first time.
class ExposeWatch : public QObject {
  public:
    ExposeWatch(QWidget& window, bool quit) : QObject(&window), window_(window), quit_(quit) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && window_.windowHandle() == watched &&
            window_.windowHandle()->isExposed()) {
            qApp->removeEventFilter(this);
            // Queued: the expose is painted by the handler after this filter.
            QTimer::singleShot(0, &window_, [window = &window_, quit = quit_] {
                std::fprintf(stderr, "spinx: shown %.0f ms\n", MsSinceProcessStart());
                std::fflush(stderr);
                if (quit) window->close();
            });
            deleteLater();
        }
        return false;
    }

  private:
    QWidget& window_;
    bool quit_;
};
} // namespace

void ReportFirstShowIfAsked(QWidget& window) {
    const QByteArray asked = qgetenv("SPINX_REPORT_SHOWN");
    if (asked.isEmpty()) return;
    // On the application: the window's handle does not exist before its first show.
    qApp->installEventFilter(new ExposeWatch(window, asked == "quit"));
}

} // namespace spinx
