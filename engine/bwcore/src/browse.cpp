#include "browse.hpp"

#include <string.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "entry.hpp"
#include "list_direct.hpp"
#include "list_generic.hpp"
#include "views.hpp"

namespace bwcore {

using nlohmann::json;

namespace {

constexpr std::string_view DATA_VOLUME = "/System/Volumes/Data";
constexpr std::string_view NO_HOME = "/nonexistent-home";
constexpr std::array<std::string_view, 8> SYSTEM_PLACES = {
    "/usr", "/opt", "/bin", "/sbin", "/dev", "/private", "/cores", "/Volumes"};
constexpr std::string_view NUL_IN_PATH = "file name contained an unexpected NUL byte";

bool at_or_below(std::string_view path, std::string_view base) {
    return path.starts_with(base) && (path.size() == base.size() || path[base.size()] == '/');
}

// Sums of sizes that cannot overflow, so a saturated total is never taken apart wrongly.
__extension__ using Wide = unsigned __int128;


std::string not_in_tree(std::string_view path) {
    return std::string(path) + ": not in the scanned tree";
}

std::string error_text(const Error& e) {
    if (!e.is_os()) return e.message;
    char buf[256];
    const char* text = ::strerror_r(e.code, buf, sizeof buf);  // the GNU form returns the text
    return std::string(text) + " (os error " + std::to_string(e.code) + ")";
}

std::string_view last_component(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool linked_name(const Node& n, std::string_view name) {
    return std::any_of(n.links.begin(), n.links.end(),
                       [&](const LinkRec& l) { return l.name == name; });
}

// A bounded min-heap: keeps the `limit` greatest values pushed, by T's ordering.
template <class T, class Less = std::less<T>>
class TopK {
public:
    explicit TopK(std::size_t limit) : m_limit(limit) {}
    bool full() const { return m_heap.size() >= m_limit; }
    const T& smallest() const { return m_heap.front(); }
    void push(T v) {
        if (m_limit == 0) return;
        if (full() && !m_less(smallest(), v)) return;  // it would be the one to leave
        m_heap.push_back(std::move(v));
        std::push_heap(m_heap.begin(), m_heap.end(), m_greater);
        if (m_heap.size() > m_limit) {
            std::pop_heap(m_heap.begin(), m_heap.end(), m_greater);
            m_heap.pop_back();
        }
    }
    std::vector<T> take() && { return std::move(m_heap); }

private:
    struct Greater {
        bool operator()(const T& a, const T& b) const { return Less{}(b, a); }
    };
    std::size_t m_limit;
    std::vector<T> m_heap;
    Less m_less;
    Greater m_greater;
};

struct FileCand {
    uint64_t alloc;
    std::string path;
    uint64_t logical;
    int64_t mtime;
    bool linked;
    auto operator<=>(const FileCand&) const = default;
};

struct DirCand {
    uint64_t alloc;
    std::string path;
    const Node* node;
};

struct DirLess {
    bool operator()(const DirCand& a, const DirCand& b) const {
        return a.alloc != b.alloc ? a.alloc < b.alloc : a.path < b.path;
    }
};

// Size descending, then path ascending (bytes).
template <class T>
void sort_by_size_then_path(std::vector<T>& v) {
    std::sort(v.begin(), v.end(), [](const T& a, const T& b) {
        return a.alloc != b.alloc ? a.alloc > b.alloc : a.path < b.path;
    });
}

// Whether `word` (lowercase) occurs in `tail` followed by the ASCII-lowercased `name`, without
// building that text: this runs for every recorded file of a search.
bool occurs(std::string_view tail, std::string_view name, std::string_view word) {
    const std::size_t len = tail.size() + name.size();
    if (word.size() > len) return false;
    auto at = [&](std::size_t k) {
        char c = k < tail.size() ? tail[k] : name[k - tail.size()];
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i + word.size() <= len; ++i) {
        std::size_t j = 0;
        while (j < word.size() && at(i + j) == word[j])
            ++j;
        if (j == word.size()) return true;
    }
    return false;
}

// The word checks for the files of one folder. A word found in the folder's own path is found
// in every file's path, and an excluded word found there fails them all; any other word can
// only occur in a file's path if it ends inside the name, so just the last bytes of the
// folder's path (one less than the word) and the name are searched.
class FileWords {
public:
    explicit FileWords(const browse::Query& q) : m_q(q) {}

    // `folder` is the folder's path; a file's path is tree::join(folder, name).
    void reset(std::string_view folder) {
        m_prefix.clear();
        browse::ascii_lower_append(m_prefix, folder);
        if (m_prefix.empty() || m_prefix.back() != '/') m_prefix.push_back('/');
        m_pending.clear();
        m_blocked = false;
        std::size_t longest = 0;
        for (const std::string& t : m_q.terms) {
            if (m_prefix.find(t) != std::string::npos) continue;
            m_pending.push_back(&t);
            longest = std::max(longest, t.size());
        }
        for (const std::string& t : m_q.excluded) {
            m_blocked = m_blocked || m_prefix.find(t) != std::string::npos;
            longest = std::max(longest, t.size());
        }
        m_tail = std::min(m_prefix.size(), longest > 0 ? longest - 1 : 0);
    }

    bool blocked() const { return m_blocked; }

    bool ok(std::string_view name) const {
        if (m_pending.empty() && m_q.excluded.empty()) return true;
        std::string_view tail(m_prefix.data() + m_prefix.size() - m_tail, m_tail);
        for (const std::string* t : m_pending)
            if (!occurs(tail, name, *t)) return false;
        for (const std::string& t : m_q.excluded)
            if (occurs(tail, name, t)) return false;
        return true;
    }

private:
    const browse::Query& m_q;
    std::string m_prefix;
    std::vector<const std::string*> m_pending;
    bool m_blocked = false;
    std::size_t m_tail = 0;
};

// The checks of Query::matches for one recorded file, in their order, computing the extension,
// the kind and the words' window only once the checks before them pass.
bool file_matches(const browse::Query& q, const FileRec& f, const FileWords& words, int64_t now) {
    if (!q.size_ok(f.alloc)) return false;
    if (!q.exts.empty()) {
        std::string ext = browse::extension(f.name);
        auto given = ext.empty() ? std::nullopt : std::optional<std::string_view>(ext);
        if (!q.ext_ok(given)) return false;
    }
    if (!q.kinds.empty() && !q.kind_ok(browse::file_kind(f.name), f.name)) return false;
    if (!q.age_ok(f.mtime, now)) return false;
    return words.ok(f.name);
}

}  // namespace

struct Browse::SearchHit {
    uint64_t alloc;
    std::string path;
    const Node* dir;      // a folder hit
    const FileRec* file;  // a file hit
};

// The rows of Browse::node: a child folder or a live-listed file, in the answer's order (size
// descending, then name, then the order met: folders in the node's order, then the listing's).
// Only the first `limit` are kept, so a folder of any size costs memory for the rows returned;
// the others are only counted and summed for "rest".
struct Browse::NodeRow {
    uint64_t size;
    std::string name;
    std::size_t seq;
    const Node* dir;  // a child folder; else a listed file with the fields below
    uint64_t logical = 0;
    int64_t mtime = 0;
    bool linked = false;
    bool protected_ = false;
};

struct Browse::NodeRows {
    using Row = NodeRow;
    // a comes before b in the answer.
    static bool before(uint64_t a_size, std::string_view a_name, std::size_t a_seq, const Row& b) {
        if (a_size != b.size) return a_size > b.size;
        if (int c = a_name.compare(b.name); c != 0) return c < 0;
        return a_seq < b.seq;
    }
    struct Later {
        bool operator()(const Row& a, const Row& b) const {
            return before(b.size, b.name, b.seq, a);
        }
    };

