// Black-box runs of `serve`: scripted request lines on standard input and every reply checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run_engine.hpp"
#include "serve_session.hpp"

namespace virirado_engine::testing {
namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Serve : public ::testing::Test {
protected:
    TempDir tmp;
    std::string cache = tmp.dir("cache");
    std::string root = tmp.dir("root");
    std::string home = tmp.dir("home");

    void SetUp() override {
        tmp.file("root/a/big", 3000000);
        tmp.file("root/a/b/small", 100);
        tmp.file("root/c/mid", 1500000);
    }
    Outcome serve(const std::string& input, std::vector<std::string> extra = {}) const {
        std::vector<std::string> args{"serve", "--root", root, "--cache-dir",
                                      cache,   "--home", home};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_engine(args, {{"HOME", home}}, input);
    }
    static json unknown_op() { return {{"error", "unknown op"}, {"type", "error"}, {"v", 1}}; }
};

// "ready" first, then exactly one reply per answered request.
std::vector<json> answers(const Outcome& r) {
    auto v = replies(r.out);
    EXPECT_FALSE(v.empty());
    if (v.empty()) return v;
    EXPECT_EQ(v[0]["type"], "ready");
    v.erase(v.begin());
    return v;
}

TEST_F(Serve, ReadyDescribesTheScan) {
    Outcome r = serve("", {"--top", "1", "--bogus"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto v = replies(r.out);
    ASSERT_EQ(v.size(), 1u);
    json ready = v[0];
    std::vector<std::string> keys;
    for (auto& [k, _] : ready.items())
        keys.push_back(k);
    EXPECT_THAT(keys, ::testing::ElementsAre("cache", "devbuilds", "elapsed_ms", "engine",
                                             "first_results_ms", "root", "top_dirs", "top_files",
                                             "total", "type", "v", "version"));
    EXPECT_EQ(ready["root"], root);
    EXPECT_EQ(ready["cache"]["used"], false);
    EXPECT_TRUE(ready["cache"].contains("patched_dirs"));
    EXPECT_EQ(ready["total"]["files"], 3);
    ASSERT_EQ(ready["top_files"].size(), 1u);  // --top
    EXPECT_EQ(ready["top_files"][0]["path"], root + "/a/big");
    EXPECT_TRUE(ready["elapsed_ms"].is_number_float());
    // The cache was written even though input ended at once.
    EXPECT_TRUE(std::filesystem::exists(cache) && !std::filesystem::is_empty(cache));
}

TEST_F(Serve, SizesFromTheTreeAndFromDisk) {
    std::string outside = tmp.file("elsewhere/f", 5000);
    json req = {{"op", "sizes"},
                {"paths", {root + "/a", 5, nullptr, outside, root + "/a/", tmp.sub("nope")}}};
    Outcome r = serve(req.dump() + "\n{\"op\":\"sizes\"}\n{\"op\":\"sizes\",\"paths\":\"x\"}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = answers(r);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0]["type"], "sizes");
    EXPECT_EQ(v[0]["from_tree"], 1);
    EXPECT_TRUE(v[0]["elapsed_ms"].is_number_float());
    const json& rows = v[0]["sizes"];
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["path"], root + "/a");
    EXPECT_EQ(rows[0]["files"], 2);
    EXPECT_EQ(rows[0]["dirs"], 2);
    EXPECT_EQ(rows[1]["path"], outside);
    EXPECT_EQ(rows[1]["files"], 1);
    EXPECT_EQ(rows[1]["root_blocked"], "");
    // A trailing "/" is not a tree path: it is measured on disk, with the same totals.
    EXPECT_EQ(rows[2]["path"], root + "/a/");
    EXPECT_EQ(rows[2]["allocated"], rows[0]["allocated"]);
    EXPECT_EQ(rows[3]["root_blocked"], "No such file or directory");
    for (int i : {1, 2}) {
        EXPECT_EQ(v[i]["sizes"], json::array());
        EXPECT_EQ(v[i]["from_tree"], 0);
    }
}

// From the scanned tree too, a folder never listed (too deep to walk into) is only a skip.
TEST_F(Serve, SizesFromTheTreeWithAnUnlistedFolderInsideAreNotPartial) {
    std::string top = tmp.chain("root/d", 2100);
    json req = {{"op", "sizes"}, {"paths", {top, root}}};
    Outcome r = serve(req.dump() + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = answers(r);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0]["from_tree"], 2);
    for (const json& row : v[0]["sizes"]) {
        EXPECT_EQ(row["partial"], false) << row["path"];
        EXPECT_EQ(row["skipped_count"], 1) << row["path"];
        ASSERT_EQ(row["skipped"].size(), 1u) << row["path"];
        EXPECT_EQ(row["skipped"][0][1], "too deep") << row["path"];
    }
}

TEST_F(Serve, PathWithNulIsRefusedWithoutTouchingTheDisk) {
    // "/etc\0x" would measure /etc if the name reached a system call cut at the NUL.
    Outcome r = serve("{\"op\":\"sizes\",\"paths\":[\"" + root + "\\u0000/a\"]}\n");
    auto v = answers(r);
    ASSERT_EQ(v.size(), 1u);
    const json& row = v[0]["sizes"][0];
    EXPECT_EQ(row["root_blocked"], "error");
    EXPECT_EQ(row["files"], 0);
    EXPECT_EQ(v[0]["from_tree"], 0);
}

TEST_F(Serve, FilesMinimumAndLimit) {
    Outcome r = serve(
        "{\"op\":\"files\",\"min\":0}\n"
        "{\"op\":\"files\",\"min\":2000000}\n"
        "{\"op\":\"files\",\"min\":-1,\"limit\":1}\n"
        "{\"op\":\"files\",\"min\":2500000.5}\n"
        "{\"op\":\"files\",\"limit\":0}\n"
        "{\"op\":\"files\",\"limit\":-1,\"min\":\"x\"}\n",
        {"--big-min", "1000000"});
    auto v = answers(r);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0]["min"], 1000000);  // never below the big-file minimum
    EXPECT_EQ(v[0]["files"].size(), 2u);
    EXPECT_EQ(v[0]["files"][0]["path"], root + "/a/big");
    for (const char* key : {"alloc", "dev", "ino", "linked", "logical", "mtime", "path"})
        EXPECT_TRUE(v[0]["files"][0].contains(key)) << key;
    EXPECT_EQ(v[1]["min"], 2000000);
    EXPECT_EQ(v[1]["files"].size(), 1u);
    // Negative or fractional numbers are not minimums and wrap to nothing.
    EXPECT_EQ(v[2]["min"], 1000000);
    EXPECT_EQ(v[2]["files"].size(), 1u);
    EXPECT_EQ(v[3]["min"], 1000000);
    EXPECT_EQ(v[4]["files"], json::array());
    EXPECT_EQ(v[5]["files"].size(), 2u);
    for (const auto& a : v)
        EXPECT_TRUE(a["elapsed_ms"].is_number_float());
}

