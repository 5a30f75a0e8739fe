// The engine connection driven through a fake child: launching, ids, line
// framing, the standard-error tail, the child's end and the command guards.
#include <gtest/gtest.h>

#include "client_fixture.hpp"

using namespace virirado;
using virirado::testing::ClientHarness;

namespace {

Environment engineAt(const std::string& path) {
    return {{"VIRIRADO_ENGINE", path}};
}

Json item(const std::string& id, const std::string& category = "caches", bool ticked = false) {
    return Json{{"event", "item"},
                {"item", {{"id", id}, {"category", category}, {"ticked", ticked}, {"size", 10}}}};
}

}  // namespace

TEST(EngineClientLaunch, IdsCountOnAcrossChildrenAndStartIsIdempotent) {
    ClientHarness h(engineAt("/opt/engine"));
    h.client->start();
    ASSERT_EQ(h.world->launches, 1);
    EXPECT_EQ(h.world->executable, "/opt/engine");
    EXPECT_EQ(h.world->arguments, std::vector<std::string>{"engine"});
    EXPECT_EQ(h.state().commandSummary, "/opt/engine engine");
    ASSERT_EQ(h.world->sent.size(), 1u);
    EXPECT_EQ(h.world->sent[0], (Json{{"v", 1}, {"id", "gui-1"}, {"cmd", "hello"}}));

    const int changes = h.changes;
    h.client->start();
    EXPECT_EQ(h.world->launches, 1);
    EXPECT_EQ(h.world->sent.size(), 1u);
    EXPECT_EQ(h.changes, changes);

    h.client->cancel();
    h.end(0);
    EXPECT_FALSE(h.client->engineRunning());
    h.client->start();
    EXPECT_EQ(h.world->launches, 2);
    EXPECT_EQ(h.world->sent.back()["id"], "gui-3");
    EXPECT_EQ(h.world->sent.back()["cmd"], "hello");
}

TEST(EngineClientLaunch, AutoscanSendsHelloThenScanWithIncludePrivate) {
    ClientHarness h(engineAt("/e"), {});
    h.storedIncludePrivate = false;
    h.makeClient();  // the stored choice is read at construction
    h.client->start();
    EXPECT_EQ(h.commandNames(), (std::vector<std::string>{"hello", "scan"}));
    EXPECT_EQ(h.world->sent[1]["include_private"], false);
    EXPECT_TRUE(h.state().scanning);
    EXPECT_TRUE(h.state().hasScanned);
    EXPECT_EQ(h.state().place, "Starting the look");
}

TEST(EngineClientLaunch, ScanWithoutEngineStartsOneAndSendsScanTwice) {
    ClientHarness h(engineAt("/e"), {"--autoscan"});
    h.client->scan();
    EXPECT_EQ(h.commandNames(), (std::vector<std::string>{"hello", "scan", "scan"}));
    EXPECT_EQ(h.world->sent[2]["id"], "gui-3");
}

TEST(EngineClientLaunch, ChildEnvironmentAndFailures) {
    {
        ClientHarness h;
        h.world->launchFailure = "no such file";
        h.client->start();
        EXPECT_EQ(h.state().banner, "Couldn't start the virirado engine. no such file");
        EXPECT_FALSE(h.client->engineRunning());
        // A command now meets a stopped engine; the earlier message stays.
        h.client->cancel();
        EXPECT_EQ(h.state().banner, "Couldn't start the virirado engine. no such file");
    }
    {
        ClientHarness h(Environment{{"VIRIRADO_ENGINE", ""}, {"PATH", "/bin"}});
        h.client->start();
        EXPECT_EQ(h.world->environment.at("VIRIRADO_ENGINE"), "");
        EXPECT_EQ(h.world->environment.at("PATH"), "/bin");
        EXPECT_EQ(h.world->executable, "/usr/bin/env");
    }
    {
        ClientHarness h(Environment{{"PATH", "/bin"}});
        h.client->start();
        EXPECT_EQ(h.world->environment.at("VIRIRADO_ENGINE"), "rust");
    }
    {
        ClientHarness h;
        h.client->cancel();
        EXPECT_EQ(h.state().banner, "The engine is not running. ");
        h.client->start();
        h.world->writeFailure = "Broken pipe";
        h.client->cancel();
        EXPECT_EQ(h.state().banner, "Couldn't talk to the engine. Broken pipe");
    }
}

