#pragma once
// The bulk lister: one folder into Entry records through bulk attribute listing. This is the
// default lister, reported as "getattrlistbulk".
//
// Records are gathered in a per-thread buffer of 64-bit words (BUF) until the folder is read
// to the end, then converted once. BUF starts at 65,536 words, grows by doubling when less than
// 16,384 words are free, and stays with the thread. A listing borrows it exclusively; starting a
// second listing on the same thread while one is in progress aborts the process.
#include <unistd.h>

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
// without calling open; a symbolic link as the last component fails (ENOTDIR on Linux). A path
// too long for the kernel to take whole is opened piece by piece (bwplatform::LongPath).
Result<int> open_dir_fd(std::string_view path);

// Closes a descriptor when it goes out of scope.
class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() { ::close(m_fd); }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

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
