#include "list_macos.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "attrlist.hpp"
#include "long_path.hpp"
#include "statx_fields.hpp"
#include "utf8.hpp"

namespace bwcore::list_macos {

namespace bp = bwplatform;

namespace {

constexpr bp::attrlist REQUEST = {
    bp::ATTR_BIT_MAP_COUNT,
    0,
    bp::ATTR_CMN_NAME | bp::ATTR_CMN_DEVID | bp::ATTR_CMN_OBJTYPE | bp::ATTR_CMN_MODTIME |
        bp::ATTR_CMN_FLAGS | bp::ATTR_CMN_FILEID | bp::ATTR_CMN_ERROR | bp::ATTR_CMN_RETURNED_ATTRS,
    0,
    bp::ATTR_DIR_ENTRYCOUNT | bp::ATTR_DIR_MOUNTSTATUS | bp::ATTR_DIR_ALLOCSIZE |
        bp::ATTR_DIR_DATALENGTH,
    bp::ATTR_FILE_LINKCOUNT | bp::ATTR_FILE_ALLOCSIZE | bp::ATTR_FILE_DATALENGTH,
    0,
};
static_assert(REQUEST.commonattr == 0xa204040b && REQUEST.dirattr == 0x2e &&
              REQUEST.fileattr == 0x205);

constexpr size_t BUF_INITIAL_WORDS = 65'536;
constexpr size_t FREE_MIN_WORDS = 16'384;
constexpr size_t GROW_MIN_WORDS = 32'768;
constexpr size_t CALL_MAX_BYTES = 262'144;
constexpr size_t RECORD_HEADER = sizeof(uint32_t) + sizeof(bp::attribute_set_t);
constexpr size_t SHORT_PATH = 1024;

struct ThreadBuf {
    std::vector<uint64_t> words;
    bool borrowed = false;
};

thread_local ThreadBuf t_buf;

// Exclusive use of this thread's BUF for one listing.
class Borrow {
public:
    Borrow() {
        if (t_buf.borrowed) {
            std::fputs("bwcore: listing buffer borrowed twice on one thread\n", stderr);
            std::abort();
        }
        t_buf.borrowed = true;
        if (t_buf.words.empty()) t_buf.words.assign(BUF_INITIAL_WORDS, 0);
    }
    ~Borrow() { t_buf.borrowed = false; }
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    std::vector<uint64_t>& words() { return t_buf.words; }
};

struct Batch {
    size_t start = 0;  // bytes from the start of BUF
    size_t bytes = 0;
    uint32_t count = 0;
};

struct Received {
    std::vector<Batch> batches;
    size_t total = 0;
    int stop_error = 0;
};

// The bytes the first `n` records fill, walking their length words; stops at a length that is
// zero, shorter than a record header or longer than what is left.
size_t filled_bytes(const unsigned char* p, size_t avail, int n) {
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t len = 0;
        if (avail - at < sizeof len) break;
        std::memcpy(&len, p + at, sizeof len);
        if (len < RECORD_HEADER || len > avail - at) break;
        at += len;
    }
    return at;
}

// Reads the whole folder into BUF. Returns 0, or the errno when nothing was received.
int read_records(int fd, std::vector<uint64_t>& buf, Received& got) {
    size_t used = 0;
    for (;;) {
        size_t free = buf.size() - used;
        if (free < FREE_MIN_WORDS) {
            buf.resize(std::max(2 * buf.size(), used + GROW_MIN_WORDS), 0);
            free = buf.size() - used;
        }
        auto* at = reinterpret_cast<unsigned char*>(buf.data() + used);
        size_t size = std::min(free * 8, CALL_MAX_BYTES);
        int n = bp::getattrlistbulk(fd, &REQUEST, at, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (got.total == 0) return errno;
            got.stop_error = errno;
            return 0;
        }
        if (n == 0) return 0;
        size_t bytes = filled_bytes(at, size, n);
        got.batches.push_back({used * 8, bytes, static_cast<uint32_t>(n)});
        got.total += static_cast<size_t>(n);
        used += (bytes + 7) / 8;
    }
}

// Bounded little-endian reads inside one record.
class Fields {
public:
    Fields(const unsigned char* begin, const unsigned char* end) : m_p(begin), m_end(end) {}
    template <class T>
    T get() {
        T v{};
        if (static_cast<size_t>(m_end - m_p) < sizeof v) {
            m_ok = false;
            return v;
        }
        std::memcpy(&v, m_p, sizeof v);
        m_p += sizeof v;
        return v;
    }
    const unsigned char* at() const { return m_p; }
    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
    bool m_ok = true;
};

uint8_t kind_of_vtype(uint32_t vtype) {
    switch (vtype) {
        case bp::VREG:
            return KIND_FILE;
        case bp::VDIR:
            return KIND_DIR;
        case bp::VLNK:
            return KIND_SYMLINK;
        default:
            return KIND_OTHER;
    }
}

// The name an attribute reference points at, or false when it leaves the record.
bool read_name(Fields& f, std::span<const unsigned char> rec, std::string_view& name) {
    const unsigned char* ref = f.at();
    auto offset = f.get<int32_t>();
    auto length = f.get<uint32_t>();
    if (!f.ok()) return false;
    if (length == 0) return true;
    int64_t start = (ref - rec.data()) + int64_t{offset};
    if (start < 0 || start + int64_t{length} > static_cast<int64_t>(rec.size())) return false;
    name = std::string_view(reinterpret_cast<const char*>(rec.data() + start), length - 1);
    return true;
}

void read_groups(Fields& f, const bp::attribute_set_t& set, Entry& e) {
    if (set.commonattr & bp::ATTR_CMN_DEVID) e.dev = f.get<uint64_t>();
    if (set.commonattr & bp::ATTR_CMN_OBJTYPE) e.kind = kind_of_vtype(f.get<uint32_t>());
    if (set.commonattr & bp::ATTR_CMN_MODTIME) {
        auto sec = f.get<int64_t>();
        auto nsec = f.get<int64_t>();
        e.mtime_ns = bp::saturating_ns(sec, nsec);
    }
    if (set.commonattr & bp::ATTR_CMN_FLAGS) e.flags = f.get<uint32_t>();
    if (set.commonattr & bp::ATTR_CMN_FILEID) e.ino = f.get<uint64_t>();
    if (set.dirattr & bp::ATTR_DIR_ENTRYCOUNT) e.entrycount = f.get<int32_t>();
    if (set.dirattr & bp::ATTR_DIR_MOUNTSTATUS)
        e.is_mountpoint = (f.get<uint32_t>() & bp::DIR_MNTSTATUS_MNTPOINT) != 0;
    if (set.dirattr & bp::ATTR_DIR_ALLOCSIZE) e.alloc = f.get<uint64_t>();
    if (set.dirattr & bp::ATTR_DIR_DATALENGTH) e.logical = f.get<uint64_t>();
    if (set.fileattr & bp::ATTR_FILE_LINKCOUNT) e.nlink = f.get<uint32_t>();
    if (set.fileattr & bp::ATTR_FILE_ALLOCSIZE) e.alloc = f.get<uint64_t>();
    if (set.fileattr & bp::ATTR_FILE_DATALENGTH) e.logical = f.get<uint64_t>();
}

// A readable file or folder carries every attribute asked for, so its fields sit at fixed
// offsets: after the name reference, the device (8 bytes), the type (4), the time (16), the
// flags (4) and the id (8), then the link count or mount status (4) and the two sizes (8 each).
constexpr uint32_t WHOLE_COMMON = REQUEST.commonattr & ~bp::ATTR_CMN_ERROR;
constexpr uint32_t WHOLE_DIR = REQUEST.dirattr & ~bp::ATTR_DIR_ENTRYCOUNT;
constexpr uint32_t WHOLE_FILE = REQUEST.fileattr;
constexpr size_t WHOLE_FIXED = RECORD_HEADER + 8 + 8 + 4 + 16 + 4 + 8 + 4 + 8 + 8;

bool is_whole(const bp::attribute_set_t& s, size_t size) {
    return size >= WHOLE_FIXED && s.commonattr == WHOLE_COMMON && s.volattr == 0 &&
           s.forkattr == 0 &&
           ((s.dirattr == WHOLE_DIR && s.fileattr == 0) ||
            (s.dirattr == 0 && s.fileattr == WHOLE_FILE));
}

template <class T>
T at(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The fields of a record `is_whole` accepted, read without checking each one.
void read_whole(const unsigned char* p, bool is_dir, Entry& e) {
    e.dev = at<uint64_t>(p + 32);
    e.kind = kind_of_vtype(at<uint32_t>(p + 40));
    e.mtime_ns = bp::saturating_ns(at<int64_t>(p + 44), at<int64_t>(p + 52));
    e.flags = at<uint32_t>(p + 60);
    e.ino = at<uint64_t>(p + 64);
    uint32_t word = at<uint32_t>(p + 72);
    if (is_dir) {
        e.is_mountpoint = (word & bp::DIR_MNTSTATUS_MNTPOINT) != 0;
    } else {
        e.nlink = word;
    }
    e.alloc = at<uint64_t>(p + 76);
    e.logical = at<uint64_t>(p + 84);
}

// One record (its length already checked) into `e`; false when a field leaves the record.
bool parse_one(std::span<const unsigned char> rec, Entry& e) {
    Fields f(rec.data() + sizeof(uint32_t), rec.data() + rec.size());
    bp::attribute_set_t set;
    set.commonattr = f.get<uint32_t>();
    set.volattr = f.get<uint32_t>();
    set.dirattr = f.get<uint32_t>();
    set.fileattr = f.get<uint32_t>();
    set.forkattr = f.get<uint32_t>();
    std::string_view name;
    if (f.ok() && is_whole(set, rec.size())) {
        if (!read_name(f, rec, name)) return false;
        read_whole(rec.data(), set.dirattr != 0, e);
    } else {
        if (set.commonattr & bp::ATTR_CMN_ERROR) e.error = f.get<uint32_t>();
        if ((set.commonattr & bp::ATTR_CMN_NAME) && !read_name(f, rec, name)) return false;
        read_groups(f, set, e);
        if (!f.ok()) return false;
    }
    if (utf8::valid(name)) {
        e.name.assign(name);
    } else {
        e.name = utf8::lossy(name);
        e.error = EILSEQ;
    }
    return true;
}

}  // namespace

Result<int> open_dir_fd(std::string_view path) {
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;
    if (path.find('\0') != std::string_view::npos) return Error::os(EINVAL);
    int fd = -1;
    if (path.size() < SHORT_PATH) {
        char local[SHORT_PATH];
        std::memcpy(local, path.data(), path.size());
        local[path.size()] = '\0';
        fd = ::open(local, flags);
    } else {
        bp::LongPath at(path);
        if (at.error() != 0) return Error::os(at.error());
        fd = ::openat(at.dirfd(), at.rest(), flags);
    }
    if (fd < 0) return Error::os(errno);
    return fd;
}

namespace {

// Clears `e` for the next record but keeps its name's storage, so a listing allocates no
// name that fits the longest one seen before.
void reset(Entry& e) {
    static const Entry fresh;
    e.name.clear();
    e.dev = fresh.dev;
    e.ino = fresh.ino;
    e.alloc = fresh.alloc;
    e.logical = fresh.logical;
    e.mtime_ns = fresh.mtime_ns;
    e.flags = fresh.flags;
    e.nlink = fresh.nlink;
    e.error = fresh.error;
    e.entrycount = fresh.entrycount;
    e.kind = fresh.kind;
    e.is_mountpoint = fresh.is_mountpoint;
}

// Hands up to `count` records to `fn` one by one through `e`; false after a damaged record,
// which is handed on as one error record.
template <class Fn>
bool parse_each(std::span<const unsigned char> bytes, uint32_t count, Entry& e, Fn&& fn) {
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t len = 0;
        size_t left = bytes.size() - at;
        if (left >= sizeof len) std::memcpy(&len, bytes.data() + at, sizeof len);
        reset(e);
        if (len < RECORD_HEADER || len > left || !parse_one(bytes.subspan(at, len), e)) {
            reset(e);
            e.error = EIO;
            fn(e);
            return false;
        }
        fn(e);
        at += len;
    }
    return true;
}

}  // namespace

