// The window's desktop habits, in a live window: where the keys stay after a
// click on the chrome, the Tab stops and their focus marks, tips, and following
// the desktop's scheme.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <set>

#include "Appearance.hpp"
#include "CapsuleButton.hpp"
#include "DesktopHabits.hpp"
#include "PlainText.hpp"
#include "Settled.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using testing::WindowHarness;

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

// Every control of the chrome a mouse can press, as the demo shows them: each
// scope (the selected one too), the bar's strip and legend, the banner's
// Dismiss, the summary's buttons, Reveal and Quick Look.
std::vector<QWidget*> chrome(WindowHarness& h) {
    std::vector<QWidget*> out;
    for (QWidget* w : h.content->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const QString name = w->objectName();
        static const std::set<QString> named{"dazuStrip",   "dazuLegend", "bannerDismiss",
                                             "cleanButton", "scanButton", "reveal",
                                             "quickLook"};
        if (name.startsWith("scope:") || named.count(name)) out.push_back(w);
    }
    return out;
}

TEST(WindowFocus, ChromeClicksLeaveTheKeysWhereTheyWere) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    h.settle();
    auto* search = h.find<QLineEdit>("searchField");
    QWidget* list = h.find("cleanupList");
    ASSERT_NE(search, nullptr);
    ASSERT_NE(list, nullptr);

    for (QWidget* holder : {static_cast<QWidget*>(search), list}) {
        const std::vector<QWidget*> controls = chrome(h);
        EXPECT_GE(controls.size(), 13u);
        for (QWidget* control : controls) {
            // Every row in view, so the list is there to hold the keys.
            h.content->model().setScope(durozizo::VadeScope::everything);
            h.settle();
            if (!control->isVisible()) continue;
            holder->setFocus(Qt::OtherFocusReason);
            ASSERT_TRUE(holder->hasFocus());
            click(control);
            h.settle();
            // A scope without rows puts the empty state in the list's place.
            if (!holder->isVisible()) continue;
            EXPECT_TRUE(holder->hasFocus())
                << "a click on " << control->objectName().toStdString() << " took the keys from "
                << holder->objectName().toStdString() << " to "
                << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                : QString("nothing"))
                       .toStdString();
        }
    }
    // The scope clicks did their work all the same.
    click(h.find("scope:developer"));
    h.settle();
    EXPECT_EQ(h.content->model().scope(), durozizo::VadeScope::developer);

    // Text typed after a scope click lands in the field.
    search->setFocus(Qt::OtherFocusReason);
    click(h.find("scope:everything"));
    QTest::keyClicks(QApplication::focusWidget(), "npm");
    h.settle();
    EXPECT_EQ(search->text(), "npm");
}

// What the window around `w` looks like, a few points beyond its edges.
QImage around(WindowHarness& h, QWidget* w) {
    const QRect r(w->mapTo(h.content, QPoint(0, 0)), w->size());
    return h.content->grab(r.adjusted(-4, -4, 4, 4)).toImage();
}

TEST(WindowFocus, EveryTabStopShowsWhereTheKeysAre) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* search = h.find<QLineEdit>("searchField");
    search->setFocus(Qt::TabFocusReason);

    std::vector<QWidget*> stops;
    for (int i = 0; i < 12; ++i) {
        QWidget* at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        if (!stops.empty() && at == stops.front()) break;
        stops.push_back(at);
        QTest::keyClick(at, Qt::Key_Tab);
        h.settle();
    }
    std::vector<std::string> names;
    for (QWidget* w : stops)
        names.push_back(w->objectName().toStdString());
    EXPECT_EQ(names,
              (std::vector<std::string>{"searchField", "includePrivate", "scope:everything",
                                        "dazuStrip", "cleanupList", "scanButton", "cleanButton",
                                        "detailsPath", "reveal", "quickLook", "tickToggle"}));

    // Each stop but the list looks different with the keys than without them.
    // The list draws no ring: its selected line's highlight shows where the
    // keys act, so it looks the same either way, with a line selected or none.
    QWidget* list = h.find("cleanupList");
    ASSERT_NE(list, nullptr);
    const auto withAndWithoutKeys = [&](QWidget* stop) {
        QWidget* shown = stop->objectName() == "searchField" ? h.find("searchBar") : stop;
        stop->setFocus(Qt::TabFocusReason);
        h.settle();
        EXPECT_TRUE(stop->hasFocus()) << stop->objectName().toStdString();
        const QImage focused = around(h, shown);
        stop->clearFocus();
        h.settle();
        return std::pair(focused, around(h, shown));
    };
    for (QWidget* stop : stops) {
        const auto [focused, unfocused] = withAndWithoutKeys(stop);
        if (stop == list) {
            EXPECT_TRUE(focused == unfocused) << "the list draws a focus mark";
        } else {
            EXPECT_NE(focused, unfocused) << stop->objectName().toStdString() << " shows no focus";
        }
    }
    h.content->model().setSelection(std::nullopt);
    h.settle();
    const auto [focused, unfocused] = withAndWithoutKeys(list);
    EXPECT_TRUE(focused == unfocused) << "the list without a selection draws a focus mark";
}

