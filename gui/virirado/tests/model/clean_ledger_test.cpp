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

Json result(const std::string& id, bool deleted = true) {
    return {{"id", id}, {"deleted", deleted}, {"ok", deleted}};
}

Json report(std::vector<std::string> ids, std::optional<bool> dry = false) {
    Json results = Json::array();
    for (const std::string& id : ids)
        results.push_back(result(id));
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

std::vector<std::string> ids(const std::vector<CleanLedger::Taken>& taken,
                             std::optional<CleanLedger::Number> of = std::nullopt) {
    std::vector<std::string> out;
    for (const CleanLedger::Taken& t : taken) {
        if (!of || t.clean == *of) out.push_back(t.row.id);
    }
    return out;
}

}  // namespace

TEST(CleanLedger, AReportIsTakenForTheRowsItNamesOnlyOnceEach) {
    CleanLedger ledger;
    EXPECT_FALSE(ledger.take(report({"a"})));  // nothing was sent
    const auto first = ledger.sent({row("a"), row("b"), row("c")}, false);
    const auto r = ledger.take(report({"zz", "a", "a", "c"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->taken), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"b"}));
    ASSERT_EQ(r->answered.size(), 1u);
    EXPECT_EQ(r->answered[0].clean, first);
    EXPECT_FALSE(r->readsDry());
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
    EXPECT_EQ(ids(r->taken, first), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(r->unknown.empty());
    // The engine ends: what no report reached is left for "unknown".
    ledger.sent({row("d"), row("e")}, false);
    EXPECT_TRUE(ledger.awaiting());
    EXPECT_EQ(ids(ledger.ended()), (std::vector<std::string>{"d", "e"}));
    EXPECT_FALSE(ledger.awaiting());
}

TEST(CleanLedger, AReportNamingNoOpenRowAnswersTheOldestOpenClean) {
    // The engine reports its cleans in the order it took them: an empty report
    // is the first clean's, which an error ended, not the one on the sheet.
    CleanLedger ledger;
    const auto first = ledger.sent({row("a")}, false);
    const auto second = ledger.sent({row("b")}, false);
    auto r = ledger.take(report({}));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->answered.size(), 1u);
    EXPECT_EQ(r->answered[0].clean, first);
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"a"}));
    EXPECT_EQ(ids(ledger.openRows(second)), (std::vector<std::string>{"b"}));
    r = ledger.take(report({"b"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->taken, second), (std::vector<std::string>{"b"}));
    EXPECT_TRUE(r->unknown.empty());

    // Results naming only items never sent do the same.
    const auto third = ledger.sent({row("c")}, false);
    r = ledger.take(report({"zz"}));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->answers(third));
    EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"c"}));
}

TEST(CleanLedger, AReportNamingOnlyClosedRowsAnswersNothing) {
    CleanLedger ledger;
    ledger.sent({row("a")}, false);
    ASSERT_TRUE(ledger.take(report({"a"})));
    const auto second = ledger.sent({row("b")}, false);
    // The first report again, and again with an item never sent beside it:
    // the open clean keeps its row for its own report.
    EXPECT_FALSE(ledger.take(report({"a"})));
    EXPECT_FALSE(ledger.take(report({"zz", "a"})));
    EXPECT_EQ(ids(ledger.openRows(second)), (std::vector<std::string>{"b"}));
    const auto r = ledger.take(report({"b"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->taken, second), (std::vector<std::string>{"b"}));
}

TEST(CleanLedger, ARowNamedTwiceGoesAsDeletedOnceDeletedIsSaid) {
    const auto took = [](const std::vector<Json>& results) {
        CleanLedger ledger;
        ledger.sent({row("a"), row("b")}, false);
        auto r = ledger.take({{"event", "clean"}, {"results", results}});
        EXPECT_TRUE(r);
        EXPECT_EQ(ids(r->taken), (std::vector<std::string>{"a"}));
        EXPECT_EQ(ids(r->unknown), (std::vector<std::string>{"b"}));
        return r->taken[0].result;
    };
    EXPECT_TRUE(took({result("a", false), result("a")})["deleted"].get<bool>());
    EXPECT_TRUE(took({result("a"), result("a", false)})["deleted"].get<bool>());
    EXPECT_FALSE(took({result("a", false), result("a", false)})["deleted"].get<bool>());

    // Two rows that share the id take one result each, in turn.
    CleanLedger ledger;
    PreviewRow twin = row("a");
    twin.path = "/home/ann/a2";
    ledger.sent({row("a"), twin}, false);
    auto r = ledger.take({{"event", "clean"}, {"results", {result("a", false), result("a")}}});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->taken.size(), 2u);
    EXPECT_EQ(r->taken[0].row, row("a"));
    EXPECT_FALSE(r->taken[0].result["deleted"].get<bool>());
    EXPECT_EQ(r->taken[1].row, twin);
    EXPECT_TRUE(r->taken[1].result["deleted"].get<bool>());

    // A result naming the path of one of them is that row's wherever it stands;
    // one naming neither takes the row left; one naming a row taken already
    // is that row's again. As (path taken for, whether it went), in report order.
    const auto at = [](const std::string& path, bool deleted) {
        Json named = result("a", deleted);
        named["path"] = path;
        return named;
    };
    using Taken = std::vector<std::pair<std::string, bool>>;
    for (const auto& [results, expected] : std::vector<std::pair<std::vector<Json>, Taken>>{
             {{at("/home/ann/a2", true), at("/home/ann/a", false)},
              {{"/home/ann/a2", true}, {"/home/ann/a", false}}},
             {{at("/tmp/other", false), at("/home/ann/a", true)},
              {{"/home/ann/a2", false}, {"/home/ann/a", true}}},
             {{at("/home/ann/a", false), at("/home/ann/a2", false), at("/home/ann/a2", true)},
              {{"/home/ann/a", false}, {"/home/ann/a2", true}}},
             // Named again while the other row is still open: still the row
             // at its path, never the other one, which no result named.
             {{at("/home/ann/a", true), at("/home/ann/a", true)}, {{"/home/ann/a", true}}},
             {{at("/home/ann/a", false), at("/home/ann/a", true)}, {{"/home/ann/a", true}}}}) {
        ledger.sent({row("a"), twin}, false);
        r = ledger.take({{"event", "clean"}, {"results", results}});
        ASSERT_TRUE(r);
        Taken taken;
        for (const CleanLedger::Taken& t : r->taken)
            taken.emplace_back(*t.row.path, t.outcome == CleanLedger::Outcome::deleted);
        EXPECT_EQ(taken, expected) << Json(results).dump();
    }
}

