#include "walk.hpp"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <utility>

#include "fixture.hpp"
#include "list_generic.hpp"
#include "views.hpp"

using bwcore::Node;
using bwcore::walk::Walker;
using bwtest::Fixture;

namespace {

// Walks `root` as a scan does and settles the tree. `home` switches rules and hints on.
struct Walk {
    bwcore::Rules rules = bwcore::Rules::defaults();
    bwcore::MarkerIndex index = rules.marker_index();
    bwcore::walk::Counters counters;
    bwcore::walk::WalkOptions opt;

    Node run(const std::string& root, std::optional<Node> cached = std::nullopt,
             const bwcore::fsevents::Changes* changes = nullptr) {
        auto e = bwcore::list_generic::stat_path(root);
        EXPECT_TRUE(e.ok());
        opt.root_dev = e->dev;
        Walker w(opt, rules, index, changes, counters);
        Node n = w.walk_root(root, *e, std::move(cached));
        bwcore::tree::settle_links(n);
        return n;
    }
};

// An independent sum of what a walk should count: allocated bytes of folders and regular
// files below `root` (the root included), each (device, inode) once, links not followed.
std::set<std::pair<dev_t, ino_t>> g_seen;
uint64_t g_sum;
uint64_t disk_usage(const std::string& root) {
    g_seen.clear();
    g_sum = 0;
    nftw(
        root.c_str(),
        [](const char*, const struct stat* st, int type, struct FTW*) {
            if ((type == FTW_F && S_ISREG(st->st_mode)) || type == FTW_D) {
                if (g_seen.insert({st->st_dev, st->st_ino}).second)
                    g_sum += static_cast<uint64_t>(st->st_blocks) * 512;
            }
            return 0;
        },
        64, FTW_PHYS | FTW_MOUNT);
    return g_sum;
}

const Node* child(const Node& n, std::string_view name) {
    for (const Node& c : n.children)
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace

TEST(Walk, CountsEveryFolderAndFileWithLinksOnce) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("a");
    fx.make_dir("b");
    fx.make_dir("a/deep");
    fx.write_file("a/deep/small", 3000);
    fx.write_file("a/big", 2 << 20);
    fx.hard_link("a/big", "b/big-again");
    fx.sparse_file("b/sparse", 50 << 20);
    fx.symlink("a", "b/to-a");
    fx.fifo("b/pipe");
    Walk w;
    Node root = w.run(fx.root());
    EXPECT_EQ(root.total.alloc, disk_usage(fx.root()));
    EXPECT_EQ(root.total.files, 3u);  // the link counts once; symlink and fifo not at all
    EXPECT_EQ(root.total.dirs, 4u);
    const Node* a = child(root, "a");
    const Node* b = child(root, "b");
    ASSERT_TRUE(a && b);
    // Both names are link records (not own files) and both are recorded as big files.
    EXPECT_EQ(a->own.files, 0u);
    ASSERT_EQ(a->links.size(), 1u);
    ASSERT_EQ(b->links.size(), 1u);
    EXPECT_EQ(a->files.size(), 1u);
    EXPECT_EQ(b->files.size(), 2u);
    EXPECT_EQ(a->total.files, 2u);  // "a" comes first by name and carries the linked file
    EXPECT_EQ(b->total.files, 1u);
    EXPECT_EQ(w.counters.dirs.load(), 4u);
    EXPECT_EQ(w.counters.listed.load(), 4u);
}

TEST(Walk, OtherDeviceAndProtectedItemsAreSkippedWithReasons) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("mnt");
    fx.make_dir("locked");
    fx.write_file("locked/inside", 100);
    bool mounted = fx.mount_tmpfs("mnt");
    bool locked = fx.set_immutable("locked");
    if (!mounted && !locked) GTEST_SKIP() << "needs privileges for mounts and inode flags";
    Walk w;
    Node root = w.run(fx.root());
    std::set<std::pair<std::string, std::string>> samples;
    for (const auto& s : root.skipped)
        samples.insert({s.path, s.reason});
    if (mounted) {
        EXPECT_EQ(child(root, "mnt"), nullptr);
        EXPECT_TRUE(samples.count({fx.path("mnt"), "other-device"}));
    }
    if (locked) {
        EXPECT_EQ(child(root, "locked"), nullptr);
        EXPECT_TRUE(samples.count({fx.path("locked"), "protected"}));
        EXPECT_EQ(root.own.protected_, 1u);
        Walk full;
        full.opt.full = true;
        Node all = full.run(fx.root());
        ASSERT_NE(child(all, "locked"), nullptr);
        EXPECT_EQ(child(all, "locked")->own.files, 1u);
        EXPECT_EQ(all.own.protected_, 1u);
        EXPECT_EQ(all.own.skipped, root.own.skipped - 1);
    }
}

