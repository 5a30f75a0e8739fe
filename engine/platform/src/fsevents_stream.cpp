#include "fsevents_stream.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

namespace bwplatform {
namespace {

constexpr uint32_t WATCH_MASK = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
// Folders watched per turn of the reader loop, so that events keep flowing while a big tree
// is still being covered.
constexpr std::size_t WATCH_CHUNK = 256;
constexpr std::size_t HISTORY_BATCH = 1024;
constexpr FSEventStreamEventFlags DROPPED =
    kFSEventStreamEventFlagMustScanSubDirs | kFSEventStreamEventFlagKernelDropped;

using Records = std::vector<event_store::Record>;

// What a queued batch needs; it outlives the stream so a late batch never touches freed memory.
struct Delivery {
    FSEventStreamCallback callback = nullptr;
    void* info = nullptr;
    ConstFSEventStreamRef stream = nullptr;
    std::atomic<bool> valid{true};
};

bool within(const std::string& path, const std::string& top) {
    if (top == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, top.size(), top) == 0 &&
           (path.size() == top.size() || path[top.size()] == '/');
}

std::string join(const std::string& folder, const char* name) {
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

FSEventStreamEventFlags flags_of(uint32_t mask) {
    FSEventStreamEventFlags f = (mask & (IN_ISDIR | IN_DELETE_SELF | IN_MOVE_SELF))
                                    ? kFSEventStreamEventFlagItemIsDir
                                    : kFSEventStreamEventFlagItemIsFile;
    if (mask & IN_CREATE) f |= kFSEventStreamEventFlagItemCreated;
    if (mask & (IN_DELETE | IN_DELETE_SELF)) f |= kFSEventStreamEventFlagItemRemoved;
    if (mask & (IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF))
        f |= kFSEventStreamEventFlagItemRenamed;
    if (mask & (IN_MODIFY | IN_CLOSE_WRITE)) f |= kFSEventStreamEventFlagItemModified;
    if (mask & IN_ATTRIB) f |= kFSEventStreamEventFlagItemInodeMetaMod;
    return f;
}

std::string trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

class FSEventStream {
public:
    FSEventStream(std::string store, std::vector<std::string> paths, FSEventStreamEventId since,
                  FSEventStreamCallback callback, void* info)
        : m_store(std::move(store)), m_paths(std::move(paths)), m_since(since) {
        for (auto& p : m_paths)
            p = trimmed(std::move(p));
        m_delivery = std::make_shared<Delivery>();
        m_delivery->callback = callback;
        m_delivery->info = info;
        m_delivery->stream = this;
    }
    ~FSEventStream() {
        stop();
        if (m_inotify >= 0) ::close(m_inotify);
        if (m_wake >= 0) ::close(m_wake);
    }

    void set_queue(dispatch_queue_t queue) { m_queue = queue; }
    bool start();
    void stop();
    // No callback runs once this returns: a batch the worker already started is waited for.
    void invalidate() {
        m_delivery->valid = false;
        if (m_queue && !m_queue->on_worker()) m_queue->sync([] {});
    }

private:
    void run();
    void post(Records batch);
    void deliver_live(Records batch);
    void replay_history();
    void watch(const std::string& folder);
    void cover_some();
    void read_events();

    std::string m_store;
    std::vector<std::string> m_paths;
    FSEventStreamEventId m_since;
    std::shared_ptr<Delivery> m_delivery;
    dispatch_queue_t m_queue = nullptr;
    int m_inotify = -1;
    int m_wake = -1;
    std::thread m_reader;
    // Reader-thread state.
    std::unordered_map<int, std::string> m_folders;         // watch descriptor -> folder
    std::deque<std::pair<std::string, dev_t>> m_uncovered;  // folders whose subfolders wait
    bool m_out_of_watches = false;
};

bool FSEventStream::start() {
    if (!m_queue || m_reader.joinable()) return false;
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotify < 0 || m_wake < 0) return false;
    try {
        m_reader = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    pthread_setname_np(m_reader.native_handle(), "virirado-fsread");
    return true;
}

void FSEventStream::stop() {
    if (!m_reader.joinable()) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
    m_reader.join();
}

void FSEventStream::post(Records batch) {
    if (batch.empty()) return;
    m_queue->async([d = m_delivery, batch = std::move(batch)] {
        if (!d->valid) return;
        std::vector<const char*> paths;
        std::vector<FSEventStreamEventFlags> flags;
        std::vector<FSEventStreamEventId> ids;
        for (const auto& r : batch) {
            paths.push_back(r.path.c_str());
            flags.push_back(r.flags);
            ids.push_back(r.id);
        }
        d->callback(d->stream, d->info, batch.size(), paths.data(), flags.data(), ids.data());
    });
}

// Live events are journalled first, so that they carry ids from the store's counter.
void FSEventStream::deliver_live(Records batch) {
    if (batch.empty()) return;
    if (event_store::append(m_store, batch) != 0) {
        // The store refused them: still number them past its counter so they count as new.
        FSEventStreamEventId next = event_store::current_id(m_store);
        for (auto& r : batch)
            r.id = ++next;
    }
    post(std::move(batch));
}

void FSEventStream::replay_history() {
    if (m_since == kFSEventStreamEventIdSinceNow) return;
    FSEventStreamEventId until = event_store::current_id(m_store);
    bool intact = true;
    Records batch;
    for (auto& r : event_store::read(m_store, m_since, until, intact)) {
        bool wanted = (r.flags & kFSEventStreamEventFlagEventIdsWrapped) != 0;
        for (const auto& p : m_paths)
            wanted = wanted || within(r.path, p);
        if (!wanted) continue;
        batch.push_back(std::move(r));
        if (batch.size() == HISTORY_BATCH) post(std::exchange(batch, {}));
    }
    // A damaged journal hides what happened after the damage: have everything re-read.
    if (!intact) {
        for (const auto& p : m_paths) {
            batch.push_back({until, DROPPED | kFSEventStreamEventFlagUserDropped, p});
        }
    }
    batch.push_back({until, kFSEventStreamEventFlagHistoryDone, ""});
    post(std::move(batch));
}

void FSEventStream::watch(const std::string& folder) {
    int wd = ::inotify_add_watch(m_inotify, folder.c_str(), WATCH_MASK);
    if (wd < 0) {
        // Out of watches: changes below here and below every folder still waiting for its
        // subfolders can no longer be seen, so have those subtrees re-read, in one batch.
        if (errno == ENOSPC || errno == ENOMEM) {
            Records lost{{0, DROPPED, folder}};
            for (auto& pending : m_uncovered)
                lost.push_back({0, DROPPED, pending.first});
            m_uncovered.clear();
            m_out_of_watches = true;
            deliver_live(std::move(lost));
        }
        return;
    }
    m_folders[wd] = folder;
    if (m_out_of_watches) return;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return;
    m_uncovered.emplace_back(folder, st.st_dev);
}

// Watches the subfolders of a few covered folders; other volumes are left alone.
void FSEventStream::cover_some() {
    for (std::size_t done = 0; done < WATCH_CHUNK && !m_uncovered.empty(); ++done) {
        auto [folder, dev] = std::move(m_uncovered.front());
        m_uncovered.pop_front();
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            continue;
        }
        while (dirent* e = ::readdir(dir)) {
            std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            if (e->d_type != DT_DIR && e->d_type != DT_UNKNOWN) continue;
            struct stat st {};
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (!S_ISDIR(st.st_mode) || st.st_dev != dev) continue;
            watch(join(folder, e->d_name));
            if (m_out_of_watches) {
                // The rest of this folder's subfolders cannot be watched either.
                deliver_live({{0, DROPPED, folder}});
                break;
            }
        }
        ::closedir(dir);
    }
}

void FSEventStream::read_events() {
    alignas(inotify_event) char buf[64 * 1024];
    Records batch;
    for (;;) {
        ssize_t n = ::read(m_inotify, buf, sizeof buf);
        if (n <= 0) break;
        for (char* p = buf; p < buf + n;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            p += sizeof(inotify_event) + ev->len;
            if (ev->mask & IN_Q_OVERFLOW) {
                for (const auto& top : m_paths)
                    batch.push_back({0, DROPPED, top});
                continue;
            }
            auto it = m_folders.find(ev->wd);
            if (it == m_folders.end()) continue;
            if (ev->mask & IN_IGNORED) {
                m_folders.erase(it);
                continue;
            }
            std::string path = ev->len ? join(it->second, ev->name) : it->second;
            FSEventStreamEventFlags flags = flags_of(ev->mask);
            // A write usually comes as modify, modify, close: one event says as much.
            if (!batch.empty() && batch.back().path == path && batch.back().flags == flags) {
                continue;
            }
            if ((ev->mask & IN_ISDIR) && (ev->mask & (IN_CREATE | IN_MOVED_TO))) {
                watch(path);
            }
            batch.push_back({0, flags, std::move(path)});
        }
    }
    deliver_live(std::move(batch));
}

void FSEventStream::run() {
    for (const auto& p : m_paths)
        watch(p);
    replay_history();
    for (;;) {
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        int rc = ::poll(fds, 2, m_uncovered.empty() ? -1 : 0);
        if (rc < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (fds[1].revents) read_events();
        cover_some();
    }
}

FSEventStreamRef FSEventStreamCreateInStore(const std::string& folder,
                                            FSEventStreamCallback callback, void* info,
                                            std::vector<std::string> paths,
                                            FSEventStreamEventId since, double,
                                            FSEventStreamCreateFlags) {
    if (folder.empty() || paths.empty() || !callback) return nullptr;
    for (const auto& p : paths) {
        if (p.empty() || p[0] != '/') return nullptr;
    }
    return new FSEventStream(folder, std::move(paths), since, callback, info);
}

FSEventStreamRef FSEventStreamCreate(FSEventStreamCallback callback, void* info,
                                     std::vector<std::string> paths, FSEventStreamEventId since,
                                     double latency, FSEventStreamCreateFlags flags) {
    return FSEventStreamCreateInStore(event_store_folder(), callback, info, std::move(paths), since,
                                      latency, flags);
}

void FSEventStreamSetDispatchQueue(FSEventStreamRef stream, dispatch_queue_t queue) {
    stream->set_queue(queue);
}

bool FSEventStreamStart(FSEventStreamRef stream) {
    return stream->start();
}

void FSEventStreamStop(FSEventStreamRef stream) {
    stream->stop();
}

void FSEventStreamInvalidate(FSEventStreamRef stream) {
    stream->invalidate();
}

void FSEventStreamRelease(FSEventStreamRef stream) {
    delete stream;
}

}  // namespace bwplatform
