#include "fsevents.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "utf8.hpp"

namespace bwcore::fsevents {
namespace bp = bwplatform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t HISTORY_DONE = bp::kFSEventStreamEventFlagHistoryDone;
constexpr uint32_t IDS_WRAPPED_OR_ROOT_CHANGED =
    bp::kFSEventStreamEventFlagEventIdsWrapped | bp::kFSEventStreamEventFlagRootChanged;
constexpr uint32_t LOST_DETAIL =
    bp::kFSEventStreamEventFlagMustScanSubDirs | bp::kFSEventStreamEventFlagUserDropped |
    bp::kFSEventStreamEventFlagKernelDropped | bp::kFSEventStreamEventFlagMount |
    bp::kFSEventStreamEventFlagUnmount;
constexpr uint32_t ITEM_IS_DIR = bp::kFSEventStreamEventFlagItemIsDir;
constexpr uint32_t ITEM_IS_FILE_LIKE = bp::kFSEventStreamEventFlagItemIsFile |
                                       bp::kFSEventStreamEventFlagItemIsSymlink |
                                       bp::kFSEventStreamEventFlagItemIsHardlink;
// After the history, how long the first sync mark may take before it is written again.
constexpr std::chrono::milliseconds MARK_GRACE{20};
constexpr std::chrono::milliseconds REWRITE_WAIT{500};

std::string without_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// `path` (within `from`) moved under `to`.
std::string rebase(const std::string& path, const std::string& from, const std::string& to) {
    std::string rest =
        from == "/" ? (path == "/" ? std::string() : path) : path.substr(from.size());
    if (to == "/") return rest.empty() ? to : rest;
    return to + rest;
}

// realpath as lossy UTF-8; empty on failure.
std::string canonical(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? utf8::lossy(real.get()) : std::string();
}

std::string_view name_of(std::string_view path) {
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void apply_one(State& st, std::string path, uint32_t flags, uint64_t id) {
    if (st.sync_id && id > *st.sync_id &&
        (path == st.sentinel || parent(path) == std::string_view(st.sentinel))) {
        st.mark_seen = true;
    }
    if (st.canonical_root != st.root && is_within(path, st.canonical_root)) {
        path = rebase(path, st.canonical_root, st.root);
    }
    if (!is_within(path, st.root) && !(flags & IDS_WRAPPED_OR_ROOT_CHANGED)) return;
    Changes& c = st.changes;
    ++c.events;
    if (flags & IDS_WRAPPED_OR_ROOT_CHANGED) {
        st.error = "fsevents ids wrapped or root changed";
    } else if (flags & LOST_DETAIL) {
        c.rescan_subtrees.push_back(std::move(path));
    } else if (flags & ITEM_IS_DIR) {
        std::string up(parent(path));
        c.changed_dirs.insert(up);
        c.relist_dirs.insert(std::move(up));
        c.touched_dirs.insert(std::move(path));
    } else if (!(flags & ITEM_IS_FILE_LIKE)) {
        c.changed_dirs.insert(path);
        c.relist_dirs.insert(std::move(path));
    } else {
        std::string up(parent(path));
        auto [files, _] = c.changed_files.try_emplace(up);
        files->second.emplace(name_of(path));
        c.changed_dirs.insert(std::move(up));
    }
}

// The stream with its queue; tears both down so that no callback runs once it is gone.
class Watch {
public:
    ~Watch() {
        if (m_stream) {
            if (m_started) bp::FSEventStreamStop(m_stream);
            bp::FSEventStreamInvalidate(m_stream);
            bp::FSEventStreamRelease(m_stream);
        }
        if (m_queue) {
            bp::dispatch_sync_f(m_queue, nullptr, [](void*) {});
            bp::dispatch_release(m_queue);
        }
    }

    const char* open(State& st, uint64_t since) {
        m_stream = bp::FSEventStreamCreate(
            &on_events, &st, {st.canonical_root, st.sentinel}, since, 0.0,
            bp::kFSEventStreamCreateFlagNoDefer | bp::kFSEventStreamCreateFlagFileEvents);
        if (!m_stream) return "FSEventStreamCreate failed";
        m_queue = bp::dispatch_queue_create("virirado.fsevents", bp::DISPATCH_QUEUE_SERIAL);
        if (m_queue) {
            bp::FSEventStreamSetDispatchQueue(m_stream, m_queue);
            m_started = bp::FSEventStreamStart(m_stream);
        }
        return m_started ? nullptr : "FSEventStreamStart failed";
    }

private:
    bp::FSEventStreamRef m_stream = nullptr;
    bp::dispatch_queue_t m_queue = nullptr;
    bool m_started = false;
};

// Waits for the history and the sync mark; returns the failure text, or nullptr on success.
const char* await(State& st, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::unique_lock lock(st.mutex);
    st.cv.wait_until(lock, deadline, [&] { return st.history_done || st.error; });
    if (st.history_done && !st.mark_seen && !st.error) {
        st.cv.wait_for(lock, MARK_GRACE, [&] { return st.mark_seen || st.error; });
    }
    // Only a finished history is worth a second mark; after a timeout it would just add wait.
    if (st.history_done && !st.mark_seen && !st.error) {
        uint64_t id = bp::FSEventsGetCurrentEventId();
        st.sync_id = id;
        lock.unlock();
        bool written = write_sync_mark(st.sentinel, ~id).ok();
        lock.lock();
        if (written) {
            auto until = std::max(deadline, Clock::now() + REWRITE_WAIT);
            st.cv.wait_until(lock, until, [&] { return st.mark_seen || st.error; });
        }
    }
    if (st.error) return st.error;
    if (!st.history_done) return "fsevents history timed out";
    if (!st.mark_seen) return "fsevents sync mark never arrived";
    return nullptr;
}

// Steps before any stream exists; returns the failure text, or nullptr.
const char* prepare(State& st, const std::string& root, const std::string& cache_folder) {
    std::error_code ec;
    std::filesystem::create_directories(cache_folder, ec);
    st.sentinel = cache_folder.empty() || ec ? std::string() : canonical(cache_folder);
    if (st.sentinel.empty()) return "no sentinel folder";
    // Event paths are absolute: a relative root would silently match none of them.
    st.root = without_trailing_slashes(utf8::lossy(root));
    st.canonical_root = canonical(root);
    if (st.canonical_root.empty() || st.root.empty() || st.root[0] != '/') return "bad root path";
    uint64_t now = bp::FSEventsGetCurrentEventId();
    if (!write_sync_mark(st.sentinel, now).ok()) return "could not write the sync mark";
    // Any later event at the mark shows that the history up to now has been delivered.
    st.sync_id = now;
    return nullptr;
}

}  // namespace

std::string_view parent(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return path;
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool is_within(std::string_view path, std::string_view top) {
    if (top == "/") return !path.empty() && path[0] == '/';
    return path.starts_with(top) && (path.size() == top.size() || path[top.size()] == '/');
}

Status write_sync_mark(const std::string& sentinel, uint64_t value) {
    std::string path = sentinel + "/" + std::string(SYNC_MARK);
    // No truncation at open: the checks below must pass before anything is changed.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return Error::os(errno);
    auto fail = [fd](int err) {
        ::close(fd);
        return Status(Error::os(err));
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(errno);
    // A second name for the same file would let this write change somebody else's file.
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) return fail(EPERM);
    if (::fchmod(fd, 0600) != 0 || ::ftruncate(fd, 0) != 0) return fail(errno);
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    if (::write(fd, bytes, 8) != 8) return fail(errno ? errno : EIO);
    if (::close(fd) != 0) return Error::os(errno);
    return ok_status();
}

void apply_events(State& state, std::size_t count, const char* const* paths, const uint32_t* flags,
                  const uint64_t* ids) {
    for (std::size_t i = 0; i < count; ++i) {
        if (flags[i] & HISTORY_DONE) {
            state.history_done = true;
            continue;
        }
        apply_one(state, without_trailing_slashes(utf8::lossy(paths[i] ? paths[i] : "")), flags[i],
                  ids[i]);
    }
}

void on_events(bp::ConstFSEventStreamRef, void* info, std::size_t count, const char* const* paths,
               const uint32_t* flags, const uint64_t* ids) {
    auto& state = *static_cast<State*>(info);
    {
        std::lock_guard lock(state.mutex);
        apply_events(state, count, paths, flags, ids);
    }
    state.cv.notify_all();
}

Result<Changes> changes_since(const std::string& root, uint64_t root_dev, uint64_t since,
                              const std::array<uint8_t, 16>& cached_uuid,
                              const std::string& cache_folder, std::chrono::milliseconds limit) {
    auto uuid = bp::FSEventsCopyUUIDForDevice(root_dev);
    if (!uuid || *uuid != cached_uuid) return Error::text("volume journal was reset");
    if (since == 0) return Error::text("no event id");
    State state;
    if (const char* failure = prepare(state, root, cache_folder)) return Error::text(failure);
    const char* failure = nullptr;
    {
        Watch watch;
        failure = watch.open(state, since);
        if (!failure) failure = await(state, limit);
    }  // the watch is torn down here: no callback can touch `state` any more
    if (failure) return Error::text(failure);
    return std::move(state.changes);
}

}  // namespace bwcore::fsevents
