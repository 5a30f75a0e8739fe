#include "views.hpp"

#include <gtest/gtest.h>

using bwcore::FileRec;
using bwcore::LinkRec;
using bwcore::Node;
using nlohmann::json;
namespace scan = bwcore::scan;

namespace {

Node folder(std::string name, uint64_t alloc) {
    Node n;
    n.name = std::move(name);
    n.total.alloc = alloc;
    return n;
}

std::vector<std::string> paths(const json& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.is_array() ? r[0] : r["path"]);
    return out;
}

// /r(30) -> a(10) -> b(10) -> c(10); /r -> c(10). Equal sizes must come out in path order.
Node sample_tree() {
    Node c = folder("c", 10), b = folder("b", 10), a = folder("a", 10), c2 = folder("c", 10);
    b.children.push_back(std::move(c));
    a.children.push_back(std::move(b));
    Node root = folder("r", 30);
    root.children.push_back(std::move(c2));
    root.children.push_back(std::move(a));
    return root;
}

}  // namespace

TEST(Views, DirsAreSortedBySizeThenPathAndCut) {
    Node root = sample_tree();
    scan::TreeRef tree{{"/r", &root}};
    EXPECT_EQ(paths(scan::dirs_view(tree, 0, 100)),
              (std::vector<std::string>{"/r", "/r/a", "/r/a/b", "/r/a/b/c", "/r/c"}));
    EXPECT_EQ(paths(scan::dirs_view(tree, 11, 100)), std::vector<std::string>{"/r"});
    EXPECT_EQ(scan::dirs_view(tree, 0, 2).size(), 2u);
    json row = scan::dirs_view(tree, 0, 1)[0];
    EXPECT_EQ(row.dump(), R"({"alloc":30,"dataless":0,"dirs":0,"files":0,"logical":0,"mtime":0.0,)"
                          R"("path":"/r","protected":0,"skipped":0})");
}

TEST(Views, TopFilesKeepsTheHeapRuleAndOnlyRecordedFiles) {
    Node root = folder("r", 0);
    root.files = {FileRec{"a", 5, 5, 0, 1}, FileRec{"z", 5, 5, 0, 2}, FileRec{"m", 10, 1, 0, 3}};
    scan::TreeRef tree{{"/r", &root}};
    // The heap's smallest (5, "/r/a") goes when "m" arrives, although "a" was met first.
    EXPECT_EQ(paths(scan::top_files(tree, 2)), (std::vector<std::string>{"/r/m", "/r/z"}));
    EXPECT_EQ(paths(scan::top_files(tree, 10)), (std::vector<std::string>{"/r/m", "/r/a", "/r/z"}));
    EXPECT_TRUE(scan::top_files(tree, 0).empty());
    root.files.clear();
    root.own.files = 3;  // counted files that were too small to be recorded never show
    EXPECT_TRUE(scan::top_files(tree, 10).empty());
}

TEST(Views, FilesViewTakesTheLargerSizeAndMarksLinks) {
    Node root = folder("r", 0);
    root.dev = 77;
    root.files = {FileRec{"sparse", 0, 10 << 20, 1500000000, 5}, FileRec{"hl", 4096, 4096, 0, 6}};
    root.links = {LinkRec{"hl", 77, 6, 4096, 4096, 0}};
    scan::TreeRef tree{{"/r", &root}};
    json rows = scan::files_view(tree, 10 << 20, 10);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["path"], "/r/sparse");
    EXPECT_EQ(rows[0]["dev"], 77);
    EXPECT_EQ(rows[0]["ino"], 5);
    EXPECT_EQ(rows[0]["mtime"], 1.5);
    EXPECT_EQ(rows[0]["linked"], false);
    rows = scan::files_view(tree, 0, 10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["path"], "/r/hl");
    EXPECT_EQ(rows[0]["linked"], true);
}

TEST(Views, DevBuildsNameKindsAndLeaveUnknownOnesEmpty) {
    auto index = bwcore::Rules::defaults().marker_index();
    EXPECT_EQ(scan::kind_name(1, index),
              std::make_pair(std::string("devbuild"), std::string("node_modules")));
    EXPECT_EQ(scan::kind_name(1000, index).first, "derived-data");
    EXPECT_EQ(scan::kind_name(1001, index).second, ".wrangler");
    EXPECT_EQ(scan::kind_name(17, index), std::make_pair(std::string(), std::string()));
    Node root = folder("r", 50), nm = folder("node_modules", 40), odd = folder("odd", 40);
    nm.dev_kind = 1;
    nm.marker = "package.json";
    odd.dev_kind = 17;
    root.children.push_back(std::move(nm));
    root.children.push_back(std::move(odd));
    json rows = scan::devbuilds_view({{"/r", &root}}, index);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["path"], "/r/node_modules");
    EXPECT_EQ(rows[0]["marker"], "package.json");
    EXPECT_EQ(rows[1]["kind"], "");
    EXPECT_EQ(rows[1]["name"], "");
}

TEST(Views, SkippedSamplesStopAtTheLimitInPreOrder) {
    Node root = folder("r", 0);
    for (int i = 0; i < 15; ++i) {
        Node c = folder("c" + std::to_string(100 + i), 0);
        for (int k = 0; k < 4; ++k)
            c.skipped.push_back({"/r/" + c.name + "/" + std::to_string(k), "permission"});
        root.children.push_back(std::move(c));
    }
    json s = scan::skipped_samples(root, 50);
    ASSERT_EQ(s.size(), 50u);
    EXPECT_EQ(s[0], json::array({"/r/c100/0", "permission"}));
    EXPECT_EQ(s[49][0], "/r/c112/1");
}

TEST(Views, FindDescendsByExactNames) {
    Node root = sample_tree();
    EXPECT_EQ(scan::find(root, "/r", "/r"), &root);
    const Node* b = scan::find(root, "/r", "/r/a/b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->name, "b");
    EXPECT_EQ(scan::find(root, "/r", "/r/a/b/"), nullptr);
    EXPECT_EQ(scan::find(root, "/r", "/rx/a"), nullptr);
    EXPECT_EQ(scan::find(root, "/r", "/r/A"), nullptr);
    Node top = folder("", 0);
    top.children.push_back(folder("a", 0));
    EXPECT_NE(scan::find(top, "/", "/a/"), nullptr);  // "/" drops empty parts
}

TEST(Views, MtimeIsSecondsWithFraction) {
    EXPECT_EQ(scan::mtime_json(1500000000), 1.5);
    EXPECT_EQ(scan::mtime_json(-1500000000), -1.5);
}
