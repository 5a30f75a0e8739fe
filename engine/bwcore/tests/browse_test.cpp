#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "browse.hpp"
#include "fixture.hpp"

namespace bwcore {
namespace {

using nlohmann::json;
using Keys = std::set<std::string>;
using Strings = std::vector<std::string>;
constexpr uint64_t GB = 1000000000;

Node folder(std::string name, uint64_t own_alloc = 0, std::vector<Node> kids = {}) {
    Node n;
    n.name = std::move(name);
    n.own.alloc = own_alloc;
    n.own.files = own_alloc > 0 ? 1 : 0;
    for (Node& k : kids)
        n.children.push_back(std::move(k));
    return n;
}

Node with_files(Node n, std::vector<std::pair<std::string, uint64_t>> files) {
    for (auto& [name, alloc] : files) {
        n.files.push_back(FileRec{name, alloc, alloc + 1, 1500000000, 7});
        n.own.alloc += alloc;
        n.own.files += 1;
    }
    return n;
}

Browse browse_over(const std::string& root, Node& node, std::optional<std::string> home = {},
                   bool generic_lister = true) {
    tree::settle_links(node);
    Rules rules = Rules::defaults();
    MarkerIndex index = rules.marker_index();
    return Browse(root, node, std::move(rules), std::move(index), std::move(home), generic_lister);
}

Keys keys(const json& o) {
    Keys out;
    for (auto it = o.begin(); it != o.end(); ++it)
        out.insert(it.key());
    return out;
}

Strings field(const json& rows, const char* key) {
    Strings out;
    for (const json& r : rows)
        out.push_back(r[key].get<std::string>());
    return out;
}

const Keys AGG_KEYS = {"alloc", "logical",  "files",     "dirs",
                       "mtime", "dataless", "protected", "skipped"};

Keys with(Keys base, std::initializer_list<const char*> more) {
    for (const char* k : more)
        base.insert(k);
    return base;
}

TEST(BrowseUserPath, DataVolumePrefixOnlyAsAWholeComponent) {
    EXPECT_EQ(browse::user_path("/System/Volumes/Data"), "/");
    EXPECT_EQ(browse::user_path("/System/Volumes/Data/Users/a"), "/Users/a");
    EXPECT_EQ(browse::user_path("/System/Volumes/Data/"), "/");
    EXPECT_EQ(browse::user_path("/System/Volumes/Datax"), "/System/Volumes/Datax");
    EXPECT_EQ(browse::user_path("/Users/a"), "/Users/a");
    EXPECT_EQ(browse::user_path(""), "");
}

TEST(BrowseLookOnly, RulesFirstThenSystemLocations) {
    Node root = folder("");
    Browse b = browse_over("/", root, "/Users/u");
    EXPECT_EQ(b.look_only("/usr/local"), "system location");
    EXPECT_EQ(b.look_only("/usr/local/bin/x"), "system location");
    EXPECT_EQ(b.look_only("/Volumes"), "system location");
    EXPECT_EQ(b.look_only("/Volumes/Disk"), "system location");
    EXPECT_EQ(b.look_only("/private/tmp"), "system location");
    EXPECT_EQ(b.look_only("/usrx"), "");
    EXPECT_EQ(b.look_only("/Users/u/Movies"), "");
    EXPECT_EQ(b.look_only("/usr/lib/x"), "inside /usr");  // a rule's reason wins
    EXPECT_EQ(b.look_only("/System/Volumes/Data/usr/local"), "system location");
    EXPECT_EQ(b.look_only("/Users/u/Library/Mail/x"), "inside Library/Mail");
    EXPECT_EQ(b.look_only("relative"), "relative path");

    // Without a home the home rules cannot fire.
    Browse homeless = browse_over("/", root);
    EXPECT_EQ(homeless.look_only("/Users/u/Library/Mail/x"), "");
    Browse empty_home = browse_over("/", root, "");
    EXPECT_EQ(empty_home.look_only("/Users/u/Library/Mail/x"), "");
}

TEST(BrowseBreadcrumb, RootThenEachComponent) {
    Node root = folder("scan");
    Browse b = browse_over("/data/scan", root);
    json crumbs = b.breadcrumb("/data/scan/a/b");
    EXPECT_EQ(field(crumbs, "name"), (Strings{"scan", "a", "b"}));
    EXPECT_EQ(field(crumbs, "path"), (Strings{"/data/scan", "/data/scan/a", "/data/scan/a/b"}));
    EXPECT_EQ(field(b.breadcrumb("/data/scan"), "name"), Strings{"scan"});
    EXPECT_EQ(field(b.breadcrumb("/data/scanner/a"), "name"), Strings{"scan"});  // outside
    EXPECT_EQ(field(b.breadcrumb("/elsewhere"), "path"), Strings{"/data/scan"});

    Node disk = folder("");
    EXPECT_EQ(field(browse_over("/", disk).breadcrumb("/a/b"), "name"),
              (Strings{"System drive", "a", "b"}));
    EXPECT_EQ(field(browse_over("/", disk).breadcrumb("/a/b"), "path"),
              (Strings{"/", "/a", "/a/b"}));
    EXPECT_EQ(field(browse_over("/System/Volumes/Data", disk).breadcrumb("/x"), "name"),
              Strings{"System drive"});
    EXPECT_EQ(field(browse_over("/x/", disk).breadcrumb("/y"), "name"), Strings{"/x/"});
}

TEST(BrowseDirRow, KeySetsAndDerivedFields) {
    Node modules = folder("node_modules", 5);
    modules.dev_kind = 1;  // the first dev/build rule
    Node root = folder("r", 0,
                       {folder("Tool.APP", 3), folder("empty"), std::move(modules),
                        folder("with", 0, {folder("leaf")})});
    Browse b = browse_over("/r", root);
    const Node& app = root.children[1];  // sizes: node_modules 5, Tool.APP 3, ...
    ASSERT_EQ(app.name, "Tool.APP");
    json row = b.dir_row("/r/Tool.APP", app);
    EXPECT_EQ(keys(row), with(AGG_KEYS, {"path", "user_path", "name", "type", "file_kind",
                                         "has_children", "subfolders", "look_only"}));
    EXPECT_EQ(row["file_kind"], "app");
    EXPECT_EQ(row["type"], "folder");
    EXPECT_EQ(row["has_children"], true);  // a file, no folders
    EXPECT_EQ(row["alloc"], 3);

    json dev = b.dir_row("/r/node_modules", root.children[0]);
    EXPECT_EQ(dev["dev_kind"], "devbuild");
    EXPECT_EQ(dev["dev_name"], "node_modules");
    EXPECT_EQ(dev["file_kind"], "folder");

    const Node& empty = root.children[2];
    ASSERT_EQ(empty.name, "empty");
    EXPECT_EQ(b.dir_row("/r/empty", empty)["has_children"], false);
    json w = b.dir_row("/r/with", root.children[3]);
    EXPECT_EQ(w["has_children"], true);
    EXPECT_EQ(w["subfolders"], 1);

    json denied = b.dir_row("/usr/lib", root);
    EXPECT_EQ(denied["look_only"], true);
    EXPECT_EQ(denied["look_only_reason"], "inside /usr");
    EXPECT_EQ(denied["user_path"], "/usr/lib");
}

// A tree whose sizes make the "mostly one child" rule visible:
//   /r/ten  10 GB total, largest child six (6 GB)  -> repeats its child, left out
//   /r/big  12 GB total, largest child four (4 GB) -> listed
Node top_tree() {
    Node ten = folder("ten", 4 * GB, {folder("six", 6 * GB)});
    Node big = with_files(folder("big", 0, {folder("four", 4 * GB), folder("three", 3 * GB)}),
                          {{"b.mov", 2 * GB}, {"a.mov", 2 * GB}});
    big.links.push_back(LinkRec{"b.mov", 1, 99, 0, 0, 0});
    big.own.alloc += 1 * GB;
    return folder("r", 0, {std::move(ten), std::move(big)});
}

TEST(BrowseTop, FoldersThatMostlyRepeatOneChildAreLeftOut) {
    Node root = top_tree();
    Browse b = browse_over("/r", root);
    auto t = b.top("/r", 10);
    ASSERT_TRUE(t.ok());
    EXPECT_EQ(keys(*t), (Keys{"path", "files", "folders"}));
    // r (22 GB, largest 12) is itself not listed; ten (10 vs 12) neither; big (12 vs 8) is.
    EXPECT_EQ(field((*t)["folders"], "path"),
              (Strings{"/r/big", "/r/ten/six", "/r/big/four", "/r/big/three"}));
    // Equal sizes come in path order; "linked" from the folder's hard-link records.
    const json& files = (*t)["files"];
    EXPECT_EQ(field(files, "path"), (Strings{"/r/big/a.mov", "/r/big/b.mov"}));
    EXPECT_EQ(files[0]["linked"], false);
    EXPECT_EQ(files[1]["linked"], true);
    EXPECT_EQ(keys(files[0]),
              (Keys{"path", "user_path", "name", "type", "alloc", "logical", "mtime", "linked",
                    "file_kind", "ext", "look_only", "look_only_reason"}));
    EXPECT_EQ(files[0]["look_only_reason"], "");
    EXPECT_EQ(files[0]["file_kind"], "video");
    EXPECT_EQ(files[0]["mtime"], 1.5);
}

TEST(BrowseTop, LimitsSubtreesAndErrors) {
    Node root = top_tree();
    Browse b = browse_over("/r", root);
    auto one = b.top("/r", 1);
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(field((*one)["folders"], "path"), Strings{"/r/big"});
    // At the cut the heap order (alloc, then path) lets the smaller path of a tie leave.
    EXPECT_EQ(field((*one)["files"], "path"), Strings{"/r/big/b.mov"});
    auto none = b.top("/r", 0);
    EXPECT_TRUE((*none)["files"].empty());
    EXPECT_TRUE((*none)["folders"].empty());
    auto below = b.top("/r/ten", 10);
    EXPECT_EQ(field((*below)["folders"], "path"), Strings{"/r/ten/six"});
    EXPECT_TRUE((*below)["files"].empty());

    for (const char* outside : {"/elsewhere", "/r/", "/r/nope", "/r//ten"}) {
        auto e = b.top(outside, 10);
        ASSERT_FALSE(e.ok()) << outside;
        EXPECT_EQ(e.error().message, std::string(outside) + ": not in the scanned tree");
    }
}

Node five_children() {
    return folder(
        "r", 7,
        {folder("e", 10), folder("d", 20), folder("b", 30), folder("a", 30), folder("c", 5)});
}

TEST(BrowseNode, OrderLimitAndRest) {
    Node root = five_children();
    Browse b = browse_over("/r", root);
    auto n = b.node("/r", 2, false);
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(field((*n)["children"], "name"), (Strings{"a", "b"}));  // equal sizes by name
    EXPECT_EQ((*n)["children_total"], 5);
    EXPECT_EQ((*n)["rest"], (json{{"count", 3}, {"alloc", 35}}));
    EXPECT_EQ((*n)["own_files_alloc"], 7);
    EXPECT_EQ((*n)["listed_files"], 0);
    EXPECT_EQ((*n)["dataless_here"], 0);
    EXPECT_EQ((*n)["type"], "folder");
    EXPECT_EQ(field((*n)["breadcrumb"], "name"), Strings{"r"});
    EXPECT_EQ(keys(*n),
              with(AGG_KEYS, {"path", "user_path", "name", "type", "file_kind", "has_children",
                              "subfolders", "look_only", "children", "children_total", "rest",
                              "own_files_alloc", "dataless_here", "listed_files", "breadcrumb"}));

    auto all = b.node("/r", 5, false);
    EXPECT_EQ(field((*all)["children"], "name"), (Strings{"a", "b", "d", "e", "c"}));
    EXPECT_EQ((*all)["rest"], (json{{"alloc", 0}, {"count", 0}}));
    EXPECT_TRUE((*b.node("/r", 0, false))["children"].empty());
    EXPECT_EQ((*b.node("/r", 0, false))["rest"]["count"], 5);
    EXPECT_EQ(b.node("/r/zz", 5, false).error().message, "/r/zz: not in the scanned tree");
}

TEST(BrowseNode, LiveListingOfFiles) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("sub"));
    ASSERT_TRUE(fx.write_file("big.bin", 300000));
    ASSERT_TRUE(fx.write_file("small.txt", 10));
    ASSERT_TRUE(fx.hard_link("small.txt", "twin.txt"));
    ASSERT_TRUE(fx.symlink("big.bin", "link"));
    ASSERT_TRUE(fx.fifo("pipe"));
    Node root = folder("root", 0, {folder("sub", 1)});
    Browse b = browse_over(fx.root(), root);

