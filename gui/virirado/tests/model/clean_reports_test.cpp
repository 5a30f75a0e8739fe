// Every row sent gets exactly one deletion-log line, as its report said: rows
// a report leaves out, reports that come late or after another clean, paths and
// flags the report gets wrong, progress for rows never sent.
#include <gtest/gtest.h>

#include <filesystem>

#include "pipeline_fixture.hpp"

using namespace virirado;
namespace fs = std::filesystem;
using virirado::testing::PipelineTest;
using Phase = durozizo::CleanProgress::Phase;

namespace {

Json result(const std::string& id, bool deleted = true) {
    return {{"id", id},
            {"label", "Item " + id},
            {"deleted", deleted},
            {"ok", true},
            {"realistic_size", 10}};
}

Json report(const Json& results, int count) {
    return {{"event", "clean"}, {"dry_run", false}, {"clean_count", count}, {"results", results}};
}

// Every deletion-log line written, as (status, id or path).
struct Lines {
    std::vector<std::pair<std::string, std::string>> all;
    explicit Lines(const virirado::testing::ClientHarness& h, bool byPath = false) {
        for (std::size_t i = 0; i < h.deleteLogs.size(); ++i) {
            for (std::size_t j = 0; j < h.deleteLogs[i].size(); ++j) {
                const bool deleted = h.deleteOutcomes[i][j] == CleanLedger::Outcome::deleted;
                all.emplace_back(deleted ? "deleted" : "failed",
                                 byPath ? h.deleteRows[i][j].path.value_or("?")
                                        : h.deleteLogs[i][j].value("id", "?"));
            }
            // Fallback rows are written only when the call has no results.
            if (h.deleteLogs[i].empty()) {
                for (const PreviewRow& row : h.deleteFallbacks[i])
                    all.emplace_back("unknown", row.id);
            }
        }
    }
};

using Line = std::pair<std::string, std::string>;

}  // namespace

TEST_F(PipelineTest, ARowTheReportLeavesOutIsLoggedWithIt) {
    // Both went; the report names a only, or names b without an id.
    for (const Json& results : {Json::array({result("a")}),
                                Json::array({result("a"), {{"deleted", true}, {"ok", true}}})}) {
        h->deleteLogs.clear();
        h->deleteFallbacks.clear();
        h->event({{"event", "done"},
                  {"items", {item("a", small), item("b", other)}},
                  {"ticked", {"a", "b"}}});
        preview(Json::array({row("a", small), row("b", other)}));
        h->client->confirmClean();
        h->event(report(results, 2));
        EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "a"}, {"unknown", "b"}}))
            << results.dump();
        EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/ 1 not tried.");
        // Nothing is left open: the engine's end adds no line.
        h->end(0);
        h->client->start();
        EXPECT_EQ(Lines(*h).all.size(), 2u);
        h->client->dismissPreview();
    }
}

TEST_F(PipelineTest, ALateReportIsTakenForItsRowsAfterAnotherClean) {
    // The first clean errs and is closed; a second clean goes out; then both
    // reports come, the first clean's first.
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "Disk hiccup."}});
    h->client->dismissPreview();
    h->event({{"event", "selection"}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    ASSERT_EQ(lastSent()["cmd"], "clean");
    ASSERT_EQ(lastSent()["confirm_token"], "tok2");

    h->event(report(Json::array({result("a")}), 1));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "a"}}));
    EXPECT_EQ(h->client->records().size(), 1u);
    // The sheet shows the second clean, still going.
    EXPECT_EQ(state().cleanProgress->phase, Phase::deleting);

    h->event(report(Json::array({result("b")}), 1));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "a"}, {"deleted", "b"}}));
    EXPECT_TRUE(h->client->records().empty());
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    EXPECT_EQ(state().cleanProgress->deletedCount, 1);
}

