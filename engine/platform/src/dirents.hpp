#pragma once
// A folder's names straight from getdents64, for listers that take each entry's status
// themselves and hand it on at once, without packing it into bulk records first.
#include <sys/types.h>

#include <cstddef>
#include <cstring>
#include <string_view>

namespace bwplatform {

// Reads the next batch of `dirfd`'s entries into `buf` (`cap` bytes, 8-byte aligned).
// Returns the bytes filled, 0 at the end of the folder, or -1 with errno (EINTR is retried).
ssize_t read_dirents(int dirfd, void* buf, std::size_t cap);

// Calls fn(name) for every entry of one batch except "." and "..", in delivery order. The
// name is NUL-terminated in `buf` and stays valid until the buffer is reused.
template <class Fn>
void each_name(const void* buf, std::size_t bytes, Fn&& fn) {
    // struct linux_dirent64: u64 d_ino, i64 d_off, u16 d_reclen, u8 d_type, then the name.
    constexpr std::size_t RECLEN_AT = 16;
    constexpr std::size_t NAME_AT = 19;
    const char* p = static_cast<const char*>(buf);
    for (std::size_t at = 0; at < bytes;) {
        unsigned short reclen;
        std::memcpy(&reclen, p + at + RECLEN_AT, sizeof reclen);
        const char* name = p + at + NAME_AT;
        at += reclen;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        fn(std::string_view(name, std::strlen(name)));
    }
}

}  // namespace bwplatform
