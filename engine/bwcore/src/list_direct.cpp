#include "list_direct.hpp"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace bwcore::list_direct {

namespace bp = bwplatform;

namespace {

// The names of the folder a listing is reading, straight from getdents64: 8-byte words, so the
// records are aligned as the kernel wants them.
struct NameBuf {
    std::unique_ptr<uint64_t[]> words;
    std::size_t size = 0;  // in words
    bool borrowed = false;
};

thread_local NameBuf t_names;

constexpr std::size_t NAMES_INITIAL_WORDS = 8'192;  // 64 KiB
constexpr std::size_t NAMES_FREE_MIN_WORDS = 4'096;
constexpr std::size_t STREAM_BYTES = 32 * 1024;
constexpr std::size_t STAT_GRAIN = 64;

// Makes room for at least NAMES_FREE_MIN_WORDS after `used` words, keeping those.
uint64_t* room(std::size_t used) {
    if (t_names.size - used >= NAMES_FREE_MIN_WORDS) return t_names.words.get();
    std::size_t size =
        std::max({NAMES_INITIAL_WORDS, 2 * t_names.size, used + NAMES_FREE_MIN_WORDS});
    std::unique_ptr<uint64_t[]> grown(new uint64_t[size]);
    if (used > 0) std::memcpy(grown.get(), t_names.words.get(), used * 8);
    t_names.words = std::move(grown);
    t_names.size = size;
    return t_names.words.get();
}

}  // namespace

namespace detail {

FolderNames::FolderNames(int fd) {
    if (t_names.borrowed) {
        std::fputs("bwcore: listing buffer borrowed twice on one thread\n", stderr);
        std::abort();
    }
    t_names.borrowed = true;
    std::size_t used = 0;  // words
    for (;;) {
        uint64_t* words = room(used);
        ssize_t n = bp::read_dirents(fd, words + used, (t_names.size - used) * 8);
        if (n <= 0) {
            m_error = n < 0 ? errno : 0;
            break;
        }
        used += (static_cast<std::size_t>(n) + 7) / 8;
    }
    m_data = t_names.words.get();
    m_bytes = used * 8;
    bp::each_name(m_data, m_bytes, [&](std::string_view) { ++m_total; });
}

FolderNames::~FolderNames() {
    t_names.borrowed = false;
}

Result<Stop> ending(int read_error, std::size_t delivered) {
    Stop stop;
    if (read_error == 0) return stop;
    if (delivered == 0) return Error::os(read_error);
    stop.truncated = true;
    stop.stop_error = read_error;
    return stop;
}

}  // namespace detail

Result<int> open_dir_at(int parent, std::string_view name, std::string_view path) {
    if (parent < 0) return list_macos::open_dir_fd(path);
    if (name.find('\0') != std::string_view::npos) return Error::os(EINVAL);
    std::string owned(name);
    int fd = ::openat(parent, owned.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Error::os(errno);
    return fd;
}

Result<Stop> for_each_entry(std::string_view path,
                            const std::function<void(const EntryView& e, std::size_t total)>& fn) {
    auto fd = list_macos::open_dir_fd(path);
    if (!fd) return fd.error();
    list_macos::FdCloser closer(*fd);
    return for_each_entry(*fd, fn);
}

Result<Stop> stream_entries(std::string_view path,
                            const std::function<void(const EntryView& e)>& fn) {
    auto fd = list_macos::open_dir_fd(path);
    if (!fd) return fd.error();
    list_macos::FdCloser closer(*fd);
    std::unique_ptr<uint64_t[]> words(new uint64_t[STREAM_BYTES / 8]);
    std::vector<std::string_view> names;
    std::vector<bp::StatFields> stats;
    std::vector<int> errs;
    EntryView e;
    std::string lossy;
    std::size_t delivered = 0;
    int read_error = 0;
    for (;;) {
        ssize_t n = bp::read_dirents(*fd, words.get(), STREAM_BYTES);
        if (n <= 0) {
            read_error = n < 0 ? errno : 0;
            break;
        }
        names.clear();
        bp::each_name(words.get(), static_cast<std::size_t>(n),
                      [&](std::string_view name) { names.push_back(name); });
        stats.resize(names.size());
        errs.resize(names.size());
        // The status calls are most of a big folder's cost and independent of each other:
        // they run side by side on the caller's arena, and the entries still go out in order.
        auto stat_range = [&](const tbb::blocked_range<std::size_t>& r) {
            for (std::size_t i = r.begin(); i != r.end(); ++i)
                errs[i] = bp::stat_fields(*fd, names[i].data(), AT_SYMLINK_NOFOLLOW, stats[i]);
        };
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, names.size(), STAT_GRAIN), stat_range);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!detail::fill_entry(names[i], errs[i], stats[i], e, lossy)) continue;
            ++delivered;
            fn(e);
        }
    }
    return detail::ending(read_error, delivered);
}

}  // namespace bwcore::list_direct
