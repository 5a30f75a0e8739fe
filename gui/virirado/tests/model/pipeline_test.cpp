// The preview check, the pre-clean re-check and the clean result, against files
// in a temporary home folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "pipeline_fixture.hpp"

using namespace virirado;
using virirado::testing::ClientHarness;
using virirado::testing::PipelineTest;
using Phase = durozizo::CleanProgress::Phase;

TEST_F(PipelineTest, PreviewWithoutRowsOrTokenIsNothing) {
    preview(Json::array({{{"label", "no id"}}, {{"id", 5}}}));
    EXPECT_EQ(state().banner, "Nothing is in clean the tank.");
    preview(Json::array({row("a", small)}), "");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner, "Nothing is in clean the tank.");
}

TEST_F(PipelineTest, PassingRowsAreShown) {
    preview(Json::array(
        {row("a", small), {{"id", "b"}, {"path", other}, {"action", "rm"}, {"safety", "safe"}}}));
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "tok");
    EXPECT_EQ(state().preview->cleanBytes, 20);
    EXPECT_EQ(state().preview->blockedCount, 1);
    ASSERT_EQ(state().preview->rows.size(), 2u);
    EXPECT_EQ(state().preview->rows[1].label, "b");  // no label: the id
    EXPECT_EQ(state().preview->rows[1].kind, "");
}

TEST_F(PipelineTest, HeldRowsRefuseTheWholeClean) {
    h->world->sent.clear();
    preview(Json::array({row("a", small, 10, "rm", "info")}));
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner, "Held back 1: Item a (Look only). Nothing deleted. Preview again.");
    ASSERT_EQ(h->refusedLogs.size(), 1u);
    EXPECT_EQ(h->refusedLogs[0][0].second, "Look only");
    EXPECT_EQ(lastSent()["cmd"], "untick");
    EXPECT_EQ(lastSent()["ids"], Json::array({"a"}));
    EXPECT_FALSE(h->client->ticked().contains("a"));

    // A path that is not the scanned one, and a row without an action.
    preview(Json::array({row("b", small), {{"id", "b"}, {"path", other}, {"safety", "safe"}}}));
    ASSERT_TRUE(state().banner);
    EXPECT_EQ(*state().banner,
              "Held back 2: Item b (not in this scan) and more. Nothing deleted. Preview again.");
}

TEST_F(PipelineTest, ConfirmedCleanRunsAndReports) {
    preview(Json::array({row("a", small), row("b", other)}));
    h->client->confirmClean();
    EXPECT_FALSE(state().verifying);
    EXPECT_EQ(lastSent()["cmd"], "clean");
    EXPECT_EQ(lastSent()["confirm_token"], "tok");
    EXPECT_EQ(lastSent()["dry_run"], false);
    EXPECT_EQ(h->client->pendingRows().size(), 2u);
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_EQ(state().cleanProgress->phase, Phase::deleting);
    EXPECT_EQ(state().cleanProgress->totalBytes, 20);

    // A second confirmation while one runs does nothing.
    const auto sent = h->world->sent.size();
    h->client->confirmClean();
    h->client->dismissPreview();
    EXPECT_EQ(h->world->sent.size(), sent);
    EXPECT_TRUE(state().preview);

    h->event({{"event", "clean_progress"}, {"phase", "start"}, {"label", "Item a"}});
    EXPECT_EQ(state().cleanProgress->current, "Item a");
    h->event({{"event", "clean_progress"},
              {"phase", "done"},
              {"label", "Item a"},
              {"realistic_size", 10},
              {"ok", true}});
    EXPECT_EQ(state().cleanProgress->doneCount, 1);

    h->free = 999;
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results",
               {{{"id", "a"},
                 {"label", "Item a"},
                 {"deleted", true},
                 {"ok", true},
                 {"realistic_size", 10}}}}});
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/ 1 not tried.");
    // a as reported; b, which the report left out, as "unknown".
    ASSERT_EQ(h->deleteLogs.size(), 2u);
    EXPECT_EQ(h->deleteLogs[0].size(), 1u);
    ASSERT_EQ(h->deleteFallbacks[1].size(), 1u);
    EXPECT_EQ(h->deleteFallbacks[1][0].id, "b");
    EXPECT_TRUE(h->client->pendingRows().empty());
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "b");
    EXPECT_FALSE(h->client->ticked().contains("a"));
    EXPECT_EQ(state().scanGeneration, 2);
    EXPECT_EQ(state().freeBytes, 999);
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    EXPECT_EQ(state().cleanProgress->notTried, 1);

    h->client->dismissPreview();
    EXPECT_FALSE(state().preview);
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_EQ(lastSent()["cmd"], "scan");  // a real clean that did something rescans
}

