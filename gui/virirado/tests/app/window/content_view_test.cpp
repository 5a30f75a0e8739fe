#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "BannerBar.hpp"
#include "Settled.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using testing::WindowHarness;

int top(QWidget* w, QWidget* root) {
    return w->mapTo(root, QPoint(0, 0)).y();
}
int bottom(QWidget* w, QWidget* root) {
    return top(w, root) + w->height();
}

TEST(ContentView, AreasInOrderWithTheirGaps) {
    WindowHarness h;
    h.show();
    QWidget* root = h.content;
    EXPECT_EQ(root->size(), QSize(1280, 840));

    QWidget* header = h.find("header");
    QWidget* search = h.find("searchField");
    QWidget* hero = h.find("hero");
    QWidget* scopes = h.find("scopeBar");
    QWidget* banner = h.find("banner");
    QWidget* dazu = h.find("dazuBar");
    QWidget* list = h.find("listPane");
    QWidget* details = h.find("details");
    QWidget* summary = h.find("summaryBar");
    for (QWidget* w : {header, search, hero, scopes, banner, dazu, list, details, summary})
        ASSERT_NE(w, nullptr);

    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(top(header, root), 8);
    EXPECT_GE(top(search, root), top(header, root));
    EXPECT_LE(bottom(search, root), bottom(header, root));
    EXPECT_EQ(top(hero, root), bottom(header, root) + 12);
    EXPECT_EQ(top(scopes, root), bottom(hero, root) + 12);
    EXPECT_EQ(top(dazu, root), bottom(scopes, root) + 12);
    EXPECT_EQ(top(list, root), bottom(dazu, root) + 12);
    EXPECT_EQ(top(details, root), top(list, root));
    EXPECT_EQ(top(summary, root), bottom(list, root) + 12);
    EXPECT_EQ(bottom(summary, root), 840 - 18);

    // Left and right margins, and the details pane's fixed width 14 points away.
    EXPECT_EQ(list->mapTo(root, QPoint(0, 0)).x(), 24);
    EXPECT_EQ(details->width(), 350);
    EXPECT_EQ(details->mapTo(root, QPoint(0, 0)).x(),
              list->mapTo(root, QPoint(0, 0)).x() + list->width() + 14);
    EXPECT_EQ(details->mapTo(root, QPoint(0, 0)).x() + 350, 1280 - 24);

    // A banner takes its place between the scope bar and the bar, and closes up
    // again when dismissed.
    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    h.settle();
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(top(banner, root), bottom(scopes, root) + 12);
    EXPECT_EQ(top(dazu, root), bottom(banner, root) + 12);
    h.engine.setBanner(std::nullopt);
    h.settle();
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(top(dazu, root), bottom(scopes, root) + 12);
}

TEST(ContentView, ShowingStartsTheEngineOnce) {
    WindowHarness h;
    h.show();
    h.window->hide();
    h.window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "start"), 1);
}

TEST(ContentView, CtrlFFocusesTheSearchFromAnywhere) {
    WindowHarness h;
    h.show();
    auto* search = h.find<QLineEdit>("searchField");
    ASSERT_NE(search, nullptr);
    h.find("listPane")->setFocusPolicy(Qt::StrongFocus);
    h.find("listPane")->setFocus();
    EXPECT_FALSE(search->hasFocus());
    QTest::keyClick(h.window.get(), Qt::Key_F, Qt::ControlModifier);
    h.settle();
    EXPECT_TRUE(search->hasFocus());
    EXPECT_TRUE(h.content->model().searchFocused());
}

TEST(ContentView, NewResultSelectsTheFirstRowAndBackgroundFollowsTheScheme) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    const RowRefs visible = h.content->model().visibleRows();
    ASSERT_FALSE(visible.empty());
    EXPECT_EQ(h.content->model().selection(), visible.front()->id);

    EXPECT_EQ(h.content->grab().toImage().pixelColor(2, 2), QColor("#FFFFFF"));
    h.content->setDark(true);
    EXPECT_EQ(h.content->grab().toImage().pixelColor(2, 2), QColor("#07192B"));
    h.content->setDark(false);
}

// While a scan streams, an engine change may wait for its refresh, so a long
// list is not derived again for every piece of the stream; it still shows soon
// after, and the person's own changes, like the end of the scan, show at once
// and take any waiting change with them.
TEST(ContentView, EngineChangesDuringAScanAreRefreshedAtAPace) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* banner = h.content->findChild<BannerBar*>();
    ASSERT_NE(banner, nullptr);
    h.engine.value.scanning = true;
    h.engine.value.banner = "first";
    h.engine.announce();
    EXPECT_TRUE(QTest::qWaitFor([&] { return banner->text() == "first"; }, kHangMs));

    h.engine.value.banner = "second";
    h.engine.announce();
    h.content->model().setQuery("cache");  // typed: refreshes now, the engine's change with it
    QCoreApplication::processEvents();
    EXPECT_EQ(banner->text(), "second");

    h.engine.value.banner = "done";
    h.engine.value.scanning = false;
    h.engine.announce();
    QCoreApplication::processEvents();
    EXPECT_EQ(banner->text(), "done");
}

}  // namespace
}  // namespace virirado