TEST(EngineClientTransport, LinesAreSplitTrimmedAndHandledOnce) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    h.raw("a\r\n\n  \nb");
    EXPECT_EQ(h.handledLines(), std::vector<std::string>{"a"});
    h.raw("c\n");
    EXPECT_EQ(h.handledLines(), (std::vector<std::string>{"a", "bc"}));

    // An event split in the middle acts once, when its line feed arrives.
    h.raw("{\"event\":\"scanner_er");
    EXPECT_FALSE(h.state().banner);
    h.raw("ror\"}  \r\n");
    EXPECT_EQ(h.state().banner, "scan: failed");

    // Bytes that are not UTF-8 drop their line only.
    h.raw("bad \xC0\xAF line\n\xE2\x80\xA8ok\xC2\xA0\n");
    EXPECT_EQ(h.handledLines().back(), "ok");
    EXPECT_EQ(h.handledLines().size(), 4u);
}

TEST(EngineClientTransport, LinesUpToTheCapAreWholeAndLongerOnesGoWhole) {
    ClientHarness h(engineAt("/e"), {"--no-autoscan"}, "/nonexistent-home", 1000);
    h.client->start();
    const auto event = [](const std::string& message, std::size_t padding) {
        return std::string(padding, ' ') + "{\"event\":\"scanner_error\",\"message\":\"" +
               message + "\"}";
    };
    // A line of 950 bytes in pieces of 64: taken whole.
    const std::string fits = event("fits", 900) + "\n";
    for (std::size_t at = 0; at < fits.size(); at += 64)
        h.raw(fits.substr(at, 64));
    EXPECT_EQ(h.state().banner, "scan: fits");

    // Past the cap the line is dropped to its line feed: the event that ends it
    // is never read as a line of its own, in pieces or in one read.
    const std::string tooLong = event("tail", 1500) + "\n" + event("next", 0) + "\n";
    for (std::size_t at = 0; at < tooLong.size(); at += 64)
        h.raw(tooLong.substr(at, 64));
    EXPECT_EQ(h.state().banner, "scan: next");
    h.raw(event("tail again", 1500) + "\n" + event("last", 0) + "\n");
    EXPECT_EQ(h.state().banner, "scan: last");
    for (const std::string& line : h.handledLines())
        EXPECT_EQ(line.find("tail"), std::string::npos) << line;
}

TEST(EngineClientTransport, StderrTailKeepsTheLast600Graphemes) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    // A family emoji and an e with a combining accent are one character each.
    const std::string family =
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    std::string text;
    for (int i = 0; i < 700; ++i)
        text += (i % 2 == 0) ? family : "e\xCC\x81";
    h.world->handlers.error(text);
    std::string expected;
    for (int i = 100; i < 700; ++i)
        expected += (i % 2 == 0) ? family : "e\xCC\x81";
    EXPECT_TRUE(h.client->stderrTail() == expected);

    // A character cut between two reads is kept whole; bytes that are never UTF-8
    // are ignored altogether.
    h.world->handlers.error("\n  fatal: disk \xE2\x80");
    h.world->handlers.error("\xA6 gone \n");
    h.world->handlers.error("\xFF\xFE");
    EXPECT_TRUE(h.client->stderrTail().ends_with("fatal: disk \xE2\x80\xA6 gone \n"));
    h.end(1);
    ASSERT_TRUE(h.state().banner);
    EXPECT_TRUE(h.state().banner->ends_with("\n  fatal: disk \xE2\x80\xA6 gone"));
    EXPECT_TRUE(h.state().banner->starts_with("e\xCC\x81"));
}

TEST(EngineClientTransport, ExitStatusBannersAndUnfinishedCleans) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    h.world->handlers.error(" \n\t ");
    h.end(3);
    EXPECT_EQ(h.state().banner, "The engine stopped (status 3).");

    h.client->start();
    h.event({{"event", "error"}, {"message", "kept"}});
    h.end(0);
    EXPECT_EQ(h.state().banner, "kept");

    h.client->start();
    h.end(9);
    EXPECT_EQ(h.state().banner, "The engine stopped (status 9).");
}

