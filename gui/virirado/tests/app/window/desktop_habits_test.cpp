// The window's desktop habits, in a live window: where the keys stay after a
// click on the chrome, Tab's way through every control and the keyboard's
// marks, Space and Return, tips, and following the desktop's scheme.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <set>

#include "Appearance.hpp"
#include "CapsuleButton.hpp"
#include "ChromeFigures.hpp"
#include "DesktopHabits.hpp"
#include "FocusRing.hpp"
#include "PlainText.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"
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

// The names of the controls the key passes, from `start` until the keys come
// back there.
std::vector<std::string> walk(WindowHarness& h, QWidget* start, bool backwards = false) {
    start->setFocus(Qt::TabFocusReason);
    h.settle();
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        QWidget* at = QApplication::focusWidget();
        if (at == nullptr) {
            ADD_FAILURE() << "the keys went nowhere after " << names.size() << " stops";
            break;
        }
        if (!names.empty() && at == start) break;
        names.push_back(at->objectName().toStdString());
        if (backwards) {
            QTest::keyClick(at, Qt::Key_Backtab, Qt::ShiftModifier);
        } else {
            QTest::keyClick(at, Qt::Key_Tab);
        }
        h.settle();
    }
    return names;
}

// Tab's way round the window, checked both ways: Shift+Tab walks it backwards.
void expectChain(WindowHarness& h, const std::vector<std::string>& chain, const char* face) {
    QWidget* search = h.find("searchField");
    EXPECT_EQ(walk(h, search), chain) << face;
    std::vector<std::string> back(chain.rbegin(), chain.rend() - 1);
    back.insert(back.begin(), chain.front());
    EXPECT_EQ(walk(h, search, true), back) << face << ", backwards";
}

// The search field and every scope, first in every face of the window.
std::vector<std::string> headOfChain() {
    std::vector<std::string> names{"searchField"};
    for (durozizo::VadeScope scope : scopeBarScopes())
        names.push_back("scope:" + std::string(scope.rawValue()));
    return names;
}

// The bar's strip and, while it is open, the map join the chain where they
// stand; the map is one stop per tile, each a named element of its own.
void addIfTabReaches(WindowHarness& h, std::vector<std::string>& chain, const char* name) {
    QWidget* w = h.find(name);
    if (w == nullptr || !w->isVisible() || (w->focusPolicy() & Qt::TabFocus) == 0) return;
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(w);
    const bool tiles = std::string(name) == "largestFilesMap";
    const int stops = tiles ? element->childCount() : 1;
    EXPECT_GT(stops, 0) << name;
    for (int i = 0; i < stops; ++i) {
        chain.push_back(name);
        if (tiles) {
            EXPECT_FALSE(element->child(i)->text(QAccessible::Name).isEmpty()) << i;
        }
    }
}

TEST(WindowFocus, TabReachesEveryControlInReadingOrder) {
    {
        // A result, a banner and the open map: every control the window has.
        WindowHarness h;
        h.show();
        h.loadDemo();
        h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
        h.content->model().setMapExpanded(true);
        h.settle();
        std::vector<std::string> chain = headOfChain();
        chain.insert(chain.end(), {"includePrivate", "bannerDismiss"});
        addIfTabReaches(h, chain, "dazuStrip");
        addIfTabReaches(h, chain, "largestFilesMap");
        chain.insert(chain.end(), {"cleanupList", "detailsPath", "reveal", "quickLook",
                                   "tickToggle", "scanButton", "cleanButton"});
        expectChain(h, chain, "a result");
        // A screen reader names each stop as the keys reach it.
        for (const std::string& name : chain) {
            if (name == "largestFilesMap") continue;  // its tiles are named above
            QAccessibleInterface* stop =
                QAccessible::queryAccessibleInterface(h.find(name.c_str()));
            EXPECT_FALSE(stop->text(QAccessible::Name).isEmpty()) << name;
        }
    }
    {
        // Before the first scan: the empty list offers Start scan, and "Clean
        // the tank", with nothing ticked, is passed over.
        WindowHarness h;
        h.show();
        ASSERT_TRUE(h.find("startScan")->isVisible());
        std::vector<std::string> chain = headOfChain();
        chain.push_back("includePrivate");
        addIfTabReaches(h, chain, "dazuStrip");
        chain.insert(chain.end(), {"startScan", "scanButton"});
        expectChain(h, chain, "before the first scan");

        // Scanning: the box is off until the scan ends, and Cancel is the way out.
        h.engine.value.scanning = true;
        h.engine.announce();
        h.settle();
        chain = headOfChain();
        addIfTabReaches(h, chain, "dazuStrip");
        chain.push_back("cancelButton");
        expectChain(h, chain, "scanning");
    }
}