TEST(Walk, DevBuildFoldersAreRecognisedByTheirMarkers) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    for (auto d : {"node_modules",
                   "p",
                   "p/node_modules",
                   "p/node_modules/x",
                   "p/node_modules/x/node_modules",
                   "g",
                   "g/build",
                   "g/build/.git",
                   "v",
                   "v/.venv",
                   "w",
                   "w/.venv",
                   "DerivedData",
                   "cf",
                   "cf/.wrangler",
                   "Library",
                   "Library/proj",
                   "Library/proj/node_modules",
                   "repo",
                   "repo/.git"})
        fx.make_dir(d);
    for (auto f : {"p/package.json", "p/node_modules/x/package.json", "g/build.gradle",
                   "v/.venv/pyvenv.cfg", "cf/wrangler.toml", "Library/proj/package.json"})
        fx.write_file(f, 10);
    Walk w;
    w.opt.home = fx.root();
    Node root = w.run(fx.root());
    auto kind = [&](std::string_view rel) {
        const Node* n = bwcore::scan::find(root, fx.root(), fx.path(rel));
        EXPECT_NE(n, nullptr) << rel;
        return n ? std::make_pair(n->dev_kind, n->marker)
                 : std::make_pair(uint16_t{9999}, std::string());
    };
    EXPECT_EQ(kind("p/node_modules"), std::make_pair(uint16_t{1}, std::string("package.json")));
    EXPECT_EQ(kind("node_modules").first, 0);                   // directly in home
    EXPECT_EQ(kind("p/node_modules/x/node_modules").first, 0);  // inside a nested name
    EXPECT_EQ(kind("g/build").first, 0);                        // holds .git: a project
    EXPECT_EQ(kind("v/.venv"), std::make_pair(uint16_t{3}, std::string("pyvenv.cfg")));
    EXPECT_EQ(kind("w/.venv").first, 0);
    EXPECT_EQ(kind("DerivedData").first, 1000);
    EXPECT_EQ(kind("cf/.wrangler").first, 1001);
    EXPECT_EQ(kind("Library/proj/node_modules").first, 0);  // nothing in Library
    const Node* repo = child(root, "repo");
    ASSERT_NE(repo, nullptr);
    EXPECT_EQ(repo->markers, w.index.git_mask);
}

