#include "LogFolder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace virirado::logfolder {

std::optional<std::string> path(const std::string& home) {
    if (!home.starts_with('/')) return std::nullopt;
    if (std::filesystem::path(home).lexically_normal() == "/") return std::nullopt;
    std::string base = home;
    while (base.ends_with("/"))
        base.pop_back();
    return base + "/Library/Logs/Virirado";
}

int open(const std::string& home) {
    const std::optional<std::string> where = path(home);
    if (!where) return -1;
    const std::string& folder = *where;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // failure shows in the checks below

    struct stat before {};
    if (::lstat(folder.c_str(), &before) != 0) return -1;
    if (!S_ISDIR(before.st_mode) || before.st_uid != ::geteuid()) return -1;

    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    // The folder may have been swapped between the check and the open.
    struct stat after {};
    if (::fstat(fd, &after) != 0 || after.st_dev != before.st_dev ||
        after.st_ino != before.st_ino) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openFile(int folder, const std::string& name) {
    if (folder < 0) return -1;
    // Without O_NONBLOCK a pipe under the log's name would wait for a reader for
    // good; on a regular file the flag changes nothing.
    const int fd =
        ::openat(folder, name.c_str(),
                 O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace virirado::logfolder
