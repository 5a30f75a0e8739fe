// Rows judged by the folder on disk they name, against real folders in a
// temporary home: a second name through a link or a bind mount is the same
// folder, and whatever lies inside a row's folder goes with it.
#include <fstream>

#include "AsScanned.hpp"
#include "MountPoints.hpp"
#include "OwnMounts.hpp"
#include "ScannedPlaces.hpp"
#include "client_fixture.hpp"

using namespace virirado;
using virirado::testing::TempHome;
namespace fs = std::filesystem;

namespace {

ItemRecord record(const std::string& id, const std::string& path, const std::string& safety,
                  const std::string& action = "trash") {
    ItemRecord r;
    r.id = id;
    r.label = id;
    r.path = path;
    r.safety = safety;
    r.action = action;
    return r;
}

PreviewRow row(const std::string& id, const std::string& path) {
    PreviewRow r;
    r.id = id;
    r.label = id;
    r.path = path;
    r.safety = "safe";
    r.action = "trash";
    return r;
}

using Judged = std::pair<std::string, std::string>;

// The row's safety as judged against `records` in the home `h`, by text alone
// and with the places on disk.
Judged judgedIn(const std::string& h, const std::vector<ItemRecord>& records, const PreviewRow& r) {
    const AsScanned scanned(records, h);
    ScannedPlaces places(scanned);
    return {AsScanned::tightened(r, scanned.judge(r)).safety,
            AsScanned::tightened(r, scanned.judge(r, places)).safety};
}

// The home with ~/proj/target in it, and what the scan listed there.
struct PlacesTest : ::testing::Test {
    TempHome home;
    std::string h = home.path.string();
    std::string target = h + "/proj/target";

    void SetUp() override { fs::create_directories(target); }

    Judged judged(const std::vector<ItemRecord>& records, const PreviewRow& r) const {
        return judgedIn(h, records, r);
    }
    std::optional<std::string> reason(const std::vector<ItemRecord>& records,
                                      const PreviewRow& r) const {
        const AsScanned scanned(records, h);
        ScannedPlaces places(scanned);
        return AsScanned::reason(r, scanned.judge(r, places));
    }
};

}  // namespace

TEST_F(PlacesTest, ASecondNameForTheFolderIsTheSameFolder) {
    const std::vector<ItemRecord> scan = {record("r1", target, "review")};
    // ~/work is a link to ~/proj; ~/me a link to the home itself.
    fs::create_directory_symlink(h + "/proj", h + "/work");
    fs::create_directory_symlink(h, h + "/me");
    EXPECT_EQ(judged(scan, row("x1", h + "/work/target")), Judged("safe", "review"));
    EXPECT_EQ(judged(scan, row("x1", h + "/me/proj/target")), Judged("safe", "review"));
    EXPECT_EQ(judged(scan, row("x1", "~/work/target")), Judged("safe", "review"));
    // The record named through the link, the row by the folder itself.
    EXPECT_EQ(judged({record("r1", h + "/work/target", "review")}, row("x1", target)),
              Judged("safe", "review"));
    // Spellings were already the same path as text.
    for (const std::string& spelled :
         std::vector<std::string>{h + "/proj//target", h + "/proj/./target", target + "/",
                                  h + "/proj/../proj/target", "~/proj/target"}) {
        EXPECT_EQ(judged(scan, row("x1", spelled)), Judged("review", "review")) << spelled;
    }
    // A sibling folder is another place.
    fs::create_directories(h + "/proj/other");
    EXPECT_EQ(judged(scan, row("x1", h + "/work/other")), Judged("safe", "safe"));
}

