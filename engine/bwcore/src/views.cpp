#include "views.hpp"

#include <algorithm>
#include <cmath>
#include <queue>
#include <tuple>

namespace bwcore::scan {
namespace {

using json = nlohmann::json;

// (alloc, path) rows: allocated bytes descending, then path ascending.
template <class Row>
void sort_rows(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.alloc != b.alloc) return a.alloc > b.alloc;
        return a.path < b.path;
    });
}

template <class Row>
void cut(std::vector<Row>& rows, std::size_t limit) {
    if (rows.size() > limit) rows.resize(limit);
}

struct DirRow {
    uint64_t alloc;
    std::string path;
    const Node* node;
};

json totals_row(const DirRow& r) {
    json row = agg_json(r.node->total);
    row["path"] = r.path;
    return row;
}

template <class F>
void each_folder(const TreeRef& tree, F&& f) {
    for (const RootRef& root : tree)
        if (root.node) tree::visit(*root.node, root.path, f);
}

}  // namespace

json mtime_json(int64_t ns) {
    double s = static_cast<double>(ns) / 1e9;
    if (!std::isfinite(s)) return nullptr;
    return s;
}

json agg_json(const Agg& a) {
    json o = json::object();
    o["alloc"] = a.alloc;
    o["logical"] = a.logical;
    o["files"] = a.files;
    o["dirs"] = a.dirs;
    o["mtime"] = mtime_json(a.mtime);
    o["dataless"] = a.dataless;
    o["protected"] = a.protected_;
    o["skipped"] = a.skipped;
    return o;
}

json dirs_view(const TreeRef& tree, uint64_t min, std::size_t limit) {
    std::vector<DirRow> rows;
    each_folder(tree, [&](const std::string& path, const Node& n) {
        if (n.total.alloc >= min) rows.push_back({n.total.alloc, path, &n});
    });
    sort_rows(rows);
    cut(rows, limit);
    json out = json::array();
    for (const DirRow& r : rows)
        out.push_back(totals_row(r));
    return out;
}

json top_files(const TreeRef& tree, std::size_t limit) {
    using Cand =
        std::tuple<uint64_t, std::string, uint64_t, int64_t>;  // alloc, path, logical, mtime
    std::priority_queue<Cand, std::vector<Cand>, std::greater<Cand>> heap;  // smallest on top
    if (limit == 0) return json::array();
    each_folder(tree, [&](const std::string& path, const Node& n) {
        for (const FileRec& f : n.files) {
            if (heap.size() >= limit && f.alloc <= std::get<0>(heap.top())) continue;
            heap.emplace(f.alloc, tree::join(path, f.name), f.logical, f.mtime);
            if (heap.size() > limit) heap.pop();
        }
    });
    struct Row {
        uint64_t alloc;
        std::string path;
        uint64_t logical;
        int64_t mtime;
    };
    std::vector<Row> rows;
    rows.reserve(heap.size());
    while (!heap.empty()) {
        const auto& [alloc, path, logical, mtime] = heap.top();
        rows.push_back({alloc, path, logical, mtime});
        heap.pop();
    }
    sort_rows(rows);
    json out = json::array();
    for (const Row& r : rows)
        out.push_back({{"path", r.path},
                       {"alloc", r.alloc},
                       {"logical", r.logical},
                       {"mtime", mtime_json(r.mtime)}});
    return out;
}

json files_view(const TreeRef& tree, uint64_t min, std::size_t limit) {
    struct Row {
        uint64_t alloc;
        std::string path;
        const FileRec* file;
        const Node* folder;
    };
    std::vector<Row> rows;
    each_folder(tree, [&](const std::string& path, const Node& n) {
        for (const FileRec& f : n.files)
            if (std::max(f.alloc, f.logical) >= min)
                rows.push_back({f.alloc, tree::join(path, f.name), &f, &n});
    });
    sort_rows(rows);
    cut(rows, limit);
    json out = json::array();
    for (const Row& r : rows) {
        const auto& links = r.folder->links;
        bool linked = std::any_of(links.begin(), links.end(),
                                  [&](const LinkRec& l) { return l.name == r.file->name; });
        out.push_back({{"path", r.path},
                       {"alloc", r.file->alloc},
                       {"logical", r.file->logical},
                       {"mtime", mtime_json(r.file->mtime)},
                       {"dev", r.folder->dev},
                       {"ino", r.file->ino},
                       {"linked", linked}});
    }
    return out;
}

json devbuilds_view(const TreeRef& tree, const MarkerIndex& index) {
    std::vector<DirRow> rows;
    each_folder(tree, [&](const std::string& path, const Node& n) {
        if (n.dev_kind != 0) rows.push_back({n.total.alloc, path, &n});
    });
    sort_rows(rows);
    json out = json::array();
    for (const DirRow& r : rows) {
        json row = totals_row(r);
        auto [kind, name] = kind_name(r.node->dev_kind, index);
        row["kind"] = kind;
        row["name"] = name;
        row["marker"] = r.node->marker;
        out.push_back(std::move(row));
    }
    return out;
}

json skipped_samples(const Node& root, std::size_t limit) {
    json out = json::array();
    tree::visit(root, "", [&](const std::string&, const Node& n) {
        for (const SkipSample& s : n.skipped) {
            if (out.size() >= limit) return;
            out.push_back(json::array({s.path, s.reason}));
        }
    });
    return out;
}

std::pair<std::string, std::string> kind_name(uint16_t dev_kind, const MarkerIndex& index) {
    if (dev_kind == rules::KIND_DERIVED_DATA) return {"derived-data", "DerivedData"};
    if (dev_kind == rules::KIND_WRANGLER) return {"wrangler", ".wrangler"};
    std::size_t known = std::min(index.dev_folder_list.size(), rules::MAX_DEV_ENTRIES);
    if (dev_kind >= 1 && dev_kind <= known)
        return {"devbuild", index.dev_folder_list[dev_kind - 1].first};
    return {};
}

Node* find(Node& root, std::string_view root_path, std::string_view path) {
    auto parts = rules::rel_parts(path, root_path);
    if (!parts) return nullptr;
    Node* at = &root;
    for (const std::string& part : *parts) {
        auto& kids = at->children;
        auto it =
            std::find_if(kids.begin(), kids.end(), [&](const Node& c) { return c.name == part; });
        if (it == kids.end()) return nullptr;
        at = &*it;
    }
    return at;
}

const Node* find(const Node& root, std::string_view root_path, std::string_view path) {
    return find(const_cast<Node&>(root), root_path, path);
}

}  // namespace bwcore::scan
