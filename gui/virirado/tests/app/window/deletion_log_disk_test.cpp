// The deletion log where a disk cleaner meets it: a home on a full disk, and
// a log folder planted as a link. The line of a clean is written when the
// clean freed room for it; when it cannot be written the sheet and the banner
// say so and why, never "Log: …", and the line is kept until it can be.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QTest>

#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "HostileWindow.hpp"
#include "OneRowClean.hpp"
#include "QuitSignals.hpp"
#include "SheetKeys.hpp"
#include "SmallDisk.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;
using namespace testing::hostile;

constexpr const char* kLogged = "Deleted 1 items. Log: ~/Library/Logs/Virirado/";

fs::path x1Of(const fs::path& home) {
    return home / ".cache" / "x1";
}

// Writes blocks until the disk that holds `folder` takes no more.
void fillTheDisk(const fs::path& folder) {
    std::ofstream filler(folder / "filler");
    const std::string block(4096, 'f');
    while (filler << block << std::flush) {
    }
}

// The cache folder "x1" of 4 KiB in the home, then a full disk, and the scan
// that lists x1, its preview and its clean: `clean` is what the engine does
// when asked to clean, before it reports x1 deleted. With `junk`, the engine
// writes that much output before its scan's answer instead of the disk being
// filled beforehand.
std::string cleanOfX1(const fs::path& home, const std::string& clean, int junk = 0) {
    fs::create_directories(x1Of(home));
    std::ofstream(x1Of(home) / "data") << std::string(4096, 'x');
    if (junk == 0) fillTheDisk(home);
    const std::string flood =
        junk == 0 ? ""
                  : "flood " + std::to_string(junk / 1000) + " " + std::string(999, 'j') + "\n";
    const std::string x1 = x1Of(home).string();
    return volume("0", "1048576") + "on scan\n" + flood +
           "say {\"event\":\"item\",\"item\":{\"id\":\"x1\"," +
           "\"label\":\"x1\",\"category\":\"caches\",\"path\":\"" + x1 +
           "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\",\"action\":\"rm\"}}\n" +
           "say "
           "{\"event\":\"done\",\"free_bytes\":0,\"total_bytes\":1048576,\"ticked\":[\"x1\"]}\n" +
           "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[{\"id\":" +
           "\"x1\",\"label\":\"x1\",\"path\":\"" + x1 +
           "\",\"realistic_size\":4096,\"safety\":\"safe\",\"action\":\"rm\"}]}\n" + "on clean\n" +
           clean +
           "say {\"event\":\"clean_progress\",\"phase\":\"done\",\"label\":\"x1\",\"ok\":true," +
           "\"realistic_size\":4096}\n" +
           // Time for the traffic log to take the progress line, as it did the
           // room the clean freed.
           "sleep 200\n" +
           "say {\"event\":\"clean\",\"dry_run\":false,\"clean_count\":1,\"results\":[{\"id\":" +
           "\"x1\",\"label\":\"x1\",\"path\":\"" + x1 +
           "\",\"realistic_size\":4096,\"deleted\":true,\"ok\":true}]}\n";
}

// Scans, confirms the preview and waits for the run's end; the sheet, or none.
ConfirmSheet* cleanToTheEnd(HostileWindow& w) {
    if (!w.scan()) return nullptr;
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    if (sheet == nullptr || !finished(w)) return nullptr;
    w.refresh();
    return sheet;
}

// The sheet's line on the deletion log, when it shows one.
std::optional<std::string> logLineOf(ConfirmSheet* sheet) {
    auto* line = sheet->progressView()->findChild<ClampedLabel*>("logProblem");
    if (line == nullptr || !line->isVisibleTo(sheet)) return std::nullopt;
    return line->text().toStdString();
}

std::string x1Line(const fs::path& home) {
    return "\tdeleted\t4096\t" + x1Of(home).string() + "\t\n";
}

