#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DeleteLog.hpp"
#include "EngineClient.hpp"
#include "EngineLog.hpp"
#include "LogFolder.hpp"

namespace fs = std::filesystem;
using virirado::DeleteLog;
using virirado::EngineLog;
using virirado::Json;
using virirado::PreviewRow;

namespace {

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
    std::string read(const std::string& name) const {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string home, folder, previousTz;
};

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
    DeleteLog::write({Json{{"path", "/x"}}}, {}, std::nullopt, home, kLateEvening);
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
    DeleteLog::write({Json{{"path", "/x"}}}, {}, std::nullopt, home, kLateEvening);
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

TEST_F(LogTest, DeletionLinesFromResults) {
    const std::vector<Json> results{
        Json{{"deleted", true}, {"realistic_size", 42}, {"path", "/a"}, {"msg", "ok"}},
        Json{{"label", "L"}, {"msg", "line one\nline two"}},
        Json{{"deleted", 1}},
        Json::array(),
    };
    DeleteLog::write(results, {PreviewRow{"f", "F", "/f", 1, "", "", "rm"}}, std::nullopt, home,
                     kLateEvening);
    EXPECT_EQ(read("deleted-20240311.log"),
              "2024-03-10T23:30:00Z\tdeleted\t42\t/a\tok\n"
              "2024-03-10T23:30:00Z\tfailed\t0\tL\tline one line two\n"
              "2024-03-10T23:30:00Z\tdeleted\t0\t?\t\n"
              "2024-03-10T23:30:00Z\tfailed\t0\t?\t\n");
    struct stat st {};
    ASSERT_EQ(stat((folder + "/deleted-20240311.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    DeleteLog::write({Json{{"path", "/b"}}}, {}, "custom", home, kLateEvening + 60);
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
    const Json record{{"path", "/x\n2024-01-01T00:00:00Z\tdeleted\t1\t/etc"},
                      {"msg", "a\tb\rc\nd"}};
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
            services.writeDeleteLog({Json{{"deleted", true}, {"path", "/x"}}}, {});
            services.writeRefusedLog({{PreviewRow{"r", "R", "/r", 1, "", "", "rm"}, "why"}});
        }
        DeleteLog::write({Json{{"deleted", true}, {"path", "/x"}}}, {}, std::nullopt, odd,
                         kLateEvening);
        DeleteLog::refused({}, odd, kLateEvening);
    }
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(work));
}