TEST(EngineClientTransport, NothingLeaksFromOneChildIntoTheNext) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    const auto first = h.world->handlers;
    h.raw("{\"event\":\"scanner_error\",\"message\":\"half");
    h.world->handlers.error("old failure");
    h.end(0);

    h.client->start();
    EXPECT_EQ(h.client->stderrTail(), "");
    h.raw("{\"event\":\"scanner_error\",\"message\":\"fresh\"}\n");
    EXPECT_EQ(h.state().banner, "scan: fresh");
    h.end(4);
    EXPECT_EQ(h.state().banner, "The engine stopped (status 4).");

    // Late bytes of a child that already ended are not taken for the new one's.
    h.client->start();
    first.output("{\"event\":\"scanner_error\",\"message\":\"ghost\"}\n");
    EXPECT_EQ(h.state().banner, "The engine stopped (status 4).");
}

TEST(EngineClientCommands, GuardsKeepUselessCommandsOff) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    h.world->sent.clear();

    h.client->tick({});
    h.client->requestQuickDelete("");
    EXPECT_TRUE(h.world->sent.empty());

    h.client->requestPreview();
    EXPECT_EQ(h.state().banner, "Nothing is in clean the tank.");
    h.event({{"event", "selection"}, {"ticked", {"ghost"}}});
    h.client->requestPreview();
    EXPECT_TRUE(h.world->sent.empty());

    h.event(item("a"));
    h.client->tick({"a"});
    EXPECT_TRUE(h.client->ticked().contains("a"));
    EXPECT_EQ(h.world->sent.back()["ids"], Json::array({"a"}));
    h.client->requestPreview();
    EXPECT_EQ(h.world->sent.back()["cmd"], "preview");
    EXPECT_FALSE(h.world->sent.back().contains("ids"));
    // Every click asks: an engine that answers nothing never leaves a button dead.
    const auto asked = h.world->sent.size();
    h.client->requestQuickDelete("a");
    EXPECT_EQ(h.world->sent.back()["ids"], Json::array({"a"}));
    EXPECT_TRUE(h.state().quickDeleteMode);
    h.client->requestPreview();
    EXPECT_EQ(h.world->sent.size(), asked + 2);
    EXPECT_FALSE(h.world->sent.back().contains("ids"));
    EXPECT_FALSE(h.state().quickDeleteMode);
    EXPECT_EQ(h.client->unansweredPreviews(), 3);

    h.client->scan();
    const auto before = h.world->sent.size();
    h.client->untick({"a"});
    h.client->tick({"a"});
    h.client->requestPreview();
    h.client->requestQuickDelete("a");
    EXPECT_EQ(h.world->sent.size(), before);
    h.client->cancel();
    EXPECT_EQ(h.world->sent.back()["cmd"], "cancel");
}

TEST(EngineClientCommands, IncludePrivateIsStoredAndSent) {
    ClientHarness h(engineAt("/e"));
    EXPECT_TRUE(h.state().includePrivate);
    h.client->setIncludePrivate(false);
    EXPECT_EQ(h.storedIncludePrivate, false);
    h.client->scan();
    EXPECT_EQ(h.world->sent.back()["include_private"], false);
}

TEST(EngineClientCommands, ChangesAreAnnouncedOncePerOperation) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    const int before = h.changes;
    // A "done" sets many fields and rebuilds twice, yet is one change.
    h.event({{"event", "done"},
             {"items", Json::array({item("a")["item"], item("b")["item"]})},
             {"total_bytes", 100}});
    EXPECT_EQ(h.changes, before + 1);
    h.event({{"event", "unknown"}});
    h.raw("[]\n{}\n");
    EXPECT_EQ(h.changes, before + 1);
}

