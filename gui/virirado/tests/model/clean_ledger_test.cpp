// The bookkeeping of cleans sent: which rows a report is taken for, which are
// left "unknown", and when a row is closed for good.
#include "CleanLedger.hpp"

#include <gtest/gtest.h>

using namespace virirado;

namespace {

PreviewRow row(const std::string& id) {
    PreviewRow r;
    r.id = id;
    r.label = "Item " + id;
    r.path = "/home/ann/" + id;
    r.action = "rm";
    return r;
}

PreviewRow pathless(const std::string& id) {
    PreviewRow r = row(id);
    r.path.reset();
    r.action = "cmd";
    return r;
}

Json report(std::vector<std::string> ids, std::optional<bool> dry = false) {
    Json results = Json::array();
    for (const std::string& id : ids)
        results.push_back({{"id", id}, {"deleted", true}, {"ok", true}});
    Json e = {{"event", "clean"}, {"results", results}};
    if (dry) e["dry_run"] = *dry;
    return e;
}

std::vector<std::string> ids(const std::vector<PreviewRow>& rows) {
    std::vector<std::string> out;
    for (const PreviewRow& r : rows)
        out.push_back(r.id);
    return out;
}

std::vector<std::string> ids(const std::vector<Json>& results) {
    std::vector<std::string> out;
    for (const Json& r : results)
        out.push_back(r["id"].get<std::string>());
    return out;
}

}  // namespace

TEST(CleanLedger, AReportIsTakenForTheRowsItNamesOnlyOnceEach) {
    CleanLedger ledger;
    EXPECT_FALSE(ledger.take(report({"a"})));  // nothing was sent
    const auto first = ledger.sent({row("a"), row("b"), row("c")}, false);
    const auto r = ledger.take(report({"zz", "a", "a", "c"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->results()), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"b"}));
    EXPECT_EQ(r->answered, (std::vector<CleanLedger::Number>{first}));
    EXPECT_FALSE(r->dry);
    // Every row has its line: the same report again answers nothing.
    EXPECT_FALSE(ledger.awaiting());
    EXPECT_FALSE(ledger.take(report({"a", "b"})));
    EXPECT_TRUE(ledger.ended().empty());
}

TEST(CleanLedger, CleansAnsweredOutOfOrderOrNeverKeepTheirRows) {
    CleanLedger ledger;
    const auto first = ledger.sent({row("a")}, false);
    const auto second = ledger.sent({row("b"), row("c")}, false);
    // The second's report comes first: the first clean's row stays open.
    auto r = ledger.take(report({"b"}));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->answers(second));
    EXPECT_FALSE(r->answers(first));
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"c"}));
    EXPECT_TRUE(ledger.awaiting());
    r = ledger.take(report({"a"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->resultsOf(first)), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(r->unknown.empty());

    // A report that names no open row answers the newest clean.
    ledger.sent({row("d")}, false);
    const auto fourth = ledger.sent({row("e")}, false);
    r = ledger.take(report({}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->answered, (std::vector<CleanLedger::Number>{fourth}));
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"e"}));
    // The engine ends: what no report reached is left for "unknown".
    EXPECT_EQ(ids(ledger.ended()), (std::vector<std::string>{"d"}));
    EXPECT_FALSE(ledger.awaiting());
}

TEST(CleanLedger, TheSameItemSentTwiceIsTakenForTheNewestClean) {
    // The first clean erred and may never be reported; the one on the sheet
    // must not wait behind it.
    CleanLedger ledger;
    const auto first = ledger.sent({row("a")}, false);
    const auto second = ledger.sent({row("a")}, false);
    auto r = ledger.take(report({"a"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->answered, (std::vector<CleanLedger::Number>{second}));
    r = ledger.take(report({"a"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->answered, (std::vector<CleanLedger::Number>{first}));
    EXPECT_FALSE(ledger.awaiting());
}

TEST(CleanLedger, TheLogNamesThePathSentAndTheRunsFlagStandsInForAMissingOne) {
    CleanLedger ledger;
    ledger.sent({row("a"), pathless("t")}, false);
    Json e = report({"a", "t"}, std::nullopt);
    e["results"][0]["path"] = "~/Documents/keep.txt";
    auto r = ledger.take(e);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->dry);
    // Each result comes with the row it was taken for, as sent.
    EXPECT_EQ(r->taken[0].row, row("a"));
    EXPECT_EQ(r->taken[0].result["path"], "~/Documents/keep.txt");
    EXPECT_EQ(r->taken[1].row, pathless("t"));

    // An explicit flag wins, also as a number; a dry clean reads dry.
    ledger.sent({row("b")}, false);
    EXPECT_TRUE(ledger.take(report({"b"}, true))->dry);
    ledger.sent({row("c")}, false);
    Json numbered = report({"c"}, std::nullopt);
    numbered["dry_run"] = 1;
    EXPECT_TRUE(ledger.take(numbered)->dry);
    ledger.sent({row("d")}, true);
    EXPECT_TRUE(ledger.take(report({"d"}, std::nullopt))->dry);
}

TEST(CleanLedger, UnsentAndDryCleansLeaveNothingToLog) {
    CleanLedger ledger;
    const auto lost = ledger.sent({row("a")}, false);
    ledger.unsent(lost);
    EXPECT_FALSE(ledger.awaiting());
    ledger.sent({row("b")}, true);
    ledger.sent({}, false);
    EXPECT_TRUE(ledger.ended().empty());
    EXPECT_FALSE(ledger.awaiting());
}

TEST(CleanLedger, ProgressCountsEachRowSentOnce) {
    CleanLedger ledger;
    PreviewRow twin = row("b");
    twin.label = "Item a";  // two rows that share a label
    const auto clean = ledger.sent({row("a"), twin}, false);
    EXPECT_FALSE(ledger.progress(clean, "Documents", false));
    EXPECT_FALSE(ledger.progress(clean + 1, "Item a", true));
    EXPECT_TRUE(ledger.progress(clean, "Item a", false));
    EXPECT_TRUE(ledger.progress(clean, "Item a", true));
    EXPECT_TRUE(ledger.progress(clean, "Item a", true));
    EXPECT_FALSE(ledger.progress(clean, "Item a", true));
    EXPECT_FALSE(ledger.progress(clean, "Item a", false));
}
