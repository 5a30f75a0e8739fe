// The traffic log on the disk it is there to free: it leaves a reserve free
// and says so, it holds no more memory than its bound however big the lines,
// and memory that runs out costs lines, never the app.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DeleteLog.hpp"
#include "EngineLog.hpp"
#include "LogFolder.hpp"
#include "SmallDisk.hpp"

namespace fs = std::filesystem;
using virirado::DeleteLog;
using virirado::EngineLog;
using virirado::Json;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The free-space reading the writer takes before each batch, handed over by
// the test one at a time: the writer waits in it, so the test knows which
// batch each reading is for, and a writer left waiting is a stalled one.
class FreeSpaceGate {
public:
    std::function<std::optional<std::uint64_t>(int)> reading() {
        return [this](int) { return take(); };
    }
    // Waits until the writer asks, then answers `free`.
    void answer(std::optional<std::uint64_t> free) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_asking && !m_given; });
        m_given = free;
        m_changed.notify_all();
    }
    // Waits until the writer asks.
    void waitForAsk() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_asking && !m_given; });
    }
    // Every reading from now on is `free`, at once.
    void open(std::optional<std::uint64_t> free) {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_always = free;
        m_changed.notify_all();
    }

private:
    std::optional<std::uint64_t> take() {
        std::unique_lock lock(m_mutex);
        if (m_open) return m_always;
        m_asking = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_given.has_value() || m_open; });
        const std::optional<std::uint64_t> free = m_given ? *m_given : m_always;
        m_given.reset();
        m_asking = false;
        m_changed.notify_all();
        return free;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_asking = false;
    std::optional<std::optional<std::uint64_t>> m_given;
    bool m_open = false;
    std::optional<std::uint64_t> m_always;
};

class TrafficLogBounds : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vbounds-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        home = pattern;
        log = *virirado::logfolder::path(home) + "/gui-engine.log";
    }
    void TearDown() override { fs::remove_all(home); }
    std::string home;
    std::string log;
};

constexpr std::uint64_t kReserve = 1 << 20;

}  // namespace

// Below the reserve the log stops and says so once; it goes on only once twice
// the reserve is free, first saying how many lines it left out; where not even
// half the reserve is left, it does not spend that on saying so.
TEST_F(TrafficLogBounds, TheLogKeepsItsReserveFreeAndSaysSoOnce) {
    FreeSpaceGate gate;
    EngineLog::Limits limits;
    limits.reserveBytes = kReserve;
    limits.freeSpace = gate.reading();
    {
        EngineLog traffic(home, limits);
        traffic.append(">>", "plenty");
        gate.answer(10 * kReserve);
        traffic.append(">>", "short");
        gate.answer(kReserve + 8);  // one byte short of the line and the reserve
        traffic.append(">>", "still short");
        gate.answer(2 * kReserve - 1);
        traffic.append(">>", "back");
        gate.answer(2 * kReserve);
        traffic.append(">>", "nearly none");
        gate.answer(kReserve / 2 + 8);  // too little left even to say so
        traffic.append(">>", "lost");
        gate.answer(kReserve);
        gate.open(10 * kReserve);
    }
    EXPECT_EQ(contents(log),
              ">> plenty\n"
              "-- the log stops here: less than 1 MiB is free on its disk\n"
              "-- 2 lines not logged: its disk was nearly full\n"
              ">> back\n");
}

// The whole lines of a batch that fit above the reserve are written and the
// rest counted; a line that counts lines the queue had no room for counts as
// those lines when it is left out itself.
TEST_F(TrafficLogBounds, ABatchIsWrittenUpToTheReserveAndTheRestCounted) {
    FreeSpaceGate gate;
    EngineLog::Limits limits;
    limits.reserveBytes = kReserve;
    limits.queueBytes = 64;
    limits.freeSpace = gate.reading();
    {
        EngineLog traffic(home, limits);
        traffic.append(">>", "first\naaaa\nbbbb");
        gate.waitForAsk();  // the writer holds this batch and waits
        traffic.append(">>", "cccc\ndddd\neeee\nffff\ngggg");  // room for four lines
        traffic.append(">>", "hhhh");                          // and for none
        gate.answer(kReserve + 9 + 8);                         // "first" and "aaaa"
        gate.answer(2 * kReserve);                             // the four lines
        gate.answer(kReserve);  // the count of the two dropped: no room
        traffic.append(">>", "iiii");
        gate.answer(2 * kReserve);
        gate.open(10 * kReserve);
    }
    EXPECT_EQ(contents(log),
              ">> first\n>> aaaa\n"
              "-- the log stops here: less than 1 MiB is free on its disk\n"
              "-- 1 line not logged: its disk was nearly full\n"
              ">> cccc\n>> dddd\n>> eeee\n>> ffff\n"
              "-- the log stops here: less than 1 MiB is free on its disk\n"
              "-- 2 lines not logged: its disk was nearly full\n"
              ">> iiii\n");
}

