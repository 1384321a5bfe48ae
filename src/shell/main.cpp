// Spinx: an MP3 mixing desk.
#include "shell/Frm_Main.h"
#include "shell/ShownReport.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "widgets/DesktopDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr const char* kHelp =
    "Usage: spinx [OPTION]... [FILE]...\n"
    "An MP3 mixing desk with four decks, a mixer and a playlist.\n"
    "Each FILE, an MP3 song or an M3U playlist, is added to the playlist.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n"
    "\n"
    "Environment: SPINX_PALETTE=dark draws the desk in dark colours.\n";

// A dark theme for desktops that offer none of their own.
QPalette DarkPalette() {
    QPalette dark;
    const QColor window(45, 45, 48), base(30, 30, 32), text(225, 225, 225);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, window);
        dark.setColor(group, QPalette::WindowText, text);
        dark.setColor(group, QPalette::Base, base);
        dark.setColor(group, QPalette::AlternateBase, window);
        dark.setColor(group, QPalette::Text, text);
        dark.setColor(group, QPalette::Button, QColor(60, 60, 64));
        dark.setColor(group, QPalette::ButtonText, text);
        dark.setColor(group, QPalette::ToolTipBase, base);
        dark.setColor(group, QPalette::ToolTipText, text);
        dark.setColor(group, QPalette::Highlight, QColor(42, 130, 218));
        dark.setColor(group, QPalette::HighlightedText, Qt::white);
        dark.setColor(group, QPalette::Link, QColor(110, 170, 255));
        dark.setColor(group, QPalette::Light, QColor(90, 90, 95));
        dark.setColor(group, QPalette::Midlight, QColor(70, 70, 74));
        dark.setColor(group, QPalette::Mid, QColor(80, 80, 84));
        dark.setColor(group, QPalette::Dark, QColor(25, 25, 27));
        dark.setColor(group, QPalette::Shadow, Qt::black);
    }
    const QColor grey(120, 120, 120);
    dark.setColor(QPalette::Disabled, QPalette::Window, window);
    dark.setColor(QPalette::Disabled, QPalette::Base, base);
    dark.setColor(QPalette::Disabled, QPalette::Button, QColor(50, 50, 54));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, grey);
    return dark;
}
} // namespace

int main(int argc, char* argv[]) {
    const spinx::CommandLine line = spinx::ParseCommandLine(
        std::vector<std::string>(argv + 1, argv + argc), spinx::QtApplicationRules());
    if (const int status = spinx::HandleCommandLine(line, "spinx", SPINX_VERSION_TEXT, kHelp);
        status >= 0)
        return status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Spinx"));
    // Ties the windows to the installed desktop entry and its icon (task bars, Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.spinx.Spinx"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.spinx.Spinx")));
    if (qgetenv("SPINX_PALETTE") == "dark") {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(DarkPalette());
    }
    spinx::InstallDesktopDialogs();
    if (std::string error; !spinx::EnsureINIFile(&error))
        spinx::MsgBox("The settings cannot be kept. " + error);
    spinx::Frm_Main main;
    spinx::ReportFirstShowIfAsked(main);
    main.MDIForm_Load();
    main.show();
    // The window first; the song table, the sound device and the playlist come after it.
    std::vector<std::string> songs;
    for (const std::string& file : line.operands)
        songs.push_back(std::filesystem::absolute(file).lexically_normal().string());
    main.LoadAfterShow(spinx::KeptPlaylistPath(), std::move(songs));
    return QApplication::exec();
}
