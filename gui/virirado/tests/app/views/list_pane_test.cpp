#include <gtest/gtest.h>

#include <QTest>

#include "CapsuleButton.hpp"
#include "CleanupList.hpp"
#include "ListPane.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

struct PaneHarness : WindowHarness {
    ListPane* pane = nullptr;
    PaneHarness() {
        show();
        pane = find<ListPane>("listPane");
    }
    WindowModel& model() { return content->model(); }
    QString title() const { return pane->emptyState()->title(); }
    QString detail() const { return pane->emptyState()->detail(); }
    bool startShown() const { return pane->emptyState()->startButton()->isVisible(); }
};

TEST(ListPane, EmptyStateTextsInOrderOfPrecedence) {
    PaneHarness h;
    ASSERT_NE(h.pane, nullptr);
    const QString ready = "Click Start scan when you are ready. Scanning only reads.";
    // Before any scan.
    EXPECT_EQ(h.pane->face(), ListFace::empty);
    EXPECT_TRUE(h.pane->emptyState()->isVisible());
    EXPECT_EQ(h.title(), "Ready to scan");
    EXPECT_EQ(h.detail(), ready);
    EXPECT_TRUE(h.startShown());

    // A scope that holds nothing names itself; the button stays until a scan.
    h.model().setScope(durozizo::VadeScope::network);
    h.settle();
    EXPECT_EQ(h.title(), "Nothing in Network");
    EXPECT_EQ(h.detail(), "Try Everything.");
    // The query is asked about before the scope.
    h.model().setQuery("zzz");
    h.settle();
    EXPECT_EQ(h.title(), "No matches");
    EXPECT_EQ(h.detail(), "Try fewer words.");

    // A scan that found nothing: no button any more.
    h.model().setQuery("");
    h.model().setScope(durozizo::VadeScope::everything);
    h.engine.load({}, 1000, 2000);
    h.settle();
    EXPECT_EQ(h.title(), "Nothing in the tank");
    EXPECT_EQ(h.detail(), ready);
    EXPECT_FALSE(h.startShown());

    // Rows: the list. A query that hides them all: "No matches" again.
    h.loadDemo();
    EXPECT_EQ(h.pane->face(), ListFace::list);
    EXPECT_TRUE(h.pane->list()->isVisible());
    h.model().setScope(durozizo::VadeScope::caches);
    h.model().setQuery("nothing-like-this");
    h.settle();
    EXPECT_EQ(h.title(), "No matches");
    EXPECT_FALSE(h.startShown());
    h.model().setQuery("");
    h.settle();
    EXPECT_EQ(h.pane->face(), ListFace::list);
}

TEST(ListPane, ScanningPaneOnlyWhileNothingIsVisible) {
    PaneHarness h;
    h.engine.value.scanning = true;
    h.engine.value.hasScanned = true;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(h.pane->face(), ListFace::scanning);
    EXPECT_TRUE(h.find("scanningPane")->isVisible());

    // Rows arriving mid-scan replace it with the list at once.
    h.loadDemo();
    h.engine.value.scanning = true;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(h.pane->face(), ListFace::list);
    // A query that hides every row while scanning: still the scanning pane.
    h.model().setQuery("nothing-like-this");
    h.settle();
    EXPECT_EQ(h.pane->face(), ListFace::scanning);
    EXPECT_FALSE(h.pane->emptyState()->isVisible());
}

TEST(ListPane, StartScanCallsScan) {
    PaneHarness h;
    CapsuleButton* start = h.find<CapsuleButton>("startScan");
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(start->isVisible());
    EXPECT_EQ(start->accessibleName(), "Start scan");
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "scan"), 1);
}

TEST(ListPane, EmptyPanelColours) {
    for (bool dark : {false, true}) {
        PaneHarness h;
        h.content->setDark(dark);
        h.settle();
        EmptyStatePanel* panel = h.pane->emptyState();
        const QImage image = panel->grab().toImage();
        // Inside the card, clear of every child; and its outline at the left edge.
        EXPECT_EQ(image.pixelColor(8, panel->height() / 2), QColor(dark ? "#0D2238" : "#FFFFFF"));
        EXPECT_EQ(image.pixelColor(0, panel->height() / 2), QColor(dark ? "#1E3B58" : "#E3E9EF"));
        h.content->setDark(false);
    }
}

}  // namespace
}  // namespace virirado
