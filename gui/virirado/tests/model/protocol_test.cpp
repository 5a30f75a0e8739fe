// What each engine event does to the client, with the defaults for missing,
// null and mistyped fields.
#include <gtest/gtest.h>

#include <cmath>

#include "Protocol.hpp"
#include "client_fixture.hpp"

using namespace virirado;
using virirado::testing::ClientHarness;

namespace {

struct EventTest : ::testing::Test {
    ClientHarness h{Environment{{"VIRIRADO_ENGINE", "/e"}}};
    void SetUp() override { h.client->start(); }
};

Json record(const std::string& id, const std::string& category, bool ticked) {
    return {{"id", id}, {"category", category}, {"ticked", ticked}, {"size", 5}};
}

}  // namespace

TEST_F(EventTest, ProgressDefaultsPlacesAndPercentClamp) {
    h.client->scan();
    h.event({{"event", "progress"},
             {"pct", 40},
             {"eta_s", 12.5},
             {"place", "~/.cache"},
             {"done", 2},
             {"total", 9}});
    EXPECT_TRUE(h.state().scanning);
    EXPECT_EQ(h.state().pct, 40);
    EXPECT_EQ(h.state().eta, 12.5);
    EXPECT_EQ(h.state().donePlaces, 2);
    EXPECT_EQ(h.state().totalPlaces, 9);

    h.event({{"event", "progress"}, {"pct", "50"}, {"eta_s", nullptr}, {"place", "~/.cache"}});
    EXPECT_EQ(h.state().pct, 0);
    EXPECT_FALSE(h.state().eta);
    h.event({{"event", "progress"}, {"place", "B"}, {"pct", 250}});
    EXPECT_EQ(h.state().pct, 100);
    h.event({{"event", "progress"}, {"place", "~/.cache"}, {"pct", -3}});
    EXPECT_EQ(h.state().pct, 0);
    h.event({{"event", "progress"}});
    EXPECT_EQ(h.state().place, "");
    EXPECT_EQ(h.state().scanPlaces, (std::vector<std::string>{"~/.cache", "B", "~/.cache"}));

    EXPECT_EQ(protocol::clampPercent(std::nan("")), 0);
    EXPECT_EQ(protocol::clampPercent(INFINITY), 100);
    EXPECT_EQ(protocol::clampPercent(-INFINITY), 0);
}

