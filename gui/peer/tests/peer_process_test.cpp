// The stand-in engine as the app sees it: a child process on two pipes, run in
// a throwaway home so that its cleans really happen there.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <fstream>
#include <regex>
#include <sstream>

#include "peer_harness.hpp"

namespace peer_test {
namespace {

std::string read_text(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string cache_id(const TempHome& h, const std::string& name) {
    return "cache:" + (h.cache() / name).string();
}

// A clean of exactly `ids`: tick is skipped, the one-item preview path is used
// for a single id, the ticked preview otherwise.
json preview_of(Peer& p, const std::vector<std::string>& ids) {
    if (ids.size() == 1) {
        p.send({{"cmd", "preview"}, {"ids", ids}});
    } else {
        p.send({{"cmd", "tick"}, {"ids", ids}});
        p.wait_for("selection");
        p.send({{"cmd", "preview"}});
    }
    return p.wait_for("preview");
}

json clean(Peer& p, const std::string& token, bool dry = false) {
    p.send({{"cmd", "clean"}, {"confirm_token", token}, {"dry_run", dry}});
    return p.wait_for("clean");
}

TEST(PeerProtocol, HelloThenScanListsOnlyHonestItems) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    write_file(h.cache() / "tiny/data", 10);
    fs::create_directories(h.root / "elsewhere");
    write_file(h.root / "elsewhere/huge", 3'000'000);
    fs::create_symlink(h.root / "elsewhere", h.cache() / "linked");
    write_file(h.cache() / std::string("bad\xff"
                                       "name/data"),
               2'000'000);
    write_file(h.trash() / "files/old.txt", 100);
    write_file(h.home / "Downloads/setup.iso", 100);

    Peer p(h);
    p.send({{"cmd", "hello"}});
    json vol = p.next();
    EXPECT_EQ(vol["event"], "volume");
    EXPECT_GT(vol["total_bytes"].get<int64_t>(), 0);
    EXPECT_FALSE(vol.contains("access"));

    p.send({{"cmd", "scan"}, {"include_private", false}});
    auto events = p.until("done");
    std::vector<std::string> places;
    bool scanner_error = false;
    for (const auto& e : events) {
        if (e["event"] == "progress") places.push_back(e["place"]);
        if (e["event"] == "scanner_error") {
            scanner_error = true;
            EXPECT_NE(e["message"].get<std::string>().find("not found"), std::string::npos);
        }
    }
    EXPECT_TRUE(scanner_error);
    EXPECT_EQ(places.front(), "~/.cache");
    const json& done = events.back();
    EXPECT_EQ(done["items"].size(), 2u) << done.dump();
    json big = item_in(done, cache_id(h, "big"));
    ASSERT_TRUE(big.is_object());
    EXPECT_EQ(big["safety"], "safe");
    EXPECT_EQ(big["action"], "rm");
    EXPECT_EQ(big["label"], "big cache");
    EXPECT_GE(big["realistic_size"].get<int64_t>(), 2'000'000);
    json trash = item_in(done, "trash:" + h.trash().string());
    ASSERT_TRUE(trash.is_object());
    EXPECT_EQ(trash["members"].size(), 2u);
    // Downloads only when asked for.
    EXPECT_TRUE(item_in(done, "downloads:" + (h.home / "Downloads/setup.iso").string()).is_null());
    EXPECT_EQ(p.close_and_wait(), 0);
}

TEST(PeerProtocol, BadLinesGetErrorsAndTheSessionGoesOn) {
    TempHome h;
    Peer p(h);
    p.send_line("{not json");
    json e = p.next();
    EXPECT_EQ(e["event"], "error");
    EXPECT_EQ(e["cmd"], "");
    EXPECT_EQ(e["message"].get<std::string>().rfind("bad request", 0), 0u);
    p.send_line(R"({"v":2,"id":"gui-9","cmd":"scan"})");
    e = p.next();
    EXPECT_EQ(e["event"], "error");
    EXPECT_EQ(e["cmd"], "scan");
    p.send_line(R"({"v":1,"id":"gui-10","cmd":"explode"})");
    EXPECT_EQ(p.next()["cmd"], "explode");
    p.send_line(R"({"v":1,"id":"gui-11","cmd":"tick","ids":"x"})");
    EXPECT_EQ(p.next()["event"], "error");
    // Escaped slashes and odd key order are the same command.
    p.send_line(R"({"cmd":"hello","id":"gui-12","v":1.0})");
    EXPECT_EQ(p.next()["event"], "volume");
    p.send({{"cmd", "cancel"}});  // nothing to cancel: no answer
    p.send({{"cmd", "hello"}});
    EXPECT_EQ(p.next()["event"], "volume");
}

TEST(PeerProtocol, TwoScansBackToBackEndInOneDoneAndNoCancel) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    Peer p(h);
    p.send({{"cmd", "scan"}, {"include_private", true}});
    p.send({{"cmd", "scan"}, {"include_private", true}});
    auto events = p.until("done");
    for (const auto& e : events)
        EXPECT_NE(e["event"], "cancelled");
    EXPECT_EQ(events.back()["items"].size(), 1u);
    p.send({{"cmd", "hello"}});
    EXPECT_EQ(p.next()["event"], "volume") << "a second done must not follow";
}

TEST(PeerProtocol, TicksRejectLookOnlyAndUnknownItems) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    Peer p(h);
    p.scan();
    std::string id = cache_id(h, "big");
    p.send({{"cmd", "tick"}, {"ids", {id, "cache:/nowhere"}}});
    json sel = p.wait_for("selection");
    EXPECT_EQ(sel["ticked"], json::array({id}));
    ASSERT_EQ(sel["rejected"].size(), 1u);
    EXPECT_EQ(sel["rejected"][0]["reason"], "Look only: cache:/nowhere");
    p.send({{"cmd", "untick"}, {"ids", {id}}});
    EXPECT_EQ(p.wait_for("selection")["ticked"], json::array());
    p.send({{"cmd", "preview"}});
    json pv = p.wait_for("preview");
    EXPECT_EQ(pv["items"], json::array());
    EXPECT_EQ(pv["confirm_token"], "");
}