// A cached tree and an unchanged disk: everything is reused, nothing is listed, and the totals
// are those of a fresh walk. Then big files change inside a folder whose mtime is restored.
TEST(Walk, ReuseRechecksBigFilesOfCachedFolders) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("d");
    fx.make_dir("d/sub");
    fx.write_file("d/grows", 2 << 20);
    fx.write_file("d/goes", 2 << 20);
    fx.write_file("d/replaced", 2 << 20);
    fx.write_file("d/linked", 2 << 20);
    fx.hard_link("d/linked", "linked-too");
    Walk first;
    first.opt.recheck_min = 1 << 20;
    Node cached = first.run(fx.root());

    Walk again;
    again.opt.recheck_min = 1 << 20;
    Node same = again.run(fx.root(), cached);
    EXPECT_EQ(again.counters.listed.load(), 0u);
    EXPECT_EQ(again.counters.reused.load(), 3u);
    EXPECT_EQ(same.total, cached.total);

    struct stat st;
    ASSERT_EQ(stat(fx.path("d").c_str(), &st), 0);
    fx.write_file("d/grows", 5 << 20);
    unlink(fx.path("d/goes").c_str());
    // Same name, another inode: made before the old one goes, so the number cannot be reused.
    fx.write_file("d/replaced.new", 3 << 20);
    ASSERT_EQ(rename(fx.path("d/replaced.new").c_str(), fx.path("d/replaced").c_str()), 0);
    unlink(fx.path("d/linked").c_str());  // the other name keeps the inode
    fx.set_mtime("d", st.st_mtim.tv_sec, st.st_mtim.tv_nsec);

    Walk later;
    later.opt.recheck_min = 1 << 20;
    Node after = later.run(fx.root(), same);
    EXPECT_GE(later.counters.reused.load(), 1u);
    Walk fresh;
    Node truth = fresh.run(fx.root());
    const Node* d = child(after, "d");
    const Node* td = child(truth, "d");
    ASSERT_TRUE(d && td);
    // No stale size or twin record is left: only the grown file remains, with its new size.
    ASSERT_EQ(d->files.size(), 1u);
    EXPECT_EQ(d->files[0].name, "grows");
    EXPECT_TRUE(d->links.empty());
    EXPECT_EQ(d->own.files, 1u);
    uint64_t grown = 0, replaced = 0;
    for (const auto& f : td->files)
        (f.name == "grows" ? grown : replaced) = f.alloc;
    EXPECT_EQ(d->files[0].alloc, grown);
    // The replacement itself is only seen by listing (a real replace moves the folder's
    // mtime); everything else matches a fresh walk exactly.
    EXPECT_EQ(after.total.alloc + replaced, truth.total.alloc);
    EXPECT_EQ(after.total.files + 1, truth.total.files);
    EXPECT_EQ(after.total.dirs, truth.total.dirs);
}

TEST(Walk, ARescanSubtreeListsEveryFolderInsideIt) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("a");
    fx.make_dir("a/b");
    fx.write_file("a/b/f", 100);
    Walk first;
    Node cached = first.run(fx.root());
    bwcore::fsevents::Changes ch;
    ch.rescan_subtrees = {"/"};
    Walk again;
    Node n = again.run(fx.root(), cached, &ch);
    EXPECT_EQ(again.counters.listed.load(), 3u);
    EXPECT_EQ(again.counters.reused.load(), 0u);
    EXPECT_EQ(n.total, cached.total);
}

// A wide folder with changed files is patched from its change list, twice in a row, and stays
// equal to a fresh walk: no record twice, no size counted twice.
TEST(Walk, PatchingAWideFolderMatchesAFreshWalk) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("wide");
    fx.make_dir("wide/sub");
    for (int i = 0; i < 4200; ++i)
        fx.write_file("wide/f" + std::to_string(i), i % 7 ? 10 : 0);
    fx.write_file("wide/big", 2 << 20);
    Walk first;
    Node tree = first.run(fx.root());
    ASSERT_EQ(child(tree, "wide")->all_files.size(), 4201u);
    std::string wide = fx.path("wide");
    for (int round = 0; round < 2; ++round) {
        fx.write_file("wide/big", (3 + round) << 20);
        fx.write_file("wide/new" + std::to_string(round), 5000);
        unlink(fx.path("wide/f" + std::to_string(round)).c_str());
        bwcore::fsevents::Changes ch;
        ch.changed_dirs.insert(wide);
        auto& names = ch.changed_files[wide];
        for (auto n :
             {std::string("big"), "new" + std::to_string(round), "f" + std::to_string(round)})
            names.insert(n);
        Walk again;
        tree = again.run(fx.root(), std::move(tree), &ch);
        EXPECT_EQ(again.counters.patched.load(), 1u);
        EXPECT_EQ(again.counters.listed.load(), 0u);
        Walk fresh;
        Node truth = fresh.run(fx.root());
        EXPECT_EQ(tree.total, truth.total);
        const Node* w = child(tree, "wide");
        EXPECT_EQ(w->own, child(truth, "wide")->own);
        ASSERT_EQ(w->files.size(), 1u);
        EXPECT_EQ(w->all_files.size(), child(truth, "wide")->all_files.size());
    }
    // A changed name that is a folder of the cached node cannot be patched.
    bwcore::fsevents::Changes ch;
    ch.changed_dirs.insert(wide);
    ch.changed_files[wide].insert("sub");
    Walk again;
    again.run(fx.root(), std::move(tree), &ch);
    EXPECT_EQ(again.counters.patched.load(), 0u);
    EXPECT_EQ(again.counters.listed.load(), 1u);
}

