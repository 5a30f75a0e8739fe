// The keyboard's mark: shown for a focus the keys brought, never for a click or
// a focus the program moved, and kept while the window goes away and comes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "FocusRing.hpp"
#include "Palette.hpp"

namespace virirado {
namespace {

struct TwoFields {
    QWidget window;
    QLineEdit* first = new QLineEdit(&window);
    QLineEdit* second = new QLineEdit(&window);

    TwoFields() {
        auto* column = new QVBoxLayout(&window);
        column->addWidget(first);
        column->addWidget(second);
        window.show();
        window.activateWindow();
        activated = QTest::qWaitForWindowActive(&window);
    }
    bool activated = false;
    // The focus event as the platform delivers it, with its reason.
    static void focusIn(QWidget* w, Qt::FocusReason reason) {
        w->setFocus(reason);
        QFocusEvent in(QEvent::FocusIn, reason);
        QApplication::sendEvent(w, &in);
    }
};

TEST(FocusRing, OnlyAFocusTheKeysBroughtShowsIt) {
    TwoFields f;
    ASSERT_TRUE(f.activated);
    f.focusIn(f.second, Qt::TabFocusReason);
    ASSERT_TRUE(f.second->hasFocus());
    EXPECT_TRUE(showsFocusRing(f.second));
    EXPECT_FALSE(showsFocusRing(f.first));

    // The window losing and regaining the keys keeps the mark; so does a
    // menu closing over it.
    f.focusIn(f.second, Qt::ActiveWindowFocusReason);
    EXPECT_TRUE(showsFocusRing(f.second));
    f.focusIn(f.second, Qt::PopupFocusReason);
    EXPECT_TRUE(showsFocusRing(f.second));

    // A click, or the program moving the focus, shows none.
    f.focusIn(f.second, Qt::MouseFocusReason);
    EXPECT_FALSE(showsFocusRing(f.second));
    f.focusIn(f.first, Qt::BacktabFocusReason);
    EXPECT_TRUE(showsFocusRing(f.first));
    f.focusIn(f.first, Qt::OtherFocusReason);
    EXPECT_FALSE(showsFocusRing(f.first));

    // Without the focus nothing shows, whatever brought it last.
    f.focusIn(f.second, Qt::ShortcutFocusReason);
    EXPECT_TRUE(showsFocusRing(f.second));
    EXPECT_FALSE(showsFocusRing(f.first));
}

TEST(FocusRing, IsTwoPointsOfAccentInsideTheShape) {
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    paintFocusRing(p, QRectF(0, 0, 40, 20), -1);
    p.end();
    const QColor accent = Palette::of(false).accent;
    // The capsule's straight top edge: both rows of the band are accent, the
    // one under them is untouched, and nothing lies outside the shape.
    EXPECT_EQ(image.pixelColor(20, 0), accent);
    EXPECT_EQ(image.pixelColor(20, 1), accent);
    EXPECT_EQ(image.pixelColor(20, 2), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(20, 10), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
}

}  // namespace
}  // namespace virirado
