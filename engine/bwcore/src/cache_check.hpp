#pragma once
// What guards a cache file beyond its layout: the checksum written after the body, and the
// agreement of each stored folder's numbers with its own records. The layout has room for
// neither, and needs none: a reader of the plain layout skips the checksum as trailing bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

// The state's layout, so a Sum holds it by value (the library's documented way to embed it).
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

#include "tree.hpp"

namespace bwcore::cache_check {

// After the body: these 8 bytes, then the u64 checksum of every byte before them (the version
// included). Whatever follows is ignored.
inline constexpr std::string_view TAG{"vrdsum64", 8};
inline constexpr uint64_t TRAILER_SIZE = 16;

// The checksum: XXH64 with seed 0, fed in pieces of any size.
class Sum {
public:
    Sum() { XXH64_reset(&m_state, 0); }
    void add(std::string_view data);
    uint64_t value() const { return XXH64_digest(&m_state); }

private:
    XXH64_state_t m_state;
};
uint64_t checksum(std::string_view data);
// Whether the tag and the checksum of `file`'s first `body_end` bytes follow them.
bool follows(std::string_view file, uint64_t body_end);

// Whether `name` can be one entry of a folder listing: not empty, "." or "..", and without "/"
// or NUL.
bool plain_name(std::string_view name);

// Whether one folder's stored names and numbers agree with what every walk leaves: plain names
// for its subfolders and its file and link records (its own name is not checked: the top
// folder's is "" for "/", and only the root path leads to it), no stored folder count (a folder
// counts itself when settled), one skip sample for each of the first four skips, own totals that
// equal the sums of `all_files` when it is kept and that hold every big single-link file, and
// big-file records of hard-linked files equal to their links.
bool consistent(const Node& n);

}  // namespace bwcore::cache_check