// The tip window Qt shows for `tip` over `w`.
QLabel* shownTip(QWidget* w, const QString& tip) {
    QToolTip::showText(w->mapToGlobal(w->rect().center()), tip, w);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "qtooltip_label" && top->isVisible()) {
            return qobject_cast<QLabel*>(top);
        }
    }
    return nullptr;
}

QString withoutJoiners(QString text) {
    return text.remove(QChar(kWordJoiner));
}

TEST(Tips, ArePlainTextAtAReadableWidth) {
    WindowHarness h;
    h.show();
    QWidget* bar = h.find("searchBar");
    const QString filters = "Filters: size:>1G kind:devbuild age:>90d ext:mov is:ticked";
    EXPECT_EQ(bar->toolTip(), filters);

    QLabel* tip = shownTip(bar, bar->toolTip());
    ASSERT_NE(tip, nullptr);
    EXPECT_FALSE(Qt::mightBeRichText(tip->text()));
    // The example is read in one line, not broken into a narrow box.
    const QFontMetrics metrics(tip->font());
    EXPECT_GE(tip->width(), metrics.horizontalAdvance(filters));
    EXPECT_LT(tip->height(), 2 * metrics.lineSpacing());
    QToolTip::hideText();

    // Text from the engine: shown as written, whatever markup it seems to hold,
    // in lines no longer than the tip width.
    const QString note =
        "<b>Full</b> Disk Access is off &lt;for&gt; Mail & Safari, and the "
        "folders below stay unread: /home/tester/Library/Containers/com.x.y";
    const QString plain = plainToolTip(note);
    EXPECT_FALSE(Qt::mightBeRichText(plain));
    QString joined = withoutJoiners(plain);
    for (const QString& line : joined.split('\n'))
        EXPECT_LE(line.size(), static_cast<int>(kTipColumns)) << line.toStdString();
    EXPECT_EQ(joined.replace('\n', ' '), note);
    tip = shownTip(bar, plain);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip->textFormat() == Qt::RichText || Qt::mightBeRichText(tip->text()), false);
    QToolTip::hideText();
    // Line breaks in the text stay, carriage returns included.
    EXPECT_EQ(withoutJoiners(plainToolTip(QStringLiteral("a\r\nb\rc"))), "a\nb\nc");
}

TEST(Appearance, FollowsTheDesktopUnlessPinned) {
    QPalette desktopDark;
    desktopDark.setColor(QPalette::Window, QColor("#2D2D2D"));
    QPalette desktopLight;
    desktopLight.setColor(QPalette::Window, QColor("#EFEFEF"));
    {
        WindowHarness h([](WindowServices& s) { s.followDesktop = true; });
        h.show();
        ASSERT_FALSE(h.content->model().dark());
        QApplication::setPalette(desktopDark);
        EXPECT_TRUE(QTest::qWaitFor([&] { return h.content->model().dark(); }, kHangMs));
        h.settle();
        // The app's own palette is back in place, in the dark scheme.
        EXPECT_TRUE(Appearance::isOwnPalette(QApplication::palette()));
        EXPECT_EQ(h.content->grab().toImage().pixelColor(2, 2), QColor("#07192B"));

        QApplication::setPalette(desktopLight);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !h.content->model().dark(); }, kHangMs));
        h.settle();
        EXPECT_EQ(h.content->grab().toImage().pixelColor(2, 2), QColor("#FFFFFF"));
    }
    {
        // Pinned (or taking pictures): the desktop's switch changes nothing. A
        // window that follows the desktop shows when the switch has arrived.
        WindowHarness pinned;
        pinned.show();
        WindowHarness following([](WindowServices& s) { s.followDesktop = true; });
        following.show();
        QApplication::setPalette(desktopDark);
        ASSERT_TRUE(QTest::qWaitFor([&] { return following.content->model().dark(); }, kHangMs));
        pinned.settle();
        EXPECT_FALSE(pinned.content->model().dark());
    }
    Appearance::applyToApplication(false);
}

}  // namespace
}  // namespace virirado