// A volume mounted below an unchanged folder after the cached scan must not be walked into.
TEST(Walk, AReusedFolderWithANewMountIsListedInstead) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    fx.make_dir("d");
    fx.make_dir("d/m");
    fx.write_file("d/m/f", 4096);
    Walk first;
    Node cached = first.run(fx.root());
    if (!fx.mount_tmpfs("d/m")) GTEST_SKIP() << "needs privileges to mount";
    fx.write_file("d/m/on-tmpfs", 8192);
    Walk again;
    Node n = again.run(fx.root(), cached);
    const Node* d = child(n, "d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(child(*d, "m"), nullptr);
    ASSERT_EQ(d->skipped.size(), 1u);
    EXPECT_EQ(d->skipped[0].reason, "other-device");
    Walk fresh;
    EXPECT_EQ(n.total, fresh.run(fx.root()).total);
}

// A folder that could not be listed is stored with mtime 0, so a later walk with the cache
// lists it again instead of reusing the empty node.
TEST(Walk, AFailedListingIsNeverReused) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("d") && fx.make_dir("d/e"));
    ASSERT_TRUE(fx.write_file("d/e/f", 5000));
    Node cached;
    {
        // Out of descriptors, the listing of the top folder fails (EMFILE).
        bwtest::NoFreeDescriptors shut;
        Walk first;
        cached = first.run(fx.root());
    }
    ASSERT_EQ(cached.skipped.size(), 1u);
    EXPECT_EQ(cached.skipped[0].path, fx.root());
    EXPECT_EQ(cached.skipped[0].reason, "error");
    EXPECT_EQ(cached.mtime, 0);
    EXPECT_TRUE(cached.children.empty());
    Walk again;
    Node n = again.run(fx.root(), cached);
    EXPECT_EQ(again.counters.listed.load(), 3u);
    EXPECT_EQ(again.counters.reused.load(), 0u);
    Walk fresh;
    EXPECT_EQ(n.total, fresh.run(fx.root()).total);
    EXPECT_EQ(n.total.files, 1u);
}

// The walk opens each folder inside its parent, so a chain whose whole path is longer than
// the kernel takes is counted as du counts it, by both listers, and a later walk reuses it,
// re-reading its big files by their long paths.
TEST(Walk, FoldersPastThePathLimitAreCounted) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("long"));
    ASSERT_TRUE(fx.chain("long", 30, 200, 1200000));  // about 6,000 bytes of path
    const uint64_t du = bwtest::du_bytes(fx.root());
    ASSERT_GT(du, 30u * 1200000);
    for (bool generic : {false, true}) {
        Walk first;
        first.opt.generic_lister = generic;
        first.opt.recheck_min = 1;
        Node n = first.run(fx.root());
        EXPECT_EQ(n.total.alloc, du) << generic;
        EXPECT_EQ(n.total.files, 30u);
        EXPECT_EQ(n.total.dirs, 32u);
        EXPECT_EQ(n.total.skipped, 0u);
        EXPECT_TRUE(bwcore::scan::skipped_samples(n, 5).empty());
        Walk again;
        again.opt.generic_lister = generic;
        again.opt.recheck_min = 1;
        Node back = again.run(fx.root(), n);
        EXPECT_EQ(again.counters.listed.load(), 0u);
        EXPECT_EQ(again.counters.reused.load(), 32u);
        EXPECT_EQ(back.total, n.total);
    }
    EXPECT_TRUE(fx.remove_chain("long"));
}

