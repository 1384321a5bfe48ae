#include "shell/Frm_Help.h"

#include "widgets/Twips.h"

#include <QTextBrowser>
#include <QVBoxLayout>

// The document is compiled into this static library; its resources need an explicit start.
static void InitHelpResource() {
    Q_INIT_RESOURCE(help);
}

namespace spinx {

QUrl Frm_Help::Contents() {
    return QUrl(QStringLiteral("qrc:/help/spinx-help.html"));
}

Frm_Help::Frm_Help(QWidget* parent) : QWidget(parent, Qt::Window) {
    InitHelpResource();
    setObjectName(QStringLiteral("Frm_Help"));
    setWindowTitle(QStringLiteral("Spinx Help"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("Browser"));
    // Links out of the document go to the desktop's browser; those within it stay here.
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(TwipsSize(9000, 9000));
}

void Frm_Help::ShowContents() {
    browser_->setSource(Contents());
    browser_->home();
    show();
    raise();
    activateWindow();
}

} // namespace spinx
