// A preview row judged against everything the scan said about its item.
#include "AsScanned.hpp"

#include <gtest/gtest.h>

using namespace virirado;

namespace {

ItemRecord record(const std::string& id, const std::string& path, const std::string& safety,
                  const std::string& action = "rm") {
    ItemRecord r;
    r.id = id;
    r.label = id;
    r.path = path;
    r.safety = safety;
    r.action = action;
    return r;
}

PreviewRow row(const std::string& id, std::optional<std::string> path,
               const std::string& safety = "safe", const std::string& action = "rm") {
    PreviewRow r;
    r.id = id;
    r.label = id;
    r.path = std::move(path);
    r.safety = safety;
    r.action = action;
    return r;
}

const std::string kHome = "/home/ann";

}  // namespace

TEST(AsScanned, TheStrictestRecordOfAnIdOrAPathHolds) {
    // One id listed twice: a safe cache, then a build folder to check first.
    // The first record must not win.
    const AsScanned twice({record("x1", "/home/ann/.cache/a", "safe"),
                           record("x1", "/home/ann/src/target", "review", "trash")},
                          kHome);
    EXPECT_EQ(twice.tightened(row("x1", "/home/ann/src/target")).safety, "review");
    EXPECT_EQ(twice.tightened(row("x1", "/home/ann/.cache/a")).safety, "review");

    // One folder under two ids: the safe one's row is still checked first. The
    // same path written with "~", doubled or trailing separators is the same.
    const AsScanned samePath({record("x1", "/home/ann/src/target", "safe"),
                              record("r1", "~/src//target/", "review", "trash")},
                             kHome);
    EXPECT_EQ(samePath.tightened(row("x1", "/home/ann/src/target")).safety, "review");
    EXPECT_EQ(samePath.tightened(row("x1", "~/src/target")).safety, "review");

    // A row is never loosened, and an unknown tier stays what it is.
    const AsScanned safe({record("s", "/home/ann/s", "safe")}, kHome);
    EXPECT_EQ(safe.tightened(row("s", "/home/ann/s", "review")).safety, "review");
    EXPECT_EQ(safe.tightened(row("s", "/home/ann/s", "")).safety, "");
    const AsScanned blocked({record("b", "/home/ann/b", "blocked")}, kHome);
    EXPECT_EQ(blocked.tightened(row("b", "/home/ann/b")).safety, "blocked");
}

TEST(AsScanned, MembersAreRecordsOfTheirOwn) {
    // A safe cache holding a build folder listed to check first: a row naming
    // the member's path asks for the code, at any depth of members.
    ItemRecord cache = record("c", "/home/ann/.cache/tool", "safe");
    ItemRecord member = record("c/b", "/home/ann/.cache/tool/build", "review", "trash");
    member.members.push_back(record("c/b/deep", "/home/ann/.cache/tool/build/x", "review"));
    cache.members.push_back(member);
    const AsScanned scanned({cache}, kHome);
    EXPECT_EQ(scanned.tightened(row("c", "/home/ann/.cache/tool/build")).safety, "review");
    EXPECT_EQ(scanned.tightened(row("c", "/home/ann/.cache/tool/build/x")).safety, "review");
    // The cache itself holds the build folder: cleaning it takes that along.
    EXPECT_EQ(scanned.tightened(row("c", "/home/ann/.cache/tool")).safety, "review");
    // The places a row of the id may name: its own path and its direct members'.
    EXPECT_EQ(scanned.pathsOf("c"),
              (AsScanned::Paths{"/home/ann/.cache/tool", "/home/ann/.cache/tool/build"}));
    EXPECT_TRUE(scanned.pathsOf("nope").empty());
}

TEST(AsScanned, AnItemNobodyMayTickIsNotCleanedAsScanned) {
    ItemRecord info = record("i", "/home/ann/i", "safe", "info");
    ItemRecord kept = record("k", "/home/ann/k", "safe");
    kept.deletable = false;
    ItemRecord busy = record("u", "/home/ann/u", "safe");
    busy.blocked = "in use";
    ItemRecord fine = record("f", "/home/ann/f", "safe");
    // The same folder listed again as look-only, under another id.
    ItemRecord shadow = record("g", "/home/ann/f", "safe", "info");
    const AsScanned scanned({info, kept, busy, fine}, kHome);
    for (const char* id : {"i", "k", "u"}) {
        EXPECT_EQ(scanned.reason(row(id, "/home/ann/" + std::string(id))), "not as scanned") << id;
    }
    EXPECT_EQ(scanned.reason(row("f", "/home/ann/f")), std::nullopt);
    const AsScanned shadowed({fine, shadow}, kHome);
    EXPECT_EQ(shadowed.reason(row("f", "/home/ann/f")), "not as scanned");
    // A look-only tier reads so in the row, for the guards to name.
    const AsScanned lookOnly({record("l", "/home/ann/l", "info")}, kHome);
    EXPECT_EQ(lookOnly.tightened(row("l", "/home/ann/l")).safety, "info");
}

TEST(AsScanned, ToolRowsAndRowsWithoutAPathOnlyForToolItems) {
    const AsScanned tool({record("t", "", "review", "cmd")}, kHome);
    EXPECT_EQ(tool.reason(row("t", std::nullopt, "review", "cmd")), std::nullopt);
    EXPECT_EQ(tool.reason(row("t", "/home/ann/t", "review", "cmd")), std::nullopt);

    const AsScanned plain({record("p", "/home/ann/p", "safe")}, kHome);
    EXPECT_EQ(plain.reason(row("p", "/home/ann/p", "safe", "cmd")), "not as scanned");
    EXPECT_EQ(plain.reason(row("p", std::nullopt)), "not as scanned");
    EXPECT_EQ(plain.reason(row("unknown", std::nullopt, "safe", "cmd")), "not as scanned");

    // One id listed as a tool item and as a plain folder: not a tool item.
    const AsScanned mixed({record("m", "", "review", "cmd"), record("m", "/home/ann/m", "review")},
                          kHome);
    EXPECT_EQ(mixed.reason(row("m", std::nullopt, "review", "cmd")), "not as scanned");
}