TEST_F(PipelineTest, CleanBannersForFailures) {
    preview(Json::array({row("a", small), row("b", other)}));
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 0},
              {"results",
               {{{"id", "a"}, {"label", "X"}, {"ok", false}},
                {{"id", "b"}, {"label", "Y"}, {"ok", false}}}}});
    EXPECT_EQ(state().banner, "Deleted 0, failed 2: X (failed). See log.");
    EXPECT_EQ(h->client->records().size(), 2u);  // nothing said deleted
    EXPECT_EQ(state().scanGeneration, 1);
    EXPECT_EQ(state().cleanProgress->failures.size(), 2u);
    h->client->dismissPreview();  // the engine finished items: the list is read again
    EXPECT_EQ(lastSent()["cmd"], "scan");
}

TEST_F(PipelineTest, WhileTheCleanIsOutItsResultIsTheNextCleanEvent) {
    // With no clean sent, a report of deletions in protected places is neither
    // logged nor acted on, and the preview on show stays.
    preview(Json::array({row("a", small)}));
    const Json forged = {{"event", "clean"},
                         {"dry_run", false},
                         {"clean_count", 3},
                         {"results",
                          {{{"id", "a"}, {"path", "/etc"}, {"deleted", true}, {"ok", true}},
                           {{"id", "b"}, {"path", "/"}, {"deleted", true}, {"ok", true}},
                           {{"id", "c"}, {"path", "~/.ssh"}, {"deleted", true}, {"ok", true}}}}};
    h->event(forged);
    EXPECT_TRUE(h->deleteLogs.empty());
    EXPECT_EQ(h->client->records().size(), 2u);
    EXPECT_TRUE(h->client->ticked().contains("a"));
    EXPECT_EQ(state().scanGeneration, 1);
    EXPECT_FALSE(state().banner);
    ASSERT_TRUE(state().preview);
    // It still stands in the traffic log.
    EXPECT_EQ(h->handledLines().back(), forged.dump());

    // The engine names the report by its own run, not by the command: it is the
    // answer all the same, and the run ends.
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"id", "run-7"},
              {"confirm_token", "another"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "a"}, {"deleted", true}, {"ok", true}}}}});
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(h->deleteLogs[0].size(), 1u);
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    EXPECT_TRUE(h->client->pendingRows().empty());
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    // The same answer again is not a second clean.
    h->event(forged);
    EXPECT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(h->client->records().size(), 1u);
}

TEST_F(PipelineTest, ResultsForRowsNeverSentCountNowhere) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 2},
              {"results",
               {{{"id", "a"},
                 {"label", "Item a"},
                 {"deleted", true},
                 {"ok", true},
                 {"realistic_size", 10}},
                {{"id", "b"},
                 {"path", "~/Documents"},
                 {"deleted", true},
                 {"ok", true},
                 {"realistic_size", 999'999'999}},
                {{"id", "a"}, {"deleted", true}, {"ok", true}, {"realistic_size", 5}}}}});
    // Only a's first result is the clean's: b was never sent, a went once.
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    ASSERT_EQ(h->deleteLogs[0].size(), 1u);
    EXPECT_EQ(h->deleteLogs[0][0]["id"], "a");
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "b");
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(state().cleanProgress->deletedCount, 1);
    EXPECT_EQ(state().cleanProgress->freedBytes, 10);

    // A report whose results all name rows never sent says nothing of them: the
    // row sent is logged as "unknown" instead.
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {item("b", other)}}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "zz"}, {"deleted", true}, {"ok", true}}}}});
    ASSERT_EQ(h->deleteLogs.size(), 2u);
    EXPECT_TRUE(h->deleteLogs[1].empty());
    ASSERT_EQ(h->deleteFallbacks[1].size(), 1u);
    EXPECT_EQ(h->deleteFallbacks[1][0].id, "b");
    EXPECT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(state().banner, "Deleted 0 items. Log: ~/Library/Logs/Virirado/ 1 not tried.");
}

