// The folder both app logs live in, "Library/Logs/Virirado" under the home folder,
// prepared so that a planted symbolic link or another user's folder is never used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace virirado::logfolder {

// The folder under `home`. None for a home that is empty, relative or the root:
// the logs would land in whatever folder the app was started from, or among
// the system's own folders, so there they are off.
std::optional<std::string> path(const std::string& home);

// A descriptor the caller closes, or why there is none, said plainly enough
// for the person whose log it is ("~/Library/Logs/Virirado is not a real
// folder", the system's own text of the error).
struct Opened {
    int fd = -1;
    std::string problem;
};

// Creates the folder with its missing parents and opens it. Nothing is created
// when the home has no log folder. A folder that is a symbolic link, not a
// folder, or not owned by this user is refused.
Opened open(const std::string& home);

// Opens (creating with mode 0600) a log file in the folder for appending, never
// through a symbolic link and never anything but a regular file.
Opened openFile(int folder, const std::string& name);

// Writes all bytes, retrying short writes and interruptions. On failure errno
// tells why, and `written` how many went.
bool writeAll(int fd, std::string_view bytes, std::size_t* written = nullptr);

}  // namespace virirado::logfolder