TEST(PeerTokens, StaleOrReusedTokensTouchNothing) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    write_file(h.cache() / "other/data", 2'000'000);
    Peer p(h);
    p.scan();
    std::string id = cache_id(h, "big");
    const std::string stale = "This preview is out of date. Nothing was deleted. Preview again.";
    auto expect_stale = [&](const std::string& token) {
        p.send({{"cmd", "clean"}, {"confirm_token", token}, {"dry_run", false}});
        json e = p.wait_for("error");
        EXPECT_EQ(e["cmd"], "clean");
        EXPECT_EQ(e["message"], stale);
    };
    expect_stale("");
    std::string t1 = preview_of(p, {id})["confirm_token"];
    EXPECT_EQ(t1.size(), 32u);
    std::string t2 = preview_of(p, {id})["confirm_token"];
    EXPECT_NE(t1, t2);
    expect_stale(t1);  // replaced by a newer preview
    p.send({{"cmd", "tick"}, {"ids", {cache_id(h, "other")}}});
    p.wait_for("selection");
    expect_stale(t2);  // a tick invalidates
    std::string t3 = preview_of(p, {id})["confirm_token"];
    p.scan();
    expect_stale(t3);  // a scan invalidates
    std::string t4 = preview_of(p, {id})["confirm_token"];
    p.send({{"cmd", "untick"}, {"ids", {id}}});
    p.wait_for("selection");
    expect_stale(t4);  // so does an untick
    EXPECT_TRUE(fs::exists(h.cache() / "big/data"));
    EXPECT_TRUE(fs::exists(h.cache() / "other/data"));

    std::string t5 = preview_of(p, {id})["confirm_token"];
    EXPECT_EQ(clean(p, t5)["results"][0]["deleted"], true);
    expect_stale(t5);  // single use
}

TEST(PeerClean, DryRunReportsEverythingAndChangesNothing) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    write_file(h.home / "Downloads/a.zip", 5000);
    Peer p(h);
    p.scan(true);
    std::string a = cache_id(h, "big");
    std::string b = "downloads:" + (h.home / "Downloads/a.zip").string();
    json pv = preview_of(p, {a, b});
    ASSERT_EQ(pv["items"].size(), 2u);
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", true}});
    auto events = p.until("clean");
    int progress = 0;
    for (const auto& e : events)
        progress += e["event"] == "clean_progress";
    EXPECT_EQ(progress, 4);
    const json& c = events.back();
    EXPECT_EQ(c["dry_run"], true);
    EXPECT_EQ(c["clean_count"], 2);
    for (const auto& r : c["results"]) {
        EXPECT_EQ(r["deleted"], false);
        EXPECT_EQ(r["ok"], true);
        EXPECT_EQ(r["msg"], "dry run");
    }
    EXPECT_TRUE(fs::exists(h.cache() / "big/data"));
    EXPECT_TRUE(fs::exists(h.home / "Downloads/a.zip"));
    EXPECT_FALSE(fs::exists(h.trash()));
}

