#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "CapsuleButton.hpp"
#include "ChromeFigures.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using durozizo::VadeScope;
using testing::WindowHarness;

CapsuleButton* scopeButton(WindowHarness& h, const char* raw) {
    return h.find<CapsuleButton>((std::string("scope:") + raw).c_str());
}

TEST(ScopeBar, EightScopesWithTheirTickedGigabytes) {
    WindowHarness h;
    h.show();
    // Before any scan every figure is a bare zero.
    for (VadeScope scope : scopeBarScopes()) {
        CapsuleButton* b = scopeButton(h, std::string(scope.rawValue()).c_str());
        ASSERT_NE(b, nullptr) << scope.rawValue();
        ASSERT_EQ(b->runs().size(), 2u);
        EXPECT_EQ(b->runs()[0].text, QString::fromUtf8(scope.title()));
        EXPECT_EQ(b->runs()[1].text, "0");
    }
    EXPECT_EQ(scopeButton(h, "network"), nullptr);

    h.loadDemo();
    const auto& items = h.content->model().rows()->items;
    EXPECT_EQ(scopeButton(h, "everything")->runs()[1].text, "50.8");
    for (VadeScope scope : scopeBarScopes()) {
        EXPECT_EQ(
            scopeButton(h, std::string(scope.rawValue()).c_str())->runs()[1].text.toStdString(),
            scopeFigure(scopeTickedBytes(items, scope)));
    }

    // A query hides rows but never changes what is ticked in a scope.
    h.content->model().setQuery("zzzz-no-such-thing");
    h.settle();
    EXPECT_EQ(scopeButton(h, "everything")->runs()[1].text, "50.8");
}

TEST(ScopeBar, ClickChangesOnlyTheScope) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    WindowModel& model = h.content->model();
    model.setQuery("e");
    h.settle();
    const auto selection = model.selection();
    const auto expanded = model.expanded();
    const std::size_t calls = h.engine.calls.size();

    CapsuleButton* caches = scopeButton(h, "caches");
    QTest::mouseClick(caches, Qt::LeftButton);
    h.settle();
    EXPECT_EQ(model.scope(), VadeScope::caches);
    EXPECT_EQ(model.query(), "e");
    EXPECT_EQ(model.selection(), selection);
    EXPECT_EQ(model.expanded(), expanded);
    EXPECT_EQ(h.engine.calls.size(), calls);
    EXPECT_TRUE(caches->isChecked());
    EXPECT_FALSE(scopeButton(h, "everything")->isChecked());

    // The selected scope is drawn filled: its middle is the selected fill.
    const QImage picture = caches->grab().toImage();
    EXPECT_EQ(picture.pixelColor(caches->width() / 2, 1), QColor("#0F2A47"));

    // Clicking it again changes nothing, and it stays selected.
    QTest::mouseClick(caches, Qt::LeftButton);
    h.settle();
    EXPECT_EQ(model.scope(), VadeScope::caches);
    EXPECT_TRUE(caches->isChecked());

    // An assistive tool's Toggle chooses as a click does; on the chosen scope
    // it changes nothing either.
    const auto toggle = [&](const char* raw) {
        QAccessible::queryAccessibleInterface(scopeButton(h, raw))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::toggleAction());
        h.settle();
    };
    toggle("developer");
    EXPECT_EQ(model.scope(), VadeScope::developer);
    EXPECT_FALSE(caches->isChecked());
    toggle("developer");
    EXPECT_EQ(model.scope(), VadeScope::developer);
    EXPECT_TRUE(scopeButton(h, "developer")->isChecked());
}

TEST(ScopeBar, DownloadsAndAppsStoresItsValueWithoutARescanAndWaitsOutAScan) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* box = h.find<QCheckBox>("includePrivate");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Downloads and apps");
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(box->isEnabled());
    const std::size_t rows = h.content->model().rows()->rows.size();

    h.engine.calls.clear();
    QTest::mouseClick(box, Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.engine.calls, std::vector<std::string>{"private 0"});
    EXPECT_FALSE(h.engine.value.includePrivate);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(h.content->model().rows()->rows.size(), rows);

    h.engine.value.scanning = true;
    h.engine.announce();
    h.settle();
    EXPECT_FALSE(box->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.engine.calls.size(), 1u);

    h.engine.value.scanning = false;
    h.engine.announce();
    h.settle();
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());

    // An assistive tool's Toggle, the action it is offered, stores the value
    // as a click does, once; the window's own setting of the box stores none.
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(box)->actionInterface();
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    h.engine.calls.clear();
    actions->doAction(QAccessibleActionInterface::toggleAction());
    h.settle();
    EXPECT_EQ(h.engine.calls, std::vector<std::string>{"private 1"});
    EXPECT_TRUE(h.engine.value.includePrivate);
    EXPECT_TRUE(box->isChecked());
    h.engine.value.includePrivate = false;
    h.engine.announce();
    h.settle();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(h.engine.calls.size(), 1u);
}

TEST(ScopeBar, CheckBoxEdgeShowsInBothSchemes) {
    WindowHarness h;
    h.show();
    auto* box = h.find<QCheckBox>("includePrivate");
    ASSERT_NE(box, nullptr);
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    const QPoint edge = box->mapTo(h.content, QPoint(indicator.left(), indicator.center().y()));
    for (bool dark : {true, false}) {
        h.content->setDark(dark);
        h.settle();
        const QColor seen = h.content->grab().toImage().pixelColor(edge);
        const QColor window(dark ? "#07192B" : "#FFFFFF");
        const int apart =
            std::max({std::abs(seen.red() - window.red()), std::abs(seen.green() - window.green()),
                      std::abs(seen.blue() - window.blue())});
        EXPECT_GE(apart, 40) << seen.name().toStdString();
        if (dark) {
            // On the dark window the edge is the outline colour.
            EXPECT_LE(std::abs(seen.blue() - 0x58), 4) << seen.name().toStdString();
        }
    }
    h.content->setDark(false);
}

}  // namespace
}  // namespace virirado
