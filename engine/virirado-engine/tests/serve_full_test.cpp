// Black-box runs of `serve --full`: every op with its reply keys and echoed id, paths outside
// the tree, and a refresh after the disk changed or the root went away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run_engine.hpp"
#include "serve_session.hpp"

namespace virirado_engine::testing {
namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;

class ServeFull : public ::testing::Test {
protected:
    TempDir tmp;
    std::string cache = tmp.dir("cache");
    std::string root = tmp.dir("root");
    std::string home = tmp.dir("home");

    void SetUp() override {
        tmp.file("root/photos/trip.jpg", 3000000);
        tmp.file("root/photos/old/scan.png", 2000000);
        tmp.file("root/docs/note.txt", 100);
    }
    std::vector<std::string> args() const {
        return {"serve", "--root", root, "--full", "--cache-dir",
                cache,   "--home", home, "--top",  "5"};
    }
    std::map<std::string, std::string> env() const { return {{"HOME", home}}; }
    std::vector<json> run(const std::string& input) const {
        Outcome r = run_engine(args(), env(), input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        auto v = replies(r.out);
        EXPECT_FALSE(v.empty());
        if (!v.empty()) {
            EXPECT_EQ(v[0]["type"], "ready");
            v.erase(v.begin());
        }
        return v;
    }
    // Every reply to a parsed request carries these three.
    static void stamped(const json& reply, const json& id) {
        EXPECT_EQ(reply["v"], 1);
        EXPECT_EQ(reply["id"], id);
        EXPECT_TRUE(reply["elapsed_ms"].is_number_float()) << reply.dump();
    }
};

TEST_F(ServeFull, ReadyHasTheBrowseKeys) {
    Outcome r = run_engine(args(), env(), "");
    ASSERT_EQ(r.status, 0) << r.err;
    auto v = replies(r.out);
    ASSERT_EQ(v.size(), 1u);
    std::vector<std::string> keys;
    for (auto& [k, _] : v[0].items())
        keys.push_back(k);
    EXPECT_THAT(keys, ::testing::ElementsAre("cache", "elapsed_ms", "engine", "first_results_ms",
                                             "id", "mode", "root", "top_dirs", "top_files", "total",
                                             "type", "user_root", "v", "version"));
    EXPECT_EQ(v[0]["id"], nullptr);
    EXPECT_EQ(v[0]["mode"], "full");
    EXPECT_EQ(v[0]["user_root"], root);
    EXPECT_EQ(v[0]["total"]["files"], 3);
    // Full scans keep their cache apart from plain ones.
    EXPECT_FALSE(std::filesystem::is_empty(cache + "/full"));
}

TEST_F(ServeFull, EveryOpAnswersWithItsIdAndType) {
    auto v = run(
        json({{"op", "top"}, {"id", 1}}).dump() + "\n" +
        json({{"op", "children"}, {"id", "two"}, {"path", root + "/photos/"}}).dump() + "\n" +
        json({{"op", "node"}, {"id", {{"k", {1, 2}}}}, {"files", false}}).dump() + "\n" +
        json({{"op", "search"}, {"id", 4}, {"q", "ext:png"}}).dump() + "\n" +
        json({{"op", "sizes"}, {"paths", {root + "/photos", "/etc", 5, root + "/docs/"}}}).dump() +
        "\n" + "{\"op\":\"nothing\",\"id\":6}\n[1]\n");
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v[0]["type"], "top");
    stamped(v[0], 1);
    EXPECT_EQ(v[0]["path"], root);
    EXPECT_EQ(v[0]["files"][0]["path"], root + "/photos/trip.jpg");

    EXPECT_EQ(v[1]["type"], "node");  // children answer as node, not as a folder row
    stamped(v[1], "two");
    EXPECT_EQ(v[1]["path"], root + "/photos");
    EXPECT_EQ(v[1]["children_total"], 2);  // the folder "old" and the listed file
    EXPECT_EQ(v[1]["listed_files"], 1);
    EXPECT_TRUE(v[1].contains("breadcrumb"));

    stamped(v[2], json({{"k", {1, 2}}}));
    EXPECT_EQ(v[2]["path"], root);
    EXPECT_EQ(v[2]["listed_files"], 0);

    EXPECT_EQ(v[3]["type"], "search");
    stamped(v[3], 4);
    ASSERT_EQ(v[3]["results"].size(), 1u);
    EXPECT_EQ(v[3]["results"][0]["path"], root + "/photos/old/scan.png");

    EXPECT_EQ(v[4]["type"], "sizes");
    stamped(v[4], nullptr);
    const json& sizes = v[4]["sizes"];
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0]["files"], 2);
    EXPECT_EQ(sizes[1], nullptr);
    EXPECT_EQ(sizes[2]["path"], root + "/docs");  // mapped: trailing "/" cut

    EXPECT_EQ(v[5]["error"], "unknown op");
    stamped(v[5], 6);
    EXPECT_EQ(v[6]["error"], "unknown op");
    stamped(v[6], nullptr);
}

