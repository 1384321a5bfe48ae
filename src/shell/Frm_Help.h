#pragma once
// The help window: the program's own help document, which ships inside the program, in a
// window of its own beside the desk. UI thread.
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace spinx {

class Frm_Help : public QWidget {
    Q_OBJECT
  public:
    // Where the document lives among the program's resources.
    static QUrl Contents();

    explicit Frm_Help(QWidget* parent = nullptr);

    // Shows the window at the start of the document, in front of the desk.
    void ShowContents();

  private:
    QTextBrowser* browser_;
};

} // namespace spinx