TEST_F(PipelineTest, AnErrorThenTheResultAgree) {
    // The run failed on an error, yet the engine did delete: its report reaches
    // the deletion log and the list, and finishes the sheet the same way.
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "clean_progress"}, {"phase", "start"}, {"label", "Item a"}});
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "Disk hiccup."}});
    ASSERT_EQ(state().cleanProgress->error, "Disk hiccup.");
    EXPECT_TRUE(h->client->pendingRows().empty());
    h->event(
        {{"event", "clean"},
         {"dry_run", false},
         {"clean_count", 1},
         {"results", {{{"id", "a"}, {"deleted", true}, {"ok", true}, {"realistic_size", 4096}}}}});
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(h->deleteLogs[0].size(), 1u);
    EXPECT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    const auto& run = *state().cleanProgress;
    EXPECT_EQ(run.phase, Phase::finished);
    EXPECT_FALSE(run.error);
    EXPECT_EQ(run.deletedCount, 1);
    EXPECT_EQ(run.freedBytes, 4096);
    EXPECT_EQ(run.notTried, 0);
}

TEST_F(PipelineTest, RowsNoResultReachedAreLoggedAsUnknown) {
    // The engine removed a row, said so item by item, then ended: no result
    // will come, so the rows go to the log with the status "unknown".
    preview(Json::array({row("a", small), row("b", other)}));
    h->client->confirmClean();
    h->event({{"event", "clean_progress"},
              {"phase", "done"},
              {"ok", true},
              {"realistic_size", 10},
              {"label", "Item a"}});
    h->end(0);
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_TRUE(h->deleteLogs[0].empty());
    ASSERT_EQ(h->deleteFallbacks[0].size(), 2u);
    EXPECT_EQ(h->deleteFallbacks[0][1].id, "b");
    EXPECT_EQ(state().cleanProgress->error, "The engine stopped.");
    // An engine started later cannot answer it.
    h->client->start();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "b"}, {"deleted", true}, {"ok", true}}}}});
    EXPECT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(h->client->records().size(), 2u);

    // The same after an error emptied the pending rows, and when the person
    // ends an engine that stopped answering; nothing once the result came.
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {item("a", small)}}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small)}), "tok2");
    h->client->confirmClean();
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "stuck"}});
    h->client->endEngineNow();
    EXPECT_EQ(h->world->kills, 1);
    EXPECT_FALSE(h->client->engineRunning());
    ASSERT_EQ(h->deleteLogs.size(), 2u);
    ASSERT_EQ(h->deleteFallbacks[1].size(), 1u);
    EXPECT_EQ(h->deleteFallbacks[1][0].id, "a");
    h->end(9);
    EXPECT_EQ(h->deleteLogs.size(), 2u);
}

TEST_F(PipelineTest, ARealCleanReportedDryIsLoggedAsItsResultsSay) {
    // The clean went out as a real one; the engine removed b and still says
    // "dry_run": true. b is logged and leaves the list, and nothing reads as if
    // nothing was deleted.
    preview(Json::array({row("a", small), row("b", other)}));
    h->client->confirmClean();
    ASSERT_EQ(lastSent()["dry_run"], false);
    h->free = 5;
    h->event({{"event", "clean"},
              {"dry_run", true},
              {"clean_count", 2},
              {"results",
               {{{"id", "a"}, {"deleted", false}, {"ok", true}, {"msg", "dry run"}},
                {{"id", "b"}, {"deleted", true}, {"ok", true}, {"msg", "dry run"}}}}});
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    ASSERT_EQ(h->deleteLogs[0].size(), 2u);
    EXPECT_EQ(h->deleteLogs[0][1]["deleted"], true);
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "a");
    EXPECT_EQ(state().freeBytes, 5);
    // a, which only "ok" calls done, is no deletion: the log says "failed".
    EXPECT_EQ(state().banner, "Deleted 1, failed 1: ? (dry run). See log.");
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_FALSE(state().cleanProgress->readsDry());
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
}