TEST_F(EventTest, VolumeAndDone) {
    h.event({{"event", "volume"},
             {"free_bytes", 7},
             {"total_bytes", 1e300},
             {"volume", "Data"},
             {"access", "limited"}});
    EXPECT_EQ(h.state().freeBytes, 7);
    EXPECT_EQ(h.state().totalBytes, INT64_MAX);
    EXPECT_EQ(h.state().volumeName, "Data");
    ASSERT_TRUE(h.state().root);  // a known total is drawn even without items
    h.event({{"event", "volume"}, {"volume", ""}, {"access", "full"}, {"free_bytes", "123"}});
    EXPECT_EQ(h.state().volumeName, "Data");
    EXPECT_EQ(h.state().accessNote, "Limited mode: Full Disk Access is off for this engine.");
    EXPECT_EQ(h.state().freeBytes, 0);
    EXPECT_FALSE(h.state().root);

    h.event({{"event", "item"}, {"item", record("a", "caches", true)}});
    h.event({{"event", "done"}, {"total_bytes", 100}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().pct, 100);
    EXPECT_EQ(h.state().place, "done");
    EXPECT_EQ(h.state().freeBytes, 0);
    EXPECT_EQ(h.client->records().size(), 1u);  // no "items": kept
    EXPECT_EQ(h.state().scanGeneration, 1);

    // Mistyped arrays count as missing; a well-formed empty one empties.
    h.event({{"event", "done"},
             {"items", Json::array({record("b", "caches", false), 3})},
             {"ticked", Json::array({"a", 1})}});
    EXPECT_EQ(h.client->records().size(), 1u);
    EXPECT_TRUE(h.client->ticked().contains("a"));
    h.event({{"event", "done"}, {"items", Json::array()}, {"ticked", Json::array({"z"})}});
    EXPECT_TRUE(h.client->records().empty());
    EXPECT_EQ(h.client->ticked(), std::set<std::string>{"z"});
    EXPECT_EQ(h.state().scanGeneration, 3);
}

TEST_F(EventTest, ItemUpsertNeverPreticksNewDownloads) {
    h.event({{"event", "item"}, {"item", record("d", "downloads", true)}});
    ASSERT_EQ(h.client->records().size(), 1u);
    EXPECT_FALSE(h.client->records()[0].ticked);
    EXPECT_FALSE(h.client->ticked().contains("d"));
    h.event({{"event", "item"}, {"item", record("d", "downloads", true)}});
    EXPECT_EQ(h.client->records().size(), 1u);
    EXPECT_TRUE(h.client->records()[0].ticked);
    EXPECT_TRUE(h.client->ticked().contains("d"));

    h.event({{"event", "item"}, {"item", record("c", "caches", true)}});
    h.event({{"event", "item"}, {"item", {{"label", "no id"}}}});
    h.event({{"event", "item"}, {"item", "c"}});
    EXPECT_EQ(h.client->records().size(), 2u);
    EXPECT_EQ(h.client->records()[1].id, "c");
    EXPECT_EQ(h.state().scanGeneration, 0);
}

TEST_F(EventTest, SelectionCancelledErrorsAndIgnoredLines) {
    h.event({{"event", "item"}, {"item", record("a", "caches", false)}});
    h.event(
        {{"event", "selection"}, {"ticked", {"a"}}, {"rejected", Json::array({Json::object()})}});
    EXPECT_TRUE(h.client->ticked().contains("a"));
    EXPECT_FALSE(h.state().banner);
    h.event({{"event", "selection"}, {"rejected", {{{"id", "x"}, {"reason", "Look only: X"}}}}});
    EXPECT_EQ(h.state().banner, "Look only: X");
    EXPECT_TRUE(h.client->ticked().contains("a"));

    h.client->scan();
    h.event({{"event", "progress"}});
    h.event({{"event", "cancelled"}, {"cmd", "preview"}});
    h.event({{"event", "cancelled"}});
    EXPECT_TRUE(h.state().scanning);
    h.event({{"event", "cancelled"}, {"cmd", "scan"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().banner, "Scan cancelled. Nothing was deleted.");

    h.client->scan();
    h.event({{"event", "error"}, {"cmd", "clean"}});
    EXPECT_FALSE(h.state().scanning);
    EXPECT_EQ(h.state().banner, "The engine reported an error.");
    EXPECT_FALSE(h.state().cleanProgress);

    h.event({{"event", "scanner_error"}, {"category", "developer"}, {"message", "missing"}});
    EXPECT_EQ(h.state().banner, "developer: missing");

    const auto before = h.state();
    h.raw("[1,2]\n{}\n{\"event\":\"Volume\",\"free_bytes\":1}\nnot json\n{\"event\":7}\n");
    EXPECT_TRUE(h.state() == before);
}

TEST(ProtocolText, Utf8AndTrimming) {
    EXPECT_TRUE(protocol::validUtf8("plain \xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(protocol::validUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(protocol::validUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(protocol::validUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(protocol::validUtf8("\xE2\x80"));          // cut off
    EXPECT_EQ(protocol::completePrefix("ab\xE2\x80"), 2u);
    EXPECT_EQ(protocol::completePrefix("ab\xE2\x80\xA6"), 5u);
    EXPECT_EQ(protocol::trimmed("\xE3\x80\x80 \t x y \r\xC2\x85"), "x y");
    EXPECT_EQ(protocol::trimmed(" \xE2\x80\xA8 "), "");
    // Plain characters at both ends: the text as it is, whatever lies between.
    EXPECT_EQ(protocol::trimmed("{\xC2\x85 }"), "{\xC2\x85 }");
    EXPECT_EQ(protocol::trimmed("{x}\xC2\x85"), "{x}");
    EXPECT_EQ(protocol::trimmed("\x1F{x}\x0B"), protocol::trimmed("\x1F{x}\x0B "));
    EXPECT_EQ(protocol::trimmed("a"), "a");
    EXPECT_EQ(protocol::trimmed(""), "");
    EXPECT_EQ(protocol::trimmed("\r"), "");
}
