// Black-box runs of the built engine: arguments, exit statuses, the scan command's outputs,
// sizes and the rules file. Every run points the cache at a temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "run_engine.hpp"

namespace virirado_engine::testing {
namespace {

using json = nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Cli : public ::testing::Test {
protected:
    TempDir tmp;
    std::string cache = tmp.dir("cache");
    std::string root = tmp.dir("root");

    std::map<std::string, std::string> env() const {
        return {{"VIRIRADO_ENGINE_CACHE", cache}, {"HOME", tmp.dir("home")}};
    }
    Outcome scan(std::vector<std::string> extra) const {
        std::vector<std::string> args{"scan", "--root", root, "--cache-dir", cache};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_engine(args, env());
    }
};

void expect_usage(const Outcome& r, const std::string& message = "") {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, StartsWith(message + "virirado-engine 0.1.0\nusage:\n"));
}

TEST_F(Cli, UsageOnEveryArgumentError) {
    expect_usage(run_engine({}));
    for (const char* cmd : {"help", "-h", "--help", "bogus"})
        expect_usage(run_engine({cmd}));
    expect_usage(run_engine({"scan", "--top"}), "--top needs a value\n");
    for (const char* bad : {"-5", "", "+", "18446744073709551616", " 7"})
        expect_usage(run_engine({"scan", "--top", bad}),
                     std::string("--top: not a number: ") + bad + "\n");
    expect_usage(run_engine({"scan", "--threads", "--json"}), "--threads needs a value\n");
    expect_usage(scan({"--json", "--json"}), "unknown arguments: [\"--json\"]\n");
    expect_usage(run_engine({"sizes", "a", "--b"}));
    // The rules file is read where --config stands in the order, before later options.
    Outcome r = run_engine({"scan", "--config", tmp.sub("missing.json"), "--top", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, StartsWith("--config " + tmp.sub("missing.json") + ": "));
    // Arguments that are not UTF-8 cannot be printed back; they are refused up front.
    expect_usage(run_engine({"scan", "--root", std::string("bad\xFF", 4)}),
                 "arguments must be valid UTF-8\n");
}

TEST_F(Cli, VersionIgnoresTheRest) {
    for (const char* v : {"--version", "-V"}) {
        Outcome r = run_engine({v, "extra", "--bogus"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "virirado-engine 0.1.0\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Cli, JsonTwiceSecondFromCacheWithSameTotals) {
    tmp.file("root/a/one", 3000000);
    tmp.file("root/a/b/two", 100);
    tmp.file("root/c/three", 5000);
    Outcome first = scan({"--json"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");
    json a = first.json();
    EXPECT_EQ(a["cache"]["used"], false);
    EXPECT_EQ(a["cache"]["validation"], "none");
    EXPECT_EQ(a["cache"]["saved"], true);
    EXPECT_EQ(a["total"]["files"], 3);
    EXPECT_EQ(a["total"]["dirs"], 4);
    EXPECT_EQ(a["engine"], "virirado-engine");
    EXPECT_FALSE(a.contains("v"));
    EXPECT_FALSE(a.contains("dirs"));
    for (const char* k : {"elapsed_ms", "first_results_ms"})
        EXPECT_TRUE(a[k].is_number_float()) << k;
    ASSERT_EQ(a["top_files"].size(), 1u);
    EXPECT_EQ(a["top_files"][0]["path"], root + "/a/one");

    json b = scan({"--json"}).json();
    EXPECT_EQ(b["cache"]["used"], true);
    EXPECT_EQ(b["cache"]["validation"], "mtime");
    EXPECT_EQ(b["cache"]["listed_dirs"], 0);
    EXPECT_EQ(b["total"], a["total"]);
    EXPECT_EQ(b["top_files"], a["top_files"]);

    // --no-cache does not load, but still saves.
    json c = scan({"--json", "--no-cache"}).json();
    EXPECT_EQ(c["cache"]["used"], false);
    EXPECT_EQ(c["cache"]["saved"], true);
    EXPECT_EQ(c["total"], a["total"]);
}

TEST_F(Cli, JsonLinesRecordSequence) {
    tmp.file("root/f", 10);
    Outcome r = scan({"--jsonl", "--json", "--threads", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = r.lines();
    ASSERT_GE(lines.size(), 3u);
    std::vector<std::string> types;
    for (const auto& l : lines) {
        json o = json::parse(l);
        EXPECT_EQ(o["v"], 1);
        types.push_back(o["type"]);
    }
    EXPECT_EQ(types.front(), "hello");
    EXPECT_EQ(types.back(), "done");
    EXPECT_EQ(std::count(types.begin(), types.end(), "first"), 1);
    json hello = json::parse(lines.front());
    EXPECT_EQ(hello["threads"], 0);  // the options' value as given
    EXPECT_EQ(hello["lister"], "getattrlistbulk");
    json done = json::parse(lines.back());
    EXPECT_EQ(done["threads"], 1);  // the pool always has a worker
    EXPECT_EQ(done["total"]["files"], 1);
}

// The result's "home" is the home as given (or taken from $HOME), not the rules' trimmed form;
// an empty or missing home is null.
TEST_F(Cli, ResultHomeAsGivenOrNull) {
    std::string home = tmp.dir("home") + "/";
    EXPECT_EQ(scan({"--json", "--home", home}).json()["home"], home);
    auto unset = env();
    unset["HOME"] = "\x01unset";
    std::vector<std::string> args{"scan", "--root", root, "--cache-dir", cache, "--json"};
    EXPECT_TRUE(run_engine(args, unset).json()["home"].is_null());
    EXPECT_TRUE(scan({"--json", "--home", ""}).json()["home"].is_null());
    unset["HOME"] = home;
    EXPECT_EQ(run_engine(args, unset).json()["home"], home);
}

TEST_F(Cli, FailingRootsInEveryMode) {
    std::string missing = tmp.sub("nope");
    Outcome j = run_engine({"scan", "--root", missing, "--json", "--cache-dir", cache}, env());
    EXPECT_EQ(j.status, 1);
    json e = j.json();
    EXPECT_EQ(e["type"], "error");
    EXPECT_EQ(e["v"], 1);
    EXPECT_THAT(e["error"].get<std::string>(), StartsWith(missing + ": "));

    Outcome t = run_engine({"scan", "--root", missing, "--cache-dir", cache}, env());
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(t.out, "");
    EXPECT_THAT(t.err, StartsWith("virirado-engine: " + missing + ": "));

    std::string link = tmp.sub("link");
    ASSERT_EQ(symlink(root.c_str(), link.c_str()), 0);
    Outcome l = run_engine({"scan", "--root", link, "--jsonl", "--cache-dir", cache}, env());
    EXPECT_EQ(l.status, 1);
    auto lines = l.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(json::parse(lines[0])["type"], "hello");
    EXPECT_EQ(json::parse(lines[1])["error"], link + ": not a folder (Symlink)");
}

TEST_F(Cli, TextReportLayout) {
    tmp.file("root/big/file", 2 * 1024 * 1024);
    tmp.file("root/target/debug/x", 10);
    tmp.file("root/Cargo.toml", 10);
    Outcome r = scan({"--pretty"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = r.lines();
    ASSERT_GE(lines.size(), 7u);
    std::regex summary(
        "^" + root +
        "  [0-9.]+ (B|KiB|MiB)  3 files, 4 folders  in [0-9]+\\.[0-9]{2} s \\(first results "
        "[0-9]+\\.[0-9]{2} s, 4 listed, 0 from cache, [0-9]+ threads, getattrlistbulk\\)$");
    EXPECT_TRUE(std::regex_match(lines[0], summary)) << lines[0];
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Biggest folders:");
    EXPECT_THAT(r.out, HasSubstr("\nBiggest files:\n     2.0 MiB  " + root + "/big/file\n"));
    EXPECT_THAT(r.out, HasSubstr("\nDev/build folders (biggest first):\n"));
}

// A newline in a name must not add a line of its own to the report, nor an escape sequence
// reach the terminal; the JSON output keeps the names exactly.
TEST_F(Cli, NamesCannotForgeTheTextReport) {
    const std::string forged = "x\n     9.0 TiB  /etc/forged";
    const std::string painted = "esc\x1b[2J\x1b]0;title\x07";
    tmp.file("root/" + forged.substr(0, forged.find('/')), 3 * 1024 * 1024);
    tmp.file("root/" + painted, 2 * 1024 * 1024);
    Outcome r = scan({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x07'), std::string::npos);
    EXPECT_THAT(r.out, HasSubstr("\nBiggest files:\n     3.0 MiB  " + root +
                                 "/x\\n     9.0 TiB  \n     2.0 MiB  " + root +
                                 "/esc\\033[2J\\033]0;title\\a\n\nDev/build"));

    json o = scan({"--json"}).json();
    std::vector<std::string> paths;
    for (const json& f : o["top_files"])
        paths.push_back(f["path"]);
    EXPECT_THAT(paths, ElementsAre(root + "/x\n     9.0 TiB  ", root + "/" + painted));

    // The root line too.
    std::string odd = tmp.dir("odd\nroot\x1b[0m");
    Outcome r2 = run_engine({"scan", "--root", odd, "--cache-dir", cache}, env());
    ASSERT_EQ(r2.status, 0) << r2.err;
    EXPECT_THAT(r2.out, StartsWith(tmp.path() + "/odd\\nroot\\033[0m  "));
}

TEST_F(Cli, HugeThreadCountRunsClamped) {
    tmp.file("root/f", 1);
    Outcome r = scan({"--json", "--threads", "18446744073709551615"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.json()["threads"], 256);
}

TEST_F(Cli, NamesThatAreNotUtf8StillGiveValidJson) {
    tmp.file(std::string("root/bad\xFFname", 12), 2000000);
    Outcome r = scan({"--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json o = r.json();  // parses: the output is valid UTF-8
    EXPECT_EQ(o["total"]["skipped"], 1);
    EXPECT_EQ(o["skipped_samples"][0][1], "error");
}

TEST_F(Cli, ClosedPipeEndsQuietlyAndTheCacheStaysWhole) {
    for (int i = 0; i < 3000; ++i)
        tmp.dir("root/d" + std::to_string(i));
    std::string cmd =
        "HOME=\"$3\" \"$0\" scan --jsonl --dirs --min-dir-bytes 0 --root \"$1\" "
        "--cache-dir \"$2\" | head -1 >/dev/null; echo ${PIPESTATUS[0]}";
    std::string line;
    {
        std::string full = "bash -c '" + cmd + "' " + std::string(VIRIRADO_ENGINE_BIN) + " " +
                           root + " " + cache + " " + env().at("HOME");
        FILE* p = popen(full.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[64] = {};
        if (fgets(buf, sizeof buf, p)) line = buf;
        pclose(p);
    }
    EXPECT_NE(line, "141\n");  // not killed by SIGPIPE
    json again = scan({"--json"}).json();
    EXPECT_EQ(again["cache"]["used"], true);
    EXPECT_EQ(again["total"]["dirs"], 3001);
}

TEST_F(Cli, SizesRows) {
    std::string file = tmp.file("root/f", 5000);
    std::string dir = tmp.dir("root/d");
    tmp.file("root/d/x", 100);
    ASSERT_EQ(link(tmp.sub("root/d/x").c_str(), tmp.sub("root/d/y").c_str()), 0);
    std::string sym = tmp.sub("root/s");
    ASSERT_EQ(symlink(dir.c_str(), sym.c_str()), 0);
    Outcome r = run_engine({"sizes", file, dir, sym, tmp.sub("missing"), "-"}, env());
    ASSERT_EQ(r.status, 0) << r.err;
    json o = r.json();
    EXPECT_EQ(o["v"], 1);
    EXPECT_FALSE(o.contains("type"));
    const json& rows = o["sizes"];
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0]["files"], 1);
    EXPECT_EQ(rows[0]["dirs"], 0);
    EXPECT_EQ(rows[0]["logical"], 5000);
    EXPECT_EQ(rows[0]["root_blocked"], "");
    EXPECT_EQ(rows[1]["dirs"], 1);
    EXPECT_EQ(rows[1]["files"], 1);  // two names of one file count once
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(rows[1]["logical"], 100 + static_cast<uint64_t>(st.st_size));
    EXPECT_EQ(rows[2]["root_blocked"], "symlink");
    EXPECT_EQ(rows[2]["skipped"], json::array());
    EXPECT_EQ(rows[3]["root_blocked"], "No such file or directory");
    EXPECT_EQ(rows[3]["skipped"],
              json::array({json::array({tmp.sub("missing"), "No such file or directory"})}));
    EXPECT_EQ(rows[4]["path"], "-");
    for (const auto& row : rows)
        EXPECT_EQ(row["partial"], false);
    EXPECT_EQ(run_engine({"sizes"}, env()).json()["sizes"], json::array());
}

// A folder below the one asked for that is never listed (too deep to walk into) is a skip
// like any other: the row is still whole.
TEST_F(Cli, SizesRowWithAnUnlistedFolderInsideIsNotPartial) {
    std::string top = tmp.chain("root/d", 2100);
    Outcome r = run_engine({"sizes", top}, env());
    ASSERT_EQ(r.status, 0) << r.err;
    json row = r.json()["sizes"][0];
    EXPECT_EQ(row["partial"], false);
    EXPECT_EQ(row["root_blocked"], "");
    EXPECT_EQ(row["skipped_count"], 1);
    ASSERT_EQ(row["skipped"].size(), 1u);
    EXPECT_EQ(row["skipped"][0][1], "too deep");
}

TEST_F(Cli, SizesSamplesAtMostFiftyAndRulesNeedAHome) {
    std::string home = tmp.dir("home");
    // Each folder keeps four samples; twenty folders of three make sixty.
    for (int i = 0; i < 60; ++i)
        tmp.file("root/many/d" + std::to_string(i / 3) + "/x\xFF" + std::to_string(i), 1);
    Outcome r = run_engine({"sizes", tmp.sub("root/many")}, env());
    json row = r.json()["sizes"][0];
    EXPECT_EQ(row["skipped_count"], 60);
    EXPECT_EQ(row["skipped"].size(), 50u);

    std::string mail = tmp.dir("home/Library/Mail");
    Outcome denied = run_engine({"sizes", "--home", home, mail}, env());
    EXPECT_EQ(denied.json()["sizes"][0]["root_blocked"], "inside Library/Mail");
    Outcome free = run_engine({"sizes", mail}, env());
    EXPECT_EQ(free.json()["sizes"][0]["root_blocked"], "");
}

TEST_F(Cli, RulesRoundTripAndRulesFileErrors) {
    Outcome rules = run_engine({"rules", "--ignored"});
    ASSERT_EQ(rules.status, 0);
    EXPECT_THAT(rules.out,
                StartsWith("{\n  \"forbidden_components\": [\n    \".Spotlight-V100\",\n"));
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(tmp.sub(name)) << text;
        return tmp.sub(name);
    };
    tmp.file("root/f", 1);
    // The printed rules are the built-in rules: a scan with them reuses the cache of one without.
    ASSERT_EQ(scan({"--json"}).status, 0);
    Outcome same = scan({"--json", "--config", write("rules.json", rules.out)});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.json()["cache"]["used"], true);
    EXPECT_EQ(scan({"--json", "--config", write("empty.json", "{\"comment\": [1]}")})
                  .json()["cache"]["used"],
              true);

    std::string deep(200, '[');
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"dup.json", R"({"deny_prefixes": [], "deny_prefixes": []})"},
             {"type.json", "true"},
             {"shape.json", R"({"report_only": [["a", "b", "c"]]})"},
             {"trail.json", "{} x"},
             {"seven.json", "[[],[],[],[],[],[],[]]"},
             {"deep.json", deep}}) {
        Outcome r = scan({"--json", "--config", write(name, text)});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_THAT(r.err, StartsWith("--config " + tmp.sub(name) + ": ")) << name;
    }
    EXPECT_THAT(
        scan({"--config", write("dup2.json", R"({"deny_prefixes": [], "deny_prefixes": []})")}).err,
        HasSubstr("duplicate field `deny_prefixes`"));
    Outcome folder = scan({"--config", tmp.path()});
    EXPECT_EQ(folder.status, 2);
}

}  // namespace
}  // namespace virirado_engine::testing
