#include "walk.hpp"

#include <pthread.h>
#include <sys/resource.h>
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

#include "list_direct.hpp"
#include "list_generic.hpp"
#include "list_macos.hpp"

namespace bwcore::walk {
namespace {

int32_t signed_depth(const Ctx& ctx) {
    if (ctx.depth == DEPTH_OUTSIDE) return -1;
    return static_cast<int32_t>(std::min<uint32_t>(ctx.depth, INT32_MAX));
}

bool is_big(const EntryView& e, uint64_t big_min) {
    return std::max(e.alloc, e.logical) >= big_min;
}

FileRec file_rec(const EntryView& e) {
    return FileRec{std::string(e.name), e.alloc, e.logical, e.mtime_ns, e.ino};
}

// Adds one counted single-link file to the folder's own totals.
void add_own(Node& node, const EntryView& e) {
    node.own.alloc = add_sat(node.own.alloc, e.alloc);
    node.own.logical = add_sat(node.own.logical, e.logical);
    node.own.files += 1;
    node.own.mtime = std::max(node.own.mtime, e.mtime_ns);
}

// Counts one plain file: its own totals or its link record, and its records; `files` and
// `bytes` gather what goes to the progress counters. Always inline: the listing's fast path
// runs it for nearly every entry of the tree.
[[gnu::always_inline]] inline void count_plain(Node& node, const EntryView& e, bool wide,
                                               uint64_t big_min, uint64_t& files, uint64_t& bytes) {
    files += 1;
    bytes += e.alloc;
    if (e.nlink < 2) {
        add_own(node, e);
        if (wide) node.all_files.push_back(file_rec(e));
    } else {
        node.links.push_back(
            LinkRec{std::string(e.name), e.dev, e.ino, e.alloc, e.logical, e.mtime_ns});
    }
    if (is_big(e, big_min)) node.files.push_back(file_rec(e));
}

// Children biggest first, then by name, with their first hard-link records in `firsts` (left
// empty when none has any).
// Names within one folder are unique, so this order is total. Positions are sorted rather than
// whole nodes, which are large: each node then moves once.
std::vector<Node> by_size(std::vector<Walked>& kids, std::vector<LinkFirsts>& firsts) {
    std::vector<uint32_t> order(kids.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto before = [&](uint32_t a, uint32_t b) {
        const Node& x = kids[a].node;
        const Node& y = kids[b].node;
        if (x.total.alloc != y.total.alloc) return x.total.alloc > y.total.alloc;
        return x.name < y.name;
    };
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::sort(order.begin(), order.end(), before);
    std::vector<Node> sorted;
    sorted.reserve(kids.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(kids[i].node));
    // Hard-linked files are rare: most folders pass no records up.
    bool linked =
        std::any_of(kids.begin(), kids.end(), [](const Walked& k) { return !k.links.empty(); });
    if (linked) {
        firsts.resize(kids.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            firsts[i] = std::move(kids[order[i]].links);
    }
    return sorted;
}

// The components of a path: its names between slashes.
uint32_t levels(std::string_view path) {
    uint32_t n = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] != '/' && (i == 0 || path[i - 1] == '/')) ++n;
    return n;
}

// The node of a folder that could not be walked at all.
Node failed_node(std::string_view path, std::string_view reason) {
    Node n;
    n.own.skipped = 1;
    Walker::sample(n, path, reason);
    return n;
}

}  // namespace

// A listed folder's descriptor, held open while its subfolders are walked so that each of them
// is opened by its name alone: the kernel then looks up one name instead of every component of
// the path. A deep tree would hold one per level, so only so many are held across the walk
// (held_budget); past that a folder is closed at once and its subfolders are opened by their
// whole paths.
class Walker::HeldDir {
public:
    HeldDir(std::atomic<int>& count, int budget) : m_count(count), m_budget(budget) {}
    ~HeldDir() {
        if (m_fd < 0) return;
        ::close(m_fd);
        m_count.fetch_sub(1, std::memory_order_relaxed);
    }
    HeldDir(const HeldDir&) = delete;
    HeldDir& operator=(const HeldDir&) = delete;

