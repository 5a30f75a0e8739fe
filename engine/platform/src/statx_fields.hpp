#pragma once
// One status call shared by every lister, so that the bulk records, the generic listing and the
// single-path status agree field by field (device numbers above all: the walk compares them).
#include <cstdint>
#include <limits>

namespace bwplatform {

// File-flag bits we can honestly report on Linux. There is no dataless file here.
inline constexpr uint32_t UF_IMMUTABLE = 0x2;
inline constexpr uint32_t UF_APPEND = 0x4;

// Kinds as the listers deliver them: 0 file, 1 folder, 2 symbolic link, 3 anything else.
struct StatFields {
    uint64_t dev = 0;  // makedev(major, minor): the same value st_dev carries
    uint64_t ino = 0;
    uint64_t alloc = 0;    // blocks x 512
    uint64_t logical = 0;  // size in bytes
    int64_t mtime_sec = 0;
    uint32_t mtime_nsec = 0;
    uint32_t flags = 0;  // UF_IMMUTABLE / UF_APPEND from the inode attributes
    uint32_t nlink = 1;
    uint32_t mode = 0;  // st_mode (type and permission bits)
    uint8_t kind = 3;
    bool mount_root = false;  // the kernel says this is the root of a mount
};

// statx(dirfd, name, flags | AT_NO_AUTOMOUNT) into `out`. Returns 0 or the errno.
// Pass AT_SYMLINK_NOFOLLOW in `flags` for lstat semantics; AT_FDCWD for a plain path.
int stat_fields(int dirfd, const char* name, int flags, StatFields& out);

// 0 file, 1 folder, 2 symbolic link, 3 other, from the file-type bits of a mode.
uint8_t kind_of_mode(uint32_t mode);

// seconds x 1e9 + nanoseconds, clamped to the int64 range instead of overflowing
// (ext4 stores dates far past 2262). Inline: it runs for every listed entry.
inline int64_t saturating_ns(int64_t sec, int64_t nsec) {
    int64_t scaled = 0;
    int64_t total = 0;
    if (__builtin_mul_overflow(sec, int64_t{1'000'000'000}, &scaled) ||
        __builtin_add_overflow(scaled, nsec, &total)) {
        return sec < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    }
    return total;
}

}  // namespace bwplatform
