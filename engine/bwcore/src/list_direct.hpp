#pragma once
// Direct listing: a folder's entries taken from getdents64 and statx and handed over one by one,
// with exactly the fields and order of the bulk lister's entries (list_macos::list_dir), but
// without packing and parsing records or building an entry list, and with each name lent from
// the listing's buffer. The walk uses for_each_entry, the browse server's live listing
// stream_entries.
#include <fcntl.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dirents.hpp"
#include "entry.hpp"
#include "list_macos.hpp"
#include "result.hpp"
#include "statx_fields.hpp"
#include "utf8.hpp"

namespace bwcore::list_direct {

using list_macos::Stop;

// The folder `name` inside the open folder `parent`, opened as list_macos::open_dir_fd opens
// `path` (the same folder's whole path), but with one name for the kernel to look up instead of
// every component, however long the path. With no parent (-1), `path` is opened.
Result<int> open_dir_at(int parent, std::string_view name, std::string_view path);

namespace detail {

// Every name of an open folder, read into this thread's name buffer, which stays borrowed
// while this object lives (a second borrow on one thread aborts, as for BUF). Like BUF the
// buffer only grows.
class FolderNames {
public:
    explicit FolderNames(int fd);
    ~FolderNames();
    FolderNames(const FolderNames&) = delete;
    FolderNames& operator=(const FolderNames&) = delete;

    const void* data() const { return m_data; }
    std::size_t bytes() const { return m_bytes; }
    std::size_t total() const { return m_total; }  // names but "." and ".."
    int read_error() const { return m_error; }

private:
    const void* m_data = nullptr;
    std::size_t m_bytes = 0;
    std::size_t m_total = 0;
    int m_error = 0;
};

// The entry for `name` with the status `f` (or the status call's `err`) exactly as the bulk
// records carry it: a failed status call gives the name and the errno only; a folder carries its
// mount status but no link count; a name that is not UTF-8 comes lossy with EILSEQ, kept in
// `lossy`. False when the entry has vanished since the folder was read (ENOENT): it is left
// out, as the bulk records leave it out.
inline bool fill_entry(std::string_view name, int err, const bwplatform::StatFields& f,
                       EntryView& e, std::string& lossy) {
    if (err == ENOENT) return false;
    e.entrycount = -1;
    if (err != 0) {
        e.dev = e.ino = e.alloc = e.logical = 0;
        e.mtime_ns = 0;
        e.flags = 0;
        e.nlink = 1;
        e.error = static_cast<uint32_t>(err);
        e.kind = KIND_OTHER;
        e.is_mountpoint = false;
    } else {
        bool dir = f.kind == KIND_DIR;
        e.dev = f.dev;
        e.ino = f.ino;
        e.alloc = f.alloc;
        e.logical = f.logical;
        e.mtime_ns = bwplatform::saturating_ns(f.mtime_sec, f.mtime_nsec);
        e.flags = f.flags;
        e.nlink = dir ? 1 : f.nlink;
        e.error = 0;
        e.kind = f.kind;
        e.is_mountpoint = dir && f.mount_root;
    }
    if (utf8::valid(name)) {
        e.name = name;
    } else {
        lossy = utf8::lossy(name);
        e.name = lossy;
        e.error = EILSEQ;
    }
    return true;
}

// How a listing ends once its entries are handed on: an error before any entry was delivered
// is the listing's error, after some it only marks the listing as stopped part-way.
Result<Stop> ending(int read_error, std::size_t delivered);

}  // namespace detail

// Reads every name of the open folder `fd` first, then takes each entry's status and calls
// fn(entry, total) in delivery order; `total` is the number of names read (an entry that
// vanishes before its status call is left out, so fewer may follow). `fn` must not start
// another such listing on the same thread. The descriptor is left open. The OS error when the
// folder cannot be read at all.
template <class Fn>
Result<Stop> for_each_entry(int fd, Fn&& fn) {
    detail::FolderNames names(fd);
    EntryView e;
    std::string lossy;
    std::size_t delivered = 0;
    bwplatform::StatFields f;
    bwplatform::each_name(names.data(), names.bytes(), [&](std::string_view name) {
        int err = bwplatform::stat_fields(fd, name.data(), AT_SYMLINK_NOFOLLOW, f);
        if (!detail::fill_entry(name, err, f, e, lossy)) return;
        ++delivered;
        fn(static_cast<const EntryView&>(e), names.total());
    });
    return detail::ending(names.read_error(), delivered);
}

// The same for the folder at `path`, opened as list_macos::open_dir_fd opens it.
Result<Stop> for_each_entry(std::string_view path,
                            const std::function<void(const EntryView& e, std::size_t total)>& fn);

// The folder's entries a fixed-size batch of names at a time, so the memory this needs does not
// depend on the folder's size; `fn` gets no total. The status calls of one batch run in
// parallel on the calling thread's task arena; `fn` runs on the calling thread, in order.
Result<Stop> stream_entries(std::string_view path,
                            const std::function<void(const EntryView& e)>& fn);

}  // namespace bwcore::list_direct
