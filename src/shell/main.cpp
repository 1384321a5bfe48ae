// Spinx: an MP3 mixing desk.
#include "mixer/Frm_Master.h"
#include "shell/Frm_Main.h"
#include "spinx/Version.h"
#include "support/CommandLine.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_INI.h"
#include "support/MsgBox.h"
#include "widgets/DesktopDialogs.h"

#include <QApplication>
#include <QIcon>

#include <filesystem>

namespace {
constexpr const char* kHelp =
    "Usage: spinx [OPTION]... [FILE]...\n"
    "An MP3 mixing desk with four decks, a mixer and a playlist.\n"
    "Each FILE, an MP3 song or an M3U playlist, is added to the playlist.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";
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
    spinx::InstallDesktopDialogs();
    if (std::string error; !spinx::EnsureINIFile(&error))
        spinx::MsgBox("The settings cannot be kept. " + error);
    spinx::Frm_Main main;
    main.MDIForm_Load();
    main.show();
    main.MasterForm()->KeepPlaylist(spinx::KeptPlaylistPath());
    for (const std::string& file : line.operands)
        main.MasterForm()->AddFile(std::filesystem::absolute(file).lexically_normal().string());
    return QApplication::exec();
}
