// The desk on the screen it opens on (each run of this program sees one screen size): every
// window in reach, no deck over another or under the mixer, the playlist's buttons below it.
#include "desktest/DeskTest.h"

#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

namespace spinx::test {
namespace {

using GeometryTest = DeskTest;

// The rectangle of `widget` in the coordinates of `ancestor`.
QRect RectIn(const QWidget& widget, const QWidget& ancestor) {
    return QRect(widget.mapTo(&ancestor, QPoint(0, 0)), widget.size());
}

// Every control lies within its window, and no text is cut short.
void ExpectNothingCutOff(const QMdiArea& area) {
    for (QMdiSubWindow* window : area.subWindowList()) {
        const QWidget& form = *window->widget();
        for (const QWidget* control : form.findChildren<QWidget*>()) {
            if (!control->isVisibleTo(&form) || control->parentWidget() != &form) continue;
            const std::string name =
                control->objectName().toStdString() + " in " + form.objectName().toStdString();
            EXPECT_TRUE(form.rect().contains(RectIn(*control, form))) << name << " cut off";
            if (qobject_cast<const QLabel*>(control) || qobject_cast<const QCheckBox*>(control)) {
                EXPECT_GE(control->height(), control->minimumSizeHint().height()) << name;
            }
        }
    }
}

// After Arrange with all four decks shown, the windows keep apart, fit the main window (or are
// reached by scrolling), and every control lies within its own window.
TEST_F(GeometryTest, ArrangedDeskFitsTheScreen) {
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    const QRect screen = main->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(main->frameGeometry())) << "main window off the screen";

    for (int16_t i = 2; i < 4; ++i)
        main->Mnu_View_Deck_Click(i);
    Ctl<QAction>(*main, "Mnu_Window_Arrange").trigger();
    QApplication::processEvents();

    QMdiArea& area = main->Area();
    const QWidget* mixer = master->parentWidget();
    std::vector<QRect> decks;
    for (int p = 0; p < 4; ++p)
        decks.push_back(Deck(p).parentWidget()->geometry());
    for (int p = 0; p < 4; ++p) {
        EXPECT_FALSE(decks[p].intersects(mixer->geometry())) << "deck " << p + 1 << " under mixer";
        for (int q = p + 1; q < 4; ++q)
            EXPECT_FALSE(decks[p].intersects(decks[q])) << "decks " << p + 1 << " and " << q + 1;
    }

    // A window beyond the visible part is reached through the area's scroll bars.
    const QRect visible = area.viewport()->rect();
    QRect used = mixer->geometry();
    for (const QRect& deck : decks)
        used |= deck;
    EXPECT_GE(area.horizontalScrollBar()->maximum(), used.right() - visible.right());
    EXPECT_GE(area.verticalScrollBar()->maximum(), used.bottom() - visible.bottom());
    // From 1366x768 screen pixels up (scale 2 on 1920x1080 as well) the mixer and the four
    // decks are all in view at once.
    const QSize pixels = main->screen()->geometry().size() * main->screen()->devicePixelRatio();
    const bool roomy = pixels.width() >= 1366 && pixels.height() >= 768;
    EXPECT_TRUE(!roomy || visible.contains(used)) << "some window needs scrolling " << visible.height() << " " << used.bottom() << " " << visible.width() << " " << used.right();
    ExpectNothingCutOff(area);
    const QWidget& list = Ctl(*master, "List1");
    EXPECT_GE(RectIn(Ctl(*master, "Cmd_Add"), *master).top(), RectIn(list, *master).bottom());

    // A taller window gives the playlist the room.
    const int listHeight = list.height();
    main->resize(main->width(), main->height() + mixer->minimumSizeHint().height());
    QApplication::processEvents();
    EXPECT_GT(list.height(), listHeight);
    EXPECT_GE(RectIn(Ctl(*master, "Cmd_Add"), *master).top(), RectIn(list, *master).bottom());

    // A larger font, arranged again, makes the windows larger rather than cutting their text.
    if (main->devicePixelRatio() > 1) return; // there the desk keeps the font that fits
    QFont large = area.font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    area.setFont(large);
    Ctl<QAction>(*main, "Mnu_Window_Arrange").trigger();
    QApplication::processEvents();
    EXPECT_GT(Deck(0).parentWidget()->height(), decks[0].height());
    ExpectNothingCutOff(area);
}

} // namespace
} // namespace spinx::test
