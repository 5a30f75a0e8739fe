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

// Creates the folder with its missing parents and opens it. Returns -1, having
// created nothing, when the home has no log folder; -1 too when the folder
// cannot be made, or when it is a symbolic link, not a folder, or not owned by
// this user. The caller closes the descriptor.
int open(const std::string& home);

// Opens (creating with mode 0600) a log file in the folder for appending, never
// through a symbolic link and never anything but a regular file. Returns -1 on
// failure.
int openFile(int folder, const std::string& name);

// Writes all bytes, retrying short writes and interruptions.
bool writeAll(int fd, std::string_view bytes);

}  // namespace virirado::logfolder
