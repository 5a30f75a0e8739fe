#pragma once
// The bulk lister: one folder into Entry records through bulk attribute listing. This is the
// default lister, reported as "getattrlistbulk".
//
// Records are gathered in a per-thread buffer of 64-bit words (BUF) until the folder is read
// to the end, then converted once. BUF starts at 65,536 words, grows by doubling when less than
// 16,384 words are free, and stays with the thread. A listing borrows it exclusively; starting a
// second listing on the same thread while one is in progress aborts the process.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "entry.hpp"
#include "result.hpp"

namespace bwcore::list_macos {

// O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC. A path holding a NUL byte fails with EINVAL
// without calling open; a symbolic link as the last component fails (ENOTDIR on Linux).
Result<int> open_dir_fd(std::string_view path);

// A listing and whether it stopped part-way.
struct Listing {
    std::vector<Entry> entries;
    // The folder was not read to its end: a read error came after some records, or a record
    // was damaged. `entries` holds what was received before the stop.
    bool truncated = false;
    int stop_error = 0;  // the errno that stopped the reading (EIO for a damaged record)
};

// How a listing ended: whether it stopped part-way, and why.
struct Stop {
    bool truncated = false;
    int stop_error = 0;
};

// Receives each entry of a listing in delivery order. `e` and its name are reused for the next
// entry (copy what is kept); `total` is the number of names the folder delivered (an entry that
// vanishes before its status call is left out, so fewer may follow). It must not start another
// listing on the same thread.
using EntryFn = std::function<void(const EntryView& e, size_t total)>;
using ViewFn = std::function<void(const EntryView& e)>;

// The entries list_dir gives, in the same order and with the same fields, handed to `fn` one by
// one without building an entry list or packing records: every name of the folder is read
// first (into a per-thread buffer that, like BUF, only grows), then each entry's status is
// taken and handed on. The OS error when the folder cannot be opened or read at all.
Result<Stop> for_each_entry(std::string_view path, const EntryFn& fn);
// The same on a folder already open; the descriptor is left open.
Result<Stop> for_each_entry(int fd, const EntryFn& fn);

// The folder `name` inside the open folder `parent`, opened as open_dir_fd opens `path` (the
// same folder's whole path), but with one name for the kernel to look up instead of every
// component. With no parent (-1), or a path the kernel would refuse whole, `path` is opened.
Result<int> open_dir_at(int parent, std::string_view name, std::string_view path);

// As for_each_entry, but reading the folder a fixed-size batch of names at a time, so the
// memory it needs does not depend on the folder's size; `fn` gets no total. The status calls of
// one batch run in parallel on the calling thread's task arena; `fn` runs on the calling thread.
Result<Stop> stream_entries(std::string_view path, const ViewFn& fn);

// The folder's entries in delivery order, or the OS error. A read error after some records
// were received is not an error of the listing: the listing is what was received.
Result<std::vector<Entry>> list_dir(std::string_view path);

// As list_dir, but also says whether the listing stopped part-way.
Result<Listing> list_dir_ex(std::string_view path);

// Turns up to `count` packed records in `bytes` into entries, appending them to `out`.
// Every read is bounded by `bytes`: a record whose length is below the fixed header or runs
// past the end, or whose fields or name reference fall outside the record, becomes one error
// record (empty name, kind 3, error EIO) and parsing stops. Returns false in that case.
bool parse_records(std::span<const unsigned char> bytes, uint32_t count, std::vector<Entry>& out);

// The size in words of this thread's BUF (0 before its first listing).
size_t buf_words();

}  // namespace bwcore::list_macos
