#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "DeleteLog.hpp"
#include "EngineClient.hpp"
#include "EngineLog.hpp"
#include "LogFolder.hpp"

namespace fs = std::filesystem;
using virirado::DeleteLog;
using virirado::EngineLog;
using virirado::Json;
using virirado::PreviewRow;
using Taken = virirado::CleanLedger::Taken;

namespace {

// One row sent to "/x" and the engine's word that it went.
std::vector<Taken> wentX() {
    return {Taken{1, PreviewRow{"x", "X", "/x", 1, "", "", "rm"}, Json{{"deleted", true}},
                  virirado::CleanLedger::Outcome::deleted}};
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vlogs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        home = pattern;
        folder = virirado::logfolder::path(home).value_or("");
        previousTz = std::getenv("TZ") ? std::getenv("TZ") : "";
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        fs::remove_all(home);
        setenv("TZ", previousTz.c_str(), 1);
        tzset();
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string read(const std::string& name) const { return contents(folder + "/" + name); }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.insert(entry.path().filename().string());
        return found;
    }
    // Permission bits of the entry itself, a link not followed; -1 when missing.
    int mode(const std::string& name) const {
        struct stat st {};
        if (lstat((folder + "/" + name).c_str(), &st) != 0) return -1;
        return S_ISREG(st.st_mode) ? static_cast<int>(st.st_mode & 0777) : -2;
    }
    std::string home, folder, previousTz;
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The count in a line that reports dropped lines, or nullopt for any other line.
std::optional<long> droppedCount(const std::string& line) {
    static const std::regex form("-- ([0-9]+) (lines?) not logged: the log could not keep up");
    std::smatch m;
    if (!std::regex_match(line, m, form)) return std::nullopt;
    const long count = std::stol(m[1]);
    EXPECT_EQ(m[2] == "line", count == 1) << line;
    return count;
}

EngineLog::Limits smallFiles(std::uint64_t fileBytes) {
    EngineLog::Limits limits;
    limits.fileBytes = fileBytes;
    limits.queueBytes = size_t{1} << 30;  // so nothing is dropped, whatever the disk's pace
    return limits;
}

// 2024-03-10 23:30:00 UTC is already the 11th in Berlin.
constexpr std::time_t kLateEvening = 1710113400;

}  // namespace