TEST_F(PipelineTest, ARealCleanReportedDryThatDeletedNothingReadsAsADryRun) {
    // Each row still gets its line as its result says; only the words are a
    // dry run's. Closing it reads the list again all the same: the run was made
    // as a real clean and did items.
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->free = 5;
    h->event({{"event", "clean"},
              {"dry_run", true},
              {"clean_count", 1},
              {"results", {{{"id", "a"}, {"deleted", false}, {"ok", true}, {"msg", "dry run"}}}}});
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    ASSERT_EQ(h->deleteLogs[0].size(), 1u);
    EXPECT_EQ(h->deleteLogs[0][0]["msg"], "dry run");
    EXPECT_EQ(h->client->records().size(), 2u);
    EXPECT_EQ(state().scanGeneration, 1);
    EXPECT_NE(state().freeBytes, 5);
    EXPECT_EQ(state().banner, "Dry run. 1 items would go. Nothing was deleted.");
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_TRUE(state().cleanProgress->readsDry());
    EXPECT_FALSE(state().cleanProgress->dryRun);
    h->client->dismissPreview();
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_EQ(lastSent()["cmd"], "scan");
    EXPECT_TRUE(state().scanning);
}

TEST_F(PipelineTest, APreviewDuringARunLeavesItsSheet) {
    h->executor.hold = true;
    preview(Json::array({row("a", small)}));
    h->executor.drain();
    h->client->confirmClean();
    // Proposed while the disk is re-checked, judged once the clean went out.
    preview(Json::array({row("b", other, 10, "rm", "info")}), "tok2");
    h->executor.drain();
    ASSERT_EQ(lastSent()["cmd"], "clean");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "tok");
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_EQ(state().cleanProgress->phase, Phase::deleting);
    EXPECT_TRUE(h->refusedLogs.empty());
    EXPECT_TRUE(h->client->ticked().contains("b"));

    // Arriving while the engine deletes: an empty one and a full one.
    h->executor.hold = false;
    preview(Json::array(), "");
    preview(Json::array({row("b", other)}), "tok3");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "tok");
    EXPECT_FALSE(state().banner);
    EXPECT_EQ(state().cleanProgress->phase, Phase::deleting);

    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "a"}, {"deleted", true}, {"ok", true}}}}});
    // The result stays on show until it is closed.
    preview(Json::array(), "");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "tok");
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    h->client->dismissPreview();
    EXPECT_FALSE(state().preview);
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_EQ(lastSent()["cmd"], "scan");
}

TEST_F(PipelineTest, ResultFlagsReadAsNumbersAgreeWithTheLogAndTheRun) {
    // The engine's flags may come as 1 and 0; the removal, the banner, the log's
    // status word and the run's count must all read them the same way.
    preview(Json::array({row("a", small), row("b", other)}));
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", 0},
              {"clean_count", 2},
              {"results",
               {{{"id", "a"}, {"label", "Item a"}, {"deleted", 1}, {"ok", 1}},
                {{"id", "b"}, {"label", "Item b"}, {"deleted", 0}, {"ok", 0}, {"msg", "busy"}}}}});
    EXPECT_EQ(state().banner, "Deleted 1, failed 1: Item b (busy). See log.");
    ASSERT_EQ(h->client->records().size(), 1u);
    EXPECT_EQ(h->client->records()[0].id, "b");
    EXPECT_EQ(state().scanGeneration, 2);
    EXPECT_EQ(state().cleanProgress->deletedCount, 1);
    EXPECT_EQ(h->deleteLogs.size(), 1u);
}

TEST_F(PipelineTest, RecheckMeasuresSizesButNeverCommandRows) {
    preview(Json::array({row("a", small, 60'000'000)}));
    ASSERT_TRUE(state().preview);
    h->client->confirmClean();
    EXPECT_EQ(state().banner,
              "Held back 1: Item a (smaller than scanned). Nothing deleted. Preview again.");
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_EQ(lastSent()["cmd"], "untick");

    // An item the scan lists as cleaned by its tool.
    Json tool = item("b", other);
    tool["action"] = "cmd";
    tool["safety"] = "review";
    h->event({{"event", "done"}, {"items", {item("a", small), tool}}, {"ticked", {"a", "b"}}});
    preview(Json::array({row("b", other, 60'000'000, "cmd", "review")}));
    ASSERT_TRUE(state().preview);
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["cmd"], "clean");
}