    auto n = b.node(fx.root(), 10, true);
    ASSERT_TRUE(n.ok());
    EXPECT_FALSE(n->contains("list_error"));
    const json& kids = (*n)["children"];
    EXPECT_EQ(field(kids, "name"), (Strings{"big.bin", "small.txt", "twin.txt", "sub"}));
    EXPECT_EQ((*n)["listed_files"], 3);
    EXPECT_EQ((*n)["children_total"], 4);
    const json& big = kids[0];
    EXPECT_EQ(big["files"], 1);
    EXPECT_EQ(big["dirs"], 0);
    EXPECT_EQ(big["linked"], false);
    EXPECT_EQ(big["logical"], 300000);
    EXPECT_EQ(big["path"], fx.path("big.bin"));
    EXPECT_EQ(big["ext"], "bin");
    EXPECT_EQ(kids[1]["linked"], true);
    EXPECT_EQ(kids[3]["type"], "folder");

    // Files off: the same folder rows, nothing listed.
    auto off = b.node(fx.root(), 10, false);
    EXPECT_EQ(field((*off)["children"], "name"), Strings{"sub"});
    EXPECT_EQ((*off)["listed_files"], 0);
}

// A cut list is the whole list's head, in the same order, with the rest summed; ties in size go
// by name, and a folder of the tree before a listed file of the same name and size.
TEST(BrowseNode, CutKeepsTheWholeOrder) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.ok());
    for (int i = 0; i < 1500; ++i) {
        std::string name = "f" + std::to_string((i * 7919) % 1500);
        ASSERT_TRUE(fx.write_file(name, static_cast<uint64_t>(i % 3) * 4096));
    }
    ASSERT_TRUE(fx.write_file("dup", 4096));
    std::vector<Node> kids;
    kids.push_back(folder("dup", 4096));
    for (const char* name : {"f1000", "e", "zz"})
        kids.push_back(folder(name, 8192));
    kids.push_back(folder("big", 1 << 20));
    Node root = folder("root", 0, std::move(kids));
    for (bool generic : {false, true}) {
        SCOPED_TRACE(generic ? "generic lister" : "bulk lister");
        Node copy = root;
        Browse b = browse_over(fx.root(), copy, {}, generic);
        auto whole = b.node(fx.root(), 1u << 20, true);
        ASSERT_TRUE(whole.ok());
        const json& all = (*whole)["children"];
        ASSERT_EQ(all.size(), 1506u);
        EXPECT_EQ((*whole)["children_total"], 1506);
        EXPECT_EQ((*whole)["rest"], (json{{"alloc", 0}, {"count", 0}}));
        EXPECT_EQ(all[0]["name"], "big");
        for (std::size_t i = 1; i < all.size(); ++i) {
            uint64_t a = all[i - 1]["alloc"], z = all[i]["alloc"];
            ASSERT_TRUE(a > z || (a == z && all[i - 1]["name"] <= all[i]["name"])) << i;
        }
        for (std::size_t limit : {0u, 1u, 2u, 5u, 6u, 7u, 500u, 1505u, 1506u}) {
            SCOPED_TRACE(limit);
            auto cut = b.node(fx.root(), limit, true);
            ASSERT_TRUE(cut.ok());
            const json& kept = (*cut)["children"];
            ASSERT_EQ(kept.size(), limit);
            uint64_t rest = 0;
            for (std::size_t i = 0; i < all.size(); ++i) {
                if (i < limit) {
                    EXPECT_EQ(kept[i], all[i]);
                } else {
                    rest += all[i]["alloc"].get<uint64_t>();
                }
            }
            EXPECT_EQ((*cut)["rest"]["count"], all.size() - limit);
            EXPECT_EQ((*cut)["rest"]["alloc"], rest);
            EXPECT_EQ((*cut)["children_total"], 1506);
            EXPECT_EQ((*cut)["listed_files"], 1501);
        }
        // The folder "dup" and the file "dup" are equal in size and name: the folder first.
        auto at = [&](const char* name) {
            for (std::size_t i = 0; i < all.size(); ++i)
                if (all[i]["name"] == name) return i;
            return all.size();
        };
        std::size_t first = at("dup");
        ASSERT_LT(first + 1, all.size());
        EXPECT_EQ(all[first]["type"], "folder");
        EXPECT_EQ(all[first + 1]["name"], "dup");
        EXPECT_EQ(all[first + 1]["type"], "file");
    }
}

