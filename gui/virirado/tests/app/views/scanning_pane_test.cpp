#include <gtest/gtest.h>

#include <QTest>

#include "ClampedLabel.hpp"
#include "FrameTicker.hpp"
#include "RunsLabel.hpp"
#include "ScanBar.hpp"
#include "ScanningPane.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

// The pane on its own, as the list pane shows it, over the harness's window.
struct Pane {
    WindowHarness h;
    ScanningPane* pane;

    Pane() {
        h.show();
        pane = new ScanningPane(AreaContext{h.content->model(), h.files, h.clock});
        pane->resize(700, 480);
        pane->show();
    }
    ~Pane() { delete pane; }
    void present() {
        h.engine.announce();
        h.settle();
        pane->present(h.content->model().view());
        QCoreApplication::processEvents();
    }
    template <typename T = QWidget>
    T* find(const char* name) {
        return pane->findChild<T*>(QString::fromLatin1(name));
    }
};

TEST(ScanningPane, ShowsPercentTimeLeftPlaceAndRecentPlaces) {
    Pane p;
    EngineState& e = p.h.engine.value;
    e.scanning = true;
    e.pct = 62.5;
    e.eta = 150;
    e.place = "/home/tester/Library/Caches";
    e.scanPlaces = {"/opt/a", "/home/tester/b", "/home/testerx/c", "/home/tester/Library/Caches"};
    p.present();
    EXPECT_EQ(p.find<RunsLabel>("scanTitle")->text(), "Scanning the tank63%");
    EXPECT_EQ(p.find<ClampedLabel>("scanEta")->text(), "about 3 min left");
    EXPECT_EQ(p.find<ClampedLabel>("scanPlace")->text(), "~/Library/Caches");
    // Newest first; another user's folder that merely starts the same stays whole.
    EXPECT_EQ(p.find<ClampedLabel>("scanRecent0")->text(), "/home/testerx/c");
    EXPECT_EQ(p.find<ClampedLabel>("scanRecent1")->text(), "~/b");
    EXPECT_EQ(p.find<ScanBar>("scanBar")->size(), QSize(280, 10));
    EXPECT_DOUBLE_EQ(p.find<ScanBar>("scanBar")->fillWidth(), 175);

    e.place.clear();
    e.scanPlaces = {"/opt/a"};
    e.pct = std::nan("");
    p.present();
    EXPECT_FALSE(p.find("scanPlaceCapsule")->isVisible());
    EXPECT_FALSE(p.find("scanRecent")->isVisible());
    EXPECT_EQ(p.find<RunsLabel>("scanTitle")->text(), "Scanning the tank0%");
    EXPECT_DOUBLE_EQ(p.find<ScanBar>("scanBar")->fillWidth(), 12);
}

TEST(ScanningPane, MotionOnlyWithMotionOnAndWhileShown) {
    Pane p;
    p.h.engine.value.scanning = true;
    p.h.engine.value.place = "/opt/x";
    p.present();
    auto* rings = p.pane->findChild<ScanRings*>();
    auto* bar = p.find<ScanBar>("scanBar");
    ASSERT_TRUE(rings && bar);
    // Reduce motion is on in the harness: no timers at all.
    for (FrameTicker* ticker : p.pane->findChildren<FrameTicker*>())
        EXPECT_FALSE(ticker->hasTimer());

    p.h.content->model().setReduceMotion(false);
    p.present();
    EXPECT_FALSE(rings->reduceMotion());
    EXPECT_TRUE(bar->shimmering());
    p.pane->hide();
    EXPECT_FALSE(bar->shimmering());
    for (FrameTicker* ticker : p.pane->findChildren<FrameTicker*>())
        EXPECT_FALSE(ticker->running());
}

}  // namespace
}  // namespace virirado
