// A small file system of the test's own. The test runs again in a child
// process that has a tmpfs mounted in a mount namespace of its own (inside a
// user namespace of its own when the user is not root), so nothing is ever
// mounted where the host could see it, and the mount ends with the child.
//
//   TEST(Suite, Name) {
//       const auto disk = smallDisk();
//       if (!disk) return runOnSmallDisk(4 << 20);
//       ... the test, with *disk a folder on a file system of 4 MiB ...
//   }
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace virirado::testing {

inline constexpr const char* kSmallDiskVariable = "VIRIRADO_TEST_SMALL_DISK";

// In the child: the folder the small file system is mounted on. None in the
// test's first run.
inline std::optional<std::filesystem::path> smallDisk() {
    const char* where = std::getenv(kSmallDiskVariable);
    if (where == nullptr || *where == '\0') return std::nullopt;
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs fs {};
    // Whatever happens, the test must never fill the disk it was started on.
    if (::statfs(where, &fs) != 0 || fs.f_type != kTmpfsMagic) {
        ADD_FAILURE() << where << " is not the small file system";
        std::_Exit(1);
    }
    return std::filesystem::path(where);
}

namespace small_disk_detail {

// Steps in the child before the test runs again; a failure is reported back
// through `report` as the step and its error number.
struct Plan {
    int report = -1;
    bool root = false;
    std::string uidMap, gidMap, mountPoint, options;
    std::vector<char*> argv, envp;
};

[[noreturn]] inline void fail(const Plan& plan, int step) {
    const int message[2] = {step, errno};
    [[maybe_unused]] const auto n = ::write(plan.report, message, sizeof message);
    ::_exit(127);
}

inline bool writeFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// Runs in the child of a fork: system calls only, on what the parent prepared.
[[noreturn]] inline void child(const Plan& plan) {
    if (plan.root) {
        if (::unshare(CLONE_NEWNS) != 0) fail(plan, 1);
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) fail(plan, 1);
        if (!writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", plan.uidMap) ||
            !writeFile("/proc/self/gid_map", plan.gidMap))
            fail(plan, 2);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail(plan, 3);
    if (::mount("tmpfs", plan.mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                plan.options.c_str()) != 0)
        fail(plan, 4);
    ::execve("/proc/self/exe", plan.argv.data(), plan.envp.data());
    fail(plan, 5);
}

inline const char* stepName(int step) {
    switch (step) {
        case 1:
            return "a namespace of its own";
        case 2:
            return "its user mapping";
        case 3:
            return "a private mount table";
        case 4:
            return "a tmpfs";
        default:
            return "running the test again";
    }
}

}  // namespace small_disk_detail

// Runs the current test again in a child with a tmpfs of `bytes` bytes, and
// takes its outcome. Skips where the machine gives the test no namespace.
inline void runOnSmallDisk(std::size_t bytes) {
    namespace detail = small_disk_detail;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string pattern = (std::filesystem::temp_directory_path() / "vsmall-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);

    detail::Plan plan;
    plan.root = ::geteuid() == 0;
    plan.uidMap = std::to_string(::geteuid()) + " " + std::to_string(::geteuid()) + " 1";
    plan.gidMap = std::to_string(::getegid()) + " " + std::to_string(::getegid()) + " 1";
    plan.mountPoint = pattern;
    plan.options = "size=" + std::to_string(bytes) + ",mode=0700";
    std::vector<std::string> args{
        "/proc/self/exe",
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()};
    std::vector<std::string> env{std::string(kSmallDiskVariable) + "=" + pattern};
    // The child runs this one test, whole, and writes no report of its own.
    const auto dropped = [](const std::string& entry) {
        for (const char* name : {kSmallDiskVariable, "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS",
                                 "GTEST_OUTPUT", "GTEST_FILTER"}) {
            if (entry.starts_with(std::string(name) + "=")) return true;
        }
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!dropped(*e)) env.emplace_back(*e);
    }
    for (std::string& a : args)
        plan.argv.push_back(a.data());
    plan.argv.push_back(nullptr);
    for (std::string& e : env)
        plan.envp.push_back(e.data());
    plan.envp.push_back(nullptr);

    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    plan.report = report[1];
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) detail::child(plan);
    ::close(report[1]);
    int message[2] = {0, 0};
    const ssize_t got = pid > 0 ? ::read(report[0], message, sizeof message) : -1;
    ::close(report[0]);
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    ::rmdir(pattern.c_str());
    ASSERT_GT(pid, 0) << std::strerror(errno);
    if (got == static_cast<ssize_t>(sizeof message)) {
        if (message[0] < 5)
            GTEST_SKIP() << "no small file system of the test's own: "
                         << detail::stepName(message[0]) << ": " << std::strerror(message[1]);
        FAIL() << detail::stepName(message[0]) << ": " << std::strerror(message[1]);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test on its small file system failed; its output is above";
}

}  // namespace virirado::testing