bool parse_records(std::span<const unsigned char> bytes, uint32_t count, std::vector<Entry>& out) {
    Entry e;
    return parse_each(bytes, count, e, [&](const Entry& one) { out.push_back(one); });
}

namespace {

using RecordFn = std::function<void(const Entry& e, size_t total)>;

// The bulk records of the whole folder, handed to `fn` straight from BUF.
Result<Stop> for_each_record(std::string_view path, const RecordFn& fn) {
    auto fd = open_dir_fd(path);
    if (!fd) return fd.error();
    Borrow borrow;
    std::vector<uint64_t>& buf = borrow.words();
    Received got;
    int err = 0;
    {
        FdCloser closer(*fd);
        err = read_records(*fd, buf, got);
    }
    if (err != 0) return Error::os(err);

    Stop stop;
    Entry e;
    const auto* base = reinterpret_cast<const unsigned char*>(buf.data());
    for (const Batch& b : got.batches) {
        auto each = [&](const Entry& one) { fn(one, got.total); };
        if (!parse_each({base + b.start, b.bytes}, b.count, e, each)) {
            stop.truncated = true;
            if (got.stop_error == 0) got.stop_error = EIO;
        }
    }
    if (got.stop_error != 0) {
        stop.truncated = true;
        stop.stop_error = got.stop_error;
    }
    return stop;
}

}  // namespace

Result<Listing> list_dir_ex(std::string_view path) {
    Listing listing;
    auto stop = for_each_record(path, [&](const Entry& e, size_t total) {
        if (listing.entries.empty()) listing.entries.reserve(total);
        listing.entries.push_back(e);
    });
    if (!stop) return stop.error();
    listing.truncated = stop->truncated;
    listing.stop_error = stop->stop_error;
    return listing;
}

Result<std::vector<Entry>> list_dir(std::string_view path) {
    auto listing = list_dir_ex(path);
    if (!listing) return listing.error();
    return std::move(listing->entries);
}

size_t buf_words() {
    return t_buf.words.size();
}

}  // namespace bwcore::list_macos