TEST_F(Serve, MalformedAndUnknownRequestsAreAnswered) {
    Outcome r = serve(
        "\n"
        "{\"op\":\n"
        "{\"op\":\"files\"} x\n"
        "[1]\n"
        "5\n"
        "null\n"
        "{}\n"
        "{\"op\":5}\n"
        "{\"op\":\"FILES\"}\n"
        "1e400\n"
        "{\"op\":\"files\",\"limit\":0}\r\n"
        "  {\"op\":\"files\",\"limit\":0}  \n"
        "{\"op\":\"files\",\"limit\":0}");  // the last line has no "\n"
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto v = answers(r);
    ASSERT_EQ(v.size(), 13u);
    for (int i : {0, 1, 2, 9}) {
        EXPECT_EQ(v[i]["type"], "error");
        EXPECT_EQ(v[i].size(), 3u);
        EXPECT_THAT(v[i]["error"].get<std::string>(),
                    ::testing::Not(StartsWith("[json.exception")));
    }
    EXPECT_THAT(v[0]["error"].get<std::string>(), HasSubstr("line 1, column 1"));
    for (int i = 3; i <= 8; ++i)
        EXPECT_EQ(v[i], unknown_op()) << i;
    for (int i = 10; i <= 12; ++i)
        EXPECT_EQ(v[i]["type"], "files") << i;
}

