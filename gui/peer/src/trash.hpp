// Moving an item to the user's home Trash, as desktops on Linux share it:
// the item goes to files/<name> and info/<name>.trashinfo records where it came
// from and when. Only a rename: an item on another file system is not moved.
#pragma once

#include <ctime>
#include <string>

#include "clean.hpp"
#include "items.hpp"

namespace peer::trash {

// "/a b/é" -> "/a%20b/%C3%A9": every byte but letters, digits, "-._~/" encoded.
std::string percent_encode(const std::string& path);

// The .trashinfo text for `path` deleted at `when` (local time).
std::string info_text(const std::string& path, std::time_t when);

// Moves the item into `trash_dir`, which must pass paths::trash_refusal against
// `home`; its folders are made only there, one name at a time, through no link.
clean::Outcome move_to_trash(const items::Item& item, const std::string& trash_dir,
                             const std::string& home);

}  // namespace peer::trash