TEST_F(LogTest, TrafficLinesCarryTheirPrefix) {
    {
        EngineLog log(home);
        log.append("<<", "abc");
        log.append(">>", "a\nb");
        log.append("stderr", "a\n\n");
        log.append("<<", "");
        log.append("<<", "\n");
    }
    EXPECT_EQ(read("gui-engine.log"), "<< abc\n>> a\n>> b\nstderr a\nstderr \n");
    struct stat st {};
    ASSERT_EQ(stat((folder + "/gui-engine.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A log that is made but never written to leaves nothing behind: making the window
// must not create the folder or the file. The first line creates both.
TEST_F(LogTest, TrafficLogIsCreatedByItsFirstLine) {
    {
        EngineLog log(home);
        log.append(">>", "");
        log.append("<<", "\n");
    }
    EXPECT_FALSE(fs::exists(home + "/Library"));
    {
        auto services = virirado::ClientServices::system(home);
        EXPECT_FALSE(fs::exists(home + "/Library"));
        services.log(">>", "first");
    }
    EXPECT_EQ(read("gui-engine.log"), ">> first\n");
}

TEST_F(LogTest, TrafficLogAppendsAndTightensAnOlderFile) {
    fs::create_directories(folder);
    std::ofstream(folder + "/gui-engine.log") << "old\n";
    chmod((folder + "/gui-engine.log").c_str(), 0644);
    {
        EngineLog log(home);
        for (int i = 0; i < 100; ++i)
            log.append(">>", std::to_string(i));
    }
    const std::string text = read("gui-engine.log");
    EXPECT_TRUE(text.starts_with("old\n>> 0\n>> 1\n"));
    EXPECT_TRUE(text.ends_with(">> 98\n>> 99\n"));
    struct stat st {};
    ASSERT_EQ(stat((folder + "/gui-engine.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogTest, UnusableFolderSwitchesTheLogsOffQuietly) {
    std::ofstream(home + "/Library") << "a file where a folder should be";
    {
        EngineLog log(home);
        log.append(">>", "lost");
    }
    DeleteLog::write(wentX(), {}, std::nullopt, home, kLateEvening);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(LogTest, SymlinkedFolderIsNotFollowed) {
    const std::string elsewhere = home + "/elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(home + "/Library/Logs");
    fs::create_symlink(elsewhere, folder);
    {
        EngineLog log(home);
        log.append(">>", "x");
    }
    DeleteLog::write(wentX(), {}, std::nullopt, home, kLateEvening);
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(LogTest, SymlinkedLogFileIsNotFollowed) {
    fs::create_directories(folder);
    const std::string target = home + "/target";
    std::ofstream(target) << "";
    fs::create_symlink(target, folder + "/gui-engine.log");
    {
        EngineLog log(home);
        log.append(">>", "x");
    }
    EXPECT_EQ(fs::file_size(target), 0u);
}

// An engine that floods its output must not fill the disk the app is there to
// clean: whatever it writes, the log is two files of at most the cap, and
// gui-engine.log holds the newest lines.
TEST_F(LogTest, TrafficFloodKeepsTwoFilesWithinTheCap) {
    constexpr std::uint64_t kCap = 4096;
    {
        EngineLog log(home, smallFiles(kCap));
        for (int i = 0; i < 5000; ++i)
            log.append(">>", std::to_string(i));
        log.append("<<", "5000\n5001\n5002");
    }
    EXPECT_EQ(names(), (std::set<std::string>{"gui-engine.log", "gui-engine.log.1"}));
    const std::string older = read("gui-engine.log.1");
    const std::string newer = read("gui-engine.log");
    EXPECT_LE(older.size(), kCap);
    EXPECT_GT(older.size(), kCap - 16);  // filled up to the last whole line that fit
    EXPECT_LE(newer.size(), kCap);
    EXPECT_TRUE(newer.ends_with(">> 4999\n<< 5000\n<< 5001\n<< 5002\n"));

    // One unbroken run of whole lines across the two files, older first.
    ASSERT_TRUE(older.starts_with(">> "));
    std::string expected;
    for (int i = std::stoi(older.substr(3)); i < 5000; ++i)
        expected += ">> " + std::to_string(i) + "\n";
    expected += "<< 5000\n<< 5001\n<< 5002\n";
    EXPECT_EQ(older + newer, expected);
}

// The flood as it was measured, 1 MiB lines, under the real limits: each line is
// cut to 64 KiB, and gui-engine.log moves aside before it passes 32 MiB.
TEST_F(LogTest, RealLimitsHoldAFloodOfMebibyteLines) {
    EngineLog::Limits limits;
    limits.queueBytes = size_t{1} << 30;  // the real queue bound has its own test
    std::string text(1u << 20, 'x');
    {
        EngineLog log(home, limits);
        for (int i = 0; i < 600; ++i) {
            const std::string number = std::to_string(1000 + i);
            text.replace(0, number.size(), number);
            log.append("<<", text);
        }
    }
    const std::string tail = std::string(65536 - 4, 'x') + " \u2026 [1048576 bytes]\n";
    const size_t lineSize = 3 + 4 + tail.size();
    const size_t perFile = (size_t{32} << 20) / lineSize;
    EXPECT_EQ(names(), (std::set<std::string>{"gui-engine.log", "gui-engine.log.1"}));
    EXPECT_EQ(fs::file_size(folder + "/gui-engine.log.1"), perFile * lineSize);
    const std::string newer = read("gui-engine.log");
    EXPECT_EQ(newer.size(), (600 - perFile) * lineSize);
    EXPECT_TRUE(newer.starts_with("<< " + std::to_string(1000 + perFile) + "xxx"));
    EXPECT_TRUE(newer.ends_with("<< 1599" + tail));
}

// A line past 64 KiB keeps its first 64 KiB, never half a character, and says
// how long it was; one that just fits is written whole.
TEST_F(LogTest, OverlongLinesAreCutOnACharacterBoundary) {
    const std::string twoByte = std::string(65535, 'a') + "\u00e9tail";  // é at 65535-65536
    const std::string fourByte = std::string(65534, 'b') + "\U0001F600z";
    const std::string threeByte = std::string(65533, 'd') + "\u20ac and more";  // € fits
    const std::string exact(65536, 'c');
    {
        EngineLog log(home);
        log.append("<<", twoByte);
        log.append("stderr", "short\n" + fourByte + "\nafter\n");
        log.append(">>", threeByte);
        log.append(">>", exact);
    }
    const std::string expected =
        "<< " + std::string(65535, 'a') + " \u2026 [65541 bytes]\n" + "stderr short\n" + "stderr " +
        std::string(65534, 'b') + " \u2026 [65539 bytes]\n" + "stderr after\n" + ">> " +
        std::string(65533, 'd') + "\u20ac \u2026 [65545 bytes]\n" + ">> " + exact + "\n";
    const std::string written = read("gui-engine.log");
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);  // not printed: 260 KB
}

// A log an older version let grow is moved aside whole at the first write, and
// replaces the older file beside it: cut to the cap, its last line was split
// and everything after the cap lost.
TEST_F(LogTest, AnOversizedLogIsMovedAsideWholeAtTheFirstWrite) {
    fs::create_directories(folder);
    std::string old;
    for (int i = 0; i < 1000; ++i)
        old += "old " + std::to_string(i) + "\n";
    std::ofstream(folder + "/gui-engine.log") << old;
    std::ofstream(folder + "/gui-engine.log.1") << "older\n";
    {
        EngineLog log(home, smallFiles(4096));
        log.append(">>", "new");
    }
    EXPECT_EQ(read("gui-engine.log"), ">> new\n");
    EXPECT_EQ(read("gui-engine.log.1"), old);
    EXPECT_EQ(names(), (std::set<std::string>{"gui-engine.log", "gui-engine.log.1"}));
}

// A log removed while the app runs (to free space, say) is begun anew when it
// would move aside, not switched off.
TEST_F(LogTest, ALogRemovedWhileWrittenIsBegunAnew) {
    const std::string line = std::string(40, 'x');
    {
        EngineLog log(home, smallFiles(64));
        log.append(">>", line);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (read("gui-engine.log").size() < line.size() + 4 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(fs::remove(folder + "/gui-engine.log"));
        log.append("<<", line);
    }
    EXPECT_EQ(read("gui-engine.log"), "<< " + line + "\n");
    EXPECT_EQ(names(), std::set<std::string>{"gui-engine.log"});
}

// Moving the log aside replaces a link planted at gui-engine.log.1 and never
// writes through it; both files stay readable by the user only.
TEST_F(LogTest, MovingTheLogAsideFollowsNoLinkAndKeepsFilesPrivate) {
    const mode_t previousMask = umask(0);
    fs::create_directories(folder);
    std::ofstream(folder + "/gui-engine.log") << "old\n";
    chmod((folder + "/gui-engine.log").c_str(), 0644);
    const std::string target = home + "/target";
    std::ofstream(target) << "keep\n";
    fs::create_symlink(target, folder + "/gui-engine.log.1");
    {
        EngineLog log(home, smallFiles(64));
        log.append(">>", std::string(60, 'x'));
    }
    umask(previousMask);
    EXPECT_EQ(contents(target), "keep\n");
    EXPECT_EQ(read("gui-engine.log.1"), "old\n");
    EXPECT_EQ(read("gui-engine.log"), ">> " + std::string(60, 'x') + "\n");
    EXPECT_EQ(mode("gui-engine.log.1"), 0600);
    EXPECT_EQ(mode("gui-engine.log"), 0600);
}

// An engine can write faster than the disk takes it: past the queue's bound lines
// are dropped, and one line says how many.
TEST_F(LogTest, AFullQueueDropsLinesAndSaysHowMany) {
    EngineLog::Limits tiny;
    tiny.queueBytes = 95;  // room for nine lines of 10 bytes
    {
        EngineLog log(home, tiny);
        log.append(
            ">>", "line 0\nline 1\nline 2\nline 3\nline 4\nline 5\nline 6\nline 7\nline 8\nline 9");
    }
    EXPECT_EQ(read("gui-engine.log"),
              ">> line 0\n>> line 1\n>> line 2\n>> line 3\n>> line 4\n>> line 5\n>> line 6\n"
              ">> line 7\n>> line 8\n-- 1 line not logged: the log could not keep up\n");

    // The real bound, 8 MiB, met by one burst of 9000 lines of 1004 bytes logged.
    fs::remove(folder + "/gui-engine.log");
    std::string burst;
    for (int i = 0; i < 9000; ++i)
        burst += std::string(1000, 'y') + "\n";
    {
        EngineLog log(home);
        log.append("<<", burst);
    }
    const auto lines = splitLines(read("gui-engine.log"));
    const size_t kept = (size_t{8} << 20) / 1004;
    ASSERT_EQ(lines.size(), kept + 1);
    EXPECT_EQ(lines[kept - 1], "<< " + std::string(1000, 'y'));
    EXPECT_EQ(droppedCount(lines.back()), static_cast<long>(9000 - kept));
}

// However the writer keeps pace, every line is written or counted: from one
// thread each count stands where its lines are missing; from several, each
// thread's lines keep their order.
TEST_F(LogTest, DroppedLinesAreCountedWhereTheyAreMissing) {
    EngineLog::Limits small;
    small.queueBytes = 4096;
    constexpr int kLines = 50000;
    {
        EngineLog log(home, small);
        std::string burst;  // past the bound at once, so some lines are dropped
        for (int i = 0; i < 1000; ++i)
            burst += std::to_string(i) + "\n";
        log.append(">>", burst);
        for (int i = 1000; i < kLines; ++i)
            log.append(">>", std::to_string(i));
    }
    long expected = 0;
    int notices = 0;
    for (const std::string& line : splitLines(read("gui-engine.log"))) {
        if (const auto count = droppedCount(line)) {
            ++notices;
            expected += *count;
            continue;
        }
        ASSERT_EQ(line, ">> " + std::to_string(expected));
        ++expected;
    }
    EXPECT_EQ(expected, kLines);
    EXPECT_GE(notices, 1);

    fs::remove(folder + "/gui-engine.log");
    constexpr int kThreads = 4;
    {
        EngineLog log(home, small);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < kLines; ++i)
                    log.append(std::to_string(t), std::to_string(i));
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    long accounted = 0;
    std::vector<int> last(kThreads, -1);
    for (const std::string& line : splitLines(read("gui-engine.log"))) {
        if (const auto count = droppedCount(line)) {
            accounted += *count;
            continue;
        }
        const int t = line[0] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads && line[1] == ' ') << line;
        const int i = std::stoi(line.substr(2));
        ASSERT_GT(i, last[t]) << line;
        last[t] = i;
        ++accounted;
    }
    EXPECT_EQ(accounted, long{kThreads} * kLines);
}

// A pipe where a log file should be is not used: opening it for writing waits for
// a reader, which hung the window's thread (the deletion log) or its closing (the
// traffic log) for good.
TEST_F(LogTest, APipeInPlaceOfALogHangsNothing) {
    fs::create_directories(folder);
    const std::vector<std::string> pipes{folder + "/gui-engine.log",
                                         folder + "/deleted-20240311.log"};
    for (const std::string& path : pipes)
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    auto logging = std::async(std::launch::async, [this] {
        {
            EngineLog log(home);
            log.append(">>", "x");
        }
        DeleteLog::write(wentX(), {}, std::nullopt, home, kLateEvening);
    });
    const bool finished = logging.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    // A reader on each pipe lets a waiting open go on, so the test can end.
    std::vector<int> readers;
    for (const std::string& path : pipes)
        readers.push_back(open(path.c_str(), O_RDONLY | O_NONBLOCK));
    logging.get();
    for (const int fd : readers)
        close(fd);
    EXPECT_TRUE(finished);
}

TEST_F(LogTest, DeletionLinesFromResults) {
    // The place is the row's as sent, whatever the result names; the status is
    // the ledger's reading of the result, whatever its flags say; size and
    // message are the result's.
    using Outcome = virirado::CleanLedger::Outcome;
    const std::vector<Taken> results{
        {1, PreviewRow{"a", "A", "/a", 7, "", "", "rm"},
         Json{{"deleted", true}, {"realistic_size", 42}, {"path", "/etc"}, {"msg", "ok"}},
         Outcome::deleted},
        {1, PreviewRow{"l", "L", std::nullopt, 7, "", "", "cmd"},
         Json{{"label", "Other"}, {"msg", "line one\nline two"}}, Outcome::failed},
        {2, PreviewRow{"d", "D", "/d", 7, "", "", "rm"}, Json{{"ok", true}}, Outcome::deleted},
        {2, PreviewRow{"n", "N", "/n", 7, "", "", "rm"}, Json{{"deleted", true}}, Outcome::wouldGo},
    };
    DeleteLog::write(results, {PreviewRow{"f", "F", "/f", 1, "", "", "rm"}}, std::nullopt, home,
                     kLateEvening);
    EXPECT_EQ(read("deleted-20240311.log"),
              "2024-03-10T23:30:00Z\tdeleted\t42\t/a\tok\n"
              "2024-03-10T23:30:00Z\tfailed\t0\tL\tline one line two\n"
              "2024-03-10T23:30:00Z\tdeleted\t0\t/d\t\n"
              "2024-03-10T23:30:00Z\tfailed\t0\t/n\t\n");
    struct stat st {};
    ASSERT_EQ(stat((folder + "/deleted-20240311.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    DeleteLog::write({Taken{1, PreviewRow{"b", "B", "/b", 0, "", "", "rm"}, Json::object()}}, {},
                     "custom", home, kLateEvening + 60);
    EXPECT_TRUE(read("deleted-20240311.log").ends_with("23:31:00Z\tcustom\t0\t/b\t\n"));
}

TEST_F(LogTest, DeletionFallbackRowsAndRefusals) {
    const std::vector<PreviewRow> rows{{"1", "One", "/one", 5, "k", "safe", "rm"},
                                       {"2", "Two", std::nullopt, 6, "k", "safe", "trash"}};
    DeleteLog::write({}, rows, "deleted", home, kLateEvening);
    DeleteLog::refused({}, home, kLateEvening);
    DeleteLog::refused({{rows[1], "gone since the scan"}}, home, kLateEvening);
    EXPECT_EQ(read("deleted-20240311.log"),
              "2024-03-10T23:30:00Z\tunknown\t5\trm\t/one\n"
              "2024-03-10T23:30:00Z\tunknown\t6\ttrash\tTwo\n"
              "2024-03-10T23:30:00Z\trefused\t6\tTwo\trefused by app guard: gone since the scan\n");

    fs::remove(folder + "/deleted-20240311.log");
    DeleteLog::refused({}, home, kLateEvening);
    EXPECT_TRUE(fs::exists(folder + "/deleted-20240311.log"));
    EXPECT_EQ(read("deleted-20240311.log"), "");
}

TEST_F(LogTest, ControlCharactersCannotForgeLines) {
    const Taken record{
        1, PreviewRow{"x", "X", "/x\n2024-01-01T00:00:00Z\tdeleted\t1\t/etc", 0, "", "", "rm"},
        Json{{"msg", "a\tb\rc\nd"}}};
    DeleteLog::write({record}, {}, std::nullopt, home, kLateEvening);
    DeleteLog::write({}, {PreviewRow{"r", "t\tab", std::nullopt, 1, "", "", "r\nm"}}, std::nullopt,
                     home, kLateEvening);
    EXPECT_EQ(read("deleted-20240311.log"),
              "2024-03-10T23:30:00Z\tfailed\t0\t/x\\n2024-01-01T00:00:00Z\\tdeleted\\t1\\t/etc\t"
              "a\\tb\\rc d\n"
              "2024-03-10T23:30:00Z\tunknown\t1\tr\\nm\tt\\tab\n");
}

// The folder lies under the home as written; a home that names no folder of the
// user's own has none.
TEST(LogFolder, OnlyAnAbsoluteHomeBelowTheRootHasOne) {
    using virirado::logfolder::path;
    EXPECT_EQ(path("/home/al"), "/home/al/Library/Logs/Virirado");
    EXPECT_EQ(path("/home/al//"), "/home/al/Library/Logs/Virirado");
    for (const char* odd : {"", "rel", "./rel", "~", "/", "//", "/.", "/tmp/..", "/tmp/../"}) {
        EXPECT_EQ(path(odd), std::nullopt) << "home \"" << odd << '"';
    }
}

// With a relative home, both logs would be made in whatever folder the app was
// started from. They stay off and make nothing. (An empty home or the root would
// have them made under "/", which a test cannot try without that risk: the rule
// above covers them.)
TEST_F(LogTest, OddHomesTurnTheLogsOffAndMakeNothing) {
    const fs::path before = fs::current_path();
    const fs::path work = fs::path(home) / "work";
    fs::create_directories(work);
    fs::current_path(work);
    for (const std::string odd : {"rel", "./rel"}) {
        {
            EngineLog log(odd);
            log.append(">>", "lost");
            auto services = virirado::ClientServices::system(odd);
            services.log("<<", "lost too");
            const auto went = services.writeDeleteLog(wentX(), {}, {});
            const auto refused = services.writeRefusedLog(
                {{PreviewRow{"r", "R", "/r", 1, "", "", "rm"}, "why"}}, {});
            // Nothing was written, and the caller is told so.
            ASSERT_TRUE(went && refused);
            EXPECT_EQ(went->problem, "there is no home folder to keep it in");
            EXPECT_EQ(refused->lines.find("\trefused\t1\t/r\t"), 20u) << refused->lines;
        }
        DeleteLog::write(wentX(), {}, std::nullopt, odd, kLateEvening);
        DeleteLog::refused({}, odd, kLateEvening);
    }
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(work));
}
