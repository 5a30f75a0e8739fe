// `serve`: one plain scan, then sizes of paths and lists of big files on request, one JSON line
// per request on standard input, one reply line per request on standard output.
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.hpp"
#include "options.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "serve_common.hpp"
#include "sizes.hpp"
#include "views.hpp"

namespace virirado_engine {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

inline constexpr uint64_t TOP_DIRS_MIN = 67108864;
inline constexpr uint64_t FILES_LIMIT = 200000;

struct ServeCommand {
    bwcore::ScanOptions options{"/"};
    uint64_t top = 200;
};

// Options in their fixed order; anything else on the line is ignored.
ServeCommand parse(Args& args) {
    auto root = args.value("--root");
    auto home = args.value("--home");
    ServeCommand c;
    c.options = bwcore::ScanOptions(root ? *root : env_text("HOME").value_or("/"));
    c.options.home = home ? home : env_text("HOME");
    c.options.rules = load_rules(args.value("--config"));
    if (args.flag("--no-cache")) c.options.use_cache = false;
    if (args.flag("--no-fsevents")) c.options.fsevents = false;
    if (auto d = args.value("--cache-dir")) c.options.cache_dir = *d;
    if (auto t = args.num("--threads")) c.options.threads = clamp_threads(*t);
    if (args.flag("--generic-lister")) c.options.generic_lister = true;
    if (auto t = args.num("--top")) c.top = *t;
    if (auto b = args.num("--big-min")) c.options.big_min = *b;
    return c;
}

// Progress every 50 ms tick, at most one line per 250 ms.
bwcore::Result<bwcore::ScanResult> run_scan(const bwcore::ScanOptions& options) {
    return scan_with_progress(options, std::chrono::milliseconds(50), 250,
                              [](const bwcore::walk::Counters& n, double ms) {
                                  return json{{"elapsed_ms", static_cast<uint64_t>(ms)},
                                              {"dirs", n.dirs.load()},
                                              {"files", n.files.load()},
                                              {"listed_dirs", n.listed.load()},
                                              {"reused_dirs", n.reused.load()}};
                              });
}

json ready(const ServeCommand& c, const bwcore::ScanResult& r, const bwcore::MarkerIndex& index) {
    namespace sv = bwcore::scan;
    sv::TreeRef tree{{r.root, &r.node}};
    auto top = static_cast<std::size_t>(c.top);
    return {{"engine", ENGINE_NAME},
            {"version", VERSION},
            {"root", r.root},
            {"elapsed_ms", r.elapsed_ms},
            {"first_results_ms", r.first_results_ms},
            {"cache",
             {{"used", r.cache_used},
              {"validation", r.validation},
              {"listed_dirs", r.listed},
              {"reused_dirs", r.reused},
              {"patched_dirs", r.patched}}},
            {"total", sv::agg_json(r.node.total)},
            {"devbuilds", sv::devbuilds_view(tree, index)},
            {"top_files", sv::top_files(tree, top)},
            {"top_dirs", sv::dirs_view(tree, TOP_DIRS_MIN, top)}};
}

class Server {
public:
    Server(const ServeCommand& c, const bwcore::ScanResult& r)
        : m_c(c), m_r(r), m_pool(static_cast<int>(std::max(c.options.threads, 1u))) {}

    // Answers lines until "quit" or the end of input.
    void run(std::FILE* in) {
        std::string line;
        while (read_request_line(in, line)) {
            ParsedRequest req = parse_request(line);
            if (req.error) {
                write_json_line(error_object(*req.error));
                continue;
            }
            auto op = string_field(req.value, "op");
            if (op == "quit") return;
            if (op == "sizes")
                emit("sizes", sizes(req.value));
            else if (op == "files")
                emit("files", files(req.value));
            else
                write_json_line(error_object("unknown op"));
        }
    }

private:
    json sizes(const json& req) {
        std::vector<std::string> paths;
        if (const json* list = field(req, "paths"); list != nullptr && list->is_array())
            for (const json& p : *list)
                if (p.is_string()) paths.push_back(p.get<std::string>());
        auto start = Clock::now();
        std::vector<json> rows(paths.size());
        std::vector<char> in_tree(paths.size(), 0);
        auto home = m_c.options.normalized_home();
        bwcore::scan::run_big_stack([&] {
            m_pool.execute([&] {
                tbb::parallel_for(std::size_t{0}, paths.size(), [&](std::size_t i) {
                    if (const bwcore::Node* n = bwcore::scan::find(m_r.node, m_r.root, paths[i])) {
                        rows[i] = bwcore::sizes::from_tree(paths[i], *n);
                        in_tree[i] = 1;
                    } else {
                        rows[i] = measure(paths[i], home);
                    }
                });
            });
        });
        uint64_t from_tree = 0;
        for (char t : in_tree)
            from_tree += t ? 1 : 0;
        return {{"elapsed_ms", ms_between(start, Clock::now())},
                {"from_tree", from_tree},
                {"sizes", std::move(rows)}};
    }

    // A path that cannot be walked (memory, say) is answered in its row, like any unreadable one.
    json measure(const std::string& path, const std::optional<std::string>& home) const {
        try {
            return bwcore::sizes::measure(path, home, m_c.options.rules,
                                          m_c.options.generic_lister);
        } catch (const std::exception&) {
            return bwcore::sizes::out(path, bwcore::Agg{}, "error",
                                      json::array({json::array({path, "error"})}));
        }
    }

    json files(const json& req) const {
        uint64_t big_min = m_c.options.big_min;
        uint64_t min = std::max(unsigned_field(req, "min").value_or(big_min), big_min);
        uint64_t limit = unsigned_field(req, "limit").value_or(FILES_LIMIT);
        auto start = Clock::now();
        json rows =
            bwcore::scan::files_view({{m_r.root, &m_r.node}}, min, static_cast<std::size_t>(limit));
        return {{"elapsed_ms", ms_between(start, Clock::now())},
                {"min", min},
                {"files", std::move(rows)}};
    }

    const ServeCommand& m_c;
    const bwcore::ScanResult& m_r;
    tbb::task_arena m_pool;
};

}  // namespace

int cmd_serve(Args args) {
    ServeCommand c = parse(args);
    auto result = run_scan(c.options);
    if (!result) {
        write_json_line(error_object(result.error().message));
        return 1;
    }
    const bwcore::ScanResult& r = *result;
    auto index = c.options.rules.marker_index();
    // The save runs beside the loop and is waited for at the end, so a quick "quit" still
    // leaves the cache written.
    std::thread saver([&] { (void)bwcore::scan::save_cache(c.options, r); });
    try {
        emit("ready", ready(c, r, index));
        Server server(c, r);
        server.run(stdin);
    } catch (...) {
        saver.join();
        throw;
    }
    saver.join();
    return 0;
}

}  // namespace virirado_engine
