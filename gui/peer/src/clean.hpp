// Cleaning one item: the re-check just before it, and the removal that never
// follows a link and never crosses a mount point.
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

// How removal tells a mount point, bind mounts included: by the mount-root
// attribute of statx, by opening each folder with a resolve flag that refuses
// to cross a mount, or both. Whichever the kernel does not offer is skipped;
// when neither answers, no folder is entered. Tests turn one off to try the other.
struct MountTests {
    bool statx = true;
    bool openat2 = true;
};

// Removes the item for good, walking down by descriptors, at any depth with a
// bounded number of them open. It never enters a mount point: an item that is
// one is not touched, and what lies below one inside the item stays. A Trash
// item is emptied: the contents of its files/ and info/ go, the folders stay,
// and neither is touched unless both are sound.
Outcome remove(const items::Item& item, MountTests how = {});

}  // namespace peer::clean