// The cached children of an unchanged folder are looked up again one by one, relative to the
// open folder once it has more than one of them (and from several threads past sixteen).
class ReusedChildren : public ::testing::Test {
protected:
    static constexpr int KEPT = 20;

    void SetUp() override {
        ASSERT_TRUE(fx.ok());
        ASSERT_TRUE(fx.make_dir("d"));
        for (int i = 0; i < KEPT; ++i) {
            std::string sub = "d/k" + std::to_string(i);
            ASSERT_TRUE(fx.make_dir(sub));
            ASSERT_TRUE(fx.write_file(sub + "/f", 4096));
        }
        ASSERT_TRUE(fx.make_dir("d/gone"));
        ASSERT_TRUE(fx.make_dir("d/now-file"));
        ASSERT_TRUE(fx.make_dir("d/m"));
        cached = first.run(fx.root());
        ASSERT_EQ(stat(fx.path("d").c_str(), &d_stat), 0);
    }
    // Puts back the folder's mtime, so the walk takes it from the cache whatever changed in it.
    void keep_mtime() {
        ASSERT_TRUE(fx.set_mtime("d", d_stat.st_mtim.tv_sec, d_stat.st_mtim.tv_nsec));
    }
    std::set<std::string> child_names(const Node& n) {
        std::set<std::string> out;
        if (const Node* d = child(n, "d"))
            for (const Node& c : d->children)
                out.insert(c.name);
        return out;
    }

    Fixture fx;
    Walk first;
    Node cached;
    struct stat d_stat {};
};

TEST_F(ReusedChildren, AVanishedChildOrOneNoLongerAFolderIsDropped) {
    ASSERT_EQ(rmdir(fx.path("d/gone").c_str()), 0);
    ASSERT_EQ(rmdir(fx.path("d/now-file").c_str()), 0);
    ASSERT_TRUE(fx.write_file("d/now-file", 4096));
    keep_mtime();
    Walk again;
    Node n = again.run(fx.root(), cached);
    // Nothing is listed: the folder stays reused, and only its two lost children are gone.
    EXPECT_EQ(again.counters.listed.load(), 0u);
    EXPECT_EQ(again.counters.reused.load(), first.counters.dirs.load() - 2);
    std::set<std::string> want = child_names(cached);
    want.erase("gone");
    want.erase("now-file");
    EXPECT_EQ(child_names(n), want);
    EXPECT_EQ(n.total.dirs + 2, cached.total.dirs);
    const Node* d = child(n, "d");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->skipped.empty());
}