TEST_F(PlacesTest, WhatLiesInsideARowsFolderGoesWithIt) {
    fs::create_directories(target + "/out");
    fs::create_directory_symlink(h + "/proj", h + "/work");
    const std::vector<ItemRecord> scan = {record("x1", target, "safe"),
                                          record("r", target + "/out", "review")};
    EXPECT_EQ(judged(scan, row("x1", target)), Judged("review", "review"));
    EXPECT_EQ(judged(scan, row("x1", h + "/work/target")), Judged("safe", "review"));
    // The folder holding the row's folder holds the review item too; the item
    // inside is not the row's concern the other way round.
    EXPECT_EQ(judged({record("r", h + "/proj", "review")}, row("x1", target)),
              Judged("safe", "safe"));
    // "target2" only starts with the same letters.
    fs::create_directories(h + "/proj/target2");
    EXPECT_EQ(judged({record("r", h + "/proj/target2", "review")}, row("x1", target)),
              Judged("safe", "safe"));

    // One nobody may tick, at any depth inside, holds the row back.
    fs::create_directories(target + "/deep/keep");
    ItemRecord kept = record("k", h + "/work/target/deep/keep", "safe");
    kept.deletable = false;
    EXPECT_EQ(reason({record("x1", target, "safe"), kept}, row("x1", target)), "not as scanned");
    EXPECT_EQ(reason({record("x1", target, "safe"), record("i", target + "/deep", "info")},
                     row("x1", h + "/work/target")),
              "not as scanned");
    EXPECT_EQ(reason({record("x1", target, "safe")}, row("x1", h + "/work/target")), std::nullopt);
}

TEST_F(PlacesTest, ARecordGoneFromDiskIsJudgedByItsText) {
    // Nothing is there to stat: the text of its path still holds, at the same
    // folder and inside it.
    EXPECT_EQ(judged({record("r", h + "/gone/target", "review")}, row("x1", h + "/gone/target")),
              Judged("review", "review"));
    EXPECT_EQ(judged({record("r", target + "/gone", "review")}, row("x1", target)),
              Judged("review", "review"));
    // A link that leads nowhere is a record of its own, never what it named.
    fs::create_directory_symlink(h + "/nowhere", h + "/dangling");
    EXPECT_EQ(judged({record("r", h + "/dangling/target", "review")}, row("x1", target)),
              Judged("safe", "safe"));
}

TEST_F(PlacesTest, EachFolderIsLookedAtOnce) {
    // Two hundred records with a member each, in two folders: the folders are
    // resolved and looked at once each, not once per record.
    std::vector<ItemRecord> scan;
    for (int i = 0; i < 200; ++i) {
        const std::string folder = target + (i % 2 ? "/a/" : "/b/") + std::to_string(i);
        fs::create_directories(folder + "/m");
        ItemRecord r = record("i" + std::to_string(i), folder, "safe");
        r.members.push_back(record("m" + std::to_string(i), folder + "/m", "safe"));
        scan.push_back(r);
    }
    const AsScanned scanned(scan, h);
    ScannedPlaces places(scanned);
    const fs::path top(target);
    const auto depth = static_cast<std::size_t>(std::distance(top.begin(), top.end()));
    // The 400 items and the folders above them, each once; the 202 folders
    // holding an item resolved once each.
    EXPECT_LE(places.lookups(), 400 + 2 + depth + 202);
    EXPECT_TRUE(places.atOrInside(target).any);
}