TEST(PeerClean, PermanentRemovalNeverFollowsAPlantedLink) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    write_file(h.root / "precious/keep.txt", 100);
    Peer p(h);
    p.scan();
    std::string id = cache_id(h, "big");
    json pv = preview_of(p, {id});
    // Planted between the preview and the clean: a link inside the item.
    fs::create_directory_symlink(h.root / "precious", h.cache() / "big/escape");
    fs::create_directories(h.cache() / "big/deep/er");
    fs::create_symlink(h.root / "precious/keep.txt", h.cache() / "big/deep/er/file");
    json c = clean(p, pv["confirm_token"]);
    ASSERT_EQ(c["results"].size(), 1u);
    EXPECT_EQ(c["results"][0]["ok"], true) << c.dump();
    EXPECT_EQ(c["results"][0]["deleted"], true);
    EXPECT_EQ(c["clean_count"], 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(h.cache() / "big")));
    EXPECT_TRUE(fs::exists(h.root / "precious/keep.txt"));
    // The removed item is gone from the engine's list too.
    p.send({{"cmd", "preview"}, {"ids", {id}}});
    EXPECT_EQ(p.wait_for("preview")["confirm_token"], "");
}

TEST(PeerClean, ItemReplacedOrLinkedAfterTheScanIsRefused) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    write_file(h.cache() / "swapped/data", 2'000'000);
    write_file(h.root / "precious/keep.txt", 100);
    Peer p(h);
    p.scan();
    json pv = preview_of(p, {cache_id(h, "big"), cache_id(h, "swapped")});
    // Moved aside rather than removed, so the new folder cannot reuse its inode.
    fs::rename(h.cache() / "big", h.root / "big.old");
    fs::create_directories(h.cache() / "big");
    write_file(h.cache() / "big/new", 10);
    fs::remove_all(h.cache() / "swapped");
    fs::create_directory_symlink(h.root / "precious", h.cache() / "swapped");
    json c = clean(p, pv["confirm_token"]);
    ASSERT_EQ(c["results"].size(), 2u);
    EXPECT_EQ(c["results"][0]["ok"], false);
    EXPECT_EQ(c["results"][0]["msg"], "changed since the scan");
    EXPECT_EQ(c["results"][1]["ok"], false);
    EXPECT_EQ(c["results"][1]["msg"], "is a symlink");
    EXPECT_TRUE(fs::exists(h.cache() / "big/new"));
    EXPECT_TRUE(fs::exists(h.root / "precious/keep.txt"));
}

TEST(PeerClean, TrashMoveWritesAValidRecordAndNeverOverwrites) {
    TempHome h;
    write_file(h.home / "Downloads/My File%.zip", 5000);
    // Something of the same name is already in the Trash (and its record is gone).
    write_file(h.trash() / "files/My File%.zip", 7);
    Peer p(h);
    json done = p.scan(true);
    std::string id = "downloads:" + (h.home / "Downloads/My File%.zip").string();
    ASSERT_TRUE(item_in(done, id).is_object());
    EXPECT_EQ(item_in(done, id)["ticked"], false);
    json pv = preview_of(p, {id});
    ASSERT_EQ(pv["items"].size(), 1u);
    EXPECT_EQ(pv["items"][0]["action"], "trash");
    json c = clean(p, pv["confirm_token"]);
    EXPECT_EQ(c["results"][0]["ok"], true) << c.dump();
    EXPECT_FALSE(fs::exists(h.home / "Downloads/My File%.zip"));
    EXPECT_EQ(fs::file_size(h.trash() / "files/My File%.zip"), 7u);
    EXPECT_EQ(fs::file_size(h.trash() / "files/My File%.zip.2"), 5000u);
    std::string info = read_text(h.trash() / "info/My File%.zip.2.trashinfo");
    std::string expect_path = "Path=" + h.home.string() + "/Downloads/My%20File%25.zip\n";
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
    EXPECT_NE(info.find(expect_path), std::string::npos) << info;
    EXPECT_TRUE(std::regex_search(
        info, std::regex("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")))
        << info;
    struct stat st {};
    ASSERT_EQ(::stat((h.trash() / "info").c_str(), &st), 0);
}

TEST(PeerClean, EmptyingTheTrashKeepsItsFolders) {
    TempHome h;
    write_file(h.trash() / "files/a/b/c.txt", 100);
    write_file(h.trash() / "info/a.trashinfo", 50);
    Peer p(h);
    p.scan();
    json pv = preview_of(p, {"trash:" + h.trash().string()});
    json c = clean(p, pv["confirm_token"]);
    EXPECT_EQ(c["results"][0]["deleted"], true) << c.dump();
    EXPECT_TRUE(fs::is_directory(h.trash() / "files"));
    EXPECT_TRUE(fs::is_empty(h.trash() / "files"));
    EXPECT_TRUE(fs::is_empty(h.trash() / "info"));
}

TEST(PeerClean, ForcedDryRunFromTheEnvironment) {
    TempHome h;
    write_file(h.cache() / "big/data", 2'000'000);
    Peer p(h, {{"VIRIRADO_STANDIN_DRY_RUN", "1"}});
    p.scan();
    json pv = preview_of(p, {cache_id(h, "big")});
    json c = clean(p, pv["confirm_token"]);
    EXPECT_EQ(c["dry_run"], true);
    EXPECT_TRUE(fs::exists(h.cache() / "big/data"));
}

}  // namespace
}  // namespace peer_test
