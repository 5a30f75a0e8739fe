#include "statx_fields.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <limits>

namespace bwplatform {

namespace {

constexpr unsigned WANTED =
    STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME;

uint32_t flags_of(const struct statx& sx) {
    uint32_t flags = 0;
    if (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_IMMUTABLE) flags |= UF_IMMUTABLE;
    if (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_APPEND) flags |= UF_APPEND;
    return flags;
}

}  // namespace

uint8_t kind_of_mode(uint32_t mode) {
    switch (mode & S_IFMT) {
        case S_IFREG:
            return 0;
        case S_IFDIR:
            return 1;
        case S_IFLNK:
            return 2;
        default:
            return 3;
    }
}

int stat_fields(int dirfd, const char* name, int flags, StatFields& out) {
    struct statx sx;  // filled by the kernel on success, never read otherwise
    if (statx(dirfd, name, flags | AT_NO_AUTOMOUNT, WANTED, &sx) != 0) return errno;
    out.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    out.ino = sx.stx_ino;
    out.alloc = sx.stx_blocks * 512;
    out.logical = sx.stx_size;
    out.mtime_sec = sx.stx_mtime.tv_sec;
    out.mtime_nsec = sx.stx_mtime.tv_nsec;
    out.flags = flags_of(sx);
    out.nlink = sx.stx_nlink;
    out.mode = sx.stx_mode;
    out.kind = kind_of_mode(sx.stx_mode);
    out.mount_root = (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return 0;
}

}  // namespace bwplatform
