// Inputs a careless or hostile caller can hand the engine: each must end in a clear error, not a
// hang or a crash.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "run_engine.hpp"

namespace virirado_engine::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

Outcome scan_with_config(const TempDir& tmp, const std::string& config) {
    return run_engine({"scan", "--json", "--root", tmp.dir("root"), "--cache-dir", tmp.sub("cache"),
                       "--config", config},
                      {{"HOME", tmp.dir("home")}});
}

// Opens the fifo for writing only after a long grace period, so an engine stuck waiting for a
// writer is eventually released (and then succeeds, which the test reports) instead of hanging.
class LateWriter {
public:
    explicit LateWriter(std::string fifo)
        : m_thread([this, fifo = std::move(fifo)] {
              for (int i = 0; i < 300 && !m_stop; ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
              if (fd < 0) return;
              (void)!::write(fd, "{}", 2);
              ::close(fd);
          }) {}
    ~LateWriter() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(HostileConfig, SpecialFilesGiveAConfigErrorInsteadOfHangingOrExhaustingMemory) {
    TempDir tmp;
    std::string fifo = tmp.sub("rules.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        LateWriter writer(fifo);
        Outcome r = scan_with_config(tmp, fifo);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_THAT(r.err, StartsWith("--config " + fifo + ": "));
    }

    Outcome endless = scan_with_config(tmp, "/dev/zero");
    EXPECT_EQ(endless.status, 2) << endless.err.substr(0, 300);
    EXPECT_EQ(endless.out, "");
    EXPECT_EQ(endless.err, "--config /dev/zero: " + std::string(std::strerror(EFBIG)) + "\n");

    Outcome folder = scan_with_config(tmp, tmp.path());
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "--config " + tmp.path() + ": " + std::strerror(EISDIR) + "\n");
}

TEST(HostileConfig, RulesFromAPipeWithAWriterStillLoad) {
    TempDir tmp;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::fcntl(fds[1], F_SETFD, FD_CLOEXEC), 0);
    // The child inherits the pipe and reads it through /dev/fd, as `--config <(...)` does.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        (void)!::write(fds[1], R"({"deny_prefixes": ["/nowhere"]})", 31);
        ::close(fds[1]);
    });
    Outcome r = scan_with_config(tmp, "/dev/fd/" + std::to_string(fds[0]));
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"total\""));
}

}  // namespace
}  // namespace virirado_engine::testing
