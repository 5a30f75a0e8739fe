// The wire page's example session from the app's side: the client, driven by
// the user's steps of the session, writes exactly the commands the page shows,
// and the events the page shows lead to the result the page describes.
#include <gtest/gtest.h>

#include "client_fixture.hpp"
#include "wire_session.hpp"

using namespace virirado;
using virirado::testing::ClientHarness;
using virirado::testing::TempHome;

namespace {

// The user's step that makes the client write `command`.
void act(ClientHarness& h, const Json& command) {
    const std::string cmd = command.value("cmd", "");
    if (cmd == "hello") {
        h.client->start();
    } else if (cmd == "scan") {
        h.client->scan();
    } else if (cmd == "tick") {
        h.client->tick(command["ids"].get<std::vector<std::string>>());
    } else if (cmd == "preview") {
        h.client->requestPreview();
    } else if (cmd == "clean") {
        h.client->confirmClean();
    } else {
        ADD_FAILURE() << "no user step writes " << command.dump();
    }
}

// Plays the page's session; `renamed`, when set, replaces the "id" of every
// event, as an engine that names events its own way would.
void play(const std::optional<std::string>& renamed) {
    TempHome home;
    home.file(".cache/browser/blob", 3'000'000);
    home.file("proj/Cargo.toml", 10);
    home.file("proj/target/a.o", 2'000'000);
    const auto session = wire_doc::read_session(WIRE_DOC, home.path.string());
    ASSERT_GT(session.size(), 10u) << "no example session in " << WIRE_DOC;

    ClientHarness h({{"VIRIRADO_ENGINE", "/opt/engine"}}, {"--no-autoscan"}, home.path.string());
    h.storedIncludePrivate = false;  // the session lists no downloads
    h.makeClient();
    for (std::size_t i = 0; i < session.size(); ++i) {
        const auto& line = session[i];
        if (!line.command) {
            Json event = line.value;
            if (renamed) event["id"] = *renamed;
            h.event(event);
            continue;
        }
        const std::size_t before = h.world->sent.size();
        act(h, line.value);
        ASSERT_EQ(h.world->sent.size(), before + 1) << "line " << i << ": nothing was written";
        EXPECT_EQ(h.world->sent.back(), line.value) << "line " << i;
    }
    EXPECT_EQ(h.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    ASSERT_EQ(h.deleteLogs.size(), 1u);
    ASSERT_EQ(h.deleteLogs[0].size(), 1u);
    EXPECT_EQ(h.deleteLogs[0][0]["id"], "cache:" + home.path.string() + "/.cache/browser");
    ASSERT_EQ(h.client->records().size(), 1u);
    EXPECT_EQ(h.client->records()[0].kind, "devbuild");
}

TEST(ClientWireDoc, TheExampleSessionIsWhatTheClientDoes) {
    play(std::nullopt);
}

TEST(ClientWireDoc, EventsAreTakenByNameWhateverIdTheyCarry) {
    play("engine-run-1");
}

}  // namespace