TEST_F(ServeFull, LimitsAndPathsOutsideTheTree) {
    auto v =
        run("{\"op\":\"node\",\"path\":\"/etc\",\"id\":1}\n"
            "{\"op\":\"top\",\"path\":\"" +
            root + "x\"}\n" +
            "{\"op\":\"node\",\"limit\":1,\"files\":\"no\"}\n"
            "{\"op\":\"top\",\"limit\":-3}\n"
            "{\"op\":\"top\",\"limit\":0,\"path\":5}\n"
            "{\"op\":\"search\",\"q\":7,\"limit\":1.5}\n");
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0]["error"], "/etc: not in the scanned tree");
    EXPECT_EQ(v[0]["path"], "/etc");
    stamped(v[0], 1);
    EXPECT_EQ(v[1]["path"], root + "x");
    EXPECT_EQ(v[1]["type"], "error");
    // A "files" that is not a boolean means files on; a limit cuts the rows and sums the rest.
    EXPECT_EQ(v[2]["children"].size(), 1u);
    EXPECT_EQ(v[2]["rest"]["count"], 1);
    // Negative and fractional limits are the default 500, not a wrapped-around number.
    EXPECT_EQ(v[3]["files"].size(), 2u);
    EXPECT_EQ(v[4]["path"], root);
    EXPECT_EQ(v[4]["files"], json::array());
    EXPECT_EQ(v[5]["query"], "");
}

TEST_F(ServeFull, ParseErrorsCarryNoIdAndTheLoopGoesOn) {
    std::string deep_id =
        "{\"op\":\"top\",\"id\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    auto v = run("\n{\"id\":3,\n" + deep_id + "\n{\"op\":\"top\",\"limit\":0,\"id\":9}\r\n");
    ASSERT_EQ(v.size(), 4u);
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(v[i]["type"], "error");
        EXPECT_EQ(v[i].size(), 3u) << v[i].dump();
    }
    EXPECT_THAT(v[2]["error"].get<std::string>(), HasSubstr("recursion limit"));
    stamped(v[3], 9);
}

TEST_F(ServeFull, RefreshSeesTheChangedTreeAndSurvivesAFailure) {
    Session s(args(), env());
    auto ready = [&s] {
        for (auto l = s.line(); l; l = s.line()) {
            json j = json::parse(*l);
            if (j["type"] != "first" && j["type"] != "progress") return j;
        }
        return json();
    };
    json first = ready();
    ASSERT_EQ(first["type"], "ready");
    EXPECT_EQ(first["total"]["files"], 3);

    tmp.file("root/new/added.bin", 4000000);
    ASSERT_TRUE(s.send("{\"op\":\"refresh\",\"id\":\"r1\"}\n"));
    json again = ready();
    EXPECT_EQ(again["type"], "ready");
    stamped(again, "r1");
    EXPECT_EQ(again["total"]["files"], 4);
    ASSERT_TRUE(s.send("{\"op\":\"top\",\"id\":2}\n"));
    json top = ready();
    EXPECT_EQ(top["files"][0]["path"], root + "/new/added.bin");

    // The root goes away: the scan's error line, then the refresh's own failure.
    std::filesystem::rename(root, tmp.sub("moved"));
    ASSERT_TRUE(s.send("{\"op\":\"refresh\",\"id\":3}\n"));
    json scan_error = ready();
    EXPECT_EQ(scan_error["type"], "error");
    EXPECT_FALSE(scan_error.contains("id"));
    json failed = ready();
    EXPECT_EQ(failed["error"], "refresh failed");
    stamped(failed, 3);
    // The old tree still answers.
    ASSERT_TRUE(s.send("{\"op\":\"top\",\"id\":4}\n{\"op\":\"quit\"}\n{\"op\":\"top\"}\n"));
    json still = ready();
    EXPECT_EQ(still["files"][0]["path"], root + "/new/added.bin");
    stamped(still, 4);
    Outcome end = s.finish();
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(end.out, "");  // nothing after quit
}

TEST_F(ServeFull, FirstScanFailureAndArgumentErrors) {
    Outcome r = run_engine({"serve", "--full", "--root", tmp.sub("gone"), "--cache-dir", cache},
                           env(), "{}\n");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.lines().size(), 1u);
    EXPECT_EQ(json::parse(r.out)["type"], "error");
    // "--full" is taken out before the options, so "--root" has no value here.
    Outcome missing = run_engine({"serve", "--root", "--full"}, env());
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_THAT(missing.err, ::testing::StartsWith("--root needs a value\n"));
}

}  // namespace
}  // namespace virirado_engine::testing
