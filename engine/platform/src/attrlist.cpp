#include "attrlist.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "statx_fields.hpp"

namespace bwplatform {

namespace {

constexpr attrgroup_t CMN_SUPPORTED = ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE |
                                      ATTR_CMN_MODTIME | ATTR_CMN_FLAGS | ATTR_CMN_FILEID |
                                      ATTR_CMN_ERROR | ATTR_CMN_RETURNED_ATTRS;
constexpr attrgroup_t DIR_SUPPORTED =
    ATTR_DIR_ENTRYCOUNT | ATTR_DIR_MOUNTSTATUS | ATTR_DIR_ALLOCSIZE | ATTR_DIR_DATALENGTH;
constexpr attrgroup_t FILE_SUPPORTED =
    ATTR_FILE_LINKCOUNT | ATTR_FILE_ALLOCSIZE | ATTR_FILE_DATALENGTH;
// What the folder group can deliver: entry counts have no cheap source on Linux.
constexpr attrgroup_t DIR_DELIVERED = DIR_SUPPORTED & ~ATTR_DIR_ENTRYCOUNT;

constexpr size_t HEADER = sizeof(uint32_t) + sizeof(attribute_set_t);
// getdents64 is read in chunks no bigger than a fifth of the caller's buffer. A packed record
// is at most 13/3 times its dirent (104 bytes for the 24-byte dirent of a four-byte name; every
// other length gives less), so such a chunk always fits whole.
constexpr size_t CHUNK_DIVISOR = 5;
constexpr size_t CHUNK_MIN = 4096;
constexpr size_t CHUNK_MAX = 64 * 1024;

bool supported(const attrlist& a, uint64_t options) {
    return a.bitmapcount == ATTR_BIT_MAP_COUNT && options == 0 &&
           (a.commonattr & ATTR_CMN_RETURNED_ATTRS) && (a.commonattr & ~CMN_SUPPORTED) == 0 &&
           a.volattr == 0 && a.forkattr == 0 && (a.dirattr & ~DIR_SUPPORTED) == 0 &&
           (a.fileattr & ~FILE_SUPPORTED) == 0;
}

uint32_t vnode_type(uint32_t mode) {
    switch (mode & S_IFMT) {
        case S_IFREG:
            return VREG;
        case S_IFDIR:
            return VDIR;
        case S_IFLNK:
            return VLNK;
        case S_IFBLK:
            return VBLK;
        case S_IFCHR:
            return VCHR;
        case S_IFSOCK:
            return VSOCK;
        case S_IFIFO:
            return VFIFO;
        default:
            return VNON;
    }
}

// The attributes a record will carry, in the order of the request's bits.
attribute_set_t returned_set(const attrlist& a, int err, bool is_dir) {
    attribute_set_t r;
    if (err != 0) {
        r.commonattr = a.commonattr & (ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_ERROR);
        return r;
    }
    r.commonattr = a.commonattr & ~ATTR_CMN_ERROR;
    if (is_dir) {
        r.dirattr = a.dirattr & DIR_DELIVERED;
    } else {
        r.fileattr = a.fileattr;
    }
    return r;
}

size_t fixed_size(const attribute_set_t& r) {
    size_t n = HEADER;
    if (r.commonattr & ATTR_CMN_ERROR) n += 4;
    if (r.commonattr & ATTR_CMN_NAME) n += sizeof(attrreference_t);
    if (r.commonattr & ATTR_CMN_DEVID) n += 8;
    if (r.commonattr & ATTR_CMN_OBJTYPE) n += 4;
    if (r.commonattr & ATTR_CMN_MODTIME) n += 16;
    if (r.commonattr & ATTR_CMN_FLAGS) n += 4;
    if (r.commonattr & ATTR_CMN_FILEID) n += 8;
    if (r.dirattr & ATTR_DIR_MOUNTSTATUS) n += 4;
    if (r.dirattr & ATTR_DIR_ALLOCSIZE) n += 8;
    if (r.dirattr & ATTR_DIR_DATALENGTH) n += 8;
    if (r.fileattr & ATTR_FILE_LINKCOUNT) n += 4;
    if (r.fileattr & ATTR_FILE_ALLOCSIZE) n += 8;
    if (r.fileattr & ATTR_FILE_DATALENGTH) n += 8;
    return n;
}

struct Writer {
    unsigned char* p;
    template <class T>
    void put(const T& v) {
        std::memcpy(p, &v, sizeof v);
        p += sizeof v;
    }
};

void write_fields(Writer& w, const attribute_set_t& r, const StatFields& f) {
    if (r.commonattr & ATTR_CMN_DEVID) w.put(f.dev);
    if (r.commonattr & ATTR_CMN_OBJTYPE) w.put(vnode_type(f.mode));
    if (r.commonattr & ATTR_CMN_MODTIME) {
        w.put(f.mtime_sec);
        w.put(int64_t{f.mtime_nsec});
    }
    if (r.commonattr & ATTR_CMN_FLAGS) w.put(f.flags);
    if (r.commonattr & ATTR_CMN_FILEID) w.put(f.ino);
    if (r.dirattr & ATTR_DIR_MOUNTSTATUS) w.put(f.mount_root ? DIR_MNTSTATUS_MNTPOINT : 0u);
    if (r.dirattr & ATTR_DIR_ALLOCSIZE) w.put(f.alloc);
    if (r.dirattr & ATTR_DIR_DATALENGTH) w.put(f.logical);
    if (r.fileattr & ATTR_FILE_LINKCOUNT) w.put(f.nlink);
    if (r.fileattr & ATTR_FILE_ALLOCSIZE) w.put(f.alloc);
    if (r.fileattr & ATTR_FILE_DATALENGTH) w.put(f.logical);
}

bool is_dot_or_dotdot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The record a request gives for a failed entry, a folder and anything else, worked out once
// per call instead of once per entry.
struct Layouts {
    struct One {
        attribute_set_t set;
        size_t fixed = 0;
    };
    One failed, folder, other;
    explicit Layouts(const attrlist& a)
        : failed{make(a, ENOENT, false)}, folder{make(a, 0, true)}, other{make(a, 0, false)} {}
    const One& pick(int err, bool is_dir) const { return err ? failed : is_dir ? folder : other; }

private:
    static One make(const attrlist& a, int err, bool is_dir) {
        attribute_set_t r = returned_set(a, err, is_dir);
        return {r, fixed_size(r)};
    }
};

ssize_t pack_with(int dirfd, const Layouts& layouts, const char* name, size_t name_len,
                  unsigned char* buf, size_t room) {
    StatFields f;
    int err = stat_fields(dirfd, name, AT_SYMLINK_NOFOLLOW, f);
    if (err == ENOENT) return 0;
    const Layouts::One& layout = layouts.pick(err, f.kind == 1);
    const attribute_set_t& r = layout.set;
    size_t fixed = layout.fixed;
    size_t name_bytes = (r.commonattr & ATTR_CMN_NAME) ? name_len + 1 : 0;
    size_t total = (fixed + name_bytes + 7) & ~size_t{7};
    if (total > room) return -1;

    // Every field up to the name is written below; only the name's NUL and the padding after
    // it need clearing.
    std::memset(buf + fixed, 0, total - fixed);
    Writer w{buf};
    w.put(static_cast<uint32_t>(total));
    w.put(r);
    if (r.commonattr & ATTR_CMN_ERROR) w.put(static_cast<uint32_t>(err));
    if (r.commonattr & ATTR_CMN_NAME) {
        attrreference_t ref;
        ref.attr_dataoffset = static_cast<int32_t>(fixed - static_cast<size_t>(w.p - buf));
        ref.attr_length = static_cast<uint32_t>(name_bytes);
        w.put(ref);
    }
    if (err == 0) write_fields(w, r, f);
    if (name_bytes) std::memcpy(buf + fixed, name, name_len);  // the NUL is already there
    return static_cast<ssize_t>(total);
}

}  // namespace

namespace detail {

ssize_t pack_entry(int dirfd, const attrlist& alist, const char* name, size_t name_len,
                   unsigned char* buf, size_t room) {
    return pack_with(dirfd, Layouts(alist), name, name_len, buf, room);
}

}  // namespace detail

namespace {

// Packs one getdents64 chunk. Returns the records packed, or -1 with errno; `full` is set when
// the folder position was moved back because the next entry did not fit. `resume` is the
// position before the chunk, or -1 when it was not taken because the chunk always fits.
int pack_chunk(int dirfd, const Layouts& layouts, const char* chunk, ssize_t n, off_t resume,
               unsigned char* out, size_t size, bool& full) {
    size_t used = 0;
    int count = 0;
    for (ssize_t at = 0; at < n;) {
        const auto* d = reinterpret_cast<const struct dirent64*>(chunk + at);
        at += d->d_reclen;
        if (!is_dot_or_dotdot(d->d_name)) {
            ssize_t w = pack_with(dirfd, layouts, d->d_name, std::strlen(d->d_name), out + used,
                                  size - used);
            if (w < 0) {
                full = true;
                // Without the step back the entries read past would be skipped unseen: fail
                // the call instead, so the caller learns the listing is incomplete.
                if (resume < 0) {
                    errno = EOVERFLOW;
                    return -1;
                }
                if (lseek(dirfd, resume, SEEK_SET) < 0) return -1;
                if (count == 0) errno = ERANGE;
                return count > 0 ? count : -1;
            }
            used += static_cast<size_t>(w);
            count += w > 0 ? 1 : 0;
        }
        resume = d->d_off;
    }
    return count;
}

}  // namespace

int getattrlistbulk(int dirfd, const attrlist* alist, void* buf, size_t size, uint64_t options) {
    if (alist == nullptr || buf == nullptr || !supported(*alist, options)) {
        errno = EINVAL;
        return -1;
    }
    alignas(8) char chunk[CHUNK_MAX];
    size_t chunk_size = std::clamp(size / CHUNK_DIVISOR, CHUNK_MIN, CHUNK_MAX);
    // The position is only needed to step back, which a chunk that surely fits never does;
    // skipping it saves one system call per read. Should it not fit after all, an entry past
    // the first steps back to its predecessor's offset, and the first fails the call.
    bool may_overflow = chunk_size * CHUNK_DIVISOR > size;
    const Layouts layouts(*alist);
    // A chunk of nothing but "." / ".." or vanished entries is no end: read on.
    for (;;) {
        off_t resume = may_overflow ? lseek(dirfd, 0, SEEK_CUR) : -1;
        if (may_overflow && resume < 0) return -1;
        ssize_t n = getdents64(dirfd, chunk, chunk_size);
        if (n <= 0) return n == 0 ? 0 : -1;
        bool full = false;
        int count = pack_chunk(dirfd, layouts, chunk, n, resume, static_cast<unsigned char*>(buf),
                               size, full);
        if (count != 0 || full) return count;
    }
}

}  // namespace bwplatform