TEST(EngineClientCommands, ItemsArrivingTogetherBuildTheTreeOnce) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    const int changes = h.changes;
    const int64_t revision = h.state().rootRevision;
    std::string chunk;
    for (const char* id : {"a", "b", "c", "b"})
        chunk += item(id).dump() + "\n";
    h.raw(chunk);
    EXPECT_EQ(h.changes, changes + 1);
    EXPECT_EQ(h.state().rootRevision, revision + 1);
    ASSERT_TRUE(h.state().root);
    // The repeated "b" replaced the first one: three items, each once.
    EXPECT_EQ(h.client->records().size(), 3u);

    // A record list replaced wholesale is looked up afresh.
    h.event({{"event", "done"}, {"items", Json::array({item("z")["item"]})}, {"total_bytes", 100}});
    h.event(item("a"));
    h.event(item("z"));
    EXPECT_EQ(h.client->records().size(), 2u);

    // A scan empties the list and the tree.
    h.raw(item("q").dump() + "\n");
    h.client->scan();
    EXPECT_FALSE(h.state().root);
    EXPECT_TRUE(h.client->records().empty());
}

// Items streamed in many pieces: after every piece the tree is the one made of
// all records at once, through replacements, ticks, new groups, a volume event
// and a snapshot edit, and the nodes of items taken earlier are not made again
// for every later piece.
TEST(EngineClientCommands, StreamedItemsGrowTheTreeAsMadeAtOnce) {
    ClientHarness h(engineAt("/e"));
    h.client->start();
    h.client->scan();
    const auto expectWhole = [&h](const std::string& when) {
        const EngineState& s = h.state();
        ASSERT_TRUE(s.root) << when;
        EXPECT_EQ(*s.root, makeTree(h.client->records(), h.client->ticked(), s.freeBytes,
                                    s.totalBytes, s.volumeName))
            << when;
    };
    const char* const categories[] = {"logs", "downloads", "caches", "mine", "apps", "trash"};
    const auto longItem = [&](int i, bool ticked) {
        Json e = item("item-with-a-long-id-" + std::to_string(i), categories[i % 6], ticked);
        e["item"]["label"] = "a label long enough to live on the heap " + std::to_string(i);
        e["item"]["size"] = 1000 + (i * 37) % 500;
        return e;
    };
    h.event({{"event", "volume"}, {"free_bytes", 5000}, {"total_bytes", 9'000'000}});
    std::string piece;
    for (int i = 0; i < 30; ++i)
        piece += longItem(i, i % 3 == 0).dump() + "\n";
    h.raw(piece);
    expectWhole("first piece");
    const auto firstLogName = [&h] {
        for (const TreeNode& g : *h.state().root->children) {
            if (g.id == "cat:logs") return g.children->front().name.data();
        }
        return static_cast<const char*>(nullptr);
    };
    const char* const firstLabel = firstLogName();
    ASSERT_NE(firstLabel, nullptr);

    for (int round = 1; round < 8; ++round) {
        piece.clear();
        for (int i = round * 30; i < round * 30 + 30; ++i)
            piece += longItem(i, i % 4 == 0).dump() + "\n";
        h.raw(piece);
        expectWhole("piece " + std::to_string(round));
    }
    // Appending moved the node, it did not make it again.
    EXPECT_EQ(firstLogName(), firstLabel);

    h.event(longItem(7, true));  // replaces a known record
    expectWhole("replacement");
    h.event({{"event", "selection"}, {"ticked", Json::array({"item-with-a-long-id-5"})}});
    h.event(longItem(500, true));
    expectWhole("after a selection");
    h.event({{"event", "volume"}, {"free_bytes", 7}, {"total_bytes", 9'500'000}, {"volume", "V"}});
    h.event(longItem(501, false));
    expectWhole("after a volume");

    // A snapshot edit stands until the records change; then the tree is theirs again.
    h.client->editForSnapshot([](EngineState& s) { s.root->children->pop_back(); });
    h.event(longItem(502, false));
    expectWhole("after a snapshot edit");

    // "done" with the same disk figures and no list of its own keeps the tree.
    const char* const beforeDone = firstLogName();
    h.event({{"event", "done"}, {"free_bytes", 7}, {"total_bytes", 9'500'000}});
    expectWhole("done");
    EXPECT_EQ(firstLogName(), beforeDone);
    EXPECT_EQ(h.client->records().size(), 243u);
    EXPECT_FALSE(h.state().scanning);
}
