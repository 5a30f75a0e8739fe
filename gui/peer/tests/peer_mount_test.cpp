// Removal and mount points: a bind mount from the same disk inside an item, or
// the item itself, must stop the removal there. These tests bind-mount folders
// of a throwaway home, so they need root; they run in a mount namespace of their
// own, so nothing they mount is seen outside this process and its children.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>

#include "clean.hpp"
#include "items.hpp"
#include "peer_harness.hpp"

namespace peer_test {
namespace {

const char* kMountItem = "is a mount point; not deleted";
const char* kMountBelow = "partly removed: a mount point below it was left alone";

class PeerMounts : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "bind mounts need root";
        // A private copy of the mount table: our mounts stay in this process tree.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "no mount namespace of our own: " << std::strerror(errno);
        home = std::make_unique<TempHome>();
    }
    void TearDown() override {
        // Unmounted first, so removing the home never walks into a mount.
        for (auto it = mounted.rbegin(); it != mounted.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        home.reset();
    }
    // Binds `from` onto `onto` (made when missing); skips the test when refused.
    void bind(const fs::path& from, const fs::path& onto, bool file = false) {
        if (file) {
            write_file(onto, 1);
        } else {
            fs::create_directories(onto);
        }
        if (::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "mount --bind refused: " << std::strerror(errno);
        mounted.push_back(onto.string());
    }
    json clean_one(Peer& p, const std::string& id) {
        p.send({{"cmd", "preview"}, {"ids", {id}}});
        json pv = p.wait_for("preview");
        EXPECT_EQ(pv["items"].size(), 1u) << pv.dump();
        p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", false}});
        return p.wait_for("clean")["results"][0];
    }

    std::unique_ptr<TempHome> home;
    std::vector<std::string> mounted;
};

TEST_F(PeerMounts, ACacheItemHoldingABindMountStopsThere) {
    const TempHome& h = *home;
    write_file(h.home / "Documents/precious.txt", 100);
    write_file(h.cache() / "big/data", 2'000'000);
    bind(h.home / "Documents", h.cache() / "big/sub/docs");
    Peer p(h);
    p.scan();
    json r = clean_one(p, "cache:" + (h.cache() / "big").string());
    EXPECT_EQ(r["deleted"], false);
    EXPECT_EQ(r["ok"], false);
    EXPECT_EQ(r["msg"], kMountBelow);
    EXPECT_TRUE(fs::exists(h.home / "Documents/precious.txt"));
    EXPECT_FALSE(fs::exists(h.cache() / "big/data"));
}

TEST_F(PeerMounts, WhatLiesBelowABindMountIsNotCounted) {
    const TempHome& h = *home;
    write_file(h.home / "Documents/thesis.pdf", 5'000'000);
    write_file(h.cache() / "big/data", 2'000'000);
    bind(h.home / "Documents", h.cache() / "big/sub/docs");
    Peer p(h);
    json it = item_in(p.scan(), "cache:" + (h.cache() / "big").string());
    // The clean never removes it, so it is not what the clean frees.
    EXPECT_EQ(it["realistic_size"], allocated(h.cache() / "big/data"));
    EXPECT_EQ(it["file_count"], 1);
}

TEST_F(PeerMounts, ACacheItemThatIsABindMountIsNotTouched) {
    const TempHome& h = *home;
    write_file(h.home / "Pictures/holiday.jpg", 2'000'000);
    bind(h.home / "Pictures", h.cache() / "pictures");
    Peer p(h);
    // Cleaning it would free nothing, so it is not offered at all...
    EXPECT_TRUE(item_in(p.scan(), "cache:" + (h.cache() / "pictures").string()).is_null());
    // ...and the removal refuses it all the same.
    auto o = peer::clean::remove(item_at(h.cache() / "pictures"));
    EXPECT_EQ(o.deleted, false);
    EXPECT_EQ(o.msg, kMountItem);
    EXPECT_TRUE(fs::exists(h.home / "Pictures/holiday.jpg"));
}

TEST_F(PeerMounts, EmptyingTheTrashLeavesMountsInItAlone) {
    const TempHome& h = *home;
    write_file(h.home / "Music/song.flac", 100);
    write_file(h.trash() / "files/old.txt", 100);
    write_file(h.trash() / "info/old.txt.trashinfo", 50);
    bind(h.home / "Music", h.trash() / "files/dir/music");
    Peer p(h);
    p.scan();
    json r = clean_one(p, "trash:" + h.trash().string());
    EXPECT_EQ(r["deleted"], false);
    EXPECT_EQ(r["msg"], kMountBelow);
    EXPECT_TRUE(fs::exists(h.home / "Music/song.flac"));
    EXPECT_FALSE(fs::exists(h.trash() / "files/old.txt"));
}

TEST_F(PeerMounts, ATrashFolderThatIsAMountStopsTheWholeClean) {
    const TempHome& h = *home;
    write_file(h.home / "Videos/film.mkv", 100);
    write_file(h.trash() / "info/old.txt.trashinfo", 50);
    bind(h.home / "Videos", h.trash() / "files");
    Peer p(h);
    p.scan();
    json r = clean_one(p, "trash:" + h.trash().string());
    EXPECT_EQ(r["deleted"], false);
    EXPECT_EQ(r["msg"], "Trash/files is a mount point; nothing was removed");
    EXPECT_TRUE(fs::exists(h.home / "Videos/film.mkv"));
    EXPECT_TRUE(fs::exists(h.trash() / "info/old.txt.trashinfo"));
}

// Each way of telling a mount point must do on its own; with neither, nothing
// is entered at all.
TEST_F(PeerMounts, EachTestAloneFindsTheMountAndNeitherRefusesAll) {
    const TempHome& h = *home;
    write_file(h.home / "Documents/precious.txt", 100);
    using peer::clean::MountTests;
    for (MountTests how : {MountTests{true, false}, MountTests{false, true}}) {
        write_file(h.cache() / "big/data", 100);
        bind(h.home / "Documents", h.cache() / "big/docs");
        auto out = peer::clean::remove(item_at(h.cache() / "big"), how);
        EXPECT_EQ(out.msg, kMountBelow) << how.statx;
        EXPECT_TRUE(fs::exists(h.home / "Documents/precious.txt"));
        EXPECT_FALSE(fs::exists(h.cache() / "big/data"));
    }
    write_file(h.cache() / "big/data", 100);
    auto out = peer::clean::remove(item_at(h.cache() / "big"), MountTests{false, false});
    EXPECT_EQ(out.msg, "cannot tell mount points apart on this system; not deleted");
    EXPECT_TRUE(fs::exists(h.cache() / "big/data"));
    EXPECT_TRUE(fs::exists(h.home / "Documents/precious.txt"));
}

TEST_F(PeerMounts, AFileThatIsAMountPointStays) {
    const TempHome& h = *home;
    write_file(h.home / "Documents/notes.txt", 100);
    bind(h.home / "Documents/notes.txt", h.cache() / "notes", true);
    auto out = peer::clean::remove(item_at(h.cache() / "notes"));
    EXPECT_FALSE(out.deleted);
    EXPECT_EQ(out.msg, kMountItem);
    EXPECT_TRUE(fs::exists(h.home / "Documents/notes.txt"));
}

}  // namespace
}  // namespace peer_test
