#include "walk.hpp"

#include <fcntl.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>

#include "list_generic.hpp"
#include "list_macos.hpp"
#include "statx_fields.hpp"

namespace bwcore::walk {
namespace {

constexpr uint32_t SKIP_FLAGS = PROTECTED_FLAGS | SF_DATALESS;
constexpr uint64_t NO_RECHECK = std::numeric_limits<uint64_t>::max();

uint64_t sub_floor(uint64_t a, uint64_t b) {
    return a > b ? a - b : 0;
}

uint64_t add_sat(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? std::numeric_limits<uint64_t>::max() : r;
}

int32_t signed_depth(const Ctx& ctx) {
    if (ctx.depth == DEPTH_OUTSIDE) return -1;
    return static_cast<int32_t>(std::min<uint32_t>(ctx.depth, INT32_MAX));
}

bool is_big(const Entry& e, uint64_t big_min) {
    return std::max(e.alloc, e.logical) >= big_min;
}

FileRec file_rec(const Entry& e) {
    return FileRec{e.name, e.alloc, e.logical, e.mtime_ns, e.ino};
}

// One path's status without following a final link, with the kernel's mount-root bit, which
// the generic single-path status does not carry.
struct Restat {
    Entry e;
    bool mount_root = false;
    int err = 0;
};

// `name` relative to the open folder `dirfd`, or a whole path with AT_FDCWD.
Restat restat(int dirfd, const std::string& name) {
    Restat r;
    if (name.find('\0') != std::string::npos) {
        r.err = EINVAL;
        return r;
    }
    bwplatform::StatFields f;
    r.err = bwplatform::stat_fields(dirfd, name.c_str(), AT_SYMLINK_NOFOLLOW, f);
    if (r.err != 0) return r;
    r.e.dev = f.dev;
    r.e.ino = f.ino;
    r.e.alloc = f.alloc;
    r.e.logical = f.logical;
    r.e.mtime_ns = bwplatform::saturating_ns(f.mtime_sec, f.mtime_nsec);
    r.e.flags = f.flags;
    r.e.nlink = f.nlink;
    r.e.kind = f.kind;
    r.e.error = 0;
    r.mount_root = f.mount_root;
    return r;
}

Restat restat(const std::string& path) {
    return restat(AT_FDCWD, path);
}

// A folder held open only to look up its entries, so re-reading many children costs one path
// walk instead of one per child.
struct DirHandle {
    int fd = -1;
    explicit DirHandle(const std::string& path) {
        if (path.find('\0') == std::string::npos)
            fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    ~DirHandle() {
        if (fd >= 0) ::close(fd);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    Restat stat(const std::string& name, const std::string& path) const {
        return fd >= 0 ? restat(fd, name) : restat(path);
    }
};

template <class V>
auto find_name(V& list, std::string_view name) {
    return std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.name == name; });
}

void sort_links(Node& node) {
    std::stable_sort(node.links.begin(), node.links.end(),
                     [](const LinkRec& a, const LinkRec& b) { return a.name < b.name; });
}

// Adds one counted single-link file to the folder's own totals.
void add_own(Node& node, const Entry& e) {
    node.own.alloc = add_sat(node.own.alloc, e.alloc);
    node.own.logical = add_sat(node.own.logical, e.logical);
    node.own.files += 1;
    node.own.mtime = std::max(node.own.mtime, e.mtime_ns);
}

void sub_own(Node& node, uint64_t alloc, uint64_t logical) {
    node.own.alloc = sub_floor(node.own.alloc, alloc);
    node.own.logical = sub_floor(node.own.logical, logical);
    node.own.files = sub_floor(node.own.files, 1);
}

// The node of a folder that could not be walked at all.
Node failed_node(std::string_view path, std::string_view reason) {
    Node n;
    n.own.skipped = 1;
    Walker::sample(n, path, reason);
    return n;
}

}  // namespace

bool debug_on() {
    static const bool on = std::getenv("VIRIRADO_ENGINE_DEBUG") != nullptr;
    return on;
}

Ctx Ctx::for_path(std::string_view path, const std::optional<std::string>& home,
                  const MarkerIndex& index) {
    Ctx c;
    if (!home) return c;
    auto parts = rules::rel_parts(path, *home);
    if (!parts) return c;
    c.depth = static_cast<uint32_t>(std::min<std::size_t>(parts->size(), DEPTH_OUTSIDE - 1));
    c.in_library = !parts->empty() && parts->front() == "Library";
    for (const auto& p : *parts) {
        c.hidden = c.hidden || (!p.empty() && p[0] == '.');
        c.named = c.named || index.is_nested(p);
    }
    return c;
}

Ctx Ctx::child(const Ctx& ctx, std::string_view name, std::string_view child_path,
               const std::optional<std::string>& home, const MarkerIndex& index) {
    if (ctx.depth == DEPTH_OUTSIDE) {
        if (home && child_path == *home) return Ctx{0, false, false, false};
        return ctx;
    }
    Ctx c;
    c.depth = ctx.depth + 1 == DEPTH_OUTSIDE ? ctx.depth : ctx.depth + 1;
    c.in_library = ctx.depth == 0 ? name == "Library" : ctx.in_library;
    c.hidden = ctx.hidden || (!name.empty() && name[0] == '.');
    c.named = ctx.named || index.is_nested(name);
    return c;
}

// What one listing adds to the shared progress counters.
struct Walker::Listed {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

Walker::Walker(WalkOptions options, const Rules& rules, const MarkerIndex& index,
               const fsevents::Changes* changes, Counters& counters)
    : m_opt(std::move(options)),
      m_rules(rules),
      m_index(index),
      m_changes(changes),
      m_counters(counters) {}

void Walker::sample(Node& node, std::string_view path, std::string_view reason) {
    if (node.skipped.size() < MAX_SAMPLES)
        node.skipped.push_back(SkipSample{std::string(path), std::string(reason)});
}

void Walker::add_prewalked(const std::string& path, Node node) {
    std::lock_guard lock(m_prewalked_mu);
    if (m_prewalked.insert_or_assign(path, std::move(node)).second) ++m_prewalked_count;
}

std::optional<Node> Walker::take_prewalked(const std::string& path) {
    if (m_prewalked_count.load() == 0) return std::nullopt;
    std::lock_guard lock(m_prewalked_mu);
    auto it = m_prewalked.find(path);
    if (it == m_prewalked.end()) return std::nullopt;
    Node n = std::move(it->second);
    m_prewalked.erase(it);
    --m_prewalked_count;
    return n;
}

Node Walker::walk_root(const std::string& path, const Entry& entry, std::optional<Node> cached) {
    Task t;
    t.path = path;
    t.name = entry.name;
    t.ctx = Ctx::for_path(path, m_opt.home, m_index);
    t.dev = entry.dev;
    t.ino = entry.ino;
    t.alloc = entry.alloc;
    t.logical = entry.logical;
    t.mtime = entry.mtime_ns;
    t.cached = std::move(cached);
    return walk_dir(std::move(t));
}

Node Walker::walk_dir(Task task) {
    return walk_guarded(task);
}

// A lost subtree would be lost data: whatever goes wrong inside one folder's walk stays in that
// folder, as a skipped item with the reason "error", never unwinding through the pool.
Node Walker::walk_guarded(Task& task) {
    try {
        return walk_body(task);
    } catch (const std::exception&) {
    }
    Node n = failed_node(task.path, "error");
    n.name = task.name;
    n.dev = task.dev;
    n.ino = task.ino;
    n.self_alloc = task.alloc;
    n.self_logical = task.logical;
    n.total = n.own;
    n.total.alloc = add_sat(n.total.alloc, n.self_alloc);
    n.total.logical = add_sat(n.total.logical, n.self_logical);
    n.total.dirs = 1;
    return n;
}

bool Walker::in_rescan(std::string_view path) const {
    for (const auto& top : m_changes->rescan_subtrees)
        if (fsevents::is_within(path, top)) return true;
    return false;
}

Walker::Way Walker::choose(const Task& task) const {
    const auto& c = task.cached;
    if (!c || task.mtime == 0 || c->dev != task.dev || c->ino != task.ino) return Way::List;
    // The history lost detail inside a rescan subtree: nothing there is trusted.
    if (m_changes && in_rescan(task.path)) return Way::List;
    if (!m_changes || !m_changes->changed_dirs.contains(task.path))
        return c->mtime == task.mtime ? Way::Reuse : Way::List;
    if (c->all_files.empty() || m_changes->relist_dirs.contains(task.path)) return Way::List;
    auto it = m_changes->changed_files.find(task.path);
    if (it == m_changes->changed_files.end()) return Way::Patch;
    if (it->second.size() > PATCH_MAX_NAMES) return Way::List;
    for (const Node& child : c->children)
        if (it->second.contains(child.name)) return Way::List;
    return Way::Patch;
}

Node Walker::walk_body(Task& task) {
    if (auto pre = take_prewalked(task.path)) {
        DevClass dc = m_index.settle(task.hint, pre->markers);
        pre->dev_kind = dc.dev_kind;
        pre->marker = std::string(dc.marker);
        return std::move(*pre);
    }
    std::vector<Task> tasks;
    Node node;
    Way way = choose(task);
    if (way != Way::List) {
        node = std::move(*task.cached);
        task.cached.reset();
        bool kept = way == Way::Reuse || patch(task, node);
        kept = kept && recheck(task.path, node) && child_tasks(task, node, tasks);
        if (kept) {
            m_counters.reused += 1;
            if (way == Way::Patch) m_counters.patched += 1;
        } else {
            NodeList old = std::move(node.children);
            tasks.clear();
            node = list_folder(task, tasks, &old);
        }
    } else {
        NodeList* old = task.cached ? &task.cached->children : nullptr;
        node = list_folder(task, tasks, old);
        task.cached.reset();
    }
    finish(task, node, tasks);
    return node;
}

// Lists the folder into `node` through the walker's lister, entry by entry. The bulk lister's
// records are taken straight from its buffer.
Result<list_macos::Stop> Walker::read_folder(const Task& task, Node& node, std::vector<Task>& tasks,
                                             ByName& by_name) {
    Listed acc;
    auto take = [&](const Entry& e, std::size_t total) {
        take_entry(task, e, total >= ALL_FILES_MIN, node, tasks, acc, by_name);
    };
    Result<list_macos::Stop> stop = list_macos::Stop{};
    if (m_opt.generic_lister) {
        auto r = list_generic::list_dir_ex(task.path);
        if (!r) return r.error();
        for (const Entry& e : r->entries)
            take(e, r->entries.size());
        stop = list_macos::Stop{r->truncated, r->stop_error};
    } else {
        stop = list_macos::for_each_entry(task.path, take);
    }
    m_counters.files += acc.files;
    m_counters.bytes += acc.bytes;
    return stop;
}

Node Walker::list_folder(Task& task, std::vector<Task>& tasks, NodeList* cached_children) {
    m_counters.listed += 1;
    // The clock is read only for the debug line: it costs a call per folder.
    auto start =
        debug_on() ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    ByName by_name;
    if (cached_children) {
        by_name.reserve(cached_children->size());
        for (Node& c : *cached_children)
            by_name.emplace(c.name, &c);
    }
    Node node;
    Result<list_macos::Stop> r = read_folder(task, node, tasks, by_name);
    if (debug_on()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        if (ms > 100)
            std::fprintf(stderr, "slow listing %s: %lld ms\n", task.path.c_str(),
                         static_cast<long long>(ms));
    }
    if (!r) {
        // Stored with mtime 0, so no later scan takes this empty node from the cache.
        task.mtime = 0;
        tasks.clear();
        int code = r.error().code;
        return failed_node(task.path, code ? entry::errno_reason(code) : "error");
    }
    if (r->truncated) {
        // A listing that stopped part-way is incomplete: count it, and never reuse it.
        node.own.skipped += 1;
        sample(node, task.path, entry::errno_reason(r->stop_error));
        task.mtime = 0;
    }
    if (node.own.files < ALL_FILES_MIN) {
        node.all_files.clear();
        node.all_files.shrink_to_fit();
    }
    sort_links(node);
    return node;
}

void Walker::take_entry(const Task& task, const Entry& e, bool wide, Node& node,
                        std::vector<Task>& tasks, Listed& acc,
                        std::unordered_map<std::string_view, Node*>& by_name) {
    if (e.name == "." || e.name == "..") return;
    if (e.error != 0) {
        node.own.skipped += 1;
        sample(node, tree::join(task.path, e.name), entry::errno_reason(static_cast<int>(e.error)));
        return;
    }
    if (e.kind == KIND_DIR) node.markers |= m_index.entry_bits(e.name, true);
    if (e.is_mountpoint || (e.kind != KIND_SYMLINK && e.dev != m_opt.root_dev)) {
        node.own.skipped += 1;
        sample(node, tree::join(task.path, e.name), "other-device");
        return;
    }
    if (e.kind == KIND_SYMLINK) return;
    if (e.flags & PROTECTED_FLAGS) {
        node.own.protected_ += 1;
        if (!m_opt.full) {
            node.own.skipped += 1;
            sample(node, tree::join(task.path, e.name), "protected");
            return;
        }
    } else if (e.flags & SF_DATALESS) {
        node.own.dataless += 1;
        return;
    }
    if (e.kind == KIND_DIR) {
        std::string child_path = tree::join(task.path, e.name);
        Ctx cc = Ctx::child(task.ctx, e.name, child_path, m_opt.home, m_index);
        bool flag = cc.in_library && cc.depth > 1;
        if (rules_apply() &&
            m_rules.child_might_trip(task.path, e.name, signed_depth(task.ctx), flag)) {
            if (auto why = m_rules.child_reason(child_path, e.name, flag, *m_opt.home)) {
                node.own.skipped += 1;
                sample(node, child_path, *why);
                return;
            }
        }
        Task t;
        t.path = std::move(child_path);
        t.name = e.name;
        t.ctx = cc;
        t.dev = e.dev;
        t.ino = e.ino;
        t.alloc = e.alloc;
        t.logical = e.logical;
        t.mtime = e.mtime_ns;
        if (auto it = by_name.find(e.name); it != by_name.end()) {
            t.cached = std::move(*it->second);
            by_name.erase(it);
        }
        tasks.push_back(std::move(t));
        return;
    }
    if (e.kind != KIND_FILE) return;
    bool flag = task.ctx.depth > 0 && task.ctx.in_library;
    if (rules_apply() &&
        m_rules.child_might_trip(task.path, e.name, signed_depth(task.ctx), flag)) {
        std::string p = tree::join(task.path, e.name);
        if (auto why = m_rules.child_reason(p, e.name, flag, *m_opt.home)) {
            node.own.skipped += 1;
            sample(node, p, *why);
            return;
        }
    }
    node.markers |= m_index.marker_mask(e.name);
    acc.files += 1;
    acc.bytes += e.alloc;
    if (e.nlink < 2) {
        add_own(node, e);
        if (wide) node.all_files.push_back(file_rec(e));
    } else {
        node.links.push_back(LinkRec{e.name, e.dev, e.ino, e.alloc, e.logical, e.mtime_ns});
    }
    if (is_big(e, m_opt.big_min)) node.files.push_back(file_rec(e));
}

// Turns the cached children of a reused folder into tasks. A child that is gone or no longer a
// folder is dropped; one that is now a mount root, on another device, protected or dataless
// must be reported as the listing would, so the folder is listed instead (false).
bool Walker::child_tasks(const Task& task, Node& node, std::vector<Task>& tasks) {
    std::size_t n = node.children.size();
    std::vector<std::optional<Task>> out(n);
    std::vector<char> refuse(n, 0);
    // Relative to the open folder the kernel looks up one name per child instead of the whole
    // path; for a single child the extra open would cost as much as it saves. With a change
    // set nearly every child is taken without any call, so nothing is opened.
    std::optional<DirHandle> dir;
    if (!m_changes && n > 1) dir.emplace(task.path);
    auto one = [&](std::size_t i) {
        Node& c = node.children[i];
        std::string path = tree::join(task.path, c.name);
        Task t;
        bool quiet = m_changes && !m_changes->changed_dirs.contains(path) &&
                     !m_changes->touched_dirs.contains(path) && !in_rescan(path);
        if (quiet) {
            t.dev = c.dev;
            t.ino = c.ino;
            t.alloc = c.self_alloc;
            t.logical = c.self_logical;
            t.mtime = c.mtime;
        } else {
            Restat r = dir ? dir->stat(c.name, path) : restat(path);
            if (r.err == ENOENT || r.err == ENOTDIR) return;
            if (r.err != 0) {
                refuse[i] = 1;
                return;
            }
            if (r.e.kind != KIND_DIR) return;
            bool prot = (r.e.flags & PROTECTED_FLAGS) && !m_opt.full;
            if (r.mount_root || r.e.dev != m_opt.root_dev || prot || (r.e.flags & SF_DATALESS)) {
                refuse[i] = 1;
                return;
            }
            t.dev = r.e.dev;
            t.ino = r.e.ino;
            t.alloc = r.e.alloc;
            t.logical = r.e.logical;
            t.mtime = r.e.mtime_ns;
        }
        t.ctx = Ctx::child(task.ctx, c.name, path, m_opt.home, m_index);
        t.path = std::move(path);
        t.name = c.name;
        out[i] = std::move(t);
    };
    if (n > 16 && !single_worker()) {
        tbb::parallel_for(std::size_t{0}, n, one);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            one(i);
    }
    if (std::find(refuse.begin(), refuse.end(), 1) != refuse.end()) return false;
    tasks.reserve(tasks.size() + n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!out[i]) continue;
        out[i]->cached = std::move(node.children[i]);
        tasks.push_back(std::move(*out[i]));
    }
    node.children.clear();
    return true;
}

// Updates a changed folder from its change list. Every changed name is read again first; when
// one of them is anything but a plain file of this device or gone (a new folder, a protected or
// failing item, a marker file, a name the rules look at), or the cached folder holds items whose
// kind cannot be told from the records, it returns false before touching the node, and the
// folder is listed.
bool Walker::patch(const Task& task, Node& node) {
    if (node.own.skipped || node.own.protected_ || node.own.dataless) return false;
    auto it = m_changes->changed_files.find(task.path);
    if (it == m_changes->changed_files.end()) return true;
    bool flag = task.ctx.depth > 0 && task.ctx.in_library;
    std::vector<std::pair<std::string_view, std::optional<Entry>>> fresh;
    for (const std::string& name : it->second) {
        if (name.empty() || name == "." || name == ".." || m_index.marker_mask(name) != 0)
            return false;
        if (rules_apply() &&
            m_rules.child_might_trip(task.path, name, signed_depth(task.ctx), flag))
            return false;
        Restat r = restat(tree::join(task.path, name));
        if (r.err == ENOENT || (r.err == 0 && r.e.kind == KIND_SYMLINK)) {
            fresh.emplace_back(name, std::nullopt);
            continue;
        }
        if (r.err != 0 || r.e.kind == KIND_DIR || r.mount_root || r.e.dev != m_opt.root_dev ||
            (r.e.flags & SKIP_FLAGS))
            return false;
        if (r.e.kind != KIND_FILE) {
            fresh.emplace_back(name, std::nullopt);
            continue;
        }
        r.e.name = name;
        fresh.emplace_back(name, std::move(r.e));
    }
    Listed acc;
    for (auto& [name, e] : fresh) {
        if (auto f = find_name(node.all_files, name); f != node.all_files.end()) {
            sub_own(node, f->alloc, f->logical);
            node.all_files.erase(f);
        }
        if (auto f = find_name(node.files, name); f != node.files.end()) node.files.erase(f);
        if (auto l = find_name(node.links, name); l != node.links.end()) node.links.erase(l);
        if (!e) continue;
        acc.files += 1;
        acc.bytes += e->alloc;
        if (e->nlink < 2) {
            add_own(node, *e);
            node.all_files.push_back(file_rec(*e));
        } else {
            node.links.push_back(
                LinkRec{e->name, e->dev, e->ino, e->alloc, e->logical, e->mtime_ns});
        }
        if (is_big(*e, m_opt.big_min)) node.files.push_back(file_rec(*e));
    }
    m_counters.files += acc.files;
    m_counters.bytes += acc.bytes;
    if (node.all_files.size() < ALL_FILES_MIN) {
        node.all_files.clear();
        node.all_files.shrink_to_fit();
    }
    sort_links(node);
    return true;
}

// Reads big recorded files of a cached folder again: a file's size can change without its
// folder's mtime. The record and its twins (the all_files record or the link record of the same
// name) change together, so nothing is counted twice or left behind. A file that went from one
// link to several (or back) cannot be settled from the records: false, and the folder is listed.
bool Walker::recheck(const std::string& path, Node& node) const {
    if (m_opt.recheck_min == NO_RECHECK) return true;
    for (std::size_t i = 0; i < node.files.size();) {
        FileRec& f = node.files[i];
        if (f.alloc < m_opt.recheck_min) {
            ++i;
            continue;
        }
        Restat r = restat(tree::join(path, f.name));
        auto link = find_name(node.links, f.name);
        bool is_link = link != node.links.end();
        auto twin = find_name(node.all_files, f.name);
        if (r.err != 0 || r.e.kind != KIND_FILE || r.e.ino != f.ino) {
            if (is_link) {
                node.links.erase(link);
            } else {
                sub_own(node, f.alloc, f.logical);
                if (twin != node.all_files.end()) node.all_files.erase(twin);
            }
            node.files.erase(node.files.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if ((r.e.nlink >= 2) != is_link) return false;
        if (is_link) {
            link->alloc = r.e.alloc;
            link->logical = r.e.logical;
            link->mtime = r.e.mtime_ns;
        } else {
            node.own.alloc = add_sat(sub_floor(node.own.alloc, f.alloc), r.e.alloc);
            node.own.logical = add_sat(sub_floor(node.own.logical, f.logical), r.e.logical);
            node.own.mtime = std::max(node.own.mtime, r.e.mtime_ns);
            if (twin != node.all_files.end()) {
                twin->alloc = r.e.alloc;
                twin->logical = r.e.logical;
                twin->mtime = r.e.mtime_ns;
            }
        }
        f.alloc = r.e.alloc;
        f.logical = r.e.logical;
        f.mtime = r.e.mtime_ns;
        ++i;
    }
    return true;
}

void Walker::finish(Task& task, Node& node, std::vector<Task>& tasks) {
    for (Task& t : tasks)
        t.hint = m_index.hint_for(t.name, node.markers, task.ctx.hidden, task.ctx.named,
                                  t.ctx.depth, t.ctx.in_library);
    m_counters.dirs += 1;
    std::vector<Node> kids = walk_all(tasks);
    tasks.clear();
    node.name = task.name;
    node.dev = task.dev;
    node.ino = task.ino;
    node.mtime = task.mtime;
    node.self_alloc = task.alloc;
    node.self_logical = task.logical;
    DevClass dc = m_index.settle(task.hint, node.markers);
    node.dev_kind = dc.dev_kind;
    node.marker = std::string(dc.marker);
    Agg t = node.own;
    t.alloc = add_sat(t.alloc, node.self_alloc);
    t.logical = add_sat(t.logical, node.self_logical);
    t.dirs += 1;
    t.mtime = std::max(t.mtime, node.mtime);
    for (const Node& k : kids)
        t.add(k.total);
    node.total = t;
    // Names within one folder are unique, so this order is total and needs no stable sort
    // (whose scratch buffer of whole nodes costs more than the sort).
    std::sort(kids.begin(), kids.end(), [](const Node& a, const Node& b) {
        if (a.total.alloc != b.total.alloc) return a.total.alloc > b.total.alloc;
        return a.name < b.name;
    });
    node.children = std::move(kids);
}

// With a single worker there is nothing to balance: a plain loop spares the pool's bookkeeping
// on every folder. Asking the pool costs a call into it, so the answer is kept; a walker runs
// inside one pool, and a stale answer would only cost parallelism, never change a result.
bool Walker::single_worker() const {
    int n = m_workers.load(std::memory_order_relaxed);
    if (n == 0) {
        n = tbb::this_task_arena::max_concurrency();
        m_workers.store(n, std::memory_order_relaxed);
    }
    return n == 1;
}

std::vector<Node> Walker::walk_all(std::vector<Task>& tasks) {
    std::vector<Node> out(tasks.size());
    if (tasks.size() == 1 || single_worker()) {
        for (std::size_t i = 0; i < tasks.size(); ++i)
            out[i] = walk_guarded(tasks[i]);
    } else if (tasks.size() > 1) {
        tbb::parallel_for(std::size_t{0}, tasks.size(),
                          [&](std::size_t i) { out[i] = walk_guarded(tasks[i]); });
    }
    return out;
}

}  // namespace bwcore::walk
