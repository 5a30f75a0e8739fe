#include "sizes.hpp"

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "darwin_sys.hpp"
#include "entry.hpp"
#include "list_generic.hpp"
#include "scan.hpp"
#include "views.hpp"
#include "walk.hpp"

namespace bwcore::sizes {
namespace {

using json = nlohmann::json;

json blocked(const std::string& path, std::string_view reason, bool with_sample,
             const Agg& totals = {}) {
    json samples = json::array();
    if (with_sample) samples.push_back({path, std::string(reason)});
    return out(path, totals, reason, std::move(samples));
}

json measure_folder(const std::string& path, const Entry& entry,
                    const std::optional<std::string>& home, const Rules& rules,
                    bool generic_lister) {
    MarkerIndex index = rules.marker_index();
    walk::Counters counters;
    walk::WalkOptions opt;
    opt.home = home;
    opt.generic_lister = generic_lister;
    opt.root_dev = entry.dev;
    walk::Walker walker(opt, rules, index, nullptr, counters);
    Node node = walker.walk_root(path, entry, std::nullopt);
    // The walk leaves hard-linked files out of its provisional totals; settle them so each
    // linked file counts once here.
    tree::settle_links(node);
    return out(path, node.total, "", scan::skipped_samples(node, MAX_SAMPLES));
}

}  // namespace

json out(std::string_view path, const Agg& totals, std::string_view root_blocked, json skipped) {
    json row = json::object();
    row["path"] = std::string(path);
    row["allocated"] = totals.alloc;
    row["logical"] = totals.logical;
    row["files"] = totals.files;
    row["dirs"] = totals.dirs;
    row["mtime"] = scan::mtime_json(totals.mtime);
    row["dataless"] = totals.dataless;
    row["protected"] = totals.protected_;
    row["skipped_count"] = totals.skipped;
    row["skipped"] = std::move(skipped);
    row["root_blocked"] = std::string(root_blocked);
    row["partial"] = false;
    return row;
}

json measure(const std::string& path, const std::optional<std::string>& home, const Rules& rules,
             bool generic_lister) {
    // A NUL would cut the path short at the system call and measure another place.
    if (path.find('\0') != std::string::npos) return blocked(path, "error", true);
    auto st = list_generic::stat_path(path);
    if (!st) return blocked(path, entry::errno_reason(st.error().code), true);
    const Entry& e = *st;
    Agg totals;
    switch (classify(e)) {
        case Class::Symlink:
            return blocked(path, "symlink", false);
        case Class::Protected:
            totals.protected_ = 1;
            return blocked(path, "protected", false, totals);
        case Class::Dataless:
            totals.dataless = 1;
            return blocked(path, "dataless", false, totals);
        default:
            break;
    }
    if (home && !home->empty()) {
        auto reason = rules.deny_reason(path, *home);
        if (reason && !rules::report_only(rules, path, *home, *reason))
            return blocked(path, *reason, true);
    }
    totals.mtime = e.mtime_ns;
    if (e.kind == KIND_FILE) {
        totals.alloc = e.alloc;
        totals.logical = e.logical;
        totals.files = 1;
        return out(path, totals, "", json::array());
    }
    if (e.kind == KIND_DIR) return measure_folder(path, e, home, rules, generic_lister);
    return out(path, totals, "", json::array());
}

std::vector<json> measure_many(const std::vector<std::string>& paths,
                               const std::optional<std::string>& home, const Rules& rules,
                               unsigned threads, bool generic_lister) {
    bwplatform::setiopolicy_np(bwplatform::IOPOL_TYPE_VFS_MATERIALIZE_DATALESS_FILES,
                               bwplatform::IOPOL_SCOPE_PROCESS,
                               bwplatform::IOPOL_MATERIALIZE_DATALESS_FILES_OFF);
    std::vector<json> rows(paths.size());
    if (paths.empty()) return rows;
    scan::run_big_stack([&] {
        tbb::task_arena arena(static_cast<int>(std::max(threads, 1u)));
        arena.execute([&] {
            tbb::parallel_for(std::size_t{0}, paths.size(), [&](std::size_t i) {
                try {
                    rows[i] = measure(paths[i], home, rules, generic_lister);
                } catch (const std::exception&) {
                    rows[i] = blocked(paths[i], "error", true);
                }
            });
        });
    });
    return rows;
}

json from_tree(std::string_view path, const Node& node) {
    // Iterative over the subtree with one (dev, ino) set for this call only.
    std::set<std::pair<uint64_t, uint64_t>> seen;
    Agg totals;
    std::vector<const Node*> stack{&node};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        Agg here = n->own;
        here.dirs = add_sat(here.dirs, 1);
        here.alloc = add_sat(here.alloc, n->self_alloc);
        here.logical = add_sat(here.logical, n->self_logical);
        here.mtime = std::max(here.mtime, n->mtime);
        for (const LinkRec& l : n->links) {
            if (!seen.insert({l.dev, l.ino}).second) continue;
            here.alloc = add_sat(here.alloc, l.alloc);
            here.logical = add_sat(here.logical, l.logical);
            here.files = add_sat(here.files, 1);
            here.mtime = std::max(here.mtime, l.mtime);
        }
        totals.add(here);
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
            stack.push_back(&*it);
    }
    return out(path, totals, "", scan::skipped_samples(node, MAX_SAMPLES));
}

}  // namespace bwcore::sizes