TEST(BrowseNode, ListingFailuresKeepTheFolderRows) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("sub"));
    ASSERT_TRUE(fx.write_file("sub/f", 10));
    // A folder that is in the tree but gone from the disk.
    Node gone = folder("gone", 0, {folder("inner", 4)});
    // A name holding a NUL byte: cut at the NUL it would name the real folder "sub".
    Node nul = folder(std::string("sub\0x", 5), 0, {folder("inner", 2)});
    Node root = folder("root", 0, {std::move(gone), std::move(nul)});
    Browse b = browse_over(fx.root(), root);

    auto n = b.node(fx.path("gone"), 10, true);
    ASSERT_TRUE(n.ok());
    EXPECT_EQ((*n)["list_error"], "No such file or directory (os error 2)");
    EXPECT_EQ(field((*n)["children"], "name"), Strings{"inner"});
    EXPECT_EQ((*n)["listed_files"], 0);

    auto z = b.node(fx.root() + std::string("/sub\0x", 6), 10, true);
    ASSERT_TRUE(z.ok());
    EXPECT_EQ((*z)["list_error"], "file name contained an unexpected NUL byte");
    EXPECT_EQ(field((*z)["children"], "name"), Strings{"inner"});
    EXPECT_EQ((*z)["listed_files"], 0);
}