TEST(CleanLedger, TheSameItemSentTwiceIsTakenForTheNewestClean) {
    // The first clean erred and may never be reported; the one on the sheet
    // must not wait behind it.
    CleanLedger ledger;
    const auto first = ledger.sent({row("a")}, false);
    const auto second = ledger.sent({row("a")}, false);
    auto r = ledger.take(report({"a"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->taken, second), (std::vector<std::string>{"a"}));
    r = ledger.take(report({"a"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(r->taken, first), (std::vector<std::string>{"a"}));
    EXPECT_FALSE(ledger.awaiting());
}

TEST(CleanLedger, EachResultComesWithItsRowAndAMissingFlagIsTheCleansOwn) {
    CleanLedger ledger;
    ledger.sent({row("a"), pathless("t")}, false);
    Json e = report({"a", "t"}, std::nullopt);
    e["results"][0]["path"] = "~/Documents/keep.txt";
    auto r = ledger.take(e);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->saidDry);
    EXPECT_FALSE(r->readsDry());
    // Each result comes with the row it was taken for, as sent.
    EXPECT_EQ(r->taken[0].row, row("a"));
    EXPECT_EQ(r->taken[0].result["path"], "~/Documents/keep.txt");
    EXPECT_EQ(r->taken[1].row, pathless("t"));

    ledger.sent({row("d")}, true);
    r = ledger.take(report({"d"}, std::nullopt));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->saidDry);
}

TEST(CleanLedger, AReportSaysDryOnlyWhenNothingSentForRealWent) {
    CleanLedger ledger;
    // Sent for real, said dry: a row whose result says it went went.
    ledger.sent({row("a"), row("b")}, false);
    Json e = report({"a"}, true);
    e["results"].push_back(result("b", false));
    auto r = ledger.take(e);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->saidDry);
    EXPECT_TRUE(r->went(r->taken[0]));
    EXPECT_FALSE(r->went(r->taken[1]));
    EXPECT_FALSE(r->readsDry());
    // Said dry, also as a number, and nothing went: the words are a dry run's.
    ledger.sent({row("c")}, false);
    Json numbered = {{"event", "clean"}, {"dry_run", 1}, {"results", {result("c", false)}}};
    r = ledger.take(numbered);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->readsDry());
    // Sent as a dry run, it stays one whatever the report says: nothing went,
    // and its left-out rows are no one's to log.
    ledger.sent({row("d"), row("e")}, true);
    r = ledger.take(report({"d"}, false));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->sentDry(r->taken[0].clean));
    EXPECT_FALSE(r->went(r->taken[0]));
    EXPECT_TRUE(r->readsDry());
    EXPECT_TRUE(r->unknown.empty());
    EXPECT_FALSE(ledger.awaiting());
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
