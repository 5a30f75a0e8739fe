#pragma once
// One listed directory entry, its class, and the short reason texts for error numbers.
#include <cstdint>
#include <string>
#include <string_view>

namespace bwcore {

// Kinds as both listers deliver them.
enum : uint8_t { KIND_FILE = 0, KIND_DIR = 1, KIND_SYMLINK = 2, KIND_OTHER = 3 };

// One listed directory entry. An Entry owns its name; an EntryView borrows it from the listing
// that hands it over, for the length of that call (names are copied only where they are kept).
template <class Name>
struct BasicEntry {
    Name name;
    uint64_t dev = 0;
    uint64_t ino = 0;
    uint64_t alloc = 0;
    uint64_t logical = 0;
    int64_t mtime_ns = 0;
    uint32_t flags = 0;
    uint32_t nlink = 1;
    uint32_t error = 0;
    int32_t entrycount = -1;
    uint8_t kind = KIND_OTHER;
    bool is_mountpoint = false;
};

using Entry = BasicEntry<std::string>;
using EntryView = BasicEntry<std::string_view>;

// The view of an entry that owns its name, and the other way round.
inline EntryView view_of(const Entry& e) {
    return {e.name,  e.dev,   e.ino,   e.alloc,      e.logical, e.mtime_ns,
            e.flags, e.nlink, e.error, e.entrycount, e.kind,    e.is_mountpoint};
}
inline Entry owned(const EntryView& e) {
    return {std::string(e.name),
            e.dev,
            e.ino,
            e.alloc,
            e.logical,
            e.mtime_ns,
            e.flags,
            e.nlink,
            e.error,
            e.entrycount,
            e.kind,
            e.is_mountpoint};
}

enum class Class { Symlink, Protected, Dataless, Dir, File, Special };

// File-flag bits as the listing layer reports them.
inline constexpr uint32_t PROTECTED_FLAGS =
    0x1a0082;  // UF_IMMUTABLE|UF_DATAVAULT|SF_IMMUTABLE|SF_RESTRICTED|SF_NOUNLINK
inline constexpr uint32_t SF_DATALESS = 0x40000000;

Class classify(const Entry& e);
std::string_view class_name(Class c);

namespace entry {
// A static reason text for an error number, mapped by symbol, never by number.
std::string_view errno_reason(int err);
}  // namespace entry

}  // namespace bwcore