TEST_F(ReusedChildren, AChildThatBecameAMountRootMakesTheFolderListed) {
    if (!fx.mount_tmpfs("d/m")) GTEST_SKIP() << "needs privileges to mount";
    keep_mtime();
    Walk again;
    Node n = again.run(fx.root(), cached);
    const Node* d = child(n, "d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(child(*d, "m"), nullptr);
    ASSERT_EQ(d->skipped.size(), 1u);
    EXPECT_EQ(d->skipped[0].reason, "other-device");
    EXPECT_EQ(d->skipped[0].path, fx.path("d/m"));
    // Only "d" is listed: the root and d's other children are still taken from the cache.
    EXPECT_EQ(again.counters.listed.load(), 1u);
    EXPECT_EQ(again.counters.reused.load(), first.counters.dirs.load() - 2);
    Walk fresh;
    EXPECT_EQ(n.total, fresh.run(fx.root()).total);
}

// Settling as the walk goes gives the tree settling afterwards gives, wherever the hard links
// lie: the first by name may be deep, in the root, twice in one folder, or in a folder that the
// counted link makes bigger than the siblings before it.
TEST(Walk, SettledAsItGoesEqualsSettledAfter) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    for (const char* d : {"a", "a/z", "a/z/deep", "b", "c", "c/inner", "d", "e"})
        ASSERT_TRUE(fx.make_dir(d));
    ASSERT_TRUE(fx.write_file("c/inner/filler", 3 << 20));  // c outweighs b without links
    ASSERT_TRUE(fx.write_file("top", 1 << 20));
    ASSERT_TRUE(fx.hard_link("top", "e/top-again"));
    ASSERT_TRUE(fx.write_file("d/heavy", 6 << 20));
    ASSERT_TRUE(fx.hard_link("d/heavy", "b/heavy"));  // counted in b: b then outweighs c
    ASSERT_TRUE(fx.hard_link("d/heavy", "b/heavy-twice"));
    ASSERT_TRUE(fx.write_file("c/inner/shared", 200000));
    ASSERT_TRUE(fx.hard_link("c/inner/shared", "a/z/deep/shared"));  // the deep one is first
    ASSERT_TRUE(fx.hard_link("c/inner/shared", "e/shared"));
    ASSERT_TRUE(fx.write_file("e/solo", 5000));
    ASSERT_TRUE(fx.hard_link("e/solo", "e/solo2"));
    for (bool generic : {false, true}) {
        SCOPED_TRACE(generic ? "generic lister" : "bulk lister");
        Walk w;
        w.opt.generic_lister = generic;
        Node after = w.run(fx.root());
        auto e = bwcore::list_generic::stat_path(fx.root());
        ASSERT_TRUE(e.ok());
        Walker walker(w.opt, w.rules, w.index, nullptr, w.counters);
        Node going = bwcore::walk::settle(walker.walk_root_linked(fx.root(), *e, std::nullopt));
        EXPECT_TRUE(going == after);
        ASSERT_EQ(after.children.size(), 5u);
        EXPECT_EQ(after.children[0].name, "b");  // the counted link put it before c
        // From the cache: the reused folders pass their links up the same way.
        Node reused =
            bwcore::walk::settle(walker.walk_root_linked(fx.root(), *e, std::optional(after)));
        EXPECT_TRUE(reused == after);
    }
}

namespace {
int open_descriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}
}  // namespace

// Subfolders are opened inside their held-open parents, up to a bound; a chain deeper than that
// bound walks the same, and every descriptor is closed afterwards.
TEST(Walk, HeldParentsAreBoundedAndClosed) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    std::string rel = "c";
    for (int i = 0; i < 600; ++i, rel += "/c") {
        ASSERT_TRUE(fx.make_dir(rel));
        ASSERT_TRUE(fx.make_dir(rel + "/side"));
        ASSERT_TRUE(fx.write_file(rel + "/side/f", 10));
    }
    int before = open_descriptors();
    Walk bulk;
    Node a = bulk.run(fx.root());
    EXPECT_EQ(open_descriptors(), before);
    Walk generic;  // opens every folder by its whole path
    generic.opt.generic_lister = true;
    Node b = generic.run(fx.root());
    EXPECT_EQ(a.total, b.total);
    EXPECT_EQ(a.total.dirs, 1201u);
    EXPECT_EQ(a.total.files, 600u);
    EXPECT_EQ(a.total.skipped, 0u);

    // With few descriptors allowed, fewer are held, and no folder fails to open for want of one.
    struct rlimit was {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
    struct rlimit tight_lim = was;
    tight_lim.rlim_cur = std::min<rlim_t>(was.rlim_cur, before + 48);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight_lim), 0);
    Walk tight;
    Node c = tight.run(fx.root());
    setrlimit(RLIMIT_NOFILE, &was);
    EXPECT_EQ(c.total, a.total);
}
