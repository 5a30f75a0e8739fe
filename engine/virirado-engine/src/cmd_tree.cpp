// `tree`: a full-mode scan, then the folder tree below one path, biggest first, as indented text
// or one JSON object.
#include <algorithm>
#include <climits>
#include <cstdio>

#include "browse.hpp"
#include "commands.hpp"
#include "full_opts.hpp"
#include "json_out.hpp"
#include "options.hpp"
#include "output.hpp"
#include "views.hpp"

namespace virirado_engine {
namespace {

using json = nlohmann::json;

struct TreeCommand {
    FullOpts full;
    std::optional<std::string> path;
    uint64_t depth = 2;
    uint64_t top = 20;
    bool files = true;
    bool json_out = false;
    bool pretty = false;
};

TreeCommand parse(Args& args) {
    TreeCommand c;
    c.full = full_opts(args);
    c.path = args.value("--path");
    if (auto d = args.num("--depth")) c.depth = *d;
    if (auto t = args.num("--top")) c.top = *t;
    // "--files" is looked for first, so with both given "--no-files" is left over.
    if (!args.flag("--files") && args.flag("--no-files")) c.files = false;
    c.json_out = args.flag("--json");
    c.pretty = args.flag("--pretty");
    args.expect_empty();
    return c;
}

uint64_t unsigned_at(const json& row, const char* key) {
    auto it = row.find(key);
    return it != row.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
}

std::string text_at(const json& row, const char* key) {
    auto it = row.find(key);
    return it != row.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string padded_size(uint64_t bytes) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%10s  ", size_text(bytes).c_str());
    return buf;
}

json tree_object(const bwcore::ScanResult& r, json t) {
    return {{"v", 1},
            {"type", "tree"},
            {"engine", ENGINE_NAME},
            {"version", VERSION},
            {"root", r.root},
            {"elapsed_ms", r.elapsed_ms},
            {"cache",
             {{"used", r.cache_used},
              {"validation", r.validation},
              {"listed_dirs", r.listed},
              {"reused_dirs", r.reused}}},
            {"total", bwcore::scan::agg_json(r.node.total)},
            {"tree", std::move(t)}};
}

// The rows of one level of the tree and, while `depth` allows, the levels below each.
void show(std::string& out, const json& value, unsigned level, uint64_t depth) {
    if (!value.is_object()) return;
    std::string indent(2 * static_cast<std::size_t>(level), ' ');
    if (auto children = value.find("children"); children != value.end() && children->is_array()) {
        for (const json& row : *children) {
            out += padded_size(unsigned_at(row, "alloc")) + indent + shown(text_at(row, "name"));
            if (text_at(row, "type") == "folder") out += "/";
            if (auto lo = row.find("look_only"); lo != row.end() && *lo == true)
                out += "  [look only]";
            out += "\n";
            if (depth > 1) show(out, row, level + 1, depth - 1);
        }
    }
    auto rest = value.find("rest");
    if (rest == value.end() || !rest->is_object()) return;
    uint64_t count = unsigned_at(*rest, "count");
    if (count == 0) return;
    out += padded_size(unsigned_at(*rest, "alloc")) + indent + "\u2026 " + std::to_string(count) +
           " more\n";
}

}  // namespace

int cmd_tree(Args args) {
    TreeCommand c = parse(args);
    bwcore::walk::Counters counters;
    auto result =
        bwcore::scan::scan(c.full.options, counters, [](std::string_view, const json&) {});
    if (!result) {
        const std::string& msg = result.error().message;
        if (!c.json_out) throw ExitError{1, std::string(ENGINE_NAME) + ": " + msg + "\n"};
        write_json_line(error_object(msg));
        return 1;
    }
    (void)bwcore::scan::save_cache(c.full.options, *result);

    const bwcore::ScanOptions& o = c.full.options;
    bwcore::Browse browse(result->root, result->node, o.rules, o.rules.marker_index(),
                          o.normalized_home(), o.generic_lister);
    std::string path = walked_path(result->root, c.path ? *c.path : result->root);
    unsigned depth = static_cast<unsigned>(std::clamp<uint64_t>(c.depth, 1, UINT_MAX));
    auto t =
        browse.tree(path, depth, static_cast<std::size_t>(std::max<uint64_t>(c.top, 1)), c.files);
    if (!t) {
        // On standard output even in text mode: a caller reads one error line either way.
        write_json_line(error_object(t.error().message));
        return 1;
    }
    if (c.json_out)
        return write_stdout(to_text(tree_object(*result, std::move(*t)), c.pretty) + "\n") ? 0 : 1;

    char header[256];
    std::snprintf(header, sizeof header, "  %s  (%s files, %s folders, %.2f s)\n",
                  size_text(unsigned_at(*t, "alloc")).c_str(),
                  std::to_string(unsigned_at(*t, "files")).c_str(),
                  std::to_string(unsigned_at(*t, "dirs")).c_str(), result->elapsed_ms / 1000.0);
    std::string out = shown(bwcore::browse::user_path(path)) + header;
    show(out, *t, 0, c.depth);
    return write_stdout(out) ? 0 : 1;
}

}  // namespace virirado_engine