    // Takes the listed folder's `fd`: the descriptor for its subfolders to be opened in, or -1
    // when it is closed already (`wanted` false: no subfolders, or the listing failed).
    int keep(int fd, bool wanted) {
        if (wanted && m_count.fetch_add(1, std::memory_order_relaxed) < m_budget) {
            m_fd = fd;
            return fd;
        }
        if (wanted) m_count.fetch_sub(1, std::memory_order_relaxed);
        ::close(fd);
        return -1;
    }

private:
    std::atomic<int>& m_count;
    int m_budget;
    int m_fd = -1;
};

namespace {

// Up to 256 held folders, and never more than a quarter of the descriptors the process may
// open: a walk must not take from others what it did not take before.
int held_budget() {
    constexpr rlim_t MOST = 256;
    struct rlimit lim {};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
    return static_cast<int>(std::min(MOST, lim.rlim_cur / 4));
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

Walker::Walker(WalkOptions options, const Rules& rules, const MarkerIndex& index,
               const fsevents::Changes* changes, Counters& counters)
    : m_opt(std::move(options)),
      m_rules(rules),
      m_index(index),
      m_changes(changes),
      m_counters(counters),
      m_trip(rules.trip_filter()),
      m_held_budget(held_budget()) {}

void Walker::sort_links(Node& node) {
    std::stable_sort(node.links.begin(), node.links.end(),
                     [](const LinkRec& a, const LinkRec& b) { return a.name < b.name; });
}

bool Walker::might_trip(const Task& task, std::string_view name, bool in_library) const {
    return rules_apply() &&
           m_rules.child_might_trip(task.path, name, signed_depth(task.ctx), in_library, m_trip);
}

void Walker::count_file(Node& node, const EntryView& e, bool wide, Listed& acc) const {
    count_plain(node, e, wide, m_opt.big_min, acc.files, acc.bytes);
}

void Walker::sample(Node& node, std::string_view path, std::string_view reason) {
    if (node.skipped.size() < MAX_SAMPLES)
        node.skipped.push_back(SkipSample{std::string(path), std::string(reason)});
}

void Walker::add_prewalked(const std::string& path, Walked walked) {
    std::lock_guard lock(m_prewalked_mu);
    if (m_prewalked.insert_or_assign(path, std::move(walked)).second) ++m_prewalked_count;
}

std::optional<Walked> Walker::take_prewalked(const std::string& path) {
    if (m_prewalked_count.load() == 0) return std::nullopt;
    std::lock_guard lock(m_prewalked_mu);
    auto it = m_prewalked.find(path);
    if (it == m_prewalked.end()) return std::nullopt;
    Walked w = std::move(it->second);
    m_prewalked.erase(it);
    --m_prewalked_count;
    return w;
}

Node Walker::walk_root(const std::string& path, const Entry& entry, std::optional<Node> cached) {
    return walk_root_linked(path, entry, std::move(cached)).node;
}

Walked Walker::walk_root_linked(const std::string& path, const Entry& entry,
                                std::optional<Node> cached) {
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
    t.level = levels(path);
    return walk_guarded(t);
}

Node Walker::walk_dir(Task task) {
    return walk_guarded(task).node;
}

// A lost subtree would be lost data: whatever goes wrong inside one folder's walk stays in that
// folder, as a skipped item with the reason "error", never unwinding through the pool. A folder
// too deep to walk into is kept the same way.
Walked Walker::walk_guarded(Task& task) {
    name_thread();
    std::string_view reason = TOO_DEEP;
    if (task.level < MAX_LEVELS) {
        try {
            return walk_body(task);
        } catch (const std::exception&) {
        }
        reason = "error";
    }
    Walked out;
    Node& n = out.node;
    n = failed_node(task.path, reason);
    n.name = task.name;
    n.dev = task.dev;
    n.ino = task.ino;
    n.self_alloc = task.alloc;
    n.self_logical = task.logical;
    n.total = n.own;
    n.total.alloc = add_sat(n.total.alloc, n.self_alloc);
    n.total.logical = add_sat(n.total.logical, n.self_logical);
    n.total.dirs = 1;
    return out;
}

Walked Walker::walk_body(Task& task) {
    if (auto pre = take_prewalked(task.path)) {
        DevClass dc = m_index.settle(task.hint, pre->node.markers);
        pre->node.dev_kind = dc.dev_kind;
        pre->node.marker = std::string(dc.marker);
        return std::move(*pre);
    }
    std::vector<Task> tasks;
    HeldDir held(m_held, m_held_budget);  // closed once the subfolders are walked
    Walked out;
    Node& node = out.node;
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
            node = list_folder(task, tasks, &old, held);
        }
    } else {
        NodeList* old = task.cached ? &task.cached->children : nullptr;
        node = list_folder(task, tasks, old, held);
        task.cached.reset();
    }
    out.links = finish(task, node, tasks);
    return out;
}

// Lists the folder into `node` through the walker's lister, entry by entry. The bulk lister's
// records are taken straight from its buffer.
Result<list_macos::Stop> Walker::read_folder(const Task& task, Node& node, std::vector<Task>& tasks,
                                             ByName& by_name, HeldDir& held) {
    Listed acc;
    const bool file_flag = task.ctx.depth > 0 && task.ctx.in_library;
    // might_trip for this folder's files, with what it needs of the folder worked out once.
    const bool rules_on = rules_apply();
    const int32_t depth = signed_depth(task.ctx);
    auto file_may_trip = [&](std::string_view name) {
        return rules_on && m_trip.may_trip(name, file_flag) &&
               m_rules.child_might_trip(task.path, name, depth, file_flag);
    };
    auto take = [&](const EntryView& e, std::size_t total) {
        bool wide = total >= ALL_FILES_MIN;
        // Room for every record at once: growing by doubling would copy them over and over,
        // each time into memory the process has never touched.
        if (wide && node.all_files.capacity() == 0) node.all_files.reserve(total);
        // Most entries are plain files on the walk's device that no rule may skip: they are
        // counted here, with take_entry's checks in its order, and everything else goes there.
        if (e.kind == KIND_FILE && e.error == 0 && !e.is_mountpoint && e.dev == m_opt.root_dev &&
            (e.flags & (PROTECTED_FLAGS | SF_DATALESS)) == 0 && !file_may_trip(e.name)) {
            node.markers |= m_index.marker_mask(e.name);
            count_plain(node, e, wide, m_opt.big_min, acc.files, acc.bytes);
            return;
        }
        take_entry(task, e, wide, node, tasks, acc, by_name);
    };
    Result<list_macos::Stop> stop = list_macos::Stop{};
    if (m_opt.generic_lister) {
        auto r = list_generic::list_dir_ex(task.path);
        if (!r) return r.error();
        for (const Entry& e : r->entries)
            take(view_of(e), r->entries.size());
        stop = list_macos::Stop{r->truncated, r->stop_error};
    } else {
        auto fd = list_direct::open_dir_at(task.parent_fd, task.name, task.path);
        if (!fd) return fd.error();
        stop = list_direct::for_each_entry(*fd, take);
        int parent = held.keep(*fd, stop.ok() && !tasks.empty());
        for (Task& t : tasks)
            t.parent_fd = parent;
    }
    m_counters.files += acc.files;
    m_counters.bytes += acc.bytes;
    return stop;
}

Node Walker::list_folder(Task& task, std::vector<Task>& tasks, NodeList* cached_children,
                         HeldDir& held) {
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
    Result<list_macos::Stop> r = read_folder(task, node, tasks, by_name, held);
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

void Walker::take_entry(const Task& task, const EntryView& e, bool wide, Node& node,
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
        if (might_trip(task, e.name, flag)) {
            if (auto why = m_rules.child_reason(child_path, e.name, flag, *m_opt.home)) {
                node.own.skipped += 1;
                sample(node, child_path, *why);
                return;
            }
        }
        Task t;
        t.path = std::move(child_path);
        t.name = std::string(e.name);
        t.ctx = cc;
        t.level = task.level + 1;
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
    if (might_trip(task, e.name, flag)) {
        std::string p = tree::join(task.path, e.name);
        if (auto why = m_rules.child_reason(p, e.name, flag, *m_opt.home)) {
            node.own.skipped += 1;
            sample(node, p, *why);
            return;
        }
    }
    node.markers |= m_index.marker_mask(e.name);
    count_file(node, e, wide, acc);
}

LinkFirsts Walker::finish(Task& task, Node& node, std::vector<Task>& tasks) {
    for (Task& t : tasks)
        t.hint = m_index.hint_for(t.name, node.markers, task.ctx.hidden, task.ctx.named,
                                  t.ctx.depth, t.ctx.in_library);
    m_counters.dirs += 1;
    std::vector<Walked> kids = walk_all(tasks);
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
    for (const Walked& k : kids)
        t.add(k.node.total);
    node.total = t;
    std::vector<LinkFirsts> firsts;
    node.children = by_size(kids, firsts);
    return first_links(node, firsts);
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

std::vector<Walked> Walker::walk_all(std::vector<Task>& tasks) {
    std::vector<Walked> out(tasks.size());
    if (tasks.size() == 1 || single_worker()) {
        for (std::size_t i = 0; i < tasks.size(); ++i)
            out[i] = walk_guarded(tasks[i]);
    } else if (tasks.size() > 1) {
        tbb::parallel_for(std::size_t{0}, tasks.size(),
                          [&](std::size_t i) { out[i] = walk_guarded(tasks[i]); });
    }
    return out;
}

// Named from inside the tasks rather than by a scheduler observer: oneTBB frees an observer's
// proxy lazily on a worker, and a process that ends first leaves it behind as a leak.
void name_thread() {
    thread_local int named = -1;
    int index = tbb::this_task_arena::current_thread_index();
    if (index == named || index < 0) return;
    named = index;
    char name[32];
    std::snprintf(name, sizeof name, "bwcore-walk-%d", index);
    name[15] = '\0';  // the kernel keeps at most 15 bytes
    pthread_setname_np(pthread_self(), name);
}

}  // namespace bwcore::walk
