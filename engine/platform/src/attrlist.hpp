#pragma once
// Bulk attribute listing of a folder, in the record format the bulk lister parses, built on
// getdents64 + statx. Only the attributes that lister asks for are supported.
//
// Record layout (little-endian, packed, each record padded to a multiple of 8 bytes):
//   u32 length | attribute_set_t returned (5 x u32) | [u32 error] | [attrreference_t name]
//   | [u64 devid] | [u32 objtype] | [i64 sec, i64 nsec modtime] | [u32 flags] | [u64 fileid]
//   | folders: [u32 entrycount] [u32 mountstatus] [u64 allocsize] [u64 datalength]
//   | others:  [u32 linkcount] [u64 allocsize] [u64 datalength]
//   | name bytes with a terminating NUL.
// A field is present only when its bit is in the record's returned set. Our own variant:
// DEVID is 8 bytes (a full Linux dev_t), so it equals the device other listers report.
//
// Behaviour:
// - "." and ".." are never returned; entries come in the order getdents64 delivers them.
// - An entry whose status call fails is a record holding only NAME and ERROR (the errno).
// - An entry that vanished between reading the folder and its status call (ENOENT) is left
//   out, as if it had been removed a moment earlier: the folder is listed as it now is.
// - ENTRYCOUNT is never returned (Linux has no cheap source); MOUNTSTATUS bit 0 comes from
//   STATX_ATTR_MOUNT_ROOT; FLAGS carries UF_IMMUTABLE / UF_APPEND only.
// - When the caller's buffer is full the folder position is moved back to the first entry not
//   packed, so no entry is lost or repeated across calls. 0 means the folder is exhausted.
#include <sys/types.h>
#include <cstddef>
#include <cstdint>

namespace bwplatform {

using attrgroup_t = uint32_t;

inline constexpr uint16_t ATTR_BIT_MAP_COUNT = 5;

inline constexpr attrgroup_t ATTR_CMN_NAME = 0x1;
inline constexpr attrgroup_t ATTR_CMN_DEVID = 0x2;
inline constexpr attrgroup_t ATTR_CMN_OBJTYPE = 0x8;
inline constexpr attrgroup_t ATTR_CMN_MODTIME = 0x400;
inline constexpr attrgroup_t ATTR_CMN_FLAGS = 0x40000;
inline constexpr attrgroup_t ATTR_CMN_FILEID = 0x2000000;
inline constexpr attrgroup_t ATTR_CMN_ERROR = 0x20000000;
inline constexpr attrgroup_t ATTR_CMN_RETURNED_ATTRS = 0x80000000;

inline constexpr attrgroup_t ATTR_DIR_ENTRYCOUNT = 0x2;
inline constexpr attrgroup_t ATTR_DIR_MOUNTSTATUS = 0x4;
inline constexpr attrgroup_t ATTR_DIR_ALLOCSIZE = 0x8;
inline constexpr attrgroup_t ATTR_DIR_DATALENGTH = 0x20;

inline constexpr attrgroup_t ATTR_FILE_LINKCOUNT = 0x1;
inline constexpr attrgroup_t ATTR_FILE_ALLOCSIZE = 0x4;
inline constexpr attrgroup_t ATTR_FILE_DATALENGTH = 0x200;

inline constexpr uint32_t DIR_MNTSTATUS_MNTPOINT = 0x1;

// Object types (vnode types) as OBJTYPE carries them.
enum : uint32_t {
    VNON = 0,
    VREG = 1,
    VDIR = 2,
    VBLK = 3,
    VCHR = 4,
    VLNK = 5,
    VSOCK = 6,
    VFIFO = 7
};

struct attrlist {
    uint16_t bitmapcount = ATTR_BIT_MAP_COUNT;
    uint16_t reserved = 0;
    attrgroup_t commonattr = 0;
    attrgroup_t volattr = 0;
    attrgroup_t dirattr = 0;
    attrgroup_t fileattr = 0;
    attrgroup_t forkattr = 0;
};

struct attribute_set_t {
    attrgroup_t commonattr = 0;
    attrgroup_t volattr = 0;
    attrgroup_t dirattr = 0;
    attrgroup_t fileattr = 0;
    attrgroup_t forkattr = 0;
};

// Offset counted from the reference itself; length includes the terminating NUL.
struct attrreference_t {
    int32_t attr_dataoffset = 0;
    uint32_t attr_length = 0;
};

// Packs records for the next entries of `dirfd` into `buf` (`size` bytes).
// Returns the number of records (> 0), 0 at the end of the folder, or -1 with errno:
// EINVAL for an unsupported request (wrong bitmap count, no RETURNED_ATTRS, volume or fork
// attributes, unknown bits, options), ERANGE when not even one record fits, or the error of
// getdents64 / lseek.
int getattrlistbulk(int dirfd, const attrlist* alist, void* buf, size_t size, uint64_t options);

namespace detail {
// Packs the record for `name` in `dirfd` into buf; returns the bytes written, 0 when the entry
// has vanished (and is left out), or -1 when the record does not fit in `room` bytes.
ssize_t pack_entry(int dirfd, const attrlist& alist, const char* name, size_t name_len,
                   unsigned char* buf, size_t room);
}  // namespace detail

}  // namespace bwplatform