TEST(WindowFocus, SpaceIsAClickAndReturnKeepsItsMeaning) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    h.settle();
    const auto press = [&](const char* name, Qt::Key key = Qt::Key_Space) {
        QWidget* w = h.find(name);
        w->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w, key);
        h.settle();
    };

    press("scope:developer");
    EXPECT_EQ(h.content->model().scope(), durozizo::VadeScope::developer);
    press("scope:everything");
    EXPECT_EQ(h.content->model().scope(), durozizo::VadeScope::everything);
    press("scanButton");
    EXPECT_EQ(h.engine.calls.back(), "scan");
    press("includePrivate");
    EXPECT_EQ(h.engine.calls.back(), "private 0");

    // Return on any control is the window's default action, never a press of
    // that control: the preview is asked for and the banner stays.
    press("bannerDismiss", Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.engine.calls.back() == "preview"; }, kHangMs));
    h.settle();
    EXPECT_TRUE(h.find("banner")->isVisible());
    press("bannerDismiss");
    EXPECT_EQ(h.engine.calls.back(), "banner");
    EXPECT_FALSE(h.find("banner")->isVisible());

    // The details' toggle: the card is built anew with the tick, and the new
    // toggle keeps the keys and their ring, so Space unticks at once.
    h.content->model().select("npm");
    h.settle();
    press("tickToggle");
    EXPECT_EQ(h.engine.calls.back(), "tick npm");
    auto* toggle = h.find<CapsuleButton>("tickToggle");
    EXPECT_EQ(toggle->spokenText(), "Cleaning");
    EXPECT_TRUE(toggle->hasFocus());
    EXPECT_TRUE(showsFocusRing(toggle));
    QTest::keyClick(toggle, Qt::Key_Space);
    h.settle();
    EXPECT_EQ(h.engine.calls.back(), "untick npm");
    EXPECT_TRUE(h.find("tickToggle")->hasFocus());

    // A "review" row asks first: the card is built anew while the sheet has
    // the keys, and they come back to the new toggle with their ring.
    h.content->model().select("sim2");
    h.settle();
    press("tickToggle");
    SheetDialog* sheet = h.content->sheets().current();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(testing::activateSheet(sheet));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    h.settle();
    EXPECT_EQ(h.engine.calls.back(), "tick sim2");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QApplication::activeWindow() == h.window.get(); }, kHangMs));
    toggle = h.find<CapsuleButton>("tickToggle");
    EXPECT_EQ(toggle->spokenText(), "Cleaning");
    EXPECT_TRUE(toggle->hasFocus());
    EXPECT_TRUE(showsFocusRing(toggle));
}

TEST(WindowFocus, AControlThatGoesWithItsFaceHandsTheKeysOn) {
    WindowHarness h;
    h.show();
    const auto pressAndScan = [&](const char* name, bool scanning) {
        QWidget* w = h.find(name);
        w->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w, Qt::Key_Space);
        h.engine.value.scanning = scanning;
        h.engine.value.hasScanned = true;
        h.engine.announce();
        h.settle();
    };
    const auto keysOn = [&](const char* name) {
        QWidget* w = QApplication::focusWidget();
        EXPECT_TRUE(w != nullptr && w->objectName() == name && showsFocusRing(w))
            << "the keys are on " << (w ? w->objectName().toStdString() : "nothing");
    };
    // Start scan, Cancel, Scan again and Cancel once more, all with Space.
    pressAndScan("startScan", true);
    EXPECT_EQ(h.engine.calls.back(), "scan");
    keysOn("cancelButton");
    pressAndScan("cancelButton", false);
    EXPECT_EQ(h.engine.calls.back(), "cancel");
    keysOn("scanButton");
    pressAndScan("scanButton", true);
    keysOn("cancelButton");
}

// What the window around `w` looks like, `kAround` points beyond its edges.
constexpr int kAround = 8;
QImage around(WindowHarness& h, QWidget* w) {
    const QRect r(w->mapTo(h.window.get(), QPoint(0, 0)), w->size());
    return h.window->grab(r.adjusted(-kAround, -kAround, kAround, kAround)).toImage();
}

// The same with the control itself blanked out: only what lies around it.
QImage aroundOnly(WindowHarness& h, QWidget* w) {
    QImage image = around(h, w);
    QPainter(&image).fillRect(QRect(QPoint(kAround, kAround), w->size()), Qt::black);
    return image;
}

// How `stop` and what lies around it look with the keys, then without them.
std::pair<QImage, QImage> withAndWithoutKeysOf(WindowHarness& h, QWidget* stop) {
    QWidget* shown = stop->objectName() == "searchField" ? h.find("searchBar") : stop;
    stop->setFocus(Qt::TabFocusReason);
    h.settle();
    EXPECT_TRUE(stop->hasFocus()) << stop->objectName().toStdString();
    const QImage focused = around(h, shown);
    stop->clearFocus();
    h.settle();
    return {focused, around(h, shown)};
}