TEST_F(PipelineTest, AnEmptyLateReportIsTheOlderCleansNotTheOneOnTheSheet) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "Disk hiccup."}});
    h->client->dismissPreview();
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    ASSERT_EQ(lastSent()["confirm_token"], "tok2");

    h->event(report(Json::array(), 0));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"unknown", "a"}}));
    EXPECT_EQ(state().cleanProgress->phase, Phase::deleting);
    EXPECT_EQ(h->client->pendingRows().size(), 1u);

    h->event(report(Json::array({result("b")}), 1));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"unknown", "a"}, {"deleted", "b"}}));
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    const auto& run = *state().cleanProgress;
    EXPECT_EQ(run.phase, Phase::finished);
    EXPECT_EQ(run.deletedCount, 1);
    EXPECT_EQ(run.notTried, 0);
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "a");
}

TEST_F(PipelineTest, AReportSentAgainChangesNothing) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    const Json first = report(Json::array({result("a")}), 1);
    h->event(first);
    ASSERT_EQ(Lines(*h).all.size(), 1u);
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {item("b", other)}}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    h->client->setBanner("before the copy");
    const auto run = state().cleanProgress;
    const auto lines = h->handledLines().size();

    h->event(first);
    ASSERT_EQ(h->handledLines().size(), lines + 1);
    EXPECT_EQ(Lines(*h).all.size(), 1u);
    EXPECT_EQ(state().banner, "before the copy");
    EXPECT_EQ(state().cleanProgress, run);
    EXPECT_EQ(h->client->pendingRows().size(), 1u);
    EXPECT_EQ(h->client->records().size(), 1u);
}

TEST_F(PipelineTest, ARowReportedFailedThenDeletedIsLoggedDeleted) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    Json failed = result("a", false);
    failed["ok"] = false;
    failed["msg"] = "busy";
    h->event(report(Json::array({failed, result("a")}), 1));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "a"}}));
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(state().cleanProgress->deletedCount, 1);
    EXPECT_TRUE(state().cleanProgress->failures.empty());
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "b");
}

TEST_F(PipelineTest, ARowNoReportNamesStaysOpenUntilTheEngineEnds) {
    // The first clean's report never comes; the second's does. The first row is
    // neither forgotten nor taken for the second's: it is "unknown" at the end.
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "Disk hiccup."}});
    h->client->dismissPreview();
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    h->event(report(Json::array({result("b")}), 1));
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "b"}}));
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    h->end(0);
    EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{"deleted", "b"}, {"unknown", "a"}}));
}

TEST_F(PipelineTest, ALineNamesThePathSentAndTakesTheRunsOwnFlag) {
    // The result keeps the id sent but names a file nobody touched, and says
    // nothing of "dry_run": the clean went out as a real one.
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    ASSERT_EQ(lastSent()["dry_run"], false);
    Json moved = result("a");
    moved["path"] = "~/Documents/keep.txt";
    h->event({{"event", "clean"}, {"clean_count", 1}, {"results", {moved}}});
    ASSERT_EQ(h->deleteRows.size(), 1u);
    ASSERT_EQ(h->deleteRows[0].size(), 1u);
    EXPECT_EQ(h->deleteRows[0][0].path, small);
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(h->client->records().size(), 1u);
    EXPECT_FALSE(state().cleanProgress->readsDry());
    // A row without a path is named by its label.
    Json tool = item("t", "");
    tool["action"] = "cmd";
    tool["path"] = nullptr;
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {tool}}, {"ticked", {"t"}}});
    preview(Json::array({{{"id", "t"}, {"label", "Tool"}, {"action", "cmd"}, {"safety", "safe"}}}),
            "tok2");
    h->client->confirmClean();
    h->event(
        report(Json::array({{{"id", "t"}, {"path", "/"}, {"deleted", true}, {"ok", true}}}), 1));
    ASSERT_EQ(h->deleteRows.size(), 2u);
    EXPECT_EQ(h->deleteRows[1][0].label, "Tool");
    EXPECT_FALSE(h->deleteRows[1][0].path);
}