// Plain serve reads "op", "paths", "min" and "limit" only: an "id" is not echoed (only the
// browse server's answers carry one), and no other field changes an answer.
TEST_F(Serve, RequestIdsAreNeitherReadNorEchoed) {
    Outcome r = serve(
        "{\"op\":\"files\",\"id\":7,\"min\":2000000,\"limit\":1,\"paths\":5}\n"
        "{\"op\":\"sizes\",\"id\":\"a\",\"paths\":[\"" +
        root +
        "/c\"],\"min\":9}\n"
        "{\"op\":\"nope\",\"id\":[1]}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = answers(r);
    ASSERT_EQ(v.size(), 3u);
    for (const json& a : v)
        EXPECT_FALSE(a.contains("id")) << a.dump();
    ASSERT_EQ(v[0]["files"].size(), 1u);
    EXPECT_EQ(v[0]["files"][0]["path"], root + "/a/big");
    EXPECT_EQ(v[1]["sizes"][0]["path"], root + "/c");
    EXPECT_EQ(v[2], unknown_op());
}

TEST_F(Serve, QuitAndBadTextEndTheLoop) {
    Outcome quit = serve("{\"op\":\"files\",\"limit\":0}\n{\"op\":\"quit\"}\n{\"op\":\"files\"}\n");
    EXPECT_EQ(quit.status, 0);
    EXPECT_EQ(answers(quit).size(), 1u);
    // A line that is not UTF-8 ends the run like the end of input, with no reply.
    Outcome bad = serve("{\"op\":\"files\",\"limit\":0}\n{\"op\":\"\xff\"}\n{\"op\":\"files\"}\n");
    EXPECT_EQ(bad.status, 0);
    EXPECT_EQ(bad.err, "");
    EXPECT_EQ(answers(bad).size(), 1u);
}

TEST_F(Serve, DeepNestingIsAParseErrorAndTheLoopGoesOn) {
    std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string edge = "{\"x\":" + std::string(126, '[') + std::string(126, ']') + "}";
    std::string over = "{\"x\":" + std::string(127, '[') + std::string(127, ']') + "}";
    Outcome r = serve(deep + "\n" + edge + "\n" + over + "\n{\"op\":\"files\",\"limit\":0}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = answers(r);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0]["type"], "error");
    EXPECT_THAT(v[0]["error"].get<std::string>(), HasSubstr("recursion limit"));
    EXPECT_EQ(v[1], unknown_op());  // 127 levels are still a request
    EXPECT_THAT(v[2]["error"].get<std::string>(), HasSubstr("recursion limit"));
    EXPECT_EQ(v[3]["type"], "files");
}

TEST_F(Serve, RootThatIsNoFolderFailsBeforeReady) {
    std::string file = tmp.file("plain", 10);
    Outcome r = run_engine({"serve", "--root", file, "--cache-dir", cache}, {{"HOME", home}},
                           "{\"op\":\"files\"}\n");
    EXPECT_EQ(r.status, 1);
    auto v = r.lines();
    ASSERT_EQ(v.size(), 1u);
    json e = json::parse(v[0]);
    EXPECT_EQ(e["type"], "error");
    EXPECT_EQ(e["v"], 1);
    EXPECT_THAT(e["error"].get<std::string>(), HasSubstr("not a folder"));
}

}  // namespace
}  // namespace virirado_engine::testing
