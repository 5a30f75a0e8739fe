#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "tree.hpp"

namespace bwcore {
namespace {

Node folder(std::string name, uint64_t self_alloc = 0) {
    Node n;
    n.name = std::move(name);
    n.self_alloc = self_alloc;
    return n;
}

LinkRec link(std::string name, uint64_t ino, uint64_t alloc, int64_t mtime = 0) {
    return LinkRec{std::move(name), 1, ino, alloc, alloc / 2, mtime};
}

std::vector<std::string> child_names(const Node& n) {
    std::vector<std::string> out;
    for (const Node& c : n.children)
        out.push_back(c.name);
    return out;
}

const Node& child(const Node& n, const std::string& name) {
    for (const Node& c : n.children)
        if (c.name == name) return c;
    throw std::runtime_error("no child " + name);
}

TEST(TreeJoin, SlashHandling) {
    EXPECT_EQ(tree::join("/", "a"), "/a");
    EXPECT_EQ(tree::join("/x/", "a"), "/x/a");
    EXPECT_EQ(tree::join("/x", "a"), "/x/a");
    EXPECT_EQ(tree::join("", "a"), "/a");
    EXPECT_EQ(tree::join("/x//", "a"), "/x//a");  // only one slash is ever added, none removed
}

TEST(TreeVisit, PreOrderWithFullPaths) {
    Node root = folder("");
    Node a = folder("a");
    a.children.push_back(folder("deep"));
    root.children.push_back(std::move(a));
    root.children.push_back(folder("b"));
    std::vector<std::string> seen;
    tree::visit(root, "/",
                [&](const std::string& p, const Node& n) { seen.push_back(p + "=" + n.name); });
    EXPECT_EQ(seen, (std::vector<std::string>{"/=", "/a=a", "/a/deep=deep", "/b=b"}));

    // A sibling's path must not keep the previous sibling's longer path.
    seen.clear();
    tree::visit(root, "/r/", [&](const std::string& p, Node&) { seen.push_back(p); });
    EXPECT_EQ(seen, (std::vector<std::string>{"/r/", "/r/a", "/r/a/deep", "/r/b"}));
}

// One file with three names in three folders is counted once, in the first folder in name order.
TEST(TreeSettle, HardLinkCountedOnceInFirstFolderByName) {
    Node root = folder("r", 10);
    for (const char* name : {"c", "a", "b"}) {
        Node f = folder(name, 1);
        f.links.push_back(link("x", 77, 1000, 50));
        root.children.push_back(std::move(f));
    }
    tree::settle_links(root);
    EXPECT_EQ(root.total.alloc, 10u + 3u + 1000u);
    EXPECT_EQ(root.total.logical, 500u);
    EXPECT_EQ(root.total.files, 1u);
    EXPECT_EQ(root.total.dirs, 4u);
    EXPECT_EQ(root.total.mtime, 50);
    EXPECT_EQ(child(root, "a").total.alloc, 1001u);
    EXPECT_EQ(child(root, "a").total.files, 1u);
    for (const char* other : {"b", "c"}) {
        EXPECT_EQ(child(root, other).total.alloc, 1u) << other;
        EXPECT_EQ(child(root, other).total.files, 0u) << other;
        EXPECT_EQ(child(root, other).total.mtime, 0) << other;
    }
    EXPECT_EQ(child_names(root), (std::vector<std::string>{"a", "b", "c"}));
}

// Name order at each level wins over depth: a/deep/deeper comes before b.
TEST(TreeSettle, DepthFirstNameOrderBeatsDepth) {
    Node root = folder("r");
    Node b = folder("b");
    b.links.push_back(link("l2", 5, 400));
    Node deeper = folder("deeper");
    deeper.links.push_back(link("l1", 5, 400));
    Node deep = folder("deep");
    deep.children.push_back(std::move(deeper));
    Node a = folder("a");
    a.children.push_back(std::move(deep));
    root.children.push_back(std::move(b));
    root.children.push_back(std::move(a));
    tree::settle_links(root);
    EXPECT_EQ(child(root, "a").total.alloc, 400u);
    EXPECT_EQ(child(root, "b").total.alloc, 0u);
    EXPECT_EQ(root.total.alloc, 400u);
    EXPECT_EQ(root.total.files, 1u);
}

// Links inside one folder are taken in name order, and a second name of the same file in the
// same folder adds nothing; the same inode on another device is another file.
TEST(TreeSettle, LinksSortedAndKeyedOnDeviceAndInode) {
    Node root = folder("r");
    root.links = {link("z", 9, 100, 7), link("m", 9, 100, 3), LinkRec{"q", 2, 9, 60, 60, 1}};
    tree::settle_links(root);
    EXPECT_EQ(root.links[0].name, "m");
    EXPECT_EQ(root.links[2].name, "z");
    EXPECT_EQ(root.total.alloc, 160u);
    EXPECT_EQ(root.total.files, 2u);
    EXPECT_EQ(root.total.mtime, 3);  // "z" was not met first, so its mtime does not count
}

TEST(TreeSettle, ChildrenBySizeThenByteOrder) {
    Node root = folder("r");
    for (const char* name : {"a", "B", "\xc3\xa9", "z"})
        root.children.push_back(folder(name, 5));
    root.children.push_back(folder("small", 1));
    root.children.push_back(folder("big", 9));
    tree::settle_links(root);
    EXPECT_EQ(child_names(root),
              (std::vector<std::string>{"big", "B", "a", "z", "\xc3\xa9", "small"}));
}

TEST(TreeSettle, TotalsFollowTheInvariants) {
    Node root = folder("r", 4096);
    root.self_logical = 100;
    root.mtime = 20;
    root.own = Agg{1000, 900, 3, 0, 10, 1, 2, 3};
    Node sub = folder("s", 4096);
    sub.own = Agg{50, 40, 2, 0, 99, 4, 5, 6};
    root.children.push_back(std::move(sub));
    root.children.push_back(folder("empty", 4096));
    tree::settle_links(root);
    EXPECT_EQ(child(root, "empty").total.dirs, 1u);
    EXPECT_EQ(child(root, "empty").total.alloc, 4096u);
    const Agg& t = root.total;
    EXPECT_EQ(t.alloc, 1000u + 4096 + 50 + 4096 + 4096);
    EXPECT_EQ(t.logical, 900u + 100 + 40);
    EXPECT_EQ(t.files, 5u);
    EXPECT_EQ(t.dirs, 3u);
    EXPECT_EQ(t.mtime, 99);
    EXPECT_EQ(t.dataless, 5u);
    EXPECT_EQ(t.protected_, 7u);
    EXPECT_EQ(t.skipped, 9u);
}

// Totals are rebuilt from the stored fields, so stale totals (a cached subtree) and a second
// run change nothing.
TEST(TreeSettle, IdempotentOverStaleTotals) {
    Node root = folder("r", 1);
    Node a = folder("a", 2);
    a.links.push_back(link("l", 3, 30));
    a.total = Agg{999, 999, 999, 999, 999, 999, 999, 999};
    root.children.push_back(std::move(a));
    root.children.push_back(folder("b", 2));
    root.children.back().links.push_back(link("l", 3, 30));
    tree::settle_links(root);
    Node once = root;
    tree::settle_links(root);
    EXPECT_EQ(root, once);
    EXPECT_EQ(root.total.alloc, 35u);
}

TEST(TreeSettle, SumsSaturate) {
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    Node root = folder("r", max - 1);
    root.own.alloc = 5;
    root.own.files = max;
    Node a = folder("a", max);
    a.links.push_back(link("l", 1, max));
    root.children.push_back(std::move(a));
    tree::settle_links(root);
    EXPECT_EQ(root.total.alloc, max);
    EXPECT_EQ(root.total.files, max);
    EXPECT_EQ(child(root, "a").total.alloc, max);
}

// A chain far deeper than any real tree: settling, visiting, copying out and dropping it must
// not use the call stack per level (this runs on the 8 MiB main thread, and under sanitizers).
// Settling written the plain way: recursion and stable sorts of the nodes themselves.
void settle_plainly(Node& n, std::unordered_set<uint64_t>& seen) {
    Agg t;
    t.alloc = n.own.alloc + n.self_alloc;
    t.logical = n.own.logical + n.self_logical;
    t.files = n.own.files;
    t.dirs = n.own.dirs + 1;
    t.mtime = std::max(n.own.mtime, n.mtime);
    t.skipped = n.own.skipped;
    std::stable_sort(n.links.begin(), n.links.end(),
                     [](const LinkRec& a, const LinkRec& b) { return a.name < b.name; });
    for (const LinkRec& l : n.links) {
        if (!seen.insert(l.ino).second) continue;
        t.alloc += l.alloc;
        t.logical += l.logical;
        t.files += 1;
        t.mtime = std::max(t.mtime, l.mtime);
    }
    std::stable_sort(n.children.begin(), n.children.end(),
                     [](const Node& a, const Node& b) { return a.name < b.name; });
    for (Node& c : n.children) {
        settle_plainly(c, seen);
        t.add(c.total);
    }
    std::stable_sort(n.children.begin(), n.children.end(), [](const Node& a, const Node& b) {
        if (a.total.alloc != b.total.alloc) return a.total.alloc > b.total.alloc;
        return a.name < b.name;
    });
    n.total = t;
}

// A tree in no particular order, with names repeated inside one folder (as a damaged cache file
// may hold) whose nodes differ, sizes that tie, and links shared across folders.
Node shuffled_tree(std::mt19937& rng, int depth) {
    Node n = folder("n", rng() % 4);
    int kids = depth == 0 ? 0 : static_cast<int>(rng() % 6);
    for (int i = 0; i < kids; ++i) {
        Node c = shuffled_tree(rng, depth - 1);
        c.name = std::string(1, static_cast<char>('a' + rng() % 3));
        c.own.skipped = rng() % 2;  // tells apart nodes of one name and size
        n.children.push_back(std::move(c));
    }
    for (int i = static_cast<int>(rng() % 3); i > 0; --i)
        n.links.push_back(link(std::string(1, static_cast<char>('k' + rng() % 3)), rng() % 5,
                               rng() % 3, static_cast<int64_t>(rng() % 9)));
    return n;
}

TEST(TreeSettle, SameResultAsPlainStableSortsOnAnyOrder) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Node tree = shuffled_tree(rng, 4);
        Node want = tree;
        std::unordered_set<uint64_t> seen;
        settle_plainly(want, seen);
        tree::settle_links(tree);
        ASSERT_EQ(tree, want) << "round " << round;
        // Settled lists arrive in size order, not in the order they were built in.
        seen.clear();
        settle_plainly(want, seen);
        tree::settle_links(tree);
        ASSERT_EQ(tree, want) << "settled twice, round " << round;
    }
}

