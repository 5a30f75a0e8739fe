#include "scan.hpp"

#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

#define TBB_PREVIEW_GLOBAL_CONTROL 1
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>

#include "darwin_sys.hpp"
#include "fsevents.hpp"
#include "fsevents_store.hpp"
#include "list_generic.hpp"
#include "quote.hpp"
#include "views.hpp"

namespace bwcore {
namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

uint64_t fnv1a(std::string_view s) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

// The home in the debug form the key has always used: None, or Some("...").
std::string debug_form(const std::optional<std::string>& home) {
    return home ? "Some(" + quote::debug(*home) + ")" : "None";
}

// A priority entry that stays inside the root: relative, without empty, "." or ".." parts.
bool plain_relative(std::string_view p) {
    if (p.empty() || p.front() == '/') return false;
    std::size_t start = 0;
    while (start <= p.size()) {
        std::size_t end = p.find('/', start);
        if (end == std::string_view::npos) end = p.size();
        std::string_view part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

struct Prio {
    std::string path;
    Entry entry;
    std::optional<Node> cached;
};

// Takes the heavy content of the cached node for `path` out of the cached tree, leaving the
// folder's identity behind, so the parent's own reuse still knows the child is there.
std::optional<Node> take_cached(Node* cached_root, std::string_view root, std::string_view path) {
    if (!cached_root) return std::nullopt;
    Node* n = scan::find(*cached_root, root, path);
    if (!n || n == cached_root) return std::nullopt;
    Node out = std::move(*n);
    n->name = out.name;
    n->ino = out.ino;
    n->dev = out.dev;
    n->mtime = out.mtime;
    n->self_alloc = out.self_alloc;
    n->self_logical = out.self_logical;
    return out;
}

std::vector<Prio> priority_roots(const ScanOptions& o, const std::optional<std::string>& home,
                                 const Entry& root, Node* cached_root) {
    std::vector<Prio> kept;
    for (const std::string& p : o.priority) {
        if (!plain_relative(p)) continue;
        std::string path = tree::join(o.root, p);
        bool overlap = std::any_of(kept.begin(), kept.end(), [&](const Prio& k) {
            return fsevents::is_within(path, k.path) || fsevents::is_within(k.path, path);
        });
        if (overlap) continue;
        auto e = list_generic::stat_path(path);
        if (!e || (e->flags & (PROTECTED_FLAGS | SF_DATALESS)) || e->kind != KIND_DIR ||
            e->dev != root.dev)
            continue;
        if (!o.full && home) {
            auto why = o.rules.deny_reason(path, *home);
            if (why && !rules::report_only(o.rules, path, *home, *why)) continue;
        }
        kept.push_back(Prio{path, std::move(*e), take_cached(cached_root, o.root, path)});
    }
    return kept;
}

struct Validation {
    std::optional<CacheBody> body;
    std::optional<fsevents::Changes> changes;
    std::string validation = "none";
    std::optional<std::string> note;
    double load_ms = 0;
};

void debug_changes(const fsevents::Changes& ch, double ms) {
    std::fprintf(stderr, "fsevents query took %.3f ms\n", ms);
    std::string subs = quote::debug_list(ch.rescan_subtrees);
    std::fprintf(stderr, "fsevents: %" PRIu64 " events, subtrees %s\n", ch.events, subs.c_str());
    std::vector<std::string> dirs(ch.changed_dirs.begin(), ch.changed_dirs.end());
    std::sort(dirs.begin(), dirs.end());
    for (const auto& d : dirs)
        std::fprintf(stderr, "fsevents dir: %s\n", d.c_str());
}

Validation load_cached(const ScanOptions& o, const std::string& folder, uint64_t key,
                       uint64_t dev) {
    Validation v;
    if (!o.use_cache) return v;
    auto t0 = Clock::now();
    v.body = cache::load(folder, o.root, key, o.max_age);
    v.load_ms = ms_since(t0);
    if (!v.body) return v;
    v.validation = "mtime";
    if (!o.fsevents) return v;
    auto t1 = Clock::now();
    auto ch = fsevents::changes_since(o.root, dev, v.body->event_id, v.body->volume_uuid, folder,
                                      fsevents::DEFAULT_LIMIT);
    if (!ch) {
        v.note = ch.error().message.empty() ? std::string("error") : ch.error().message;
        return v;
    }
    if (walk::debug_on()) debug_changes(*ch, ms_since(t1));
    v.changes = std::move(*ch);
    v.validation = "fsevents";
    return v;
}

struct Run {
    const ScanOptions& o;
    const scan::EventFn& event;
    walk::Walker& walker;
    Clock::time_point start;
    ScanResult& out;
};

// Phase A: the priority folders in parallel, then the "first" event over them.
void phase_a(Run& r, std::vector<Prio>& prio) {
    std::vector<walk::Walked> walked(prio.size());
    tbb::parallel_for(std::size_t{0}, prio.size(), [&](std::size_t i) {
        walk::name_thread();
        walked[i] =
            r.walker.walk_root_linked(prio[i].path, prio[i].entry, std::move(prio[i].cached));
    });
    scan::TreeRef first;
    nlohmann::json roots = nlohmann::json::array();
    for (std::size_t i = 0; i < prio.size(); ++i) {
        const Node& node = walked[i].node;
        first.push_back({prio[i].path, &node});
        roots.push_back({{"path", prio[i].path}, {"alloc", node.total.alloc}});
        r.out.first_roots.push_back({prio[i].path, node.total.alloc});
    }
    if (r.event) {
        nlohmann::json value = {{"elapsed_ms", ms_since(r.start)},
                                {"roots", std::move(roots)},
                                {"top_files", scan::top_files(first, 50)},
                                {"top_dirs", scan::dirs_view(first, 67108864, 50)},
                                {"devbuilds", scan::devbuilds_view(first, r.walker.index())}};
        r.out.first_results_ms = ms_since(r.start);
        try {
            r.event("first", value);
        } catch (const std::exception&) {
            // The caller's output failing is no reason to lose the scan.
        }
    } else {
        r.out.first_results_ms = ms_since(r.start);
    }
    for (std::size_t i = 0; i < prio.size(); ++i)
        r.walker.add_prewalked(prio[i].path, std::move(walked[i]));
}

Result<ScanResult> scan_body(const ScanOptions& o, walk::Counters& counters,
                             const scan::EventFn& event) {
    auto start = Clock::now();
    bwplatform::setiopolicy_np(bwplatform::IOPOL_TYPE_VFS_MATERIALIZE_DATALESS_FILES,
                               bwplatform::IOPOL_SCOPE_PROCESS,
                               bwplatform::IOPOL_MATERIALIZE_DATALESS_FILES_OFF);
    auto root = list_generic::stat_path(o.root);
    if (!root) {
        int code = root.error().code;
        std::string why = code ? std::strerror(code) : root.error().message;
        return Error::text(o.root + ": " + why);
    }
    Class cls = classify(*root);
    if (cls != Class::Dir)
        return Error::text(o.root + ": not a folder (" + std::string(class_name(cls)) + ")");
    auto home = o.normalized_home();
    MarkerIndex index = o.rules.marker_index();
    unsigned threads = std::max(o.threads, 1u);
    tbb::task_arena arena(static_cast<int>(threads));
    arena.initialize();
    std::string folder =
        o.cache_dir && !o.cache_dir->empty() ? *o.cache_dir : cache::default_dir(home);
    uint64_t key = ScanOptions::cache_key(o);

    ScanResult out;
    out.root = o.root;
    out.threads = threads;
    out.lister = o.generic_lister ? "readdir+lstat" : "getattrlistbulk";
    if (o.fsevents) {
        out.volume_uuid = bwplatform::FSEventsCopyUUIDForDevice(root->dev).value_or(VolumeUuid{});
        out.event_id = bwplatform::FSEventsGetCurrentEventId();
    }
    // In the arena, so the cache decodes on the scan's threads.
    Validation v = arena.execute([&] { return load_cached(o, folder, key, root->dev); });
    out.validation = v.validation;
    out.fsevents_note = v.note;
    out.cache_load_ms = v.load_ms;
    out.cache_used = v.body.has_value();
    out.changed_dirs = v.changes ? v.changes->changed_dirs.size() : 0;
    std::optional<Node> cached_root;
    if (v.body) cached_root = std::move(v.body->node);
    v.body.reset();

    walk::WalkOptions wo{home, o.generic_lister, o.big_min, o.recheck_min, o.full, root->dev};
    walk::Walker walker(wo, o.rules, index, v.changes ? &*v.changes : nullptr, counters);
    Run run{o, event, walker, start, out};
    arena.execute([&] {
        auto prio = priority_roots(o, home, *root, cached_root ? &*cached_root : nullptr);
        phase_a(run, prio);
        double a_end = ms_since(start);
        auto b_start = Clock::now();
        // Settled as it is walked: only the folders above hard-linked files are left to do.
        out.node = walk::settle(walker.walk_root_linked(o.root, *root, std::move(cached_root)));
        if (walk::debug_on())
            std::fprintf(stderr, "phase B: %.3f ms (setup before A ended at %.3f ms)\n",
                         ms_since(b_start), a_end);
    });
    cached_root.reset();
    for (FirstRoot& f : out.first_roots)
        if (const Node* n = scan::find(out.node, o.root, f.path)) f.alloc = n->total.alloc;
    out.listed = counters.listed.load();
    out.reused = counters.reused.load();
    out.patched = counters.patched.load();
    out.elapsed_ms = ms_since(start);
    return out;
}

}  // namespace

ScanOptions::ScanOptions(std::string_view r) : threads(scan::default_threads()) {
    while (!r.empty() && r.back() == '/')
        r.remove_suffix(1);
    root = r.empty() ? std::string("/") : std::string(r);
}

std::optional<std::string> ScanOptions::normalized_home() const {
    if (!home || home->empty()) return std::nullopt;
    return std::string(rules::normalize_home(*home));
}

uint64_t ScanOptions::cache_key(const ScanOptions& o) {
    std::string text = "v3|" + rules::to_json(o.rules).dump() + "|" +
                       debug_form(o.normalized_home()) + "|" + std::to_string(o.big_min) + "|" +
                       (o.generic_lister ? "true" : "false") +
                       "|0.1.0|full=" + (o.full ? "true" : "false");
    return fnv1a(text);
}

namespace scan {

ThreadControls init_threads(unsigned at_least) {
    struct Both {
        tbb::global_control stack{tbb::global_control::thread_stack_size, STACK_SIZE};
        tbb::global_control par;
        explicit Both(std::size_t n) : par(tbb::global_control::max_allowed_parallelism, n) {}
    };
    std::size_t hw = std::max(1u, std::thread::hardware_concurrency());
    return ThreadControls{std::make_shared<Both>(std::max<std::size_t>(at_least, hw))};
}

void init_allocator() {
    constexpr int HEAP_STEP = 16 << 20;
    ::mallopt(M_TOP_PAD, HEAP_STEP);
}

unsigned default_threads() {
    int perf = 0;
    std::size_t len = sizeof perf;
    if (bwplatform::sysctlbyname("hw.perflevel0.physicalcpu", &perf, &len, nullptr, 0) == 0 &&
        perf > 0)
        return static_cast<unsigned>(std::min(perf, 8));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    if (n <= 0) return 4;
    return static_cast<unsigned>(std::min(n, 8L));
}

void run_big_stack(const std::function<void()>& f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, STACK_SIZE);
    auto tramp = [](void* arg) -> void* {
        pthread_setname_np(pthread_self(), "bwcore-walk-0");
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    pthread_t th;
    int rc = pthread_create(&th, &attr, tramp, const_cast<std::function<void()>*>(&f));
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        f();
        return;
    }
    pthread_join(th, nullptr);
}

Result<ScanResult> scan(const ScanOptions& options, walk::Counters& counters,
                        const scan::EventFn& event) {
    std::optional<Result<ScanResult>> out;
    run_big_stack([&] {
        try {
            out.emplace(scan_body(options, counters, event));
        } catch (const std::exception& e) {
            out.emplace(Error::text(e.what()));
        }
    });
    return std::move(*out);
}

Status save_cache(const ScanOptions& options, const ScanResult& result) {
    auto home = options.normalized_home();
    std::string folder = options.cache_dir && !options.cache_dir->empty()
                             ? *options.cache_dir
                             : cache::default_dir(home);
    return cache::save(folder, result.root, ScanOptions::cache_key(options), result.volume_uuid,
                       result.event_id, result.node);
}

}  // namespace scan
}  // namespace bwcore
