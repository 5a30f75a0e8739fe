// `serve --full`: one full-mode scan, then browse requests over the tree in memory (top,
// node, search, sizes, refresh), each reply carrying the request's "id".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include <tbb/task_arena.h>

#include "browse.hpp"
#include "commands.hpp"
#include "full_opts.hpp"
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
inline constexpr uint64_t DEFAULT_LIMIT = 500;
inline constexpr uint64_t LIST_CAP = 5000;

struct FullCommand {
    FullOpts full;
    uint64_t top = 200;
};

FullCommand parse(Args& args) {
    while (args.flag("--full")) {
    }
    FullCommand c;
    c.full = full_opts(args);
    if (auto t = args.num("--top")) c.top = *t;
    return c;
}

// One scan with its progress lines; a failure has been reported by the time it returns. The
// cache is saved before anything else is written.
std::unique_ptr<bwcore::ScanResult> run_scan(const bwcore::ScanOptions& options) {
    auto result = scan_with_progress(options, std::chrono::milliseconds(250), 0,
                                     [](const bwcore::walk::Counters& n, double ms) {
                                         return json{{"elapsed_ms", static_cast<uint64_t>(ms)},
                                                     {"files", n.files.load()},
                                                     {"dirs", n.dirs.load()},
                                                     {"bytes", n.bytes.load()}};
                                     });
    if (!result) {
        write_json_line(error_object(result.error().message));
        return nullptr;
    }
    (void)bwcore::scan::save_cache(options, *result);
    return std::make_unique<bwcore::ScanResult>(std::move(result).value());
}

class BrowseServer {
public:
    BrowseServer(FullCommand c, std::unique_ptr<bwcore::ScanResult> first)
        : m_c(std::move(c)),
          m_index(m_c.full.options.rules.marker_index()),
          m_arena(static_cast<int>(std::max(m_c.full.options.threads, 1u))) {
        replace(std::move(first));
    }

    json ready(json id) const {
        namespace sv = bwcore::scan;
        const bwcore::ScanResult& r = *m_result;
        sv::TreeRef tree{{r.root, &r.node}};
        auto top = static_cast<std::size_t>(m_c.top);
        return {{"v", 1},
                {"type", "ready"},
                {"id", std::move(id)},
                {"mode", "full"},
                {"engine", ENGINE_NAME},
                {"version", VERSION},
                {"root", r.root},
                {"user_root", bwcore::browse::user_path(r.root)},
                {"elapsed_ms", r.elapsed_ms},
                {"first_results_ms", r.first_results_ms},
                {"cache",
                 {{"used", r.cache_used},
                  {"validation", r.validation},
                  {"listed_dirs", r.listed},
                  {"reused_dirs", r.reused},
                  {"patched_dirs", r.patched}}},
                {"total", sv::agg_json(r.node.total)},
                {"top_files", sv::top_files(tree, top)},
                {"top_dirs", sv::dirs_view(tree, TOP_DIRS_MIN, top)}};
    }

    // Answers lines until "quit" or the end of input.
    void run(std::FILE* in) {
        std::string line;
        while (read_request_line(in, line)) {
            ParsedRequest req = parse_request(line);
            if (req.error) {
                write_json_line(error_object(*req.error));
                continue;
            }
            auto start = Clock::now();
            auto op = string_field(req.value, "op");
            if (op == "quit") return;
            const json* id = field(req.value, "id");
            json reply = answer(op.value_or(""), req.value, id ? *id : json(nullptr));
            reply["v"] = 1;
            reply["id"] = id ? *id : json(nullptr);
            reply["elapsed_ms"] = ms_between(start, Clock::now());
            write_json_line(reply);
        }
    }

private:
    json answer(const std::string& op, const json& req, json id) {
        std::string path =
            walked_path(m_result->root, string_field(req, "path").value_or(m_result->root));
        uint64_t limit = unsigned_field(req, "limit").value_or(DEFAULT_LIMIT);
        if (op == "top") return typed(m_browse->top(path, std::min(limit, LIST_CAP)), "top", path);
        if (op == "node" || op == "children") {
            const json* files = field(req, "files");
            bool with_files = files == nullptr || !files->is_boolean() || files->get<bool>();
            // A live listing takes its status calls on as many threads as the scan had.
            auto node = m_arena.execute(
                [&] { return m_browse->node(path, static_cast<std::size_t>(limit), with_files); });
            return typed(std::move(node), "node", path);
        }
        if (op == "search") {
            json out =
                m_browse->search(string_field(req, "q").value_or(""), std::min(limit, LIST_CAP));
            out["type"] = "search";
            return out;
        }
        if (op == "sizes") return {{"type", "sizes"}, {"sizes", sizes(req)}};
        if (op == "refresh") return refresh(std::move(id));
        return {{"type", "error"}, {"error", "unknown op"}};
    }

    static json typed(bwcore::Result<json> r, const char* type, const std::string& path) {
        if (!r) return {{"type", "error"}, {"error", r.error().message}, {"path", path}};
        json out = std::move(r).value();
        out["type"] = type;
        return out;
    }

    // From the tree only: a path it does not hold is null, nothing is measured on disk.
    json sizes(const json& req) const {
        json out = json::array();
        const json* list = field(req, "paths");
        if (list == nullptr || !list->is_array()) return out;
        for (const json& p : *list) {
            if (!p.is_string()) continue;
            std::string mapped = walked_path(m_result->root, p.get<std::string>());
            const bwcore::Node* n = bwcore::scan::find(m_result->node, m_result->root, mapped);
            out.push_back(n ? bwcore::sizes::from_tree(mapped, *n) : json(nullptr));
        }
        return out;
    }

    // A failed rescan keeps the tree in use; its own error line has already gone out.
    json refresh(json id) {
        auto fresh = run_scan(m_c.full.options);
        if (!fresh) return {{"type", "error"}, {"error", "refresh failed"}};
        replace(std::move(fresh));
        return ready(std::move(id));
    }

    // The Browse borrows the result's tree, so it goes before the result it points into.
    void replace(std::unique_ptr<bwcore::ScanResult> fresh) {
        const bwcore::ScanOptions& o = m_c.full.options;
        auto browse = std::make_unique<bwcore::Browse>(fresh->root, fresh->node, o.rules, m_index,
                                                       o.normalized_home(), o.generic_lister);
        m_browse = std::move(browse);
        m_result = std::move(fresh);
    }

    FullCommand m_c;
    bwcore::MarkerIndex m_index;
    tbb::task_arena m_arena;
    std::unique_ptr<bwcore::ScanResult> m_result;
    std::unique_ptr<bwcore::Browse> m_browse;
};

}  // namespace

int cmd_serve_full(Args args) {
    FullCommand c = parse(args);
    auto first = run_scan(c.full.options);
    if (!first) return 1;
    BrowseServer server(std::move(c), std::move(first));
    write_json_line(server.ready(nullptr));
    server.run(stdin);
    return 0;
}

}  // namespace virirado_engine