TEST(BrowseNode, ProtectedFilesAreLookOnly) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("locked", 10));
    if (!fx.set_immutable("locked")) GTEST_SKIP() << "no immutable flag here";
    Node root = folder("root");
    Browse b = browse_over(fx.root(), root);
    auto n = b.node(fx.root(), 10, true);
    ASSERT_TRUE(n.ok());
    ASSERT_EQ((*n)["children"].size(), 1u);
    EXPECT_EQ((*n)["children"][0]["look_only"], true);
    EXPECT_EQ((*n)["children"][0]["look_only_reason"], "protected by macOS");
}

TEST(BrowseTree, ExpandsFolderRowsToTheDepth) {
    Node root = folder(
        "r", 0,
        {folder("a", 0, {folder("a1", 5, {folder("deep", 1)}), folder("a2", 3), folder("a3", 1)}),
         folder("b", 2)});
    Browse b = browse_over("/r", root);
    auto t = b.tree("/r", 2, 2, false);
    ASSERT_TRUE(t.ok());
    EXPECT_FALSE(t->contains("breadcrumb"));
    EXPECT_TRUE(t->contains("children_total"));
    const json& a = (*t)["children"][0];
    EXPECT_EQ(a["name"], "a");
    EXPECT_EQ(field(a["children"], "name"), (Strings{"a1", "a2"}));
    EXPECT_EQ(a["rest"], (json{{"alloc", 1}, {"count", 1}}));
    EXPECT_FALSE(a.contains("children_total"));
    EXPECT_FALSE(a.contains("own_files_alloc"));
    EXPECT_FALSE(a["children"][0].contains("children"));  // depth 2 stops here
    EXPECT_EQ((*t)["children"][1]["children"], json::array());

    auto deeper = b.tree("/r", 3, 2, false);
    EXPECT_EQ(field((*deeper)["children"][0]["children"][0]["children"], "name"), Strings{"deep"});
    for (unsigned depth : {0u, 1u}) {
        auto flat = b.tree("/r", depth, 2, false);
        EXPECT_FALSE((*flat)["children"][0].contains("children")) << depth;
    }
    EXPECT_EQ(b.tree("/x", 2, 2, false).error().message, "/x: not in the scanned tree");
}

