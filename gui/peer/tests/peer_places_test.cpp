// Which folders the stand-in takes for its cache folder and which places it
// refuses, when settings and links point somewhere they should not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "DeleteGuard.hpp"
#include "paths.hpp"
#include "peer_harness.hpp"
#include "protocol.hpp"

namespace peer_test {
namespace {

using peer::paths::protected_anywhere;
using peer::paths::usable_cache;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(PeerPlaces, FoldersOnTheWayToAProtectedPlaceAreProtected) {
    const std::string h = "/home/u";
    EXPECT_EQ(protected_anywhere("/home/u/.local", h), "protected folder");
    EXPECT_EQ(protected_anywhere("/home/u/.local/share", h), "protected folder");
    EXPECT_FALSE(protected_anywhere("/home/u/.local/share/applications", h));
    EXPECT_FALSE(protected_anywhere("/home/u/.local/state", h));
    EXPECT_EQ(protected_anywhere("/data/users", "/data/users/u"), "protected folder");
    EXPECT_EQ(protected_anywhere("/snap", h), "protected folder");
}

// The stand-in refuses what the app's delete guard refuses, also for paths not
// in their plain form, which it once judged as written: "~/.cache/../Documents"
// was not inside ~/Documents, and a relative path was inside nothing.
TEST(PeerPlaces, TheStandInRefusesWhatTheAppRefuses) {
    const std::string h = "/nonexistent-home/u";
    const std::string suffixes[] = {"",
                                    "/Downloads",
                                    "/.local",
                                    "/.cache/x",
                                    "/.cache/../Documents/x",
                                    "/./Documents",
                                    "//Documents/x",
                                    "/.cache/./.ssh/..",
                                    "/a.keychain/b.photoslibrary",
                                    "/Dropbox x/y",
                                    "/Library/Keychains/k"};
    const std::string others[] = {
        "/",   "//usr/lib",       "/x/../etc/passwd", "relative/x",
        "~/x", "/home/other/x/y", "/tmp/x",           "/nonexistent-home"};
    auto check = [&](const std::string& p) {
        EXPECT_EQ(protected_anywhere(p, h), durozizo::DeleteGuard::protectedReason(p, h)) << p;
    };
    for (const auto& s : suffixes)
        check(h + s);
    for (const auto& p : others)
        check(p);
    EXPECT_EQ(protected_anywhere(h + "/.cache/../Documents/x", h), "protected: ~/Documents");
    EXPECT_EQ(protected_anywhere("relative/x", h), "outside your home");
}

TEST(PeerPlaces, OnlyACacheSettingStrictlyInsideTheHomeIsUsed) {
    TempHome t;
    const std::string h = fs::canonical(t.home).string();
    fs::create_directories(h + "/.local/share/keyrings");
    fs::create_directories(h + "/Documents/cache");
    fs::create_directories(h + "/Projects");
    fs::create_directories(t.root / "elsewhere");
    fs::create_directories(h + "/my-cache");
    fs::create_directory_symlink(h, h + "/loop-cache");
    fs::create_directory_symlink(t.root / "elsewhere", h + "/away-cache");
    fs::create_directory_symlink(h + "/Documents", h + "/docs");
    const std::string bad[] = {"",
                               "relative/cache",
                               "/",
                               h,
                               h + "/",
                               fs::canonical(t.root).string(),
                               h + "/.local",
                               h + "/.local/share",
                               h + "/Documents/cache",
                               h + "/Dropbox/cache",
                               h + "/Projects/../Documents",
                               h + "/./Projects",
                               h + "/loop-cache",
                               h + "/away-cache",
                               h + "/docs/cache",
                               (t.root / "elsewhere").string()};
    for (const auto& c : bad) {
        EXPECT_FALSE(usable_cache(c, h)) << c;
        ScopedEnv env("XDG_CACHE_HOME", c);
        ScopedEnv home("HOME", h);
        EXPECT_EQ(peer::paths::cache_dir(), h + "/.cache") << c;
    }
    EXPECT_TRUE(usable_cache(h + "/my-cache", h));
    EXPECT_TRUE(usable_cache(h + "/my-cache/", h));
    EXPECT_TRUE(usable_cache(h + "/not-made-yet", h));
    ScopedEnv env("XDG_CACHE_HOME", h + "/my-cache");
    ScopedEnv home("HOME", h);
    EXPECT_EQ(peer::paths::cache_dir(), h + "/my-cache");
}

// HOME is a link to the real home: every protected place must hold however the
// path reaches it, as in the app's guard.
TEST(PeerPlaces, ALinkedHomeHidesNoProtectedPlace) {
    TempHome t;
    const std::string real = fs::canonical(t.home).string();
    const std::string link = fs::canonical(t.root).string() + "/me";
    fs::create_directory_symlink(real, link);
    fs::create_directories(real + "/work");
    fs::create_directory_symlink(real, real + "/work/up");
    const std::pair<std::string, std::string> places[] = {
        {"Downloads", "protected folder"},
        {".local", "protected folder"},
        {".local/share", "protected folder"},
        {"Documents/x", "protected: ~/Documents"},
        {"Library/Mail/x", "protected: ~/Library/Mail"},
        {"Videos/x", "protected: ~/Videos"},
        {".ssh/x", "protected: ~/.ssh"},
        {".gnupg/x", "protected: ~/.gnupg"},
        {".local/share/keyrings/x", "protected: ~/.local/share/keyrings"},
        {"Dropbox (Work)/x", "protected: sync folder"}};
    for (const auto& [rel, reason] : places) {
        fs::create_directories(real + "/" + rel);
        EXPECT_EQ(protected_anywhere(real + "/" + rel, link), reason) << rel;
        EXPECT_EQ(protected_anywhere(link + "/work/up/" + rel, link), reason) << rel;
    }
    fs::create_directory_symlink(real + "/Documents", real + "/work/docs");
    EXPECT_EQ(protected_anywhere(link + "/work/docs/x", link), "protected: ~/Documents");
    fs::create_directories(real + "/.cache/app");
    EXPECT_FALSE(protected_anywhere(link + "/work/up/.cache/app", link));
}

// A home under /home reached through a link of another name: items really in
// the home are the user's own, not another user's, and keep every protection.
TEST(PeerPlaces, AHomeLinkedUnderHomeKeepsItsOwnItems) {
    namespace fs = std::filesystem;
    const std::string tag = "vpeer-" + std::to_string(::getpid());
    const std::string real = "/home/" + tag + "-alice";
    const std::string link = "/home/" + tag + "-al";
    std::error_code ec;
    if (!fs::create_directories(real + "/.cache/app", ec) || ec) {
        GTEST_SKIP() << "cannot make a folder in /home here (needs root)";
    }
    fs::create_directories(real + "/Documents/x");
    fs::create_directory_symlink(real, link);
    EXPECT_EQ(protected_anywhere(real + "/.cache/app", link), std::nullopt);
    EXPECT_EQ(protected_anywhere(link + "/.cache/app", link), std::nullopt);
    EXPECT_EQ(protected_anywhere(real + "/Documents/x", link), "protected: ~/Documents");
    EXPECT_EQ(protected_anywhere("/home/" + tag + "-bob/x", link), "outside your home");
    EXPECT_TRUE(usable_cache(link + "/.cache", link));
    fs::remove(link, ec);
    fs::remove_all(real, ec);
}

TEST(PeerPlaces, ACleanWithoutTheDryRunFlagIsDry) {
    auto missing = peer::protocol::parse(R"({"v":1,"cmd":"clean","confirm_token":"t"})");
    EXPECT_TRUE(missing.error.empty());
    EXPECT_TRUE(missing.command.dry_run);
    auto real =
        peer::protocol::parse(R"({"v":1,"cmd":"clean","confirm_token":"t","dry_run":false})");
    EXPECT_FALSE(real.command.dry_run);
    EXPECT_FALSE(peer::protocol::parse(R"({"v":1,"cmd":"clean","dry_run":null})").error.empty());
}

}  // namespace
}  // namespace peer_test
