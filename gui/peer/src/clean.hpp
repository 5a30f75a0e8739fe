// Cleaning one item: the re-check just before it, and the removal that never
// follows a link and never leaves the item's own file system.
#pragma once

#include <optional>
#include <string>

#include "items.hpp"

namespace peer::clean {

struct Outcome {
    bool deleted = false;  // the item is gone (or, for the Trash, emptied)
    bool ok = false;
    std::string msg;
};

// Why the item must not be touched now, or none: it must still be the file the
// scan saw (same device and inode), no symlink, inside the home (also where it
// really lies) and in no protected place (paths::protected_anywhere).
std::optional<std::string> recheck(const items::Item& item, const std::string& home);

// Removes the item for good, walking down by descriptors. A Trash item is
// emptied: the contents of its files/ and info/ go, the folders stay.
Outcome remove(const items::Item& item);

}  // namespace peer::clean
