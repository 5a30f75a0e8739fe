// Black-box runs of `tree`: the text rows at several depths, the JSON object, --path, and the
// ways it fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run_engine.hpp"

namespace virirado_engine::testing {
namespace {

using json = nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Tree : public ::testing::Test {
protected:
    TempDir tmp;
    std::string cache = tmp.dir("cache");
    std::string root = tmp.dir("root");
    std::string home = tmp.dir("home");

    Outcome tree(std::vector<std::string> extra) const {
        std::vector<std::string> args{"tree", "--root", root, "--cache-dir", cache, "--home", home};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_engine(args, {{"HOME", home}, {"VIRIRADO_ENGINE_CACHE", cache}});
    }
    // Rows below the header, with the size column cut off.
    static std::vector<std::string> rows(const Outcome& r) {
        std::vector<std::string> v = r.lines();
        if (!v.empty()) v.erase(v.begin());
        for (auto& l : v)
            l = l.size() > 12 ? l.substr(12) : l;
        return v;
    }
};

TEST_F(Tree, TextRowsFollowDepthAndSizes) {
    tmp.file("root/big/inner/deep/f", 50000);
    tmp.file("root/big/file", 40000);
    tmp.file("root/small/s", 10);
    tmp.file("root/top.bin", 20000);

    Outcome r = tree({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_THAT(r.lines().at(0), StartsWith(root + "  "));
    EXPECT_THAT(r.lines().at(0), HasSubstr("(4 files, 5 folders, "));
    // Two levels: folders end in "/", files do not, children are indented by two spaces.
    EXPECT_THAT(rows(r), ElementsAre("big/", "  inner/", "  file", "top.bin", "small/", "  s"));
    // The size column is ten characters wide, right-aligned, then two spaces.
    EXPECT_EQ(r.lines().at(3).substr(0, 12), "  40.0 KiB  ");

    EXPECT_THAT(rows(tree({"--depth", "3"})),
                ElementsAre("big/", "  inner/", "    deep/", "  file", "top.bin", "small/", "  s"));
    auto one = rows(tree({"--depth", "1"}));
    EXPECT_THAT(one, ElementsAre("big/", "top.bin", "small/"));
    EXPECT_EQ(rows(tree({"--depth", "0"})), one);
    EXPECT_THAT(rows(tree({"--no-files"})), ElementsAre("big/", "  inner/", "small/"));
}

// Names are escaped in the text rows and the header, never in the JSON object.
TEST_F(Tree, NamesAreEscapedInTextOnly) {
    const std::string folder = "new\nline";
    const std::string file = "esc\x1b[2Jc1\xc2\x9b\x7f\\";
    tmp.file("root/" + folder + "/" + file, 30000);
    Outcome r = tree({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_THAT(rows(r), ElementsAre("new\\nline/", "  esc\\033[2Jc1\\302\\233\\177\\\\"));

    Outcome at = tree({"--path", root + "/" + folder});
    ASSERT_EQ(at.status, 0) << at.err;
    EXPECT_THAT(at.lines().at(0), StartsWith(root + "/new\\nline  "));
    EXPECT_THAT(at.lines().at(0), HasSubstr("  (1 files, 1 folders, "));

    json t = tree({"--json"}).json()["tree"];
    EXPECT_EQ(t["children"][0]["name"], folder);
    EXPECT_EQ(t["children"][0]["children"][0]["name"], file);
}

TEST_F(Tree, RowsBeyondTopAreSummedInARestLine) {
    for (int i = 0; i < 25; ++i)
        tmp.file("root/many/f" + std::to_string(100 + i), 10);
    Outcome r = tree({"--path", root + "/many", "--depth", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = r.lines();
    ASSERT_EQ(v.size(), 22u);
    EXPECT_EQ(v.back(), "  20.0 KiB  \u2026 5 more");
    Outcome one = tree({"--path", root + "/many", "--top", "0"});
    ASSERT_EQ(one.lines().size(), 3u);
    EXPECT_THAT(one.lines()[2], HasSubstr("\u2026 24 more"));
}

TEST_F(Tree, LookOnlyRowsAreMarked) {
    tmp.file("home/Library/Mail/m", 10);
    tmp.file("home/Documents/d", 10);
    Outcome r =
        run_engine({"tree", "--root", home, "--home", home, "--cache-dir", cache, "--no-files"},
                   {{"HOME", home}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("  Mail/  [look only]\n"));
    EXPECT_THAT(r.out, HasSubstr("  Documents/\n"));
}

TEST_F(Tree, JsonObjectAndPrettyForm) {
    tmp.file("root/a/b/c", 5000);
    tmp.file("root/a/x", 7000);
    Outcome r = tree({"--json", "--depth", "1", "--no-cache"});
    ASSERT_EQ(r.status, 0) << r.err;
    json o = r.json();
    EXPECT_EQ(o["type"], "tree");
    EXPECT_EQ(o["v"], 1);
    EXPECT_EQ(o["engine"], "virirado-engine");
    EXPECT_EQ(o["version"], "0.1.0");
    EXPECT_EQ(o["root"], root);
    EXPECT_TRUE(o["elapsed_ms"].is_number_float());
    EXPECT_EQ(
        o["cache"],
        (json{{"used", false}, {"validation", "none"}, {"listed_dirs", 3}, {"reused_dirs", 0}}));
    EXPECT_EQ(o["total"]["files"], 2);
    EXPECT_EQ(o["tree"]["path"], root);
    EXPECT_FALSE(o["tree"].contains("breadcrumb"));
    ASSERT_EQ(o["tree"]["children"].size(), 1u);
    EXPECT_FALSE(o["tree"]["children"][0].contains("children"));

    // The shown path's subtree, while "total" stays the whole root's.
    json sub = tree({"--json", "--path", root + "/a/", "--depth", "2"}).json();
    EXPECT_EQ(sub["tree"]["path"], root + "/a");
    EXPECT_EQ(sub["total"], o["total"]);
    EXPECT_EQ(sub["cache"]["used"], true);
    ASSERT_EQ(sub["tree"]["children"].size(), 2u);
    EXPECT_TRUE(sub["tree"]["children"][0].contains("children"));

    Outcome pretty = tree({"--json", "--pretty", "--depth", "1", "--no-cache"});
    ASSERT_EQ(pretty.status, 0);
    EXPECT_THAT(pretty.out, StartsWith("{\n  \"cache\": {\n    \"listed_dirs\": 3,"));
    json p = pretty.json();
    p.erase("elapsed_ms");
    o.erase("elapsed_ms");
    EXPECT_EQ(p, o);
}

TEST_F(Tree, FailuresAndTheirOutputs) {
    tmp.file("root/a/f", 10);
    // A path outside the tree: the JSON error line on standard output, with or without --json.
    for (auto extra : {std::vector<std::string>{"--path", "/etc"}, {"--path", "/etc", "--json"}}) {
        Outcome r = tree(extra);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(json::parse(r.out),
                  (json{{"error", "/etc: not in the scanned tree"}, {"type", "error"}, {"v", 1}}));
    }
    // A root that cannot be scanned: text on standard error, or one JSON line.
    std::string missing = tmp.sub("gone");
    Outcome text = run_engine({"tree", "--root", missing, "--cache-dir", cache}, {{"HOME", home}});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "");
    EXPECT_THAT(text.err, StartsWith("virirado-engine: "));
    Outcome js =
        run_engine({"tree", "--root", missing, "--cache-dir", cache, "--json"}, {{"HOME", home}});
    EXPECT_EQ(js.status, 1);
    EXPECT_EQ(js.json()["type"], "error");
    // --files is taken first, so --no-files is left over.
    Outcome both = tree({"--files", "--no-files"});
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(both.out, "");
    EXPECT_THAT(both.err, StartsWith("unknown arguments: [\"--no-files\"]\n"));
}

}  // namespace
}  // namespace virirado_engine::testing
