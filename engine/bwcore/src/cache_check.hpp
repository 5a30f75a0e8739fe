#pragma once
// What guards a cache file beyond its layout: the checksum written after the body, and the
// agreement of each stored folder's numbers with its own records. The layout has room for
// neither, and needs none: a reader of the plain layout skips the checksum as trailing bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tree.hpp"

namespace bwcore::cache_check {

// After the body: these 8 bytes, then the u64 checksum of every byte before them (the version
// included). Whatever follows is ignored.
inline constexpr std::string_view TAG{"vrdsum64", 8};
inline constexpr uint64_t TRAILER_SIZE = 16;

// The checksum: XXH64 with seed 0, fed in pieces of any size.
class Sum {
public:
    void add(std::string_view data);
    uint64_t value() const;

private:
    uint64_t m_acc[4] = {0x9E3779B185EBCA87ULL + 0xC2B2AE3D27D4EB4FULL, 0xC2B2AE3D27D4EB4FULL, 0,
                         0 - 0x9E3779B185EBCA87ULL};
    unsigned char m_part[32] = {};
    std::size_t m_part_len = 0;
    uint64_t m_len = 0;
};
uint64_t checksum(std::string_view data);
// Whether the tag and the checksum of `file`'s first `body_end` bytes follow them.
bool follows(std::string_view file, uint64_t body_end);

// Whether one folder's stored numbers agree with each other, as every walk leaves them: no
// stored folder count (a folder counts itself when settled), one skip sample for each of the
// first four skips, own totals that equal the sums of `all_files` when it is kept and that hold
// every big single-link file, and big-file records of hard-linked files equal to their links.
bool consistent(const Node& n);

}  // namespace bwcore::cache_check
