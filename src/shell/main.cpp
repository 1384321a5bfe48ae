// Spinx: an MP3 mixing desk.
#include "shell/Frm_Main.h"
#include "widgets/DesktopDialogs.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Spinx"));
    spinx::InstallDesktopDialogs();
    spinx::Frm_Main main;
    main.MDIForm_Load();
    main.show();
    return QApplication::exec();
}
