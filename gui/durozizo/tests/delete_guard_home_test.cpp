// The guards around the home itself: folders that hold a protected place, and a
// home whose own path runs through a link.
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "DeleteGuard.hpp"

namespace fs = std::filesystem;
namespace dg = durozizo::DeleteGuard;
using std::nullopt;
using std::string;

namespace {

struct Place {
    string rel;     // below the home
    string reason;  // for the place itself and anything in it
};

// Every protected place under the home, with the folders on the way to one.
const std::vector<Place> kHomePlaces = {
    {"Library", "protected folder"},
    {"Downloads", "protected folder"},
    {"Applications", "protected folder"},
    {".local", "protected folder"},
    {".local/share", "protected folder"},
    {"Documents", "protected: ~/Documents"},
    {"Desktop", "protected: ~/Desktop"},
    {"Pictures", "protected: ~/Pictures"},
    {"Music", "protected: ~/Music"},
    {"Movies", "protected: ~/Movies"},
    {"Library/Mobile Documents", "protected: ~/Library/Mobile Documents"},
    {"Library/CloudStorage", "protected: ~/Library/CloudStorage"},
    {"Library/Keychains", "protected: ~/Library/Keychains"},
    {"Library/Mail", "protected: ~/Library/Mail"},
    {"Library/Messages", "protected: ~/Library/Messages"},
    {"Library/Photos", "protected: ~/Library/Photos"},
    {"Dropbox", "protected: ~/Dropbox"},
    {"Google Drive", "protected: ~/Google Drive"},
    {"iCloud Drive (Archive)", "protected: ~/iCloud Drive (Archive)"},
    {"Videos", "protected: ~/Videos"},
    {".ssh", "protected: ~/.ssh"},
    {".gnupg", "protected: ~/.gnupg"},
    {".local/share/keyrings", "protected: ~/.local/share/keyrings"},
    {"OneDrive - Work", "protected: sync folder"},
};

bool isTree(const Place& p) {
    return p.reason != "protected folder";
}

TEST(DeleteGuardHolders, FoldersOnTheWayToAProtectedPlaceAreProtected) {
    const string h = "/home/alice";
    for (const string path :
         {"~/.local", "~/.local/", "~/.local/share", "/home/alice/.local/share"})
        EXPECT_EQ(dg::protectedReason(path, h), "protected folder") << path;
    EXPECT_EQ(dg::protectedReason("~/.local/share/applications/x.desktop", h), nullopt);
    EXPECT_EQ(dg::protectedReason("~/.local/state", h), nullopt);
    EXPECT_EQ(dg::protectedReason("~/.localx", h), nullopt);
    // Removing a folder that holds the home removes the home.
    EXPECT_EQ(dg::protectedReason("/data/users", "/data/users/alice"), "protected folder");
    EXPECT_EQ(dg::protectedReason("/data", "/data/users/alice"), "protected folder");
    EXPECT_EQ(dg::protectedReason("/data/user", "/data/users/alice"), nullopt);
    // Another user's folder holds nothing of ours.
    EXPECT_EQ(dg::protectedReason("/Users/bob", "/Users/alice"), nullopt);
}

// HOME names a link to the real home folder, as with /home on another disk or an
// automounted home. Every place is reached three ways: through the real home,
// through a link to the home inside it, and (for trees) through a link to the place.
class DeleteGuardLinkedHome : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/guard-home-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = fs::canonical(tmpl).string();
        real = root + "/alice";
        link = root + "/me";
        fs::create_directories(real + "/work");
        fs::create_directories(real + "/.cache/app");
        fs::create_directory_symlink(real, link);
        fs::create_directory_symlink(real, real + "/work/up");
        const char* saved = std::getenv("HOME");
        savedHome = saved ? std::optional<string>(saved) : nullopt;
        ::setenv("HOME", link.c_str(), 1);
    }
    void TearDown() override {
        if (savedHome)
            ::setenv("HOME", savedHome->c_str(), 1);
        else
            ::unsetenv("HOME");
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::optional<string> check(const string& path) const {
        return dg::staticReason(path, "trash", "safe", {dg::normalized(path)}, link);
    }

    string root, real, link;
    std::optional<string> savedHome;
};

TEST_F(DeleteGuardLinkedHome, EveryProtectedPlaceHoldsThroughLinks) {
    EXPECT_EQ(check("~/.cache/app"), nullopt);
    EXPECT_EQ(check("~/work/up/.cache/app"), nullopt);
    int n = 0;
    for (const Place& p : kHomePlaces) {
        const string inside = isTree(p) ? "/x" : "";
        fs::create_directories(real + "/" + p.rel + inside);
        const string to = "/work/to" + std::to_string(n++);
        fs::create_directory_symlink(real + "/" + p.rel, real + to);
        EXPECT_EQ(check(real + "/" + p.rel + inside), p.reason) << p.rel;
        EXPECT_EQ(check("~/work/up/" + p.rel + inside), p.reason) << p.rel;
        EXPECT_EQ(check(link + "/work/up/" + p.rel), p.reason) << p.rel;
        if (isTree(p)) {
            fs::create_directories(real + "/" + p.rel + "/x/inner");
            EXPECT_EQ(check("~" + to + "/x/inner"), p.reason) << p.rel;
        }
    }
}

}  // namespace

namespace {

// A home under /home reached through a link of another name, as with a renamed
// account: the real location of an item is another name under /home, which is
// not "another user's folder" when it is the home itself.
TEST(DeleteGuardLinkedHomeUnderHome, ItemsOfTheRealHomeAreNotSomeoneElses) {
    const string tag = "vguard-" + std::to_string(::getpid());
    const string real = "/home/" + tag + "-alice";
    const string link = "/home/" + tag + "-al";
    std::error_code ec;
    if (!fs::create_directories(real + "/.cache/app", ec) || ec) {
        GTEST_SKIP() << "cannot make a folder in /home here (needs root)";
    }
    fs::create_directories(real + "/Documents/x");
    fs::create_directories("/home/" + tag + "-bob/.cache/app");
    fs::create_directory_symlink(real, link);
    auto check = [&](const string& path) {
        return dg::staticReason(path, "trash", "safe", {dg::normalized(path)}, link);
    };
    EXPECT_EQ(check(link + "/.cache/app"), nullopt);
    EXPECT_EQ(check(real + "/.cache/app"), nullopt);
    EXPECT_EQ(check(link + "/Documents/x"), "protected: ~/Documents");
    EXPECT_EQ(check(real + "/Documents/x"), "protected: ~/Documents");
    EXPECT_EQ(check("/home/" + tag + "-bob/.cache/app"), "outside your home");
    fs::remove(link, ec);
    fs::remove_all(real, ec);
    fs::remove_all("/home/" + tag + "-bob", ec);
}

}  // namespace
