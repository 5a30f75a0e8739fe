#include "DeleteGuard.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;
namespace dg = durozizo::DeleteGuard;
using std::nullopt;
using std::optional;
using std::string;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(DeleteGuardTypedCode, StrictLimitsAndExactTotals) {
    EXPECT_FALSE(dg::needsTypedCode({}, false));
    EXPECT_TRUE(dg::needsTypedCode({}, true));
    EXPECT_FALSE(dg::needsTypedCode({2'000'000'000, 2'000'000'000, 1'000'000'000}, false));
    EXPECT_TRUE(dg::needsTypedCode({2'000'000'000, 2'000'000'000, 1'000'000'001}, false));
    EXPECT_TRUE(dg::needsTypedCode({2'000'000'001}, false));
    EXPECT_FALSE(dg::needsTypedCode({-1, 2'000'000'000, 2'000'000'000, 1'000'000'001}, false));
    EXPECT_TRUE(dg::needsTypedCode({kMax, 1}, false));
    // A wrapping sum would land at 6e9 here; the true total is far below zero.
    EXPECT_FALSE(
        dg::needsTypedCode({kMin, kMin, 2'000'000'000, 2'000'000'000, 2'000'000'000}, false));
}

TEST(DeleteGuardSize, BoundsAreStrictAndNeverWrap) {
    EXPECT_EQ(dg::sizeReason(50'000'000, 0), nullopt);
    EXPECT_EQ(dg::sizeReason(50'000'001, 25'000'000), nullopt);
    EXPECT_EQ(dg::sizeReason(50'000'001, 24'999'999), "smaller than scanned");
    EXPECT_EQ(dg::sizeReason(0, 1'000'000'000), nullopt);
    EXPECT_EQ(dg::sizeReason(0, 1'000'000'001), "bigger than scanned");
    EXPECT_EQ(dg::sizeReason(kMax, 0), "smaller than scanned");
    EXPECT_EQ(dg::sizeReason(kMax, kMax), nullopt);
    EXPECT_EQ(dg::sizeReason(kMin, kMin), "bigger than scanned");
}

// Pure path rules: no file along these paths exists, so nothing is resolved.
TEST(DeleteGuardProtected, FoldersTreesAndComponents) {
    const string h = "/Users/alice";
    EXPECT_EQ(dg::protectedReason("/System", h), "protected folder");
    EXPECT_EQ(dg::protectedReason("/System/Library", h), "protected: /System");
    EXPECT_EQ(dg::protectedReason("~/Documents/x", h), "protected: ~/Documents");
    EXPECT_EQ(dg::protectedReason(h, h), "protected folder");
    EXPECT_EQ(dg::protectedReason("~/./Downloads//", h), "protected folder");
    EXPECT_EQ(dg::protectedReason("~/x/../Documents/a", h), "protected: ~/Documents");
    EXPECT_EQ(dg::protectedReason("/Library/Caches/x", h), nullopt);
    EXPECT_EQ(dg::protectedReason(h + "/Pictures/P.photoslibrary/x", h), "protected: ~/Pictures");
    EXPECT_EQ(dg::protectedReason("/Volumes/Disk/Photos.photoslibrary/x", h),
              "protected: Photos library");
    EXPECT_EQ(dg::protectedReason("/tmp/a.keychain-db", h), "protected: keychain");
}

TEST(DeleteGuardProtected, OtherUsersAndSyncFolders) {
    const string h = "/Users/alice";
    EXPECT_EQ(dg::protectedReason("/Users/bob/Library/Caches", h), "outside your home");
    EXPECT_EQ(dg::protectedReason("/Users/Shared/x", h), "outside your home");
    EXPECT_EQ(dg::protectedReason("/Users/bob", h), nullopt);
    EXPECT_EQ(dg::protectedReason("/Users/alice2/x", h), "outside your home");
    EXPECT_EQ(dg::protectedReason(h + "/OneDrive - Work/a", h), "protected: sync folder");
    EXPECT_EQ(dg::protectedReason(h + "/Boxes/a", h), "protected: sync folder");
    EXPECT_EQ(dg::protectedReason(h + "/Projects/OneDrive/a", h), nullopt);
}

TEST(DeleteGuardProtected, LinuxPlaces) {
    const string h = "/home/alice";
    EXPECT_EQ(dg::protectedReason("/home", h), "protected folder");
    EXPECT_EQ(dg::protectedReason("/opt", h), "protected folder");
    EXPECT_EQ(dg::protectedReason("/opt/tool/cache", h), nullopt);
    EXPECT_EQ(dg::protectedReason("/etc/ssh/x", h), "protected: /etc");
    EXPECT_EQ(dg::protectedReason("/home/bob/.cache", h), "outside your home");
    EXPECT_EQ(dg::protectedReason("~/.ssh/id_ed25519", h), "protected: ~/.ssh");
    EXPECT_EQ(dg::protectedReason("~/.local/share/keyrings/k", h),
              "protected: ~/.local/share/keyrings");
    EXPECT_EQ(dg::protectedReason("~/.cache/thumbnails", h), nullopt);
    EXPECT_EQ(dg::protectedReason("/snap", h), "protected folder");
    EXPECT_EQ(dg::protectedReason("/snap/core/x", h), nullopt);
}

// A relative path names whatever lies below the reader's working folder, which
// may well be the home: it must never pass for an unprotected place.
TEST(DeleteGuardProtected, RelativePathsAreNeverPlacedInsideTheHome) {
    const string h = "/home/alice";
    for (const string path : {"Documents/x", "x", ".", "a/../Documents", "~nosuchuser-zz/x"}) {
        EXPECT_EQ(dg::protectedReason(path, h), "outside your home") << path;
        EXPECT_EQ(dg::staticReason(path, "rm", "safe", {path}, h), "outside your home") << path;
    }
}

TEST(DeleteGuardProtected, UnusableHomeRefusesEverything) {
    for (const string home : {"", "/", "//", "relative/home", "/x/.."}) {
        EXPECT_EQ(dg::protectedReason("~/x", home), "outside your home") << home;
        EXPECT_EQ(dg::protectedReason("/tmp/x", home), "outside your home") << home;
    }
    // The home's text inside an absolute tree's name is part of that name.
    EXPECT_EQ(dg::protectedReason("/usr/lib/x", "/u"), "protected: /usr");
}

TEST(DeleteGuardStatic, TierAndActionRulesComeFirst) {
    const std::unordered_set<string> none;
    const string h = "/home/alice";
    EXPECT_EQ(dg::staticReason("/x", "zap", "info", none, h), "Look only");
    EXPECT_EQ(dg::staticReason(nullopt, "rm", "blocked", none, h), "Blocked");
    EXPECT_EQ(dg::staticReason(nullopt, "rm", "review", none, h),
              "permanent delete only for Safe items");
    EXPECT_EQ(dg::staticReason(nullopt, "cmd", "review", none, h), nullopt);
    EXPECT_EQ(dg::staticReason("/x", "trash", "weird", none, h), "tier not deletable");
    EXPECT_EQ(dg::staticReason("/x", "zap", "safe", none, h), "unknown action zap");
    EXPECT_EQ(dg::staticReason(nullopt, "trash", "review", none, h), "no path");
    EXPECT_EQ(dg::staticReason(string(), "cmd", "safe", none, h), "no path");
    // Decided before the disk is read: the path does not exist.
    EXPECT_EQ(dg::staticReason(h + "/.cache/x", "rm", "safe", none, h), "not in this scan");
}

// A real home in a temporary folder, with the links and folders the guards must see
// through. The folder is resolved first so no link sits above it.
class GuardHome : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/guard-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = fs::canonical(tmpl).string();
        home = root + "/alice";
        fs::create_directories(home + "/Documents/sub");
        fs::create_directories(home + "/.cache/app");
        fs::create_directories(home + "/x");
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    static void write(const string& path, size_t bytes) {
        std::ofstream(path, std::ios::binary) << string(bytes, 'x');
    }
    optional<string> check(const string& path) const {
        return dg::staticReason(path, "trash", "safe", {path}, home);
    }
    static int64_t allocated(const string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? int64_t{st.st_blocks} * 512 : -1;
    }

    string root;
    string home;
};

TEST_F(GuardHome, DiskChecksOfOneItem) {
    const string cache = home + "/.cache/app";
    write(cache + "/file", 10);
    write(cache + "/other", 10);
    fs::create_symlink(cache + "/other", cache + "/link");
    fs::create_symlink(cache + "/loop", cache + "/loop");
    fs::create_symlink(home + "/missing", cache + "/dangling");
    fs::create_directory_symlink(home + "/Documents", cache + "/docs");

    EXPECT_EQ(check(cache + "/file"), nullopt);
    EXPECT_EQ(check(cache + "/gone"), "gone since the scan");
    EXPECT_EQ(check(cache + "/link"), "symlink points outside");
    EXPECT_EQ(check(cache + "/loop"), "symlink points outside");
    EXPECT_EQ(check(cache + "/dangling"), "symlink points outside");
    EXPECT_EQ(check(cache + "/docs/sub"), "protected: ~/Documents");
    EXPECT_EQ(check(home + "/Documents/sub"), "protected: ~/Documents");
}

// The system calls would read only the text before a NUL byte, an item other
// than the one named: such a path is judged gone and measures nothing.
TEST_F(GuardHome, PathWithANulByteIsNeverTheFileBeforeIt) {
    const string cache = home + "/.cache/app";
    write(cache + "/file", 5000);
    const string named = cache + string("/file\0/more", 11);
    EXPECT_EQ(check(cache + "/file"), nullopt);
    EXPECT_EQ(check(named), "gone since the scan");
    EXPECT_GT(dg::measure(cache + "/file"), 0);
    EXPECT_EQ(dg::measure(named), 0);
    EXPECT_EQ(dg::measure(cache + string("\0", 1)), 0);
}

TEST_F(GuardHome, DotDotAfterALinkIsResolvedOnDisk) {
    fs::create_directory_symlink(home + "/Documents/sub", home + "/x/link");
    const string sneaky = home + "/x/link/../y";
    EXPECT_EQ(dg::protectedReason(sneaky, home), "protected: ~/Documents");
    // The lexical form is not what is checked, so a scan that listed it does not match.
    EXPECT_EQ(dg::staticReason(sneaky, "rm", "safe", {home + "/x/y"}, home), "not in this scan");
    // Without links ".." stays lexical.
    EXPECT_EQ(dg::protectedReason(home + "/x/../.cache/a", home), nullopt);
}

TEST_F(GuardHome, RealLocationResolvesTheParentAndKeepsTheItem) {
    fs::create_directory_symlink(home + "/.cache", home + "/x/c");
    fs::create_directory_symlink(home + "/Documents/sub", home + "/x/link");
    // A linked parent is followed, the item itself never is: a link stays a link.
    EXPECT_EQ(dg::realLocation(home + "/x/c/app"), home + "/.cache/app");
    EXPECT_EQ(dg::realLocation(home + "/x/link"), home + "/x/link");
    EXPECT_EQ(dg::realLocation(home + "/x/link/../y"), home + "/Documents/y");
    EXPECT_EQ(dg::realLocation(home + "/x/c/app/gone"), home + "/.cache/app/gone");
    // Shared resolved folders give the same answers.
    dg::ResolvedFolders resolved;
    EXPECT_EQ(dg::realLocation(home + "/x/c/app", &resolved), home + "/.cache/app");
    EXPECT_EQ(dg::realLocation(home + "/x/c/other", &resolved), home + "/.cache/other");
    EXPECT_EQ(resolved.size(), 1u);
    // Nothing to resolve, or nothing it may be.
    EXPECT_EQ(dg::realLocation(home + "/nowhere/item"), nullopt);
    EXPECT_EQ(dg::realLocation("relative/item"), nullopt);
    EXPECT_EQ(dg::realLocation(home + string("/x\0/y", 5)), nullopt);
}

TEST_F(GuardHome, HomeBehindALinkKeepsItsProtections) {
    fs::create_directory_symlink(root, root + "/via");
    const string linkedHome = root + "/via/alice";
    EXPECT_EQ(dg::protectedReason(linkedHome + "/x/../Documents/a", linkedHome),
              "protected: ~/Documents");
}

TEST_F(GuardHome, NormalizedExpandsTheProcessHome) {
    const char* saved = std::getenv("HOME");
    const string old = saved ? saved : "";
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(dg::homeFolder(), home);
    EXPECT_EQ(dg::normalized("~/a//b/./c/"), home + "/a/b/c");
    EXPECT_EQ(dg::normalized("/"), "/");
    EXPECT_EQ(dg::normalized("/../.."), "/");
    EXPECT_EQ(dg::normalized(""), "");
    // A relative HOME is no home: the password database answers instead.
    ::setenv("HOME", "relative", 1);
    EXPECT_NE(dg::homeFolder(), "relative");
    if (saved)
        ::setenv("HOME", old.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST_F(GuardHome, MeasureCountsAllocatedBytesWithoutFollowingLinks) {
    const string dir = home + "/.cache/app";
    fs::create_directories(dir + "/deep/er");
    write(dir + "/a", 70'000);
    write(dir + "/.hidden", 5'000);
    write(dir + "/deep/er/b", 300'000);
    write(home + "/big", 2'000'000);
    fs::create_symlink(home + "/big", dir + "/to-big");
    fs::create_directory_symlink(home, dir + "/to-home");
    const int64_t expected =
        allocated(dir + "/a") + allocated(dir + "/.hidden") + allocated(dir + "/deep/er/b");
    EXPECT_GT(expected, 370'000);
    EXPECT_EQ(dg::measure(dir), expected);
    EXPECT_EQ(dg::measure(dir + "/deep/er/b"), allocated(dir + "/deep/er/b"));
    EXPECT_EQ(dg::measure(home + "/nothing-here"), 0);

    fs::create_directories(home + "/only-link");
    fs::create_symlink(home + "/big", home + "/only-link/l");
    EXPECT_EQ(dg::measure(home + "/only-link"), 0);
}

TEST_F(GuardHome, MeasureOfASparseFileIsItsAllocation) {
    const string path = home + "/sparse";
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "x", 1, 0), 1);
    ASSERT_EQ(::ftruncate(fd, 1'000'000'000), 0);
    ::close(fd);
    EXPECT_EQ(dg::measure(path), allocated(path));
    EXPECT_LT(dg::measure(path), 1'000'000);
}

// Runs `measure` as an unprivileged user when we are root (root reads every folder).
int64_t measureUnprivileged(const string& path) {
    if (::geteuid() != 0) return dg::measure(path);
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        int64_t n = dg::measure(path);
        bool ok = ::write(fds[1], &n, sizeof n) == sizeof n;
        ::_exit(ok ? 0 : 3);
    }
    ::close(fds[1]);
    int64_t n = -1;
    if (::read(fds[0], &n, sizeof n) != sizeof n) n = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? n : -1;
}

TEST_F(GuardHome, MeasureCountsAnUnreadableFolderAsZero) {
    const string dir = home + "/.cache/app";
    fs::create_directories(dir + "/locked");
    write(dir + "/open", 40'000);
    write(dir + "/locked/inside", 400'000);
    for (const string& d : {root, home, home + "/.cache", dir})
        fs::permissions(d, fs::perms(0755));
    fs::permissions(dir + "/open", fs::perms(0644));
    fs::permissions(dir + "/locked", fs::perms::none);
    EXPECT_EQ(measureUnprivileged(dir), allocated(dir + "/open"));
    EXPECT_EQ(measureUnprivileged(dir + "/locked"), 0);
    fs::permissions(dir + "/locked", fs::perms::owner_all);
}

}  // namespace
