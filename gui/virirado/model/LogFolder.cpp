#include "LogFolder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace virirado::logfolder {

namespace {

constexpr const char* kShown = "~/Library/Logs/Virirado";

Opened refused(std::string problem) {
    return {-1, std::move(problem)};
}

Opened failed(int error) {
    return {-1, std::strerror(error)};
}

}  // namespace

std::optional<std::string> path(const std::string& home) {
    if (!home.starts_with('/')) return std::nullopt;
    if (std::filesystem::path(home).lexically_normal() == "/") return std::nullopt;
    std::string base = home;
    while (base.ends_with("/"))
        base.pop_back();
    return base + "/Library/Logs/Virirado";
}

Opened open(const std::string& home) {
    const std::optional<std::string> where = path(home);
    if (!where) return refused("there is no home folder to keep it in");
    const std::string& folder = *where;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // failure shows in the checks below

    struct stat before {};
    if (::lstat(folder.c_str(), &before) != 0) return failed(errno);
    if (!S_ISDIR(before.st_mode)) return refused(std::string(kShown) + " is not a real folder");
    if (before.st_uid != ::geteuid())
        return refused(std::string(kShown) + " belongs to another user");

    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP || errno == ENOTDIR
                   ? refused(std::string(kShown) + " is not a real folder")
                   : failed(errno);
    // The folder may have been swapped between the check and the open.
    struct stat after {};
    if (::fstat(fd, &after) != 0 || after.st_dev != before.st_dev ||
        after.st_ino != before.st_ino) {
        ::close(fd);
        return refused(std::string(kShown) + " is not a real folder");
    }
    return {fd, {}};
}

Opened openFile(int folder, const std::string& name) {
    if (folder < 0) return failed(EBADF);
    const std::string notRegular = name + " is not a regular file";
    // Without O_NONBLOCK a pipe under the log's name would wait for a reader for
    // good; on a regular file the flag changes nothing.
    const int fd =
        ::openat(folder, name.c_str(),
                 O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        // A link, a pipe with no reader, a folder: whatever stands there is no log.
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
            return refused(notRegular);
        return failed(error);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(notRegular);
    }
    return {fd, {}};
}

bool writeAll(int fd, std::string_view bytes, std::size_t* written) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written != nullptr) *written = done;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (written != nullptr) *written = done;
    return true;
}

}  // namespace virirado::logfolder