TEST_F(PipelineTest, RecheckMeasuresTheFileInThisClientsHome) {
    // A home-relative row is measured where the guards looked for it, not in the
    // home of whatever process runs the check.
    const std::string big = home.file("big.img", 0);
    const int fd = ::open(big.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const bool allocated = ::posix_fallocate(fd, 0, 60'000'000) == 0;
    ::close(fd);
    if (!allocated) GTEST_SKIP() << "this file system cannot allocate ahead";
    h->event({{"event", "done"}, {"items", {item("big", "~/big.img")}}, {"ticked", {"big"}}});
    preview(Json::array({row("big", "~/big.img", 60'000'000)}));
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["cmd"], "clean") << state().banner.value_or("");
}

TEST_F(PipelineTest, EngineEndingDuringRecheckNeverBlocksLaterCleans) {
    preview(Json::array({row("a", small)}));
    h->executor.hold = true;
    h->client->confirmClean();
    EXPECT_TRUE(state().verifying);
    h->end(0);
    h->executor.drain();
    EXPECT_FALSE(state().verifying);
    EXPECT_NE(lastSent()["cmd"], "clean");
    EXPECT_TRUE(h->client->pendingRows().empty());
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    EXPECT_EQ(state().cleanProgress->error, "The engine stopped.");

    h->client->dismissPreview();
    h->client->start();
    h->executor.hold = false;
    preview(Json::array({row("a", small)}), "tok2");
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["cmd"], "clean");
    EXPECT_EQ(lastSent()["confirm_token"], "tok2");
}

TEST_F(PipelineTest, UnsentCleanFailsTheRun) {
    preview(Json::array({row("a", small)}));
    h->world->writeFailure = "Broken pipe";
    h->client->confirmClean();
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_EQ(state().cleanProgress->phase, Phase::finished);
    EXPECT_EQ(state().cleanProgress->error, "Couldn't talk to the engine. Broken pipe");
    EXPECT_TRUE(h->client->pendingRows().empty());
}

TEST_F(PipelineTest, ErrorForCleanFailsTheRun) {
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "error"}, {"cmd", "clean"}, {"message", "out of date"}});
    EXPECT_EQ(state().cleanProgress->error, "out of date");
    EXPECT_TRUE(h->client->pendingRows().empty());
    EXPECT_EQ(state().banner, "out of date");
}

TEST_F(PipelineTest, ChecksThatOutliveTheirScanAreDropped) {
    h->executor.hold = true;
    preview(Json::array({row("a", small)}));
    h->client->scan();
    h->executor.drain();
    EXPECT_FALSE(state().preview);

    // A re-check whose preview was replaced lapses silently.
    h->event({{"event", "done"}, {"items", {item("a", small)}}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small)}));
    h->executor.drain();
    ASSERT_TRUE(state().preview);
    h->client->confirmClean();
    preview(Json::array(), "newer");
    h->executor.drain();
    EXPECT_FALSE(state().preview);
    EXPECT_FALSE(state().verifying);
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_NE(lastSent()["cmd"], "clean");
}

TEST(PipelineSnapshot, PreviewIsShownUncheckedAndConfirmSendsNothing) {
    ClientHarness h(Environment{{"VIRIRADO_SNAPSHOT", "/tmp/shot-"}, {"VIRIRADO_ENGINE", "/e"}},
                    {"--autoscan"});
    h.client->start();
    h.event({{"event", "done"}, {"items", {{{"id", "ghost"}}}}, {"ticked", {"ghost"}}});
    h.client->requestPreview();
    h.event({{"event", "preview"},
             {"items", {{{"id", "ghost"}, {"path", "/nowhere"}, {"safety", "info"}}}},
             {"confirm_token", "t"}});
    ASSERT_TRUE(h.state().preview);
    const auto sent = h.world->sent.size();
    h.client->confirmClean();
    EXPECT_FALSE(h.state().preview);
    EXPECT_FALSE(h.state().cleanProgress);
    EXPECT_EQ(h.world->sent.size(), sent);
}

