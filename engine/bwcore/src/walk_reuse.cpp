// The cached side of the walk: deciding whether a folder's node from the previous scan still
// holds, patching it from a change list, re-reading its big files, and turning its cached
// children into tasks without listing the folder.
#include <fcntl.h>
#include <tbb/parallel_for.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <limits>

#include "long_path.hpp"
#include "statx_fields.hpp"
#include "walk.hpp"

namespace bwcore::walk {
namespace {

constexpr uint32_t SKIP_FLAGS = PROTECTED_FLAGS | SF_DATALESS;
constexpr uint64_t NO_RECHECK = std::numeric_limits<uint64_t>::max();

uint64_t sub_floor(uint64_t a, uint64_t b) {
    return a > b ? a - b : 0;
}

// One path's status without following a final link, with the kernel's mount-root bit, which
// the generic single-path status does not carry.
struct Restat {
    Entry e;
    bool mount_root = false;
    int err = 0;
};

// `name` relative to the open folder `dirfd`.
Restat restat_at(int dirfd, const char* name) {
    Restat r;
    bwplatform::StatFields f;
    r.err = bwplatform::stat_fields(dirfd, name, AT_SYMLINK_NOFOLLOW, f);
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

Restat failed(int err) {
    Restat r;
    r.err = err;
    return r;
}

Restat restat(int dirfd, const std::string& name) {
    if (name.find('\0') != std::string::npos) return failed(EINVAL);
    return restat_at(dirfd, name.c_str());
}

// A whole path, of any length.
Restat restat(const std::string& path) {
    if (path.find('\0') != std::string::npos) return failed(EINVAL);
    if (path.size() < PATH_MAX) return restat_at(AT_FDCWD, path.c_str());
    bwplatform::LongPath at(path);
    if (at.error() != 0) return failed(at.error());
    return restat_at(at.dirfd(), at.rest());
}

// A folder held open only to look up its entries, so re-reading many children costs one path
// walk instead of one per child.
struct DirHandle {
    int fd = -1;
    explicit DirHandle(const std::string& path) {
        constexpr int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        if (path.find('\0') != std::string::npos) return;
        if (path.size() < PATH_MAX) {
            fd = ::open(path.c_str(), flags);
            return;
        }
        bwplatform::LongPath at(path);
        if (at.error() == 0) fd = ::openat(at.dirfd(), at.rest(), flags);
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

void sub_own(Node& node, uint64_t alloc, uint64_t logical) {
    node.own.alloc = sub_floor(node.own.alloc, alloc);
    node.own.logical = sub_floor(node.own.logical, logical);
    node.own.files = sub_floor(node.own.files, 1);
}

}  // namespace

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
        t.level = task.level + 1;
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
// failing item, a marker file, a name the rules look at), or the cached folder holds items
// whose kind cannot be told from the records, it returns false before touching the node, and
// the folder is listed.
bool Walker::patch(const Task& task, Node& node) {
    if (node.own.skipped || node.own.protected_ || node.own.dataless) return false;
    auto it = m_changes->changed_files.find(task.path);
    if (it == m_changes->changed_files.end()) return true;
    bool flag = task.ctx.depth > 0 && task.ctx.in_library;
    std::vector<std::pair<std::string_view, std::optional<Entry>>> fresh;
    for (const std::string& name : it->second) {
        if (name.empty() || name == "." || name == ".." || m_index.marker_mask(name) != 0)
            return false;
        if (might_trip(task, name, flag)) return false;
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
        if (e) count_file(node, view_of(*e), true, acc);
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
// link to several (or back) cannot be settled from the records: false, and the folder is
// listed.
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

}  // namespace bwcore::walk