TEST_F(PipelineTest, ProgressCountsOnlyRowsSentEachOnce) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    const auto progress = [&](const std::string& label, const std::string& phase, int64_t bytes) {
        h->event({{"event", "clean_progress"},
                  {"phase", phase},
                  {"label", label},
                  {"ok", true},
                  {"realistic_size", bytes}});
    };
    progress("Documents", "start", 0);
    EXPECT_FALSE(state().cleanProgress->current);
    progress("Item a", "start", 0);
    EXPECT_EQ(state().cleanProgress->current, "Item a");
    progress("Item a", "done", 10);
    progress("Item a", "done", 10);
    progress("Documents", "done", 999'999'999);
    progress("?", "done", 5);
    EXPECT_EQ(state().cleanProgress->doneCount, 1);
    EXPECT_EQ(state().cleanProgress->doneBytes, 10);
    // The engine exits without a report: the sheet counts what was sent.
    h->end(0);
    EXPECT_EQ(state().cleanProgress->doneCount, 1);
    EXPECT_EQ(state().cleanProgress->freedBytes, 10);
}

TEST_F(PipelineTest, ChangesOfThePreviewAndTheRunAreAnnouncedAndOnlyThose) {
    // The state an operation began with is kept without the preview's rows and
    // the run's failures; their changes must still be told, and nothing else.
    h->client->requestPreview();
    int changes = h->changes;
    answer(Json::array({row("a", small), row("b", other)}));
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(h->changes, changes + 1);
    h->client->requestPreview();
    changes = h->changes;
    answer(Json::array({row("a", small), row("b", other)}));
    EXPECT_EQ(h->changes, changes);
    h->client->requestPreview();
    answer(Json::array({row("a", small)}), "tok2");
    EXPECT_EQ(h->changes, changes + 1);
    ASSERT_EQ(state().preview->rows.size(), 1u);

    h->client->confirmClean();
    ASSERT_EQ(state().cleanProgress->phase, Phase::deleting);
    changes = h->changes;
    h->event({{"event", "clean_progress"}, {"phase", "done"}, {"label", "Item b"}, {"ok", false}});
    EXPECT_EQ(h->changes, changes);
    h->event({{"event", "clean_progress"},
              {"phase", "done"},
              {"label", "Item a"},
              {"ok", false},
              {"msg", "busy"}});
    EXPECT_EQ(h->changes, changes + 1);
    ASSERT_EQ(state().cleanProgress->failures.size(), 1u);
    EXPECT_EQ(state().cleanProgress->failures[0].message, "busy");
    // The preview on show stays whole under the run.
    EXPECT_EQ(state().preview->rows.size(), 1u);
}

TEST_F(PipelineTest, ARefusedTankAnswerUnticksEveryRowItRefuses) {
    // "Clean the tank" with a ticked; the engine ticks b on its own and puts it
    // in the answer: b is refused and let go, so the next click asks for a only.
    h->client->untick({"b"});
    h->client->requestPreview();
    h->event({{"event", "selection"}, {"ticked", {"a", "b"}}});
    ASSERT_TRUE(h->client->ticked().contains("b"));
    answer(Json::array({row("a", small), row("b", other)}));
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(lastSent()["cmd"], "untick");
    EXPECT_EQ(lastSent()["ids"], Json::array({"b"}));
    EXPECT_FALSE(h->client->ticked().contains("b"));
    EXPECT_TRUE(h->client->ticked().contains("a"));

    // A quick delete keeps the rows the user had ticked when it was asked for,
    // and only those.
    h->client->tick({"b"});
    h->client->requestQuickDelete("a");
    h->event({{"event", "item"}, {"item", item("c", small)}});
    ASSERT_TRUE(h->client->ticked().contains("c"));
    answer(Json::array({row("a", small), row("b", other), row("c", small)}), "quick");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(lastSent()["cmd"], "untick");
    EXPECT_EQ(lastSent()["ids"], Json::array({"c"}));
    EXPECT_TRUE(h->client->ticked().contains("b"));

    // Nor does a quick delete the guards hold back, at the preview check or at
    // the confirmation's re-check, take a tick the user made.
    const std::size_t from = h->world->sent.size();
    h->client->requestQuickDelete("a");
    answer(Json::array({row("a", "/elsewhere/data.bin")}), "quick1");
    ASSERT_TRUE(state().banner && state().banner->starts_with("Held back 1: Item a"))
        << state().banner.value_or("no banner");
    h->client->requestQuickDelete("a");
    answer(Json::array({row("a", small, 60'000'000)}), "quick2");
    ASSERT_TRUE(state().preview);
    h->client->confirmClean();
    EXPECT_EQ(state().banner,
              "Held back 1: Item a (smaller than scanned). Nothing deleted. Preview again.");
    EXPECT_EQ(sentSince(from), (std::vector<std::string>{"preview", "preview"}));
    EXPECT_EQ(h->client->ticked(), (std::set<std::string>{"a", "b"}));
}