TEST(WindowFocus, EveryTabStopShowsWhereTheKeysAre) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    h.settle();
    std::vector<QWidget*> stops;
    for (const std::string& name : walk(h, h.find("searchField")))
        stops.push_back(h.find(name.c_str()));

    // Each stop but the list looks different with the keys than without them.
    // The list draws no ring: its selected line's highlight shows where the
    // keys act, so it looks the same either way, with a line selected or none.
    QWidget* list = h.find("cleanupList");
    ASSERT_NE(list, nullptr);
    const QColor accent("#19B5C9");
    for (QWidget* stop : stops) {
        const auto [focused, unfocused] = withAndWithoutKeysOf(h, stop);
        if (stop == list) {
            EXPECT_TRUE(focused == unfocused) << "the list draws a focus mark";
        } else {
            EXPECT_NE(focused, unfocused) << stop->objectName().toStdString() << " shows no focus";
        }
    }
    // Controls with no room inside carry the ring around them, a few points
    // out; the others inside their capsule.
    for (const auto& [name, outset] : std::vector<std::pair<const char*, int>>{
             {"includePrivate", 5}, {"bannerDismiss", 7}, {"detailsPath", 5}, {"scanButton", 0}}) {
        const auto [focused, unfocused] = withAndWithoutKeysOf(h, h.find(name));
        const QPoint inRing(kAround - outset + 1, focused.height() / 2);
        EXPECT_EQ(focused.pixelColor(inRing), accent) << name;
        EXPECT_NE(unfocused.pixelColor(inRing), accent) << name;
    }
    h.content->model().setSelection(std::nullopt);
    h.settle();
    const auto [focused, unfocused] = withAndWithoutKeysOf(h, list);
    EXPECT_TRUE(focused == unfocused) << "the list without a selection draws a focus mark";

    // A click gives no ring: the path takes the keys from a click, to select
    // text, and shows a caret, but nothing around it.
    h.content->model().select("npm");
    h.settle();
    auto* path = h.find<QPlainTextEdit>("detailsPath");
    const QImage before = aroundOnly(h, path);
    QTest::mouseClick(path->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    h.settle();
    ASSERT_TRUE(path->hasFocus());
    EXPECT_FALSE(showsFocusRing(path));
    EXPECT_TRUE(aroundOnly(h, path) == before) << "a click drew a ring";

    // In the dark the chosen scope is filled with the ring's own colour; its
    // ring shows all the same.
    WindowHarness dark([](WindowServices& services) { services.dark = true; });
    dark.show();
    const auto [withKeys, withoutKeys] = withAndWithoutKeysOf(dark, dark.find("scope:everything"));
    const QPoint justInside(kAround + 3, withKeys.height() / 2);
    EXPECT_EQ(withoutKeys.pixelColor(justInside), accent);
    EXPECT_NE(withKeys.pixelColor(justInside), accent) << "the chosen scope shows no focus";
}

TEST(WindowFocus, KeysBringTheirControlIntoView) {
    WindowHarness h;
    h.show();
    // npm's card lists what it holds, which takes it below the pane's foot.
    auto records = SnapshotDemo::records(h.clock.now());
    for (ItemRecord& r : records) {
        if (r.id != "npm") continue;
        for (int i = 0; i < 10; ++i) {
            ItemRecord member;
            member.id = "npm-" + std::to_string(i);
            member.label = member.id;
            member.path = "~/.npm/_cacache/" + member.id;
            member.size = 1'000'000 * (i + 1);
            r.members.push_back(member);
        }
    }
    h.engine.load(records, 240'400'000'000, 506'300'000'000);
    h.settle();
    // As small as the window goes: the scopes and the details no longer fit.
    h.window->resize(h.window->minimumSizeHint());
    h.settle();
    auto* strip = h.find<QScrollArea>("scopeScroll");
    ASSERT_NE(strip, nullptr);
    ASSERT_GT(strip->horizontalScrollBar()->maximum(), 0);
    const auto inView = [](QWidget* w) { return w->visibleRegion().boundingRect() == w->rect(); };

    // Shift+Tab from the box comes into the strip at its far end.
    ASSERT_FALSE(inView(h.find("scope:cloud")));
    QWidget* box = h.find("includePrivate");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier);
    h.settle();
    ASSERT_TRUE(h.find("scope:cloud")->hasFocus());
    EXPECT_TRUE(inView(h.find("scope:cloud")));

    // Shift+Tab from the summary comes into the details at their foot.
    h.content->model().select("npm");
    h.settle();
    ASSERT_FALSE(inView(h.find("tickToggle")));
    QWidget* scan = h.find("scanButton");
    scan->setFocus(Qt::TabFocusReason);
    QTest::keyClick(scan, Qt::Key_Backtab, Qt::ShiftModifier);
    h.settle();
    ASSERT_TRUE(h.find("tickToggle")->hasFocus());
    EXPECT_TRUE(inView(h.find("tickToggle")));
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