    explicit NodeRows(std::size_t limit) : limit(limit), kept(limit) {}

    // Counts a row of `size` and `name`; true when it is among the first `limit` so far, and
    // must then be pushed through keep().
    bool offer(uint64_t size, std::string_view name) {
        ++count;
        sum += size;
        if (limit == 0) return false;
        return !kept.full() || before(size, name, count - 1, kept.smallest());
    }
    void keep(Row row) {
        row.seq = count - 1;
        kept.push(std::move(row));
    }

    std::size_t limit;
    TopK<Row, Later> kept;
    std::size_t count = 0;
    Wide sum = 0;  // exact: the sizes of the rows left out are this less the kept
    uint64_t dataless = 0;
    uint64_t listed = 0;
};

namespace browse {

std::string user_path(std::string_view path) {
    if (path == DATA_VOLUME) return "/";
    if (path.starts_with(DATA_VOLUME) && path[DATA_VOLUME.size()] == '/')
        return std::string(path.substr(DATA_VOLUME.size()));
    return std::string(path);
}

}  // namespace browse

Browse::Browse(std::string root, const Node& root_node, Rules rules, MarkerIndex index,
               std::optional<std::string> home, bool generic_lister)
    : m_root(std::move(root)),
      m_node(&root_node),
      m_rules(std::move(rules)),
      m_index(std::move(index)),
      m_home(std::move(home)),
      m_generic_lister(generic_lister) {}

std::string Browse::look_only(std::string_view path) const {
    std::string p = browse::user_path(path);
    std::string_view home = (m_home && !m_home->empty()) ? std::string_view(*m_home) : NO_HOME;
    if (auto reason = m_rules.deny_reason(p, home)) return *reason;
    for (std::string_view place : SYSTEM_PLACES)
        if (at_or_below(p, place)) return "system location";
    return {};
}

json Browse::breadcrumb(std::string_view path) const {
    std::string root_name;
    if (m_root == "/" || m_root == DATA_VOLUME) {
        root_name = "System drive";
    } else {
        std::string_view last = last_component(m_root);
        root_name = last.empty() ? m_root : std::string(last);
    }
    json out = json::array();
    out.push_back(json{{"name", root_name}, {"path", m_root}});
    auto parts = rules::rel_parts(path, m_root);
    if (!parts) return out;
    std::string at = m_root;
    for (const std::string& part : *parts) {
        at = tree::join(at, part);
        out.push_back(json{{"name", part}, {"path", at}});
    }
    return out;
}

json Browse::dir_row(std::string_view path, const Node& node) const {
    json row = scan::agg_json(node.total);
    row["path"] = std::string(path);
    row["user_path"] = browse::user_path(path);
    row["name"] = node.name;
    row["type"] = "folder";
    row["file_kind"] = browse::is_app_name(node.name) ? "app" : "folder";
    row["has_children"] = !node.children.empty() || node.total.files >= 1;
    row["subfolders"] = node.children.size();
    if (node.dev_kind != 0) {
        auto [kind, name] = scan::kind_name(node.dev_kind, m_index);
        row["dev_kind"] = std::move(kind);
        row["dev_name"] = std::move(name);
    }
    std::string why = look_only(path);
    row["look_only"] = !why.empty();
    if (!why.empty()) row["look_only_reason"] = std::move(why);
    return row;
}

json Browse::file_row(std::string path, uint64_t alloc, uint64_t logical, int64_t mtime) const {
    std::string_view name = last_component(path);
    json row;
    row["name"] = std::string(name);
    row["type"] = "file";
    row["alloc"] = alloc;
    row["logical"] = logical;
    row["mtime"] = scan::mtime_json(mtime);
    row["file_kind"] = browse::file_kind(name);
    row["ext"] = browse::extension(name);
    std::string why = look_only(path);
    row["look_only"] = !why.empty();
    row["look_only_reason"] = std::move(why);
    row["user_path"] = browse::user_path(path);
    row["path"] = std::move(path);
    return row;
}

Result<json> Browse::top(std::string_view path, std::size_t limit) const {
    const Node* start = scan::find(*m_node, m_root, path);
    if (start == nullptr) return Error::text(not_in_tree(path));
    TopK<FileCand> files(limit);
    TopK<DirCand, DirLess> dirs(limit);
    tree::visit(*start, path, [&](const std::string& p, const Node& n) {
        for (const FileRec& f : n.files) {
            // A file smaller than the smallest kept would leave at once: skip building it.
            if (limit == 0 || (files.full() && f.alloc < files.smallest().alloc)) continue;
            files.push(FileCand{f.alloc, tree::join(p, f.name), f.logical, f.mtime,
                                linked_name(n, f.name)});
        }
        // A folder that is mostly its largest child would only repeat that child.
        uint64_t big =
            n.children.empty() ? 0 : add_sat(n.children[0].total.alloc, n.children[0].total.alloc);
        if (n.total.alloc <= big || limit == 0) return;
        if (dirs.full() && n.total.alloc < dirs.smallest().alloc) return;
        dirs.push(DirCand{n.total.alloc, p, &n});
    });
    std::vector<FileCand> file_list = std::move(files).take();
    std::vector<DirCand> dir_list = std::move(dirs).take();
    sort_by_size_then_path(file_list);
    sort_by_size_then_path(dir_list);
    json out{{"path", std::string(path)}, {"files", json::array()}, {"folders", json::array()}};
    for (FileCand& f : file_list) {
        json row = file_row(std::move(f.path), f.alloc, f.logical, f.mtime);
        row["linked"] = f.linked;
        out["files"].push_back(std::move(row));
    }
    for (const DirCand& d : dir_list)
        out["folders"].push_back(dir_row(d.path, *d.node));
    return out;
}

void Browse::list_files(std::string_view path, json& out, NodeRows& rows) const {
    // The listers take C strings: a NUL inside the path would silently cut it to another one.
    if (path.find('\0') != std::string_view::npos) {
        out["list_error"] = NUL_IN_PATH;
        return;
    }
    auto take = [&](const auto& e) {
        if (e.name == "." || e.name == "..") return;
        // An error record carries no trustworthy name or size: it would show a file that is not.
        if (e.error != 0 || e.kind != KIND_FILE) return;
        if ((e.flags & SF_DATALESS) != 0 && (e.flags & PROTECTED_FLAGS) == 0) {
            ++rows.dataless;
            return;
        }
        ++rows.listed;
        if (!rows.offer(e.alloc, e.name)) return;
        rows.keep({e.alloc, std::string(e.name), 0, nullptr, e.logical, e.mtime_ns, e.nlink > 1,
                   (e.flags & PROTECTED_FLAGS) != 0});
    };
    // Streamed: the folder is never held whole, however many files it has.
    auto listing = m_generic_lister ? list_generic::stream_entries(path, take)
                                    : list_direct::stream_entries(path, take);
    if (!listing) out["list_error"] = error_text(listing.error());
}

json Browse::node_row(std::string_view path, const NodeRow& r) const {
    std::string p = tree::join(path, r.name);
    if (r.dir != nullptr) return dir_row(p, *r.dir);
    json row = file_row(std::move(p), r.size, r.logical, r.mtime);
    row["linked"] = r.linked;
    row["files"] = 1;
    row["dirs"] = 0;
    if (r.protected_) {
        row["look_only"] = true;
        row["look_only_reason"] = "protected by macOS";
    }
    return row;
}

Result<json> Browse::node(std::string_view path, std::size_t limit, bool files) const {
    const Node* n = scan::find(*m_node, m_root, path);
    if (n == nullptr) return Error::text(not_in_tree(path));
    json out = dir_row(path, *n);
    NodeRows rows(limit);
    for (const Node& child : n->children)
        if (rows.offer(child.total.alloc, child.name))
            rows.keep({child.total.alloc, child.name, 0, &child});
    if (files) list_files(path, out, rows);
    std::vector<NodeRow> kept = std::move(rows.kept).take();
    std::sort(kept.begin(), kept.end(),
              [](const NodeRow& a, const NodeRow& b) { return NodeRows::Later{}(b, a); });
    Wide kept_sum = 0;
    json children = json::array();
    for (const NodeRow& r : kept) {
        kept_sum += r.size;
        children.push_back(node_row(path, r));
    }
    json rest{{"alloc", 0}, {"count", 0}};
    if (rows.count > kept.size()) {
        Wide cut = rows.sum - kept_sum;
        uint64_t cut_alloc = cut > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(cut);
        rest = json{{"alloc", cut_alloc}, {"count", rows.count - kept.size()}};
    }
    out["children_total"] = rows.count;
    out["children"] = std::move(children);
    out["rest"] = std::move(rest);
    out["own_files_alloc"] = n->own.alloc;
    out["dataless_here"] = rows.dataless;
    out["listed_files"] = rows.listed;
    out["breadcrumb"] = breadcrumb(path);
    return out;
}

Result<json> Browse::tree(std::string_view path, unsigned depth, std::size_t limit,
                          bool files) const {
    Result<json> top = node(path, limit, files);
    if (!top) return top;
    json out = std::move(top.value());
    out.erase("breadcrumb");
    // Expanded with an explicit stack: a deep tree and a large depth never deepen our own
    // stack. Rows are only ever given new keys, so the pointers into the arrays stay valid.
    struct Work {
        json* row;
        unsigned depth;
    };
    std::vector<Work> work;
    auto expand = [&](json& holder, unsigned d) {
        if (d <= 1) return;
        json& kids = holder["children"];
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            if ((*it)["type"] == "folder") work.push_back({&*it, d - 1});
    };
    expand(out, depth);
    while (!work.empty()) {
        Work w = work.back();
        work.pop_back();
        Result<json> sub = node((*w.row)["path"].get<std::string>(), limit, files);
        if (!sub) continue;
        (*w.row)["children"] = std::move(sub.value()["children"]);
        (*w.row)["rest"] = std::move(sub.value()["rest"]);
        expand(*w.row, w.depth);
    }
    return out;
}

json Browse::search_row(const SearchHit& hit) const {
    if (hit.dir != nullptr) return dir_row(hit.path, *hit.dir);
    return file_row(hit.path, hit.file->alloc, hit.file->logical, hit.file->mtime);
}

json Browse::search(std::string_view text, std::size_t limit) const {
    const browse::Query q = browse::Query::parse(text);
    const int64_t now = browse::now_seconds();
    auto wants_kind = [&](std::string_view k) {
        return std::find(q.kinds.begin(), q.kinds.end(), k) != q.kinds.end();
    };
    const bool folders = q.is != "file" && q.exts.empty() &&
                         (q.kinds.empty() || wants_kind("app") || wants_kind("folder"));
    const bool files = q.is != "folder";
    const bool by_text = !q.terms.empty() || !q.excluded.empty();

    const std::size_t keep_max = limit > SIZE_MAX / 4 ? SIZE_MAX : 4 * limit;
    uint64_t matched = 0;
    std::vector<SearchHit> hits;
    // Once the list has been cut to `limit`, a hit smaller than the smallest kept one can never
    // come back into it; it is still counted, but no path is built for it. It does count towards
    // the next cut, though: when that cut comes decides which of equal sizes stay.
    std::optional<uint64_t> floor;
    std::size_t unbuilt = 0;
    auto add = [&](uint64_t size, auto&& make_hit) {
        ++matched;
        if (limit == 0 || (floor && size < *floor)) {
            ++unbuilt;
            return;
        }
        hits.push_back(make_hit());
    };
    FileWords words(q);
    tree::visit(*m_node, m_root, [&](const std::string& p, const Node& n) {
        if (folders && &n != m_node && q.size_ok(n.total.alloc) && q.ext_ok(std::nullopt) &&
            q.kind_ok("folder", n.name) && q.age_ok(n.total.mtime, now) &&
            (!by_text || q.text_ok(browse::ascii_lower(p))))
            add(n.total.alloc, [&] { return SearchHit{n.total.alloc, p, &n, nullptr}; });
        if (files && !n.files.empty() && by_text) words.reset(p);
        if (files && !(by_text && words.blocked())) {
            for (const FileRec& f : n.files) {
                if (!file_matches(q, f, words, now)) continue;
                add(f.alloc, [&] {
                    return SearchHit{f.alloc, tree::join(p, f.name), nullptr, &f};
                });
            }
        }
        if (hits.size() + unbuilt > keep_max) {
            // Every unbuilt hit is below the floor, under at least `limit` kept ones: the cut
            // drops them all.
            unbuilt = 0;
            std::stable_sort(hits.begin(), hits.end(), [](const SearchHit& a, const SearchHit& b) {
                return a.alloc > b.alloc;
            });
            hits.resize(limit);
            if (limit > 0) floor = hits.back().alloc;
        }
    });
    sort_by_size_then_path(hits);
    if (hits.size() > limit) hits.resize(limit);
    json results = json::array();
    for (const SearchHit& h : hits)
        results.push_back(search_row(h));
    return json{{"query", std::string(text)},
                {"matched", matched},
                {"results", std::move(results)},
                {"note", browse::SEARCH_NOTE}};
}

}  // namespace bwcore
