// The wire page's example session, played against the stand-in in a home laid
// out as the page describes it: every event it shows must come, in that order,
// with the same fields and texts.
#include <gtest/gtest.h>

#include "peer_harness.hpp"
#include "wire_session.hpp"

namespace peer_test {
namespace {

TEST(PeerWireDoc, TheExampleSessionIsWhatTheStandInSays) {
    TempHome h;
    write_file(h.cache() / "browser/blob", 3'000'000);
    write_file(h.home / "proj/Cargo.toml", 10);
    write_file(h.home / "proj/target/a.o", 2'000'000);
    auto session = wire_doc::read_session(WIRE_DOC, h.home.string());
    ASSERT_GT(session.size(), 10u) << "no example session in " << WIRE_DOC;

    Peer p(h, {{"VIRIRADO_SCANNER", SCANNER_BIN}});
    // Sizes, dates, free space and the token differ from run to run.
    const std::vector<std::string> loose = {"confirm_token", "modified"};
    std::string token;
    for (std::size_t i = 0; i < session.size(); ++i) {
        const auto& line = session[i];
        if (line.command) {
            json cmd = line.value;
            if (cmd.contains("confirm_token")) cmd["confirm_token"] = token;
            p.send_line(cmd.dump());
            continue;
        }
        json got = p.next();
        ASSERT_FALSE(got.is_null()) << "line " << i << ": nothing came for " << line.value.dump();
        std::string where;
        EXPECT_TRUE(wire_doc::same_form(line.value, got, loose, where)) << "line " << i << where;
        if (got.value("event", "") == "preview") token = got.value("confirm_token", "");
    }
    // The clean really happened, and only to what the session ticked.
    EXPECT_FALSE(fs::exists(h.cache() / "browser"));
    EXPECT_TRUE(fs::exists(h.home / "proj/target/a.o"));
    // Nothing more was said than the page shows.
    EXPECT_TRUE(p.next(300).is_null());
}

}  // namespace
}  // namespace peer_test