TEST_F(PipelineTest, ARowSentAgainCountsOnce) {
    // Rows that share an id but differ are all judged: the second path is not b's.
    preview(Json::array({row("b", other), row("b", small)}));
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner,
              "Held back 1: Item b (not in this scan). Nothing deleted. Preview again.");

    h->client->tick({"b"});  // unticked by the refusal
    preview(Json::array({row("a", small), row("a", small), row("b", other), row("a", small)}));
    ASSERT_TRUE(state().preview);
    ASSERT_EQ(state().preview->rows.size(), 2u);
    EXPECT_EQ(state().preview->rows[1].id, "b");
    h->client->confirmClean();
    ASSERT_TRUE(state().cleanProgress);
    EXPECT_EQ(state().cleanProgress->totalCount, 2);
    EXPECT_EQ(state().cleanProgress->totalBytes, 20);
    EXPECT_EQ(h->client->pendingRows().size(), 2u);
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 2},
              {"results",
               {{{"id", "a"}, {"label", "Item a"}, {"deleted", true}, {"ok", true}},
                {{"id", "b"}, {"label", "Item b"}, {"deleted", true}, {"ok", true}}}}});
    EXPECT_EQ(state().banner, "Deleted 2 items. Log: ~/Library/Logs/Virirado/");
}

TEST_F(PipelineTest, APreviewNobodyAskedForIsNoPreview) {
    const auto sent = h->world->sent.size();
    // Rows the guards would hold back too: refusing them would log and untick.
    answer(Json::array({row("a", small)}), "unasked");
    answer(Json::array({row("a", small, 10, "rm", "info")}), "unasked2");
    answer(Json::array(), "");
    EXPECT_FALSE(state().preview);
    EXPECT_FALSE(state().banner);
    EXPECT_EQ(h->executor.waiting(), 0u);
    EXPECT_TRUE(h->refusedLogs.empty());
    EXPECT_EQ(h->world->sent.size(), sent);
    EXPECT_TRUE(h->client->ticked().contains("a"));
    h->client->confirmClean();
    EXPECT_FALSE(state().cleanProgress);
    EXPECT_EQ(h->world->sent.size(), sent);

    // A request answered once: a second answer is not it, nor one after a scan
    // dropped the request, nor one after the engine refused the request.
    preview(Json::array({row("a", small)}), "first");
    answer(Json::array({row("b", other)}), "second");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "first");
    h->client->dismissPreview();
    h->client->requestPreview();
    h->event({{"event", "error"}, {"cmd", "preview"}, {"message", "Busy: a clean is running."}});
    EXPECT_EQ(h->client->unansweredPreviews(), 0);
    answer(Json::array({row("a", small)}), "late");
    EXPECT_FALSE(state().preview);
    h->client->requestPreview();
    h->client->scan();
    answer(Json::array({row("a", small)}), "stale");
    EXPECT_FALSE(state().preview);
}

TEST_F(PipelineTest, RowsNobodyAskedForRefuseTheWholeAnswer) {
    h->client->untick({"b"});
    const auto sent = h->world->sent.size();
    preview(Json::array({row("a", small), row("b", other)}));
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner, "Held back 1: Item b (not ticked). Nothing deleted. Preview again.");
    ASSERT_EQ(h->refusedLogs.size(), 1u);
    ASSERT_EQ(h->refusedLogs[0].size(), 1u);
    EXPECT_EQ(h->refusedLogs[0][0].first.id, "b");
    EXPECT_EQ(h->refusedLogs[0][0].second, "not ticked");
    // The engine still holds b ticked: it is told to let go, or every later
    // "Clean the tank" would end in the same refusal. a stays ticked.
    EXPECT_EQ(sentSince(sent), (std::vector<std::string>{"preview", "untick"}));
    EXPECT_EQ(lastSent()["ids"], Json::array({"b"}));
    EXPECT_TRUE(h->client->ticked().contains("a"));
    EXPECT_EQ(h->client->unansweredPreviews(), 0);

    // A quick delete asks for one item: the user's other ticks stay as they were.
    h->client->tick({"b"});
    h->client->requestQuickDelete("a");
    answer(Json::array({row("a", small), row("b", other)}), "quick");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner,
              "Held back 1: Item b (not asked for). Nothing deleted. Preview again.");
    EXPECT_EQ(h->commandNames().back(), "preview");
    EXPECT_TRUE(h->client->ticked().contains("a"));
    EXPECT_TRUE(h->client->ticked().contains("b"));

    h->client->requestQuickDelete("b");
    answer(Json::array({row("b", other)}), "one");
    ASSERT_TRUE(state().preview);
    EXPECT_TRUE(state().preview->quickDelete);
    ASSERT_EQ(state().preview->rows.size(), 1u);
}

