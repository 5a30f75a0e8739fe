// A small file system of the test's own: a tmpfs in a mount table of the
// test's own (OwnMounts.hpp), so nothing is ever mounted where the host could
// see it, and the mount ends with the child.
//
//   TEST(Suite, Name) {
//       const auto disk = smallDisk();
//       if (!disk) return runOnSmallDisk(4 << 20);
//       ... the test, with *disk a folder on a file system of 4 MiB ...
//   }
#pragma once

#include <sys/vfs.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "OwnMounts.hpp"

namespace virirado::testing {

// In the child: the folder the small file system is mounted on. None in the
// test's first run.
inline std::optional<std::filesystem::path> smallDisk() {
    const auto where = ownMounts();
    if (!where) return std::nullopt;
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs fs {};
    // Whatever happens, the test must never fill the disk it was started on.
    if (::statfs(where->c_str(), &fs) != 0 || fs.f_type != kTmpfsMagic) {
        ADD_FAILURE() << *where << " is not the small file system";
        std::_Exit(1);
    }
    return where;
}

// Runs the current test again in a child with a tmpfs of `bytes` bytes, and
// takes its outcome. Skips where the machine gives the test no namespace.
inline void runOnSmallDisk(std::size_t bytes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vsmall-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    runWithOwnMounts(pattern, {{"tmpfs", pattern, "tmpfs", MS_NOSUID | MS_NODEV,
                                "size=" + std::to_string(bytes) + ",mode=0700"}});
    ::rmdir(pattern.c_str());
}

}  // namespace virirado::testing
