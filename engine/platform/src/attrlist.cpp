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
// getdents64 is read in chunks no bigger than a fifth of the caller's buffer: a packed record
// is at most about 4.3 times its dirent, so a chunk nearly always fits whole.
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

}  // namespace

namespace detail {

ssize_t pack_entry(int dirfd, const attrlist& alist, const char* name, size_t name_len,
                   unsigned char* buf, size_t room) {
    StatFields f;
    int err = stat_fields(dirfd, name, AT_SYMLINK_NOFOLLOW, f);
    if (err == ENOENT) return 0;
    attribute_set_t r = returned_set(alist, err, f.kind == 1);
    size_t fixed = fixed_size(r);
    size_t name_bytes = (r.commonattr & ATTR_CMN_NAME) ? name_len + 1 : 0;
    size_t total = (fixed + name_bytes + 7) & ~size_t{7};
    if (total > room) return -1;

    std::memset(buf, 0, total);
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

}  // namespace detail

namespace {

// Packs one getdents64 chunk. Returns the records packed, or -1 with errno; `full` is set when
// the folder position was moved back because the next entry did not fit.
int pack_chunk(int dirfd, const attrlist& alist, const char* chunk, ssize_t n, off_t resume,
               unsigned char* out, size_t size, bool& full) {
    size_t used = 0;
    int count = 0;
    for (ssize_t at = 0; at < n;) {
        const auto* d = reinterpret_cast<const struct dirent64*>(chunk + at);
        at += d->d_reclen;
        if (!is_dot_or_dotdot(d->d_name)) {
            ssize_t w = detail::pack_entry(dirfd, alist, d->d_name, std::strlen(d->d_name),
                                           out + used, size - used);
            if (w < 0) {
                full = true;
                // Without the step back the entries read past would be skipped unseen: fail
                // the call instead, so the caller learns the listing is incomplete.
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
    size_t chunk_size = std::clamp(size / 5, CHUNK_MIN, CHUNK_MAX);
    // A chunk of nothing but "." / ".." or vanished entries is no end: read on.
    for (;;) {
        off_t resume = lseek(dirfd, 0, SEEK_CUR);
        if (resume < 0) return -1;
        ssize_t n = getdents64(dirfd, chunk, chunk_size);
        if (n <= 0) return n == 0 ? 0 : -1;
        bool full = false;
        int count = pack_chunk(dirfd, *alist, chunk, n, resume, static_cast<unsigned char*>(buf),
                               size, full);
        if (count != 0 || full) return count;
    }
}

}  // namespace bwplatform