// In a mount table of the test's own: ~/mnt2 is a bind mount of ~/proj, and
// "~/.cache/alphacache/b m" one of ~/proj/target (a space, which the mount
// table writes as an escape).
TEST(ScannedPlacesMounted, AFolderMountedElsewhereIsJudgedAsItsSource) {
    const auto mounted = virirado::testing::ownMounts();
    if (!mounted) {
        TempHome home;
        const fs::path h = home.path;
        fs::create_directories(h / "proj/target/out");
        fs::create_directories(h / "mnt2");
        fs::create_directories(h / ".cache/alphacache/b m");
        return virirado::testing::runWithOwnMounts(
            h, {virirado::testing::bindMount(h / "proj", h / "mnt2"),
                virirado::testing::bindMount(h / "proj/target", h / ".cache/alphacache/b m")});
    }
    const std::string h = mounted->string();
    const std::string target = h + "/proj/target";
    // Through the mount no link is there to resolve, but the folder's device
    // and inode are the same.
    EXPECT_EQ(judgedIn(h, {record("r1", target, "review")}, row("x1", h + "/mnt2/target")),
              Judged("safe", "review"));
    EXPECT_EQ(judgedIn(h, {record("r", target + "/out", "review")}, row("x1", h + "/mnt2/target")),
              Judged("safe", "review"));
    EXPECT_EQ(judgedIn(h, {record("r", target + "/out", "review")}, row("x1", h + "/mnt2")),
              Judged("safe", "review"));

    // A row whose folder holds the mount point holds what was mounted there: a
    // record at the mount's source, or inside it.
    const std::string cache = h + "/.cache/alphacache";
    const std::vector<std::string> points = mountpoints::read();
    EXPECT_EQ(mountpoints::inside(points, cache), std::vector<std::string>{cache + "/b m"});
    for (const std::string& at : {target, target + "/out"}) {
        EXPECT_EQ(
            judgedIn(h, {record("x1", cache, "safe"), record("r", at, "review")}, row("x1", cache)),
            Judged("safe", "review"))
            << at;
    }
    EXPECT_EQ(judgedIn(h, {record("r", target, "review")}, row("x1", h + "/.cache")),
              Judged("safe", "review"));
    ItemRecord kept = record("k", target + "/out", "safe");
    kept.deletable = false;
    const AsScanned scanned({record("x1", cache, "safe"), kept}, h);
    ScannedPlaces places(scanned);
    EXPECT_EQ(AsScanned::reason(row("x1", cache), scanned.judge(row("x1", cache), places)),
              "not as scanned");
    // The mount's own folder beside it, or a record elsewhere, asks nothing.
    fs::create_directories(h + "/proj/other");
    EXPECT_EQ(judgedIn(h, {record("r", h + "/proj/other", "review")}, row("x1", cache)),
              Judged("safe", "safe"));
    EXPECT_EQ(judgedIn(h, {record("r", h + "/proj", "review")}, row("x1", cache)),
              Judged("safe", "safe"));
}

// The mount table is the system's text, read as untrusted: escapes decoded,
// and a line that is not well formed names no mount point.
TEST(ScannedPlacesMounted, TheMountTableIsReadAsUntrustedText) {
    const std::string table =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 8:1 /home/u/proj /home/u/a\\040b\\011c\\134d rw - ext4 /dev/sda1 rw\n"
        "31 22 8:1 / /home/u/bad\\04 rw - ext4 /dev/sda1 rw\n"
        "32 22 8:1 / /home/u/nul\\000x rw - ext4 /dev/sda1 rw\n"
        "33 22 8:1 / relative rw - ext4 /dev/sda1 rw\n"
        "34 22 8:1 /\n"
        "\n"
        "35 22 0:40 / /home/u/.cache/x\\0401 rw - tmpfs tmpfs rw";
    EXPECT_EQ(mountpoints::parse(table),
              (std::vector<std::string>{"/", "/home/u/a b\tc\\d", "/home/u/.cache/x 1"}));
    const std::vector<std::string> sorted = {"/",         "/home/u",     "/home/u/.cache/x 1",
                                             "/home/u/a", "/home/u/a/b", "/home/u2"};
    EXPECT_EQ(mountpoints::inside(sorted, "/home/u"),
              (std::vector<std::string>{"/home/u/.cache/x 1", "/home/u/a", "/home/u/a/b"}));
    EXPECT_EQ(mountpoints::inside(sorted, "/"),
              (std::vector<std::string>{"/home/u", "/home/u/.cache/x 1", "/home/u/a", "/home/u/a/b",
                                        "/home/u2"}));
}
