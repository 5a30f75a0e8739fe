// Path helpers shared by the scan and the clean: where the user's folders are,
// which paths the app can carry and show, and which places are never offered.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace peer::paths {

// $HOME when it is an absolute path, else the password database's entry, else "".
std::string home();
// $XDG_CACHE_HOME when it is a usable cache folder (below), else ~/.cache.
std::string cache_dir();
// True when `dir` may hold caches this engine offers: an absolute path without "."
// or ".." strictly inside the home, in no protected place and holding none, and
// where it really lies (through links) strictly inside the real home and in no
// protected place either. Anything else could make the home's own folders look
// like caches.
bool usable_cache(const std::string& dir, const std::string& home);
// $XDG_DATA_HOME/Trash when absolute, else ~/.local/share/Trash: where the
// desktop keeps the home Trash. Whether items may go there is trash_refusal's.
std::string trash_dir();
// Why nothing may be moved into the Trash folder `dir`, or none. The same rule
// as the cache folder: where the folder really lies, or would lie once made,
// is strictly inside the real home and, as written and there, in no protected
// place and holding none (judged against both homes). A path with "." or "..",
// or with a dangling link or a file on the way, is refused too ("cannot make
// the Trash folder"): the folders still to make must be plain, missing names.
std::optional<std::string> trash_refusal(const std::string& dir, const std::string& home);
// Where `path` really lies, or would lie once made: its deepest existing folder
// resolved through links, then the names still missing. None for a path with
// "." or "..", or when something other than a missing name is in the way.
std::optional<std::string> would_lie(const std::string& path);

// "~/..." for paths inside `home`, the path itself otherwise.
std::string display(const std::string& path, const std::string& home);

// True when the path is valid UTF-8 and holds no control characters: anything
// else cannot travel in the protocol or breaks the app's log lines.
bool carriable(const std::string& path);

// The last component and everything before it ("/" for a top-level name).
std::string base_name(const std::string& path);
std::string parent_of(const std::string& path);

// realpath(3) as a string, or none.
std::optional<std::string> real_path(const std::string& path);

// Where the item really lies: its parent resolved through links, then its own
// name (the item itself is not followed); none when the parent cannot be resolved.
std::optional<std::string> real_location(const std::string& path);

// True when `path` equals `dir` or lies below it.
bool is_under(const std::string& path, const std::string& dir);

// True when the real location of `path` lies strictly inside the real home.
bool really_inside(const std::string& path, const std::string& home);

// Why the app would refuse this path or where it really lies, or none: the
// app's delete guard (durozizo::DeleteGuard::reasonAgainstBothHomes), for the
// path as given and for its real location, so a link on the way, also in the
// home's own path, hides no protected place.
std::optional<std::string> protected_anywhere(const std::string& path, const std::string& home);

// The identity of a path as lstat sees it.
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    bool is_dir = false;
    bool is_link = false;
};
std::optional<Identity> identify(const std::string& path);

}  // namespace peer::paths

namespace peer::paths {

// The space of the file system holding `dir`, and its name: the mount point
// ("This disk" for the root file system).
struct Volume {
    int64_t free_bytes = 0;
    int64_t total_bytes = 0;
    std::string name = "This disk";
};
Volume volume(const std::string& dir);

// A mount point as /proc/self/mountinfo writes it, octal escapes undone.
std::string unescape_mount(const std::string& field);

}  // namespace peer::paths
