#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.hpp"
#include "json_out.hpp"
#include "options.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "views.hpp"

namespace virirado_engine {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

enum class Mode { Text, Json, Jsonl };

struct ScanCommand {
    bwcore::ScanOptions options{"/"};
    Mode mode = Mode::Text;
    bool dirs = false;
    bool pretty = false;
    uint64_t top = 1000;
    uint64_t min_dir_bytes = 1048576;
    uint64_t dir_limit = 200000;
};

std::vector<std::string> split_priority(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Options in their fixed order: it decides which message a line with several errors gets.
ScanCommand parse(Args& args) {
    auto root = args.value("--root");
    auto home = args.value("--home");
    ScanCommand c;
    c.options = bwcore::ScanOptions(root ? *root : env_text("HOME").value_or("/"));
    c.options.home = home ? home : env_text("HOME");
    bool json_flag = args.flag("--json");
    bool jsonl = args.flag("--jsonl");
    c.mode = jsonl ? Mode::Jsonl : json_flag ? Mode::Json : Mode::Text;
    c.dirs = args.flag("--dirs");
    c.pretty = args.flag("--pretty");
    c.options.rules = load_rules(args.value("--config"));
    if (args.flag("--no-fsevents")) c.options.fsevents = false;
    if (args.flag("--no-cache")) c.options.use_cache = false;
    if (auto d = args.value("--cache-dir")) c.options.cache_dir = *d;
    if (auto t = args.num("--threads")) c.options.threads = clamp_threads(*t);
    if (auto p = args.value("--priority")) c.options.priority = split_priority(*p);
    if (auto b = args.num("--big-min")) c.options.big_min = *b;
    if (args.flag("--generic-lister")) c.options.generic_lister = true;
    if (auto t = args.num("--top")) c.top = *t;
    if (auto m = args.num("--min-dir-bytes")) c.min_dir_bytes = *m;
    if (auto l = args.num("--dir-limit")) c.dir_limit = *l;
    args.expect_empty();
    return c;
}

std::string lister_name(bool generic) {
    return generic ? "readdir+lstat" : "getattrlistbulk";
}

json hello(const ScanCommand& c) {
    return {{"engine", ENGINE_NAME},
            {"version", VERSION},
            {"root", c.options.root},
            {"threads", c.options.threads},
            {"lister", lister_name(c.options.generic_lister)}};
}

json result_object(const ScanCommand& c, const bwcore::ScanResult& r) {
    namespace sv = bwcore::scan;
    sv::TreeRef tree{{r.root, &r.node}};
    // The home as it was given; only the rules work on its trimmed form.
    const auto& home = c.options.home;
    json first_roots = json::array();
    for (const auto& f : r.first_roots)
        first_roots.push_back({{"path", f.path}, {"alloc", f.alloc}});
    json o = {
        {"engine", ENGINE_NAME},
        {"version", VERSION},
        {"root", r.root},
        {"home", home && !home->empty() ? json(*home) : json(nullptr)},
        {"lister", r.lister},
        {"threads", r.threads},
        {"elapsed_ms", r.elapsed_ms},
        {"first_results_ms", r.first_results_ms},
        {"first_roots", std::move(first_roots)},
        {"cache",
         {{"used", r.cache_used},
          {"load_ms", r.cache_load_ms},
          {"validation", r.validation},
          {"fsevents_note", r.fsevents_note ? json(*r.fsevents_note) : json(nullptr)},
          {"changed_dirs", r.changed_dirs},
          {"listed_dirs", r.listed},
          {"reused_dirs", r.reused},
          {"patched_dirs", r.patched}}},
        {"total", sv::agg_json(r.node.total)},
        {"top_files", sv::top_files(tree, static_cast<std::size_t>(c.top))},
        {"top_dirs", sv::dirs_view(tree, 67108864, 200)},
        {"devbuilds", sv::devbuilds_view(tree, c.options.rules.marker_index())},
        {"skipped_samples", sv::skipped_samples(r.node, 50)},
    };
    if (c.dirs)
        o["dirs"] = sv::dirs_view(tree, c.min_dir_bytes, static_cast<std::size_t>(c.dir_limit));
    return o;
}

void rows(std::string& out, const json& list, bool with_name) {
    std::size_t n = 0;
    for (const auto& e : list) {
        if (n++ == 15) break;
        uint64_t alloc =
            e.contains("alloc") && e["alloc"].is_number_unsigned() ? e["alloc"].get<uint64_t>() : 0;
        std::string path =
            e.contains("path") && e["path"].is_string() ? e["path"].get<std::string>() : "";
        char size[32];
        std::snprintf(size, sizeof size, "%10s", size_text(alloc).c_str());
        out += "  " + std::string(size) + "  " + shown(path);
        if (with_name) {
            std::string name =
                e.contains("name") && e["name"].is_string() ? e["name"].get<std::string>() : "";
            out += "  [" + shown(name) + "]";
        }
        out += "\n";
    }
}

std::string text_report(const json& o) {
    const json& total = o["total"];
    char line[512];
    std::snprintf(line, sizeof line,
                  "  %s  %llu files, %llu folders  in %.2f s (first results %.2f s, %llu listed, "
                  "%llu from cache, %llu threads, %s)\n",
                  size_text(total["alloc"].get<uint64_t>()).c_str(),
                  static_cast<unsigned long long>(total["files"].get<uint64_t>()),
                  static_cast<unsigned long long>(total["dirs"].get<uint64_t>()),
                  o["elapsed_ms"].get<double>() / 1000.0,
                  o["first_results_ms"].get<double>() / 1000.0,
                  static_cast<unsigned long long>(o["cache"]["listed_dirs"].get<uint64_t>()),
                  static_cast<unsigned long long>(o["cache"]["reused_dirs"].get<uint64_t>()),
                  static_cast<unsigned long long>(o["threads"].get<uint64_t>()),
                  o["lister"].get<std::string>().c_str());
    std::string out = shown(o["root"].get<std::string>()) + line;
    out += "\nBiggest folders:\n";
    rows(out, o["top_dirs"], false);
    out += "\nBiggest files:\n";
    rows(out, o["top_files"], false);
    out += "\nDev/build folders (biggest first):\n";
    rows(out, o["devbuilds"], true);
    return out;
}

// The process ends right after the command, and tearing down a tree of a million folders one
// node at a time costs milliseconds for nothing: the tree is handed to a holder the process
// never frees. The holder is reachable from a global, so the leak checker counts it as in use.
// A second scan in one process (the command's tests) frees the tree of the one before.
void keep_until_exit(bwcore::ScanResult&& result) {
    static bwcore::ScanResult* kept = nullptr;
    auto* next = new bwcore::ScanResult(std::move(result));
    delete kept;
    kept = next;
}

}  // namespace

int cmd_scan(Args args) {
    ScanCommand c = parse(args);
    const bool jsonl = c.mode == Mode::Jsonl;
    if (jsonl) emit("hello", hello(c));

    ProgressLine line;
    if (jsonl)
        line = [](const bwcore::walk::Counters& n, double ms) {
            return json{{"elapsed_ms", ms},
                        {"dirs", n.dirs.load()},
                        {"files", n.files.load()},
                        {"bytes", n.bytes.load()}};
        };
    auto result = scan_with_progress(c.options, std::chrono::milliseconds(200), 0, line);
    if (!result) {
        const std::string& msg = result.error().message;
        if (c.mode == Mode::Text) throw ExitError{1, std::string(ENGINE_NAME) + ": " + msg + "\n"};
        write_json_line(error_object(msg));
        return 1;
    }

    // The save overlaps the building of the views; both only read the tree.
    bool saved = false;
    double save_ms = 0;
    std::thread saver([&] {
        auto t0 = Clock::now();
        saved = bwcore::scan::save_cache(c.options, *result).ok();
        save_ms = ms_between(t0, Clock::now());
    });
    json o;
    try {
        o = result_object(c, *result);
    } catch (...) {
        saver.join();
        throw;
    }
    saver.join();
    o["cache"]["saved"] = saved;
    o["cache"]["save_ms"] = save_ms;

    bool ok = true;
    switch (c.mode) {
        case Mode::Jsonl:
            emit("done", std::move(o));
            break;
        case Mode::Json:
            ok = write_stdout(to_text(o, c.pretty) + "\n");
            break;
        case Mode::Text:
            ok = write_stdout(text_report(o));
            break;
    }
    keep_until_exit(std::move(*result));
    return ok ? 0 : 1;
}

}  // namespace virirado_engine