TEST_F(PipelineTest, ANewItemTheEngineKeepsTickedIsLetGo) {
    // A new download never arrives ticked, whatever the engine says; an engine
    // that keeps it ticked puts it in the preview, which is refused once and the
    // engine told to let go of it.
    Json download = item("dl", other);
    download["category"] = "downloads";
    download["safety"] = "review";
    download["action"] = "trash";
    h->event({{"event", "item"}, {"item", download}});
    ASSERT_FALSE(h->client->ticked().contains("dl"));
    preview(Json::array({row("a", small), row("dl", other, 10, "trash", "review")}));
    EXPECT_EQ(state().banner, "Held back 1: Item dl (not ticked). Nothing deleted. Preview again.");
    EXPECT_EQ(lastSent()["cmd"], "untick");
    EXPECT_EQ(lastSent()["ids"], Json::array({"dl"}));
    // The engine let go: the next "Clean the tank" shows the sheet.
    preview(Json::array({row("a", small)}), "tok2");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "tok2");
}

TEST_F(PipelineTest, PreviewsFasterThanAPersonReadsChangeNothing) {
    preview(Json::array({row("a", small)}), "shown");
    ASSERT_TRUE(state().preview);
    const auto sent = h->world->sent.size();
    const int changes = h->changes;
    for (int i = 0; i < 120; ++i) {
        // Fresh lists, repeats of the shown one, and lists the guards refuse.
        if (i % 3 == 0) answer(Json::array({row("a", small)}), "shown");
        if (i % 3 == 1) answer(Json::array({row("b", other)}), "fresh" + std::to_string(i));
        if (i % 3 == 2) answer(Json::array({row("b", small)}), "bad" + std::to_string(i));
    }
    EXPECT_EQ(state().preview->token, "shown");
    EXPECT_EQ(h->changes, changes);
    EXPECT_TRUE(h->refusedLogs.empty());
    EXPECT_EQ(h->world->sent.size(), sent);
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["confirm_token"], "shown");
}

TEST_F(PipelineTest, EveryRequestIsSentAndAnyAnswerMayBeAQuickDeletes) {
    // A slow answer to a quick delete, with "Clean the tank" pressed meanwhile:
    // both are asked, and until both have their answer, every answer asks for
    // the typed code, as it may be the quick delete's.
    h->executor.hold = true;
    const auto sent = h->world->sent.size();
    h->client->requestQuickDelete("a");
    h->client->requestPreview();
    EXPECT_EQ(sentSince(sent), (std::vector<std::string>{"preview", "preview"}));
    EXPECT_EQ(h->world->sent[sent]["ids"], Json::array({"a"}));
    EXPECT_FALSE(h->world->sent.back().contains("ids"));
    answer(Json::array({row("a", small), row("b", other)}), "tank");
    h->executor.drain();
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    EXPECT_TRUE(state().preview->quickDelete);
    answer(Json::array({row("a", small)}), "quick");
    h->executor.drain();
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    EXPECT_EQ(state().preview->token, "quick");
    EXPECT_TRUE(state().preview->quickDelete);
    // Both answered: a third answer is nobody's.
    answer(Json::array({row("a", small)}), "third");
    EXPECT_EQ(h->executor.waiting(), 0u);
    h->client->dismissPreview();

    // Answered, a request leaves no trace on the next one.
    h->client->requestPreview();
    answer(Json::array({row("a", small)}), "plain");
    h->executor.drain();
    ASSERT_TRUE(state().preview);
    EXPECT_FALSE(state().preview->quickDelete);
    h->client->dismissPreview();

    // Checks that end out of order show the later answer, never the earlier.
    h->client->requestPreview();
    h->client->requestPreview();
    answer(Json::array({row("a", small)}), "older");
    answer(Json::array({row("a", small)}), "newer");
    ASSERT_EQ(h->executor.waiting(), 2u);
    h->executor.drain(true);
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "newer");
}

