// A mount table of the test's own. The test runs again in a child process with
// a mount namespace of its own (inside a user namespace of its own when the
// user is not root), where the mounts it asks for are made before it starts:
// nothing is ever mounted where the host could see it, and the mounts end with
// the child.
//
//   TEST(Suite, Name) {
//       const auto folder = ownMounts();
//       if (!folder) return runWithOwnMounts(prepared, {bindMount(a, b)});
//       ... the test, in which `prepared` (*folder) holds the mounts ...
//   }
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
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

inline constexpr const char* kOwnMountsVariable = "VIRIRADO_TEST_OWN_MOUNTS";

// One mount(2) the child makes.
struct Mount {
    std::string source, target, type;
    unsigned long flags = 0;
    std::string options;
};

inline Mount bindMount(const std::filesystem::path& from, const std::filesystem::path& at) {
    return {from.string(), at.string(), "", MS_BIND, ""};
}

// In the child: the folder the test's mounts were made for. None in the
// test's first run.
inline std::optional<std::filesystem::path> ownMounts() {
    const char* folder = std::getenv(kOwnMountsVariable);
    if (folder == nullptr || *folder == '\0') return std::nullopt;
    return std::filesystem::path(folder);
}

namespace own_mounts_detail {

// Everything the child needs, prepared by the parent: after a fork it may
// only make system calls. A failure is reported back through `report` as
// the step and its error number.
struct Plan {
    int report = -1;
    bool root = false;
    std::string uidMap, gidMap;
    std::vector<Mount> mounts;
    std::vector<char*> argv, envp;
};

enum Step { kNamespace = 1, kMapping, kPrivate, kMounts, kRun };

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

inline const char* orNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

[[noreturn]] inline void child(const Plan& plan) {
    if (plan.root) {
        if (::unshare(CLONE_NEWNS) != 0) fail(plan, kNamespace);
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) fail(plan, kNamespace);
        if (!writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", plan.uidMap) ||
            !writeFile("/proc/self/gid_map", plan.gidMap))
            fail(plan, kMapping);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail(plan, kPrivate);
    for (const Mount& m : plan.mounts) {
        if (::mount(m.source.c_str(), m.target.c_str(), orNull(m.type), m.flags,
                    orNull(m.options)) != 0)
            fail(plan, kMounts);
    }
    ::execve("/proc/self/exe", plan.argv.data(), plan.envp.data());
    fail(plan, kRun);
}

inline const char* stepName(int step) {
    switch (step) {
        case kNamespace:
            return "a namespace of its own";
        case kMapping:
            return "its user mapping";
        case kPrivate:
            return "a private mount table";
        case kMounts:
            return "its mounts";
        default:
            return "running the test again";
    }
}

}  // namespace own_mounts_detail

// Runs the current test again in a child whose mount table has `mounts`, and
// takes its outcome; the child finds `folder` through `ownMounts()`. Skips
// where the machine gives the test no such namespace, with the reason.
inline void runWithOwnMounts(const std::filesystem::path& folder, std::vector<Mount> mounts) {
    namespace detail = own_mounts_detail;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    detail::Plan plan;
    plan.root = ::geteuid() == 0;
    plan.uidMap = std::to_string(::geteuid()) + " " + std::to_string(::geteuid()) + " 1";
    plan.gidMap = std::to_string(::getegid()) + " " + std::to_string(::getegid()) + " 1";
    plan.mounts = std::move(mounts);
    std::vector<std::string> args{
        "/proc/self/exe",
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()};
    std::vector<std::string> env{std::string(kOwnMountsVariable) + "=" + folder.string()};
    // The child runs this one test, whole, and writes no report of its own.
    const auto dropped = [](const std::string& entry) {
        for (const char* name : {kOwnMountsVariable, "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS",
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
    ASSERT_GT(pid, 0) << std::strerror(errno);
    if (got == static_cast<ssize_t>(sizeof message)) {
        if (message[0] < detail::kRun)
            GTEST_SKIP() << "no mount table of the test's own: " << detail::stepName(message[0])
                         << ": " << std::strerror(message[1]);
        FAIL() << detail::stepName(message[0]) << ": " << std::strerror(message[1]);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test in its own mount table failed; its output is above";
}

}  // namespace virirado::testing
