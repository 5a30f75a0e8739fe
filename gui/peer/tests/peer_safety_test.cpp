// The stand-in under settings, links and requests meant to make it delete what
// it must not: each case runs the real child in a throwaway home.
#include <gtest/gtest.h>
#include <fstream>
#include <functional>

#include "peer_harness.hpp"

namespace peer_test {
namespace {

std::vector<std::string> ids_of(const json& done) {
    std::vector<std::string> out;
    for (const auto& it : done["items"])
        out.push_back(it["id"]);
    return out;
}

json preview_ids(Peer& p, const std::vector<std::string>& ids) {
    p.send({{"cmd", "preview"}, {"ids", ids}});
    return p.wait_for("preview");
}

TEST(PeerSafety, AStrayCacheSettingNeverOffersTheHomesOwnFolders) {
    TempHome h;
    write_file(h.home / "Projects/app/main.c", 2'000'000);
    write_file(h.home / ".local/share/keyrings/login.keyring", 2'000'000);
    write_file(h.home / ".local/share/big/blob", 2'000'000);
    write_file(h.cache() / "real/data", 2'000'000);
    fs::create_directory_symlink(h.home, h.home / "loop");
    const std::string settings[] = {h.home.string(),
                                    "relative",
                                    (h.home / ".local").string(),
                                    (h.home / ".local/share").string(),
                                    h.root.string(),
                                    (h.home / "loop").string()};
    for (const auto& setting : settings) {
        Peer p(h, {{"XDG_CACHE_HOME", setting}});
        json done = p.scan();
        EXPECT_EQ(ids_of(done), std::vector<std::string>{"cache:" + (h.cache() / "real").string()})
            << setting;
    }
}

TEST(PeerSafety, ACacheFolderLeadingOutOfTheHomeOffersNothing) {
    TempHome h;
    write_file(h.root / "elsewhere/app/data", 2'000'000);
    fs::create_directory_symlink(h.root / "elsewhere", h.cache());
    {
        Peer p(h);
        EXPECT_TRUE(p.scan()["items"].empty());
    }
    // A cache folder that is really the home would offer the home's children.
    fs::remove(h.cache());
    write_file(h.home / "Projects/app/main.c", 2'000'000);
    fs::create_directory_symlink(h.home, h.cache());
    Peer p(h);
    EXPECT_TRUE(p.scan()["items"].empty());
}

// HOME is a link to the real home, and the cache setting leads through a link
// into ~/Documents: that folder must be refused, not offered as a safe cache.
TEST(PeerSafety, ALinkedHomeKeepsDocumentsOutOfTheCache) {
    TempHome h;
    const fs::path link = h.root / "me";
    fs::create_directory_symlink(h.home, link);
    write_file(h.home / "Documents/thesis/draft.tex", 2'000'000);
    fs::create_directories(h.home / "work");
    fs::create_directory_symlink(h.home / "Documents", h.home / "work/docs");
    Peer p(h, {{"HOME", link.string()},
               {"XDG_CACHE_HOME", (link / "work/docs").string()},
               {"XDG_DATA_HOME", (link / ".local/share").string()}});
    json done = p.scan();
    EXPECT_TRUE(done["items"].empty()) << done.dump();
    json pv = preview_ids(p, {"cache:" + (link / "work/docs/thesis").string()});
    EXPECT_EQ(pv["confirm_token"], "");
    EXPECT_TRUE(fs::exists(h.home / "Documents/thesis/draft.tex"));
}

TEST(PeerSafety, ACleanWithoutTheFlagIsADryRun) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    Peer p(h);
    p.scan();
    json pv = preview_ids(p, {"cache:" + (h.cache() / "big").string()});
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}});
    json c = p.wait_for("clean");
    EXPECT_EQ(c["dry_run"], true);
    EXPECT_EQ(c["results"][0]["msg"], "dry run");
    EXPECT_TRUE(fs::exists(h.cache() / "big/data"));
}

TEST(PeerSafety, RepeatedIdsCountOnce) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    Peer p(h);
    json done = p.scan();
    const std::string id = "cache:" + (h.cache() / "big").string();
    const int64_t size = item_in(done, id)["realistic_size"];
    json pv = preview_ids(p, {id, id, id});
    ASSERT_EQ(pv["items"].size(), 1u) << pv.dump();
    EXPECT_EQ(pv["clean_bytes"], size);
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", false}});
    json c = p.wait_for("clean");
    EXPECT_EQ(c["clean_count"], 1);
    ASSERT_EQ(c["results"].size(), 1u);
    EXPECT_EQ(c["results"][0]["ok"], true);
    EXPECT_EQ(c["results"][0]["deleted"], true);

    write_file(h.cache() / "again/data", 2'000'000);
    p.scan();
    const std::string again = "cache:" + (h.cache() / "again").string();
    p.send({{"cmd", "tick"}, {"ids", {again, again, "nope", "nope"}}});
    json sel = p.wait_for("selection");
    EXPECT_EQ(sel["ticked"], json::array({again}));
    EXPECT_EQ(sel["rejected"].size(), 1u);
    p.send({{"cmd", "preview"}});
    EXPECT_EQ(p.wait_for("preview")["items"].size(), 1u);
}

TEST(PeerSafety, AFileTheScannerNamesTwiceIsOneItem) {
    TempHome h;
    allocate_file(h.home / "old.img", 120'000'000);
    json row = {{"path", (h.home / "old.img").string()}, {"alloc", 200'000'000}, {"mtime", 1}};
    json done = {{"type", "done"}, {"v", 1}, {"top_files", {row, row}}};
    std::ofstream(h.root / "done.json") << done.dump() << "\n";
    const fs::path fake = h.root / "fake-scanner";
    std::ofstream(fake) << "#!/bin/sh\ncat '" << (h.root / "done.json").string() << "'\n";
    fs::permissions(fake, fs::perms::owner_all);
    Peer p(h, {{"VIRIRADO_SCANNER", fake.string()}});
    EXPECT_EQ(p.scan(true)["items"].size(), 1u);
}