Node search_tree() {
    Node photos = with_files(folder("Photos", 0, {folder("Cache", 5 * GB)}),
                             {{"trip.MOV", 3 * GB}, {"b.jpg", 2 * GB}, {"a.jpg", 2 * GB}});
    Node xcode = folder("Xcode.app", 4 * GB);
    Node root =
        with_files(folder("r", 0, {std::move(photos), std::move(xcode)}), {{"root.iso", 1 * GB}});
    return root;
}

TEST(BrowseSearch, FoldersAndFilesByTheQuery) {
    Node root = search_tree();
    Browse b = browse_over("/r", root);
    json all = b.search("", 100);
    EXPECT_EQ(keys(all), (Keys{"query", "matched", "results", "note"}));
    EXPECT_EQ(all["note"], "Searches every folder and every file of at least 1 MB.");
    EXPECT_EQ(all["query"], "");
    // The root itself is never a result; equal sizes in path order.
    EXPECT_EQ(field(all["results"], "path"),
              (Strings{"/r/Photos", "/r/Photos/Cache", "/r/Xcode.app", "/r/Photos/trip.MOV",
                       "/r/Photos/a.jpg", "/r/Photos/b.jpg", "/r/root.iso"}));
    EXPECT_EQ(all["matched"], 7);

    json exts = b.search("ext:jpg", 100);
    EXPECT_EQ(field(exts["results"], "path"), (Strings{"/r/Photos/a.jpg", "/r/Photos/b.jpg"}));
    EXPECT_EQ(exts["results"][0]["type"], "file");
    EXPECT_FALSE(exts["results"][0].contains("linked"));

    json folders = b.search("is:folder PHOTOS", 100);
    EXPECT_EQ(field(folders["results"], "path"), (Strings{"/r/Photos", "/r/Photos/Cache"}));
    json words = b.search("photos -cache size:>2.5g", 100);
    EXPECT_EQ(field(words["results"], "path"), (Strings{"/r/Photos", "/r/Photos/trip.MOV"}));
    json apps = b.search("kind:app", 100);
    EXPECT_EQ(field(apps["results"], "path"), Strings{"/r/Xcode.app"});
    json videos = b.search("kind:video,disk-image", 100);
    EXPECT_EQ(field(videos["results"], "path"), (Strings{"/r/Photos/trip.MOV", "/r/root.iso"}));
    EXPECT_EQ(b.search("is:file", 100)["matched"], 4);
}