TEST_F(PipelineTest, AnEngineThatDoesNotAnswerLeavesNoButtonDead) {
    // Refused with "cancelled", with an error that names no command, or never
    // answered: each later click still asks, and its answer is shown.
    const auto sent = h->world->sent.size();
    h->client->requestPreview();
    h->event({{"event", "cancelled"}, {"cmd", "preview"}});
    h->client->requestPreview();
    h->event({{"event", "error"}, {"message", "no idea"}});
    h->client->requestPreview();
    h->client->requestQuickDelete("a");
    EXPECT_EQ(sentSince(sent),
              (std::vector<std::string>{"preview", "preview", "preview", "preview"}));
    answer(Json::array({row("a", small)}), "at-last");
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->token, "at-last");
    EXPECT_TRUE(state().preview->quickDelete);
}

TEST_F(PipelineTest, RowsAreJudgedAsTheScanListedThem) {
    // The scan said "check first"; the preview says "safe": the typed code is
    // still asked for. The scan said "look only": the row is held.
    Json checkFirst = item("a", small);
    checkFirst["safety"] = "review";
    checkFirst["action"] = "trash";
    Json lookOnly = item("b", other);
    lookOnly["safety"] = "info";
    h->event({{"event", "done"}, {"items", {checkFirst, lookOnly}}, {"ticked", {"a", "b"}}});
    preview(Json::array({row("a", small, 10, "trash", "safe")}));
    ASSERT_TRUE(state().preview);
    EXPECT_EQ(state().preview->rows[0].safety, "review");
    preview(Json::array({row("b", other, 10, "rm", "safe")}), "tok2");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner, "Held back 1: Item b (Look only). Nothing deleted. Preview again.");

    // A row the engine would hand to a tool, or one without a path, passes the
    // guards without a look at the disk: only for an item the scan listed so.
    h->event({{"event", "done"},
              {"items", {item("a", small), item("b", other)}},
              {"ticked", {"a", "b"}}});
    preview(Json::array({{{"id", "a"}, {"action", "cmd"}, {"safety", "safe"}}}), "tok3");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner, "Held back 1: a (not as scanned). Nothing deleted. Preview again.");
    preview(Json::array({row("b", other, 10, "cmd", "safe")}), "tok4");
    EXPECT_FALSE(state().preview);
    Json tool = item("a", small);
    tool["action"] = "cmd";
    tool["path"] = nullptr;
    h->event({{"event", "done"}, {"items", {tool}}, {"ticked", {"a"}}});
    preview(Json::array({{{"id", "a"}, {"action", "cmd"}, {"safety", "safe"}}}), "tok5");
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["cmd"], "clean");
}

TEST_F(PipelineTest, RowsAreJudgedAgainstEveryRecordOfTheScan) {
    // The scan listed "a" twice, the second time as a folder to check first,
    // and "b" as look-only by its action: the engine keeps b ticked and calls
    // both "rm" and "safe".
    Json again = item("a", other);
    again["safety"] = "review";
    again["action"] = "trash";
    Json lookOnly = item("b", home.file("look/only", 10));
    lookOnly["action"] = "info";
    h->event({{"event", "done"},
              {"items", {item("a", small), again, lookOnly}},
              {"ticked", {"a", "b"}}});
    preview(Json::array({row("a", other, 10, "trash")}));
    ASSERT_TRUE(state().preview) << state().banner.value_or("");
    EXPECT_EQ(state().preview->rows[0].safety, "review");
    preview(Json::array({row("b", *lookOnly["path"].get_ptr<const std::string*>())}), "tok2");
    EXPECT_FALSE(state().preview);
    EXPECT_EQ(state().banner,
              "Held back 1: Item b (not as scanned). Nothing deleted. Preview again.");
}
