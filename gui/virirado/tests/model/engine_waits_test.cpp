// No silence or stray line of the engine holds the window: a "progress" after
// the scan, a scan never answered, a result line with one odd name, an engine
// that exits quietly while the window waits on it.
#include <gtest/gtest.h>

#include "Protocol.hpp"
#include "client_fixture.hpp"

using namespace virirado;
using virirado::testing::ClientHarness;

namespace {

struct WaitTest : ::testing::Test {
    ClientHarness h{Environment{{"VIRIRADO_ENGINE", "/e"}}};
    void SetUp() override { h.client->start(); }
    Json item(const std::string& id) {
        return {{"event", "item"},
                {"item", {{"id", id}, {"category", "caches"}, {"size", 5}, {"path", "/x/" + id}}}};
    }
};

}  // namespace

TEST_F(WaitTest, OnlyTheWindowsOwnScanMoves) {
    // Before any scan, and after its result: a "progress" puts nothing back
    // into "Scanning".
    h.event({{"event", "progress"}, {"pct", 10}});
    EXPECT_FALSE(h.state().scanning);
    h.client->scan();
    h.event({{"event", "progress"}, {"pct", 40}, {"place", "~/a"}});
    EXPECT_TRUE(h.state().scanning);
    h.event({{"event", "done"}, {"items", Json::array()}});
    h.event({{"event", "progress"}, {"pct", 50}, {"place", "~/b"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().pct, 100);
    EXPECT_EQ(h.state().scanPlaces, (std::vector<std::string>{"~/a"}));
    // So a scan can be started, and the list ticked, at once.
    h.event(item("a"));
    h.client->tick({"a"});
    EXPECT_EQ(h.commandNames().back(), "tick");
}

TEST_F(WaitTest, CancelLeavesAScanTheEngineNeverAnswers) {
    h.client->scan();
    h.event({{"event", "progress"}, {"pct", 40}});
    h.client->cancel();
    EXPECT_EQ(h.commandNames().back(), "cancel");
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().banner, "Scan cancelled. Nothing was deleted.");
    // The old scan's late words are no answer to anything.
    h.event({{"event", "progress"}, {"pct", 60}});
    h.event(item("late"));
    h.event({{"event", "done"}, {"items", {{{"id", "late"}}}}, {"ticked", {"late"}}});
    h.event({{"event", "cancelled"}, {"cmd", "scan"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_TRUE(h.client->records().empty());
    EXPECT_EQ(h.state().scanGeneration, 0);

    // A new scan is sent, and its result taken.
    h.client->scan();
    EXPECT_EQ(h.commandNames().back(), "scan");
    EXPECT_TRUE(h.state().scanning);
    h.event(item("a"));
    h.event({{"event", "done"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.client->records().size(), 1u);
    EXPECT_EQ(h.state().scanGeneration, 1);
    // Cancel with no scan going still asks the engine, and changes nothing here.
    h.client->setBanner(std::nullopt);
    h.client->cancel();
    EXPECT_EQ(h.commandNames().back(), "cancel");
    EXPECT_FALSE(h.state().banner);
}

TEST_F(WaitTest, ALateCancelledEndsNoScanStartedAfterItsCancel) {
    const auto progress = [&](double pct, const std::string& place) {
        h.event({{"event", "progress"}, {"pct", pct}, {"place", place}});
    };
    h.client->scan();
    progress(10, "~/first");
    h.client->cancel();
    // Scanned again at once; the first scan's "cancelled" comes only now.
    h.client->scan();
    h.event({{"event", "cancelled"}, {"cmd", "scan"}});
    EXPECT_TRUE(h.state().scanning);
    EXPECT_FALSE(h.state().banner);
    progress(50, "~/second");
    EXPECT_EQ(h.state().place, "~/second");
    h.event(item("a"));
    h.event({{"event", "done"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.client->records().size(), 1u);
    EXPECT_EQ(h.state().scanGeneration, 1);
    EXPECT_FALSE(h.state().banner);

    // Every cancel answered: a "cancelled" now is the engine's own, and ends
    // the scan that is open.
    h.client->scan();
    progress(20, "~/third");
    h.event({{"event", "cancelled"}, {"cmd", "scan"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().banner, "Scan cancelled. Nothing was deleted.");
    // With no scan open there is nothing for it to end.
    h.client->setBanner(std::nullopt);
    h.event({{"event", "cancelled"}, {"cmd", "scan"}});
    EXPECT_FALSE(h.state().banner);
}

TEST_F(WaitTest, ACancelTheEngineNeverAnswersStopsCountingAtTheNextResultOrEnd) {
    const auto enginesOwnCancelEndsTheScan = [&] {
        h.client->scan();
        h.event({{"event", "progress"}, {"pct", 5}});
        h.event({{"event", "cancelled"}, {"cmd", "scan"}});
        return !h.state().scanning && h.state().banner == "Scan cancelled. Nothing was deleted.";
    };
    // The engine had just finished, or the next scan replaced the cancelled
    // one: the cancel gets no answer.
    h.client->scan();
    h.client->cancel();
    h.client->scan();
    h.event({{"event", "done"}});
    EXPECT_TRUE(enginesOwnCancelEndsTheScan());

    // Nor does one outlive the engine that was sent it.
    h.client->scan();
    h.client->cancel();
    h.end(0);
    h.client->start();
    EXPECT_TRUE(enginesOwnCancelEndsTheScan());

    // A cancel refused, or answered for something other than a scan, has had
    // its answer too.
    h.client->scan();
    h.client->cancel();
    h.event({{"event", "error"}, {"cmd", "cancel"}, {"message", "Nothing to cancel."}});
    EXPECT_TRUE(enginesOwnCancelEndsTheScan());
    h.client->cancel();
    h.event({{"event", "cancelled"}, {"cmd", "clean"}});
    EXPECT_TRUE(enginesOwnCancelEndsTheScan());
}

TEST_F(WaitTest, ALoneSurrogateCostsOneCharacterNotTheScan) {
    h.client->scan();
    h.raw(R"({"event":"done","items":[{"id":"a","label":"caf\udcff","path":"/x/caf\udcff"},)"
          R"({"id":"b","label":"\ud83d\ude00 \\udcff \uDC00\ud800"}]})"
          "\n");
    EXPECT_FALSE(h.state().scanning);
    ASSERT_EQ(h.client->records().size(), 2u);
    EXPECT_EQ(h.client->records()[0].label, "caf\uFFFD");
    EXPECT_EQ(h.client->records()[0].path, "/x/caf\uFFFD");
    // A pair stays a pair, an escaped backslash stays text.
    EXPECT_EQ(h.client->records()[1].label, "\U0001F600 \\udcff \uFFFD\uFFFD");

    // Lines that are not JSON stay dropped.
    EXPECT_TRUE(protocol::parseLine("{\"a\":\"\\udcff\"").is_discarded());
    EXPECT_TRUE(protocol::parseLine("{\"a\":\\udcff}").is_discarded());
    EXPECT_FALSE(protocol::withoutLoneSurrogates(R"({"a":"\ud83d\ude00\\u"})"));
    // Only four hexadecimal digits make an escape; no sign, no fewer digits.
    EXPECT_FALSE(protocol::withoutLoneSurrogates(R"(["\u-dcf \u+dcf \udcf"])"));
    EXPECT_EQ(protocol::withoutLoneSurrogates(R"(["\ud800\u0041", "\udfff"])"),
              R"(["\ufffd\u0041", "\ufffd"])");
}

TEST_F(WaitTest, AQuietExitWhileTheWindowWaitsSaysSo) {
    // Mid-scan.
    h.client->scan();
    h.event({{"event", "progress"}, {"pct", 40}});
    h.end(0);
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().banner, "The engine stopped.");
    // Scanning again starts it again.
    h.client->scan();
    EXPECT_EQ(h.world->launches, 2);
    EXPECT_EQ(h.commandNames(), (std::vector<std::string>{"hello", "scan", "hello", "scan"}));
    EXPECT_FALSE(h.state().banner);

    // Right after "hello", before a word; with what it said on standard error.
    h.end(0);
    h.client->start();
    h.client->consumeError("no disk access\n");
    h.end(0);
    EXPECT_EQ(h.state().banner, "no disk access");

    // Waiting on a preview.
    h.client->start();
    h.event(item("a"));
    h.client->tick({"a"});
    h.client->setBanner(std::nullopt);
    h.client->requestPreview();
    h.end(0);
    EXPECT_EQ(h.state().banner, "The engine stopped.");

    // Not waiting on anything: a quiet exit stays quiet.
    h.client->start();
    h.event({{"event", "volume"}, {"free_bytes", 1}, {"total_bytes", 2}});
    h.client->setBanner(std::nullopt);
    h.end(0);
    EXPECT_FALSE(h.state().banner);
}