TEST(TreeDepth, VeryDeepChainIsStackSafe) {
    constexpr std::size_t depth = 150000;
    Node chain = folder("leaf", 1);
    for (std::size_t i = 1; i < depth; ++i) {
        Node parent = folder("d", 1);
        parent.children.push_back(std::move(chain));
        chain = std::move(parent);
    }
    tree::settle_links(chain);
    EXPECT_EQ(chain.total.dirs, depth);
    EXPECT_EQ(chain.total.alloc, depth);
    std::size_t count = 0, longest = 0;
    tree::visit(chain, "/", [&](const std::string& p, const Node&) {
        ++count;
        longest = std::max(longest, p.size());
    });
    EXPECT_EQ(count, depth);
    EXPECT_EQ(longest, 1 + 2 * (depth - 2) + 4);  // "/" "d/" ... "leaf"
}

// Replacing a list by a list that lives inside it keeps the new contents.
TEST(TreeNodeList, AssignFromOwnDescendant) {
    Node root = folder("r");
    Node a = folder("a");
    a.children.push_back(folder("x"));
    a.children.push_back(folder("y"));
    root.children.push_back(std::move(a));
    root.children = std::move(root.children[0].children);
    EXPECT_EQ(child_names(root), (std::vector<std::string>{"x", "y"}));
    std::vector<Node> plain;
    plain.push_back(folder("p"));
    root.children = std::move(plain);
    EXPECT_EQ(child_names(root), (std::vector<std::string>{"p"}));
}

}  // namespace
}  // namespace bwcore