// The clean must look at both Trash folders before it empties either: a files
// folder swapped for a link stops it with info/ still whole.
TEST(PeerSafety, TrashWithASwappedFolderIsNotTouched) {
    TempHome h;
    write_file(h.trash() / "files/old.txt", 100);
    write_file(h.trash() / "info/old.txt.trashinfo", 50);
    write_file(h.root / "precious/keep.txt", 100);
    Peer p(h);
    p.scan();
    json pv = preview_ids(p, {"trash:" + h.trash().string()});
    fs::rename(h.trash() / "files", h.root / "files.old");
    fs::create_directory_symlink(h.root / "precious", h.trash() / "files");
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", false}});
    json r = p.wait_for("clean")["results"][0];
    EXPECT_EQ(r["ok"], false);
    EXPECT_EQ(r["deleted"], false);
    EXPECT_EQ(r["msg"], "Trash/files is a symlink; nothing was removed");
    EXPECT_TRUE(fs::exists(h.trash() / "info/old.txt.trashinfo"));
    EXPECT_TRUE(fs::exists(h.root / "precious/keep.txt"));
}

// Moves ~/Downloads/a.zip to the Trash under `env`; the clean's one result.
json trash_a_download(const TempHome& h, const std::map<std::string, std::string>& env) {
    write_file(h.home / "Downloads/a.zip", 100);
    Peer p(h, env);
    p.scan(true);
    json pv = preview_ids(p, {"downloads:" + (h.home / "Downloads/a.zip").string()});
    EXPECT_EQ(pv["items"].size(), 1u) << pv.dump();
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", false}});
    return p.wait_for("clean")["results"][0];
}

// A Trash setting or a Trash folder that leads out of the home, or into a place
// the app protects, takes nothing and gets no folder made in it.
TEST(PeerSafety, MovesGoOnlyToATrashReallyInsideTheHome) {
    const std::string outside = "the Trash folder lies outside your home; not moved to the Trash";
    const std::string guarded =
        "the Trash folder lies in a protected place; not moved to the Trash";
    struct Case {
        const char* what;
        std::string msg;
        std::function<std::map<std::string, std::string>(const TempHome&)> set_up;
        std::function<fs::path(const TempHome&)> must_stay_empty;
    };
    const Case cases[] = {
        {"XDG_DATA_HOME outside the home", outside,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.root / "elsewhere");
             return {{"XDG_DATA_HOME", (h.root / "elsewhere").string()}};
         },
         [](const TempHome& h) { return h.root / "elsewhere"; }},
        {"Trash linked out of the home", outside,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.root / "away");
             fs::create_directories(h.trash().parent_path());
             fs::create_directory_symlink(h.root / "away", h.trash());
             return {};
         },
         [](const TempHome& h) { return h.root / "away"; }},
        {"Trash linked into ~/.ssh", guarded,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.home / ".ssh/t");
             fs::create_directories(h.trash().parent_path());
             fs::create_directory_symlink(h.home / ".ssh/t", h.trash());
             return {};
         },
         [](const TempHome& h) { return h.home / ".ssh/t"; }},
        {"XDG_DATA_HOME in ~/Documents", guarded,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.home / "Documents");
             return {{"XDG_DATA_HOME", (h.home / "Documents").string()}};
         },
         [](const TempHome& h) { return h.home / "Documents"; }},
        {"~/.local/share linked into ~/Documents", guarded,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.home / "Documents/share");
             fs::create_directories(h.home / ".local");
             fs::create_directory_symlink(h.home / "Documents/share", h.home / ".local/share");
             return {};
         },
         [](const TempHome& h) { return h.home / "Documents/share"; }},
        {"Trash a dangling link out of the home", "cannot make the Trash folder",
         [](const TempHome& h) -> std::map<std::string, std::string> {
             fs::create_directories(h.root / "gone");
             fs::create_directories(h.trash().parent_path());
             fs::create_directory_symlink(h.root / "gone/trash", h.trash());
             return {};
         },
         [](const TempHome& h) { return h.root / "gone"; }},
        {"XDG_DATA_HOME above the home", outside,
         [](const TempHome& h) -> std::map<std::string, std::string> {
             return {{"XDG_DATA_HOME", h.root.string()}};
         },
         [](const TempHome& h) { return h.root / "Trash"; }},
    };
    for (const auto& c : cases) {
        TempHome h;
        auto env = c.set_up(h);
        json r = trash_a_download(h, env);
        EXPECT_EQ(r["msg"], c.msg) << c.what;
        EXPECT_EQ(r["deleted"], false) << c.what;
        EXPECT_TRUE(fs::exists(h.home / "Downloads/a.zip")) << c.what;
        const fs::path place = c.must_stay_empty(h);
        EXPECT_TRUE(!fs::exists(place) || fs::is_empty(place)) << c.what;
    }
}

// A Trash folder that is a link to another folder of the home is used there.
TEST(PeerSafety, ATrashLinkedWithinTheHomeTakesItems) {
    TempHome h;
    fs::create_directories(h.home / "stuff");
    fs::create_directories(h.trash().parent_path());
    fs::create_directory_symlink(h.home / "stuff", h.trash());
    json r = trash_a_download(h, {});
    EXPECT_EQ(r["ok"], true) << r.dump();
    EXPECT_TRUE(fs::exists(h.home / "stuff/files/a.zip"));
    EXPECT_TRUE(fs::exists(h.home / "stuff/info/a.zip.trashinfo"));
}

}  // namespace
}  // namespace peer_test
