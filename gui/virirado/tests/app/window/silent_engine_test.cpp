// No silence or stray line of the engine holds the window in "Scanning": a
// "progress" after the result, a scan never answered, a result with one odd
// name, an engine that exits quietly mid-scan. Each time the person can scan
// again with the keys and buttons they see.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "EngineMarker.hpp"
#include "HostileWindow.hpp"
#include "Settled.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using namespace testing::hostile;

const std::string kDoneWithA =
    "say {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000,\"items\":[{\"id\":\"a\","
    "\"label\":\"item a\",\"category\":\"caches\",\"size\":4096,\"path\":\"/tmp/none/a\"}]}\n";

// Presses Ctrl+`key` on the window as the person sees it. A shortcut clicks its
// button a moment later: callers wait for what the press leads to.
void keys(HostileWindow& w, Qt::Key key) {
    w.refresh();
    QTest::keyClick(w.window.get(), key, Qt::ControlModifier);
}

// Said after the line a test is about: once the window took it, it took that
// line too.
const std::string kMarker = markerLine("after");

bool shown(HostileWindow& w, const char* name) {
    auto* button = w.content->findChild<CapsuleButton*>(name);
    return button != nullptr && button->isVisibleTo(w.window.get());
}

TEST(SilentEngine, AStrayProgressAfterTheResultLeavesTheButtons) {
    HostileWindow w(volume("1000", "100000") + "on scan\n" + kDoneWithA +
                    "say {\"event\":\"progress\",\"pct\":50,\"place\":\"/stray\"}\n" + kMarker +
                    "on scan\n" + kDoneWithA);
    ASSERT_TRUE(w.scan());
    ASSERT_TRUE(markerTaken(w, "after"));
    w.refresh();
    EXPECT_FALSE(w.state().scanning);
    EXPECT_TRUE(shown(w, "scanButton"));
    EXPECT_TRUE(w.content->findChild<CapsuleButton*>("scanButton")->isEnabled());
    EXPECT_TRUE(shown(w, "cleanButton"));
    EXPECT_FALSE(shown(w, "cancelButton"));
    keys(w, Qt::Key_R);
    EXPECT_TRUE(w.waitFor([&] { return w.sentCount("scan") == 2; }, kHangMs));
    EXPECT_EQ(w.sentCount("cancel"), 0);
}

TEST(SilentEngine, CancelLeavesAScanTheEngineNeverAnswers) {
    // The engine takes the scan, says one "progress" and nothing more; its
    // result comes only after the person cancelled.
    HostileWindow w(volume("1000", "100000") +
                    "on scan\nsay {\"event\":\"progress\",\"pct\":10,\"place\":\"/slow\"}\n"
                    "on cancel\n"
                    "say {\"event\":\"done\",\"items\":[{\"id\":\"late\",\"label\":\"late\","
                    "\"category\":\"caches\",\"size\":5}]}\n" +
                    kMarker + "on scan\n" + kDoneWithA);
    w.show();
    w.content->model().scan();
    ASSERT_TRUE(w.waitFor([&] { return w.state().place == "/slow"; }, kHangMs));
    keys(w, Qt::Key_Period);
    EXPECT_TRUE(w.waitFor([&] { return w.sentCount("cancel") == 1; }, kHangMs));
    w.refresh();
    EXPECT_FALSE(w.state().scanning);
    EXPECT_FALSE(shown(w, "cancelButton"));
    EXPECT_TRUE(shown(w, "scanButton"));
    ASSERT_TRUE(markerTaken(w, "after"));
    w.refresh();
    EXPECT_EQ(w.row("late"), nullptr);
    EXPECT_FALSE(w.state().scanning);

    keys(w, Qt::Key_R);
    EXPECT_TRUE(w.waitFor([&] { return w.sentCount("scan") == 2; }, kHangMs));
    ASSERT_TRUE(w.waitFor([&] { return w.state().place == "done"; }, kHangMs));
    w.refresh();
    EXPECT_NE(w.row("a"), nullptr);
}

TEST(SilentEngine, ALateCancelledLeavesTheNextScanToItsResult) {
    // Cancelled, then scanned again at once; the engine answers the cancel
    // only once the second scan was sent.
    HostileWindow w(volume("1000", "100000") +
                    "on scan\nsay {\"event\":\"progress\",\"pct\":10,\"place\":\"/first\"}\n"
                    "on cancel\non scan\nsay {\"event\":\"cancelled\",\"cmd\":\"scan\"}\n"
                    "say {\"event\":\"progress\",\"pct\":50,\"place\":\"/second\"}\n" +
                    kDoneWithA);
    w.content->model().scan();
    ASSERT_TRUE(w.waitFor([&] { return w.state().place == "/first"; }));
    keys(w, Qt::Key_Period);
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("cancel") == 1; }));
    ASSERT_TRUE(w.waitFor([&] { return shown(w, "scanButton"); }));
    keys(w, Qt::Key_R);
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("scan") == 2; }));

    ASSERT_TRUE(w.waitFor([&] { return w.state().place == "done"; }));
    w.refresh();
    // The second scan went on past the old "cancelled" to its result.
    const auto& places = w.state().scanPlaces;
    EXPECT_NE(std::find(places.begin(), places.end(), "/second"), places.end());
    EXPECT_FALSE(w.state().scanning);
    EXPECT_NE(w.row("a"), nullptr);
    EXPECT_FALSE(w.state().banner) << *w.state().banner;
}

TEST(SilentEngine, OneOddNameCostsOneCharacter) {
    // A name written as a lone surrogate escape, as engines that escape bytes
    // they could not decode write it.
    HostileWindow w(volume("1000", "100000") +
                    "on scan\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000,"
                    "\"items\":[{\"id\":\"odd\",\"label\":\"caf\\udcff\",\"category\":\"caches\","
                    "\"size\":4096,\"path\":\"/tmp/none/caf\\udcff\"}]}\n");
    ASSERT_TRUE(w.scan());
    w.refresh();
    EXPECT_FALSE(w.state().scanning);
    const VadeRow* odd = w.row("odd");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->name, "caf\uFFFD");
}

TEST(SilentEngine, AQuietExitMidScanSaysSoAndCtrlRStartsItAgain) {
    HostileWindow w(volume("1000", "100000") +
                    "on scan\nsay {\"event\":\"progress\",\"pct\":10,\"place\":\"/x\"}\nexit 0\n");
    ASSERT_TRUE(w.scan());
    ASSERT_FALSE(w.client().engineRunning());
    w.refresh();
    EXPECT_EQ(w.state().banner, "The engine stopped.");
    EXPECT_FALSE(w.state().scanning);
    keys(w, Qt::Key_R);
    EXPECT_TRUE(
        w.waitFor([&] { return w.sentCount("hello") == 2 && w.sentCount("scan") == 2; }, kHangMs));
}

}  // namespace
}  // namespace virirado