TEST_F(PipelineTest, EachResultTellsOneStoryInTheBannerTheSheetAndTheLog) {
    // The log's reading holds everywhere: "deleted" says a row went, "ok" alone
    // does not, and the engine's "clean_count" counts for nothing.
    struct Case {
        Json result;
        std::optional<int> count;
        std::string word;
        std::string banner;
    };
    Json okOnly = result("a", false);
    okOnly.erase("deleted");
    Json deletedNotOk = result("a");
    deletedNotOk["ok"] = false;
    deletedNotOk["msg"] = "took a while";
    for (const Case& c : std::vector<Case>{
             {okOnly, 1, "failed", "Deleted 0, failed 1: Item a (failed). See log."},
             {result("a"), std::nullopt, "deleted",
              "Deleted 1 items. Log: ~/Library/Logs/Virirado/"},
             {deletedNotOk, 1, "deleted", "Deleted 1 items. Log: ~/Library/Logs/Virirado/"}}) {
        h->deleteLogs.clear();
        h->deleteOutcomes.clear();
        h->event({{"event", "done"},
                  {"items", {item("a", small), item("b", other)}},
                  {"ticked", {"a"}}});
        preview(Json::array({row("a", small)}));
        h->client->confirmClean();
        Json event = report(Json::array({c.result}), 0);
        if (c.count) {
            event["clean_count"] = *c.count;
        } else {
            event.erase("clean_count");
        }
        h->event(event);
        const bool went = c.word == "deleted";
        EXPECT_EQ(Lines(*h).all, (std::vector<Line>{{c.word, "a"}})) << c.result.dump();
        EXPECT_EQ(state().banner, c.banner) << c.result.dump();
        const auto& run = *state().cleanProgress;
        EXPECT_EQ(run.deletedCount, went ? 1 : 0) << c.result.dump();
        EXPECT_EQ(run.failures.size(), went ? 0u : 1u) << c.result.dump();
        EXPECT_EQ(h->client->records().size(), went ? 1u : 2u) << c.result.dump();
        h->client->dismissPreview();
    }
}

TEST_F(PipelineTest, RowsSharingAnIdAreLoggedForTheirOwnPlaces) {
    // Item a's file and its member's folder go out under one id. The engine
    // removes the folder only and reports it first: each line names its own
    // place, and a stays listed, its file being still there.
    const std::string folder = fs::path(home.file(".cache/member/x.bin", 10)).parent_path();
    Json a = item("a", small);
    a["members"] = Json::array({item("a/m", folder)});
    h->event({{"event", "done"}, {"items", {a, item("b", other)}}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small), row("a", folder)}));
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    h->client->confirmClean();
    Json went = result("a");
    went["path"] = folder;
    Json stayed = result("a", false);
    stayed["path"] = small;
    stayed["ok"] = false;
    stayed["msg"] = "busy";
    h->event(report(Json::array({went, stayed}), 2));
    EXPECT_EQ(Lines(*h, true).all, (std::vector<Line>{{"deleted", folder}, {"failed", small}}));
    EXPECT_EQ(state().banner, "Deleted 1, failed 1: Item a (busy). See log.");
    EXPECT_EQ(h->client->records().size(), 2u);
    EXPECT_TRUE(h->client->ticked().contains("a"));

    // Once the file goes too, a leaves the list.
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {a, item("b", other)}}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small), row("a", folder)}), "tok2");
    h->client->confirmClean();
    went["path"] = small;
    h->event(report(Json::array({went, result("a")}), 2));
    EXPECT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "b");
}