// The line that says the log stops is the last until it goes on: a shorter
// line of the same batch that would still fit is counted with the rest.
TEST_F(TrafficLogBounds, NothingOfItsBatchFollowsTheStop) {
    FreeSpaceGate gate;
    EngineLog::Limits limits;
    limits.reserveBytes = kReserve;
    limits.freeSpace = gate.reading();
    {
        EngineLog traffic(home, limits);
        traffic.append(">>", "first");
        gate.waitForAsk();  // the writer holds this batch and waits
        traffic.append(">>", "a line too long for the room");
        traffic.append(">>", "s");
        traffic.append("<<", "t");
        gate.answer(10 * kReserve);
        gate.answer(kReserve + 10);  // room for ">> s" and "<< t", not the long line
        traffic.append(">>", "after");
        gate.answer(2 * kReserve);
        gate.open(10 * kReserve);
    }
    EXPECT_EQ(contents(log),
              ">> first\n"
              "-- the log stops here: less than 1 MiB is free on its disk\n"
              "-- 3 lines not logged: its disk was nearly full\n"
              ">> after\n");
}

// With the writer stalled, 300 lines of 2 MiB are each cut to 64 KiB: what
// waits is held in buffers of its own size, so the bound holds in memory.
TEST_F(TrafficLogBounds, AStalledWriterHoldsNoMoreThanTheBound) {
    FreeSpaceGate gate;
    EngineLog::Limits limits;
    limits.queueBytes = 1 << 20;
    limits.freeSpace = gate.reading();
    const std::string big(2u << 20, 'x');
    {
        EngineLog traffic(home, limits);
        traffic.append("<<", "first");
        for (int i = 0; i < 300; ++i)
            traffic.append("<<", big);
        const std::size_t held = traffic.heldBytes();
        EXPECT_GT(held, limits.queueBytes / 2);  // the queue did fill
        EXPECT_LE(held, limits.queueBytes);
        gate.open(std::nullopt);
    }
    const auto lines = splitLines(contents(log));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "<< first");
    const std::size_t kept = lines.size() - 2;
    EXPECT_GE(kept, 1u);
    EXPECT_EQ(lines.back(),
              "-- " + std::to_string(300 - kept) + " lines not logged: the log could not keep up");
}

// Under a memory limit a text the log cannot get a buffer for is dropped and
// counted; the app goes on, and so does the log once memory is back. Before,
// std::bad_alloc left the append and ended the app.
TEST_F(TrafficLogBounds, MemoryThatRunsOutCostsLinesNotTheApp) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than a limit leaves";
#else
    // One buffer larger than any a heap hands out again, so it needs new
    // address space, which the limit refuses.
    EngineLog::Limits limits;
    limits.queueBytes = 64u << 20;
    std::string flood;
    for (int i = 0; i < 70000; ++i)
        flood += std::string(1000, 'z') + "\n";
    std::fflush(nullptr);  // the child must not write what the test printed so far
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            EngineLog traffic(home, limits);
            traffic.append("<<", "before");
            rlimit was{};
            getrlimit(RLIMIT_AS, &was);
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlimit tight{static_cast<rlim_t>(pages) * 4096 + (16u << 20), was.rlim_max};
            if (setrlimit(RLIMIT_AS, &tight) != 0) _exit(3);
            traffic.append("<<", flood);
            setrlimit(RLIMIT_AS, &was);
            traffic.append("<<", "after");
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(contents(log),
              "<< before\n-- 70000 lines not logged: the log could not keep up\n<< after\n");
#endif
}

// On a real file system of 4 MiB, nearly full: a flood leaves the reserve
// free, and the deletion log still has room for its line.
TEST(TrafficLogOnASmallDisk, TheReserveStaysFreeForTheDeletionLog) {
    const auto disk = virirado::testing::smallDisk();
    if (!disk) return virirado::testing::runOnSmallDisk(4u << 20);
    const fs::path home = *disk / "home";
    fs::create_directories(home);
    const auto freeBytes = [&] {
        struct statvfs vfs {};
        EXPECT_EQ(statvfs(home.c_str(), &vfs), 0);
        return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    };
    {
        std::ofstream filler(home / "filler");
        while (freeBytes() > kReserve + (kReserve / 2))
            filler << std::string(4096, 'f') << std::flush;
    }
    EngineLog::Limits limits;
    limits.reserveBytes = kReserve;
    limits.queueBytes = 64u << 20;  // nothing is dropped for want of pace
    {
        EngineLog traffic(home.string(), limits);
        for (int i = 0; i < 3000; ++i)
            traffic.append("<<", std::to_string(i) + " " + std::string(1000, 'y'));
    }
    EXPECT_GE(freeBytes(), kReserve - 4096);
    const auto lines = splitLines(contents(*virirado::logfolder::path(home) + "/gui-engine.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "-- the log stops here: less than 1 MiB is free on its disk");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        ASSERT_EQ(lines[i], "<< " + std::to_string(i) + " " + std::string(1000, 'y'));

    const virirado::CleanLedger::Taken x1{
        1, virirado::PreviewRow{"x1", "x1", "/x1", 0, "", "", "rm"}, Json{{"deleted", true}},
        virirado::CleanLedger::Outcome::deleted};
    DeleteLog::write({x1}, {}, std::nullopt, home.string(), 1710113400);
    bool found = false;
    for (const auto& entry : fs::directory_iterator(*virirado::logfolder::path(home))) {
        if (entry.path().filename().string().starts_with("deleted-"))
            found = contents(entry.path()).find("\tdeleted\t0\t/x1\t") != std::string::npos;
    }
    EXPECT_TRUE(found);
}