// The clean freed 4 KiB of a full disk: the deletion log has them, not the
// traffic log, which leaves its reserve to the disk.
TEST(FullDisk, TheCleanThatFreesRoomGetsItsLine) {
    const auto disk = testing::smallDisk();
    if (!disk) return testing::runOnSmallDisk(1u << 20);
    HostileWindow w(*disk / "home", [](const fs::path& home) {
        return cleanOfX1(home, "remove " + x1Of(home).string() + "\n");
    });
    ConfirmSheet* sheet = cleanToTheEnd(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    EXPECT_NE(deletionLogs(w.home).find(x1Line(w.home)), std::string::npos) << deletionLogs(w.home);
    EXPECT_EQ(w.state().banner, kLogged);
    EXPECT_EQ(logLineOf(sheet), std::nullopt);
}

// The engine's own output, 4 MB of junk before its scan's answer, would fill
// the disk through the traffic log: the log leaves the disk to the clean.
TEST(FullDisk, JunkFromTheEngineDoesNotFillTheDisk) {
    const auto disk = testing::smallDisk();
    if (!disk) return testing::runOnSmallDisk(1u << 20);
    HostileWindow w(*disk / "home", [](const fs::path& home) {
        return cleanOfX1(home, "remove " + x1Of(home).string() + "\n", 4'000'000);
    });
    ConfirmSheet* sheet = cleanToTheEnd(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    EXPECT_NE(deletionLogs(w.home).find(x1Line(w.home)), std::string::npos) << deletionLogs(w.home);
    EXPECT_EQ(w.state().banner, kLogged);
    struct statvfs vfs {};
    ASSERT_EQ(statvfs(w.home.c_str(), &vfs), 0);
    EXPECT_GT(vfs.f_bavail * vfs.f_frsize, 1u << 19);  // the junk took nothing
}

// The clean freed nothing: its line cannot be written. The sheet and the
// banner say so and why; once there is room, the client's end writes it.
TEST(FullDisk, ALineThatCannotBeWrittenIsSaidAndWrittenLater) {
    const auto disk = testing::smallDisk();
    if (!disk) return testing::runOnSmallDisk(1u << 20);
    HostileWindow w(*disk / "home", [](const fs::path& home) { return cleanOfX1(home, ""); });
    ConfirmSheet* sheet = cleanToTheEnd(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    const std::string why = "The deletion log could not be written: No space left on device.";
    EXPECT_EQ(w.state().banner, "Deleted 1 items. " + why);
    EXPECT_EQ(logLineOf(sheet), why);
    EXPECT_EQ(deletionLogs(w.home).find("x1"), std::string::npos);

    fs::remove(w.home / "filler");
    w.window.reset();
    w.object.reset();
    EXPECT_NE(deletionLogs(w.home).find(x1Line(w.home)), std::string::npos) << deletionLogs(w.home);
}

// What the app writes on standard error while `step` runs.
std::string standardErrorOf(const std::function<void()>& step) {
    std::fflush(stderr);
    std::string pattern = (fs::temp_directory_path() / "vstderr-XXXXXX").string();
    const int file = ::mkstemp(pattern.data());
    if (file < 0) {
        ADD_FAILURE() << "no file for standard error";
        return {};
    }
    ::unlink(pattern.c_str());
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    step();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string text;
    char buffer[4096];
    ::lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(file, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(file);
    return text;
}

// Lines the disk still refuses when the app ends go, whole, to standard error
// with why: on the quit key after a clean whose line was kept, and on logout's
// SIGTERM during a clean, once the engine already removed x1.
TEST(FullDisk, LinesStillUnwrittenAtTheEndGoToStandardError) {
    const auto disk = testing::smallDisk();
    if (!disk) return testing::runOnSmallDisk(1u << 20);
    const std::string why = "The deletion log could not be written: No space left on device.";
    {
        HostileWindow w(*disk / "quit", [](const fs::path& home) { return cleanOfX1(home, ""); });
        ConfirmSheet* sheet = cleanToTheEnd(w);
        ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
        ASSERT_EQ(logLineOf(sheet), why);
        ASSERT_TRUE(testing::activateSheet(sheet));
        QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
        ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, testing::kHangMs));
        const std::string said = standardErrorOf([&] {
            w.window.reset();
            w.object.reset();
        });
        EXPECT_NE(said.find("Virirado: " + why), std::string::npos) << said;
        EXPECT_NE(said.find(x1Line(w.home)), std::string::npos) << said;
        EXPECT_EQ(deletionLogs(w.home).find("x1"), std::string::npos);
        fs::remove(w.home / "filler");
    }
    HostileWindow w(*disk / "logout", [](const fs::path& home) {
        // x1 is an empty folder: removing it frees no room for the line.
        fs::create_directories(x1Of(home));
        fillTheDisk(home);
        const std::string x1 = x1Of(home).string();
        return volume("0", "1048576") +
               "on scan\nsay {\"event\":\"item\",\"item\":{\"id\":\"x1\"," +
               "\"label\":\"x1\",\"category\":\"caches\",\"path\":\"" + x1 +
               "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\",\"action\":\"rm\"}}"
               "\n" +
               "say "
               "{\"event\":\"done\",\"free_bytes\":0,\"total_bytes\":1048576,\"ticked\":[\"x1\"]}"
               "\n" +
               "on preview\nsay "
               "{\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[{\"id\":" +
               "\"x1\",\"label\":\"x1\",\"path\":\"" + x1 +
               "\",\"realistic_size\":4096,\"safety\":\"safe\",\"action\":\"rm\"}]}\non clean\n" +
               "remove " + x1 + "\n" +
               "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"x1\"}\n";
    });
    QuitSignals quit([&] { w.content->endNow(); });
    ASSERT_TRUE(quit.catching());
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ASSERT_NE(confirmShownPreview(w), nullptr);
    ASSERT_TRUE(w.waitFor(
        [&] { return w.state().cleanProgress && w.state().cleanProgress->current.has_value(); }));
    ASSERT_FALSE(fs::exists(x1Of(w.home)));
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, testing::kHangMs));
    const std::string said = standardErrorOf([&] {
        w.window.reset();
        w.object.reset();
    });
    EXPECT_NE(said.find("Virirado: " + why), std::string::npos) << said;
    EXPECT_NE(said.find("\tunknown\t4096\trm\t" + x1Of(w.home).string() + "\n"), std::string::npos)
        << said;
    EXPECT_EQ(deletionLogs(w.home), "");
}

// A link planted where the log folder should be is not followed: nothing is
// written anywhere, and the sheet and the banner say why.
TEST(PlantedLog, ALinkInPlaceOfTheLogFolderIsSaidOnTheSheetAndInTheBanner) {
    ScratchRow d("planted-log");
    HostileWindow w([&](const fs::path& home) {
        fs::create_directories(home / "Library/Logs");
        fs::create_directories(home / "elsewhere");
        fs::create_symlink(home / "elsewhere", home / "Library/Logs/Virirado");
        return scanOf(d) + "on preview\n" + previewOfRow(d) + "on clean\n" +
               d.cleaned("", d.folder.string());
    });
    ConfirmSheet* sheet = cleanToTheEnd(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    const std::string why =
        "The deletion log could not be written: ~/Library/Logs/Virirado is not a real folder.";
    EXPECT_EQ(w.state().banner, "Deleted 1 items. " + why);
    EXPECT_EQ(logLineOf(sheet), why);
    EXPECT_TRUE(fs::is_empty(w.home / "elsewhere"));
}

}  // namespace
}  // namespace virirado
