// Rows judged by the folder on disk they name, against real folders in a
// temporary home: a second name through a link or a bind mount is the same
// folder, and whatever lies inside a row's folder goes with it.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "AsScanned.hpp"
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

// The home with ~/proj/target in it, and what the scan listed there.
struct PlacesTest : ::testing::Test {
    TempHome home;
    std::string h = home.path.string();
    std::string target = h + "/proj/target";

    void SetUp() override { fs::create_directories(target); }

    // The row's safety as judged, by text alone and with the places on disk.
    std::pair<std::string, std::string> judged(const std::vector<ItemRecord>& records,
                                               const PreviewRow& r) const {
        const AsScanned scanned(records, h);
        ScannedPlaces places(scanned);
        return {AsScanned::tightened(r, scanned.judge(r)).safety,
                AsScanned::tightened(r, scanned.judge(r, places)).safety};
    }
    std::optional<std::string> reason(const std::vector<ItemRecord>& records,
                                      const PreviewRow& r) const {
        const AsScanned scanned(records, h);
        ScannedPlaces places(scanned);
        return AsScanned::reason(r, scanned.judge(r, places));
    }
};

using Judged = std::pair<std::string, std::string>;

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

namespace {

// Runs `judge` in a child with a mount namespace of its own, where ~/mnt2 is a
// bind mount of ~/proj: the mount dies with the child and never reaches this
// machine's own mounts. 77: the machine allows no such namespace.
int inBindMount(const std::string& h, const std::function<bool()>& judge) {
    fs::create_directories(h + "/mnt2");
    const pid_t child = ::fork();
    if (child == 0) {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        const int flags = uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS;
        if (::unshare(flags) != 0) ::_exit(77);
        if (uid != 0) {
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
        if (::mount((h + "/proj").c_str(), (h + "/mnt2").c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        ::_exit(judge() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST_F(PlacesTest, ABindMountShowsTheSameFolder) {
    fs::create_directories(target + "/out");
    const int status = inBindMount(h, [&] {
        // Through the mount no link is there to resolve, but the folder's
        // device and inode are the same.
        const bool same = judged({record("r1", target, "review")}, row("x1", h + "/mnt2/target")) ==
                          Judged("safe", "review");
        const bool inside = judged({record("r", target + "/out", "review")},
                                   row("x1", h + "/mnt2/target")) == Judged("safe", "review");
        const bool other = judged({record("r", target + "/out", "review")},
                                  row("x1", h + "/mnt2")) == Judged("safe", "review");
        return same && inside && other;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace may be made here";
    EXPECT_EQ(status, 0);
}
