// What the stand-in offers and how big it says each item is, tried on a home
// laid out as a person's: a browser cache holding a big file, a toolchain and
// a game in hidden folders, a Trash, hard links between places, and a scanner
// whose answers are scripted.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <fstream>
#include <limits>
#include <tuple>
#include <utility>

#include "items.hpp"
#include "peer_harness.hpp"
#include "sizes.hpp"

namespace peer_test {
namespace {

constexpr size_t kBig = 120'000'000;

// A scanning engine that answers with this "done" record.
void script_scanner(const TempHome& h, const json& done) {
    std::ofstream(h.root / "done.json") << done.dump() << "\n";
    const fs::path fake = h.root / "fake-scanner";
    std::ofstream(fake) << "#!/bin/sh\ncat '" << (h.root / "done.json").string() << "'\n";
    fs::permissions(fake, fs::perms::owner_all);
}

json row(const std::string& path, double alloc, const std::string& name = "target") {
    return {{"path", path}, {"alloc", alloc}, {"files", 1}, {"mtime", 1}, {"name", name}};
}

Peer scripted_peer(const TempHome& h) {
    return Peer(h, {{"VIRIRADO_SCANNER", (h.root / "fake-scanner").string()}});
}

std::vector<std::string> ids_of(const json& done) {
    std::vector<std::string> out;
    for (const auto& it : done["items"])
        out.push_back(it["id"]);
    return out;
}

int64_t realistic_of(const json& done, const std::string& id) {
    json it = item_in(done, id);
    return it.is_object() ? it["realistic_size"].get<int64_t>() : -1;
}

json preview_all(Peer& p, const json& done) {
    std::vector<std::string> ids;
    for (const auto& it : done["items"])
        if (it["deletable"] == true) ids.push_back(it["id"]);
    p.send({{"cmd", "tick"}, {"ids", ids}});
    p.wait_for("selection");
    p.send({{"cmd", "preview"}});
    return p.wait_for("preview");
}

TEST(PeerOffer, NothingIsOfferedInsideAnotherItem) {
    TempHome h;
    const std::string home = h.home.string();
    write_file(h.cache() / "browser/index", 2'000'000);
    allocate_file(h.cache() / "browser/Cache/blob", kBig);
    write_file(h.home / "proj/target/debug/out.o", 50'000);
    allocate_file(h.home / "proj/target/debug/huge.rlib", kBig);
    write_file(h.home / "proj/target-x/a", 10'000);
    allocate_file(h.home / "iso/disk.img", kBig);
    script_scanner(
        h,
        {{"type", "done"},
         {"devbuilds",
          {row(home + "/proj/target", 1e9), row(home + "/proj/target-x", 1e4),
           row(home + "/proj/target/debug", 9e8), row(home + "/.cache/browser", 1e9)}},
         {"top_files",
          {row(home + "/.cache/browser/Cache/blob", kBig),
           row(home + "/proj/target/debug/huge.rlib", kBig), row(home + "/iso/disk.img", kBig)}}});
    Peer p = scripted_peer(h);
    json d = p.scan(true);
    std::vector<std::string> want = {
        "cache:" + home + "/.cache/browser", "devbuild:" + home + "/proj/target",
        "devbuild:" + home + "/proj/target-x", "big:" + home + "/iso/disk.img"};
    EXPECT_EQ(ids_of(d), want);
    // Every byte once: the ticked total is the sum of what is on disk.
    json pv = preview_all(p, d);
    int64_t on_disk = allocated(h.cache() / "browser/index") +
                      allocated(h.cache() / "browser/Cache/blob") +
                      allocated(h.home / "proj/target/debug/out.o") +
                      allocated(h.home / "proj/target/debug/huge.rlib") +
                      allocated(h.home / "proj/target-x/a") + allocated(h.home / "iso/disk.img");
    EXPECT_EQ(pv["clean_bytes"], on_disk);
    p.send({{"cmd", "clean"}, {"confirm_token", pv["confirm_token"]}, {"dry_run", false}});
    json c = p.wait_for("clean");
    EXPECT_EQ(c["results"].size(), 4u);
    for (const auto& r : c["results"])
        EXPECT_EQ(r["ok"], true) << r.dump();
}

TEST(PeerOffer, FilesOfInstalledProgramsAreLookOnly) {
    TempHome h;
    const std::string home = h.home.string();
    const std::string driver = home + "/.rustup/toolchains/stable/lib/librustc_driver.so";
    const std::string pack = home + "/.var/app/game/data/world.pak";
    const std::string steam = home + "/.local/share/Steam/steamapps/common/level.pak";
    const std::string history = home + "/proj/.git/objects/pack/pack-1.pack";
    const std::string plugin = home + "/.vscode/extensions/tool/build";
    allocate_file(driver, kBig);
    allocate_file(pack, kBig);
    allocate_file(steam, kBig);
    allocate_file(history, kBig);
    allocate_file(home + "/Downloads/film.mkv", kBig);
    allocate_file(home + "/work/dump.bin", kBig);
    write_file(plugin + "/index.js", 5000);
    script_scanner(
        h, {{"type", "done"},
            {"devbuilds", {row(plugin, 5000, "build")}},
            {"top_files",
             {row(driver, kBig), row(pack, kBig), row(steam, kBig), row(history, kBig),
              row(home + "/Downloads/film.mkv", kBig), row(home + "/work/dump.bin", kBig)}}});
    Peer p = scripted_peer(h);
    json d = p.scan(true);
    auto look_only = [&](const std::string& id, const std::string& folder) {
        json it = item_in(d, id);
        ASSERT_TRUE(it.is_object()) << id << " in " << d.dump();
        EXPECT_EQ(it["safety"], "info") << id;
        EXPECT_EQ(it["action"], "info") << id;
        EXPECT_EQ(it["deletable"], false) << id;
        // Nothing happens to it, and the program that owns it is named.
        EXPECT_EQ(it["explain"]["if_gone"],
                  "Nothing happens to it here: it is only listed. A program keeps it in " + folder +
                      "; without it that program may stop working or lose its data.")
            << id;
    };
    look_only("big:" + driver, "~/.rustup");
    look_only("big:" + pack, "~/.var/app/game");
    look_only("big:" + steam, "~/.local/share/Steam");
    look_only("big:" + history, "~/proj/.git");
    look_only("devbuild:" + plugin, "~/.vscode");
    for (const std::string& mine : {home + "/Downloads/film.mkv", home + "/work/dump.bin"}) {
        json it = item_in(d, "big:" + mine);
        EXPECT_EQ(it["safety"], "review") << mine;
        EXPECT_EQ(it["action"], "trash") << mine;
    }
    p.send({{"cmd", "tick"}, {"ids", {"big:" + driver}}});
    EXPECT_EQ(p.wait_for("selection")["ticked"], json::array());
}

// Big files and build folders in places the app protects are listed so the
// space is explained; they say that nothing happens to them, never where they
// would go.
TEST(PeerOffer, ProtectedItemsSayNothingHappensToThem) {
    TempHome h;
    const std::string home = h.home.string();
    const std::string film = home + "/Videos/holiday.mkv";
    const std::string build = home + "/Documents/thesis/target";
    allocate_file(film, kBig);
    write_file(build + "/debug/d", 20'000);
    script_scanner(
        h, {{"type", "done"}, {"devbuilds", {row(build, 2e4)}}, {"top_files", {row(film, kBig)}}});
    Peer p = scripted_peer(h);
    json d = p.scan(true);
    for (const std::string& id : {"big:" + film, "devbuild:" + build}) {
        json it = item_in(d, id);
        ASSERT_TRUE(it.is_object()) << id << " in " << d.dump();
        EXPECT_EQ(it["safety"], "info") << id;
        EXPECT_EQ(it["deletable"], false) << id;
        EXPECT_EQ(it["explain"]["if_gone"], "Nothing happens to it here: it is only listed.") << id;
        EXPECT_EQ(it["explain"]["comes_back"],
                  "Look only: not offered here, as it lies in a protected place.")
            << id;
    }
}

// A build folder whose own name starts with a dot is a project's, like any
// other; only a hidden folder above it, on the way from the home, is a program's.
TEST(PeerOffer, DottedBuildFoldersOfProjectsAreOffered) {
    TempHome h;
    const std::string home = h.home.string();
    const std::string venv = home + "/Projects/pytool/.venv";
    const std::string toolchain = home + "/.rustup/toolchains/x/target";
    const std::string hidden = home + "/Projects/.hidden/app/target";
    write_file(venv + "/pyvenv.cfg", 100);
    write_file(venv + "/lib/python3.12/site-packages/m/core.so", 20'000);
    allocate_file(venv + "/lib/libpython.so", kBig);
    write_file(home + "/Projects/web/.next/cache/a", 20'000);
    write_file(home + "/Projects/j/.gradle/8.5/b", 20'000);
    write_file(home + "/Projects/t/.tox/py312/c", 20'000);
    write_file(toolchain + "/debug/d", 20'000);
    write_file(hidden + "/debug/e", 20'000);
    script_scanner(
        h, {{"type", "done"},
            {"devbuilds",
             {row(venv, 4e4, ".venv"),
              row(venv + "/lib/python3.12/site-packages", 2e4, "site-packages"),
              row(home + "/Projects/web/.next", 2e4, ".next"),
              row(home + "/Projects/j/.gradle", 2e4, ".gradle"),
              row(home + "/Projects/t/.tox", 2e4, ".tox"), row(toolchain, 2e4), row(hidden, 2e4)}},
            {"top_files", {row(venv + "/lib/libpython.so", kBig)}}});
    Peer p = scripted_peer(h);
    json d = p.scan(true);
    using Build = std::tuple<std::string, std::string, std::string>;
    for (const auto& [folder, name, project] :
         std::vector<Build>{{venv, ".venv", "pytool"},
                            {home + "/Projects/web/.next", ".next", "web"},
                            {home + "/Projects/j/.gradle", ".gradle", "j"},
                            {home + "/Projects/t/.tox", ".tox", "t"}}) {
        json it = item_in(d, "devbuild:" + folder);
        ASSERT_TRUE(it.is_object()) << folder << " in " << d.dump();
        EXPECT_EQ(it["label"], name + " · " + project);
        EXPECT_EQ(it["safety"], "review") << folder;
        EXPECT_EQ(it["action"], "trash") << folder;
        EXPECT_EQ(it["deletable"], true) << folder;
        EXPECT_EQ(it["explain"]["what"], "Build output of " + project + ".");
        EXPECT_EQ(it["explain"]["if_gone"],
                  "Nothing you wrote is lost. The next build takes longer.");
        EXPECT_EQ(it["explain"]["comes_back"], "On the next build.");
    }
    // What lies inside the offered .venv is part of it, not an item of its own.
    EXPECT_FALSE(item_in(d, "devbuild:" + venv + "/lib/python3.12/site-packages").is_object());
    EXPECT_FALSE(item_in(d, "big:" + venv + "/lib/libpython.so").is_object());
    using Owned = std::pair<std::string, std::string>;
    for (const auto& [folder, owner] :
         std::vector<Owned>{{toolchain, "~/.rustup"}, {hidden, "~/Projects/.hidden"}}) {
        json it = item_in(d, "devbuild:" + folder);
        ASSERT_TRUE(it.is_object()) << folder << " in " << d.dump();
        EXPECT_EQ(it["action"], "info") << folder;
        EXPECT_EQ(it["deletable"], false) << folder;
        EXPECT_EQ(
            it["explain"]["comes_back"],
            "Look only: not offered here. Remove it with the program that owns " + owner + ".");
    }
}

TEST(PeerOffer, TheTrashSaysWhatIsInItAndThatEmptyingIsForGood) {
    TempHome h;
    write_file(h.trash() / "files/a.txt", 40'000);
    write_file(h.trash() / "files/b.txt", 40'000);
    write_file(h.trash() / "files/photos/p.jpg", 40'000);
    for (const std::string name : {"a.txt", "b.txt", "photos"})
        write_file(h.trash() / "info" / (name + ".trashinfo"), 60);
    // Kept by the desktop beside files/ and info/; emptying leaves it.
    write_file(h.trash() / "expunged/left/over", 3'000'000);
    Peer p(h);
    json d = p.scan();
    json t = item_in(d, "trash:" + h.trash().string());
    ASSERT_TRUE(t.is_object()) << d.dump();
    EXPECT_EQ(t["kind"], "trash");
    EXPECT_EQ(t["safety"], "safe");
    EXPECT_EQ(t["action"], "rm");
    EXPECT_EQ(t["explain"]["what"], "3 items you moved to the Trash.");
    EXPECT_NE(t["explain"]["if_gone"].get<std::string>().find("cannot be undone"),
              std::string::npos);
    EXPECT_EQ(t["explain"]["comes_back"], "No. Only what you move to the Trash later.");
    int64_t members = 0;
    for (const auto& m : t["members"])
        members += m["size"].get<int64_t>();
    EXPECT_EQ(t["realistic_size"], members);
    EXPECT_LT(t["realistic_size"].get<int64_t>(), 3'000'000);

    fs::remove_all(h.trash() / "files/b.txt");
    fs::remove_all(h.trash() / "files/photos");
    EXPECT_EQ(item_in(p.scan(), "trash:" + h.trash().string())["explain"]["what"],
              "1 item you moved to the Trash.");
}

TEST(PeerOffer, SizesCountOnlyWhatTheCleanFrees) {
    TempHome h;
    // A name outside the item keeps the blocks: removing the item frees nothing of it.
    write_file(h.cache() / "shared/own", 1'500'000);
    write_file(h.home / "keep/original.bin", 2'000'000);
    fs::create_hard_link(h.home / "keep/original.bin", h.cache() / "shared/link.bin");
    // Both names inside: freed, and counted once.
    write_file(h.cache() / "twins/one", 2'000'000);
    fs::create_hard_link(h.cache() / "twins/one", h.cache() / "twins/two");
    // Names in two items: neither frees it alone.
    write_file(h.cache() / "left/own", 1'200'000);
    write_file(h.cache() / "right/own", 1'300'000);
    write_file(h.cache() / "left/both", 3'000'000);
    fs::create_hard_link(h.cache() / "left/both", h.cache() / "right/both");
    Peer p(h);
    json d = p.scan();
    auto id = [&](const char* name) { return "cache:" + (h.cache() / name).string(); };
    EXPECT_EQ(realistic_of(d, id("shared")), allocated(h.cache() / "shared/own"));
    EXPECT_EQ(realistic_of(d, id("twins")), allocated(h.cache() / "twins/one"));
    EXPECT_EQ(realistic_of(d, id("left")), allocated(h.cache() / "left/own"));
    EXPECT_EQ(realistic_of(d, id("right")), allocated(h.cache() / "right/own"));
    EXPECT_EQ(item_in(d, id("shared"))["size"], realistic_of(d, id("shared")));
    EXPECT_EQ(item_in(d, id("shared"))["file_count"], 2);
}

TEST(PeerOffer, HugeScannerFiguresNeitherSizeItemsNorOverflowTheTotal) {
    TempHome h;
    const std::string home = h.home.string();
    write_file(h.home / "a/target/x", 20'000);
    write_file(h.home / "b/target/x", 30'000);
    script_scanner(
        h, {{"type", "done"},
            {"devbuilds", {row(home + "/a/target", 8.9e18), row(home + "/b/target", 8.9e18)}}});
    Peer p = scripted_peer(h);
    json d = p.scan();
    int64_t a = allocated(h.home / "a/target/x"), b = allocated(h.home / "b/target/x");
    EXPECT_EQ(realistic_of(d, "devbuild:" + home + "/a/target"), a);
    EXPECT_EQ(realistic_of(d, "devbuild:" + home + "/b/target"), b);
    EXPECT_EQ(preview_all(p, d)["clean_bytes"], a + b);
}

TEST(PeerOffer, ScannerPathsThatAreNotPlainAreNeverItems) {
    TempHome h;
    const std::string home = h.home.string();
    write_file(h.home / "proj/target/x", 20'000);
    allocate_file(h.home / "big.img", kBig);
    fs::create_directories(h.root / "elsewhere/target");
    script_scanner(
        h, {{"type", "done"},
            {"devbuilds",
             {row(home + "/proj/..", 1), row(home + "/proj/.", 1), row(home + "/proj//target", 1),
              row(home + "/proj/target/", 1), row(home + "/proj/target/.", 1), row(home, 1),
              row(home + "/", 1), row((h.root / "elsewhere/target").string(), 1),
              row("proj/target", 1), row("", 1)}},
            {"top_files", {row(home + "/proj/../big.img", kBig), row(home + "/./big.img", kBig)}}});
    Peer p = scripted_peer(h);
    json d = p.scan(true);
    EXPECT_EQ(d["items"], json::array()) << d.dump();
    EXPECT_TRUE(fs::exists(h.home / "proj/target/x"));
}

TEST(PeerOfferUnit, ProgramFoldersAreTheHiddenFoldersAboveTheItem) {
    using peer::items::program_folder;
    EXPECT_EQ(program_folder("/h/u/.rustup/lib/x.so", "/h/u"), "~/.rustup");
    // Hidden folders of the home that hold programs' folders name the one inside.
    EXPECT_EQ(program_folder("/h/u/.local/share/Steam/apps/a.pak", "/h/u"), "~/.local/share/Steam");
    EXPECT_EQ(program_folder("/h/u/.config/Code/Cache/data", "/h/u"), "~/.config/Code");
    EXPECT_EQ(program_folder("/h/u/.cache/tool/blob", "/h/u"), "~/.cache/tool");
    EXPECT_EQ(program_folder("/h/u/.local/state/app/log", "/h/u"), "~/.local/state/app");
    EXPECT_EQ(program_folder("/h/u/.var/app/org.game/data/w", "/h/u"), "~/.var/app/org.game");
    EXPECT_EQ(program_folder("/h/u/.local/bin/tool", "/h/u"), "~/.local/bin");
    // Directly in such a folder, no program's folder is on the way.
    EXPECT_EQ(program_folder("/h/u/.local/share/big.iso", "/h/u"), "~/.local/share");
    EXPECT_EQ(program_folder("/h/u/.config/x", "/h/u"), "~/.config");
    // Only in the home itself, and only a whole name.
    EXPECT_EQ(program_folder("/h/u/proj/.config/app/x", "/h/u"), "~/proj/.config");
    EXPECT_EQ(program_folder("/h/u/.localx/share/a/b", "/h/u"), "~/.localx");
    EXPECT_EQ(program_folder("/h/.local/share/a/b", "/h"), "~/.local/share/a");
    EXPECT_EQ(program_folder("/h/u/proj/.git/pack/p", "/h/u"), "~/proj/.git");
    EXPECT_EQ(program_folder("/h/u/p/.venv/lib/x.so", "/h/u"), "~/p/.venv");
    // The item's own name is not a folder above it.
    EXPECT_FALSE(program_folder("/h/u/work/.core", "/h/u"));
    EXPECT_FALSE(program_folder("/h/u/p/.venv", "/h/u"));
    EXPECT_FALSE(program_folder("/h/u/.big.iso", "/h/u"));
    EXPECT_FALSE(program_folder("/h/u/work/dump.bin", "/h/u"));
    EXPECT_FALSE(program_folder("/h/.hidden/u/a", "/h/.hidden/u"));  // the home's own path
    EXPECT_FALSE(program_folder("/h/u", "/h/u"));
    EXPECT_FALSE(program_folder("/h/ux/.a", "/h/u"));
}

}  // namespace
}  // namespace peer_test
