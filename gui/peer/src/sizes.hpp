// How many bytes cleaning an item gives back. Only what the removal really
// frees counts: a file still reachable by another name outside the item keeps
// its blocks, and what lies below a mount point is never removed.
#pragma once

#include <cstdint>
#include <string>

namespace peer::sizes {

struct Size {
    int64_t bytes = 0;   // allocated bytes the removal frees
    int64_t files = 0;   // files below the item (the item itself when it is one)
    int64_t newest = 0;  // newest modification time, seconds since the epoch
};

// The allocated bytes (st_blocks x 512) of every file below `path` whose every
// name (hard link) lies below it too; folders count 0 and links are never
// followed. Nothing below a mount point counts (another device, or a bind
// mount of the same one), and an item that is itself a mount point frees nothing.
Size freed(const std::string& path);

// a + b for non-negative sizes, held at the largest value instead of overflowing.
int64_t add(int64_t a, int64_t b);

}  // namespace peer::sizes