TEST(BrowseSearch, LimitCountsEveryMatch) {
    Node root = search_tree();
    Browse b = browse_over("/r", root);
    json two = b.search("photos", 2);
    EXPECT_EQ(two["matched"], 5);
    EXPECT_EQ(field(two["results"], "path"), (Strings{"/r/Photos", "/r/Photos/Cache"}));
    json zero = b.search("", 0);
    EXPECT_EQ(zero["matched"], 7);
    EXPECT_TRUE(zero["results"].empty());
}

// Many equal-sized files spread over folders: the cuts on the way keep the first met (pre-order)
// among equal sizes, and the final order is by path.
TEST(BrowseSearch, TrimsOnTheWayKeepTheFirstMetAmongEqualSizes) {
    std::vector<Node> kids;
    for (char c : std::string("edcba")) {
        std::vector<std::pair<std::string, uint64_t>> files;
        for (int i = 0; i < 3; ++i)
            files.push_back({std::string(1, c) + std::to_string(i), GB});
        kids.push_back(with_files(folder(std::string(1, c)), files));
    }
    Node root = folder("r", 0, std::move(kids));
    Browse b = browse_over("/r", root);
    json r = b.search("is:file", 1);
    EXPECT_EQ(r["matched"], 15);
    // Folders are visited a..e (equal sizes, by name); the first cut keeps the first file met.
    EXPECT_EQ(field(r["results"], "path"), Strings{"/r/a/a0"});
    // A bigger file met late still wins.
    root.children[4].files.push_back(FileRec{"late", 2 * GB, 0, 0, 0});
    EXPECT_EQ(field(b.search("is:file", 2)["results"], "path"), (Strings{"/r/e/late", "/r/a/a0"}));
}

// Matches too small to ever be kept still count towards the next cut: that cut decides ties at
// the boundary by the order met, where the final sort alone would decide them by path.
TEST(BrowseSearch, SmallMatchesStillBringTheNextCut) {
    auto small_files = [](char c, int n) {
        std::vector<std::pair<std::string, uint64_t>> files;
        for (int i = 0; i < n; ++i)
            files.push_back({std::string(1, c) + std::to_string(i), GB / 10});
        return files;
    };
    // "z" is bigger, so it is met first; "a" holds a tie with z's second file at a smaller path.
    auto z_files = small_files('s', 7);
    z_files.insert(z_files.begin(), {{"p", 10 * GB}, {"q", 5 * GB}});
    auto a_files = small_files('t', 6);
    a_files.insert(a_files.begin(), {"r", 5 * GB});
    Node root =
        folder("r", 0, {with_files(folder("z"), z_files), with_files(folder("a"), a_files)});
    Browse b = browse_over("/r", root);
    json r = b.search("is:file", 2);
    EXPECT_EQ(r["matched"], 16);
    EXPECT_EQ(field(r["results"], "path"), (Strings{"/r/z/p", "/r/z/q"}));
}

}  // namespace
}  // namespace bwcore
