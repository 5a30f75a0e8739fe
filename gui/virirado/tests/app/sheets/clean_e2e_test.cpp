// The whole road of a clean through the real window and the real engine client,
// with the stand-in cleaning engine in a temporary home: tick a cache folder (or
// quick-delete it), confirm in the sheet with the typed code where it is asked
// for, follow the run to its result, close it, and find the folder gone, the
// deletion log holding it and the list read again. Nothing outside that home
// is touched.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "ContentView.hpp"
#include "EngineClientObject.hpp"
#include "LivePill.hpp"
#include "LiveWindow.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;

const std::string kStandIn = std::string(VIRIRADO_TEST_RESOURCE_DIR) + "/virirado";

void writeFile(const fs::path& path, std::size_t bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << std::string(bytes, 'v');
}

std::string readLogs(const fs::path& folder) {
    std::string text;
    if (!fs::is_directory(folder)) return text;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.path().filename().string().starts_with("deleted-")) continue;
        std::ifstream in(entry.path());
        std::stringstream s;
        s << in.rdbuf();
        text += s.str();
    }
    return text;
}

// A temporary root holding the home and, beside it, a folder no clean may reach.
struct RealWindow : testing::LiveWindow {
    std::filesystem::path outside;

    // `extra`: more of the stand-in's environment.
    explicit RealWindow(std::map<std::string, std::string> extra = {}) {
        outside = root / "outside";
        writeFile(home / ".cache/big/data", 2'000'000);
        writeFile(home / ".cache/other/data", 2'000'000);
        writeFile(outside / ".cache/big/data", 2'000'000);
        extra["VIRIRADO_SCANNER"] = (home / "no-scanner").string();
        open(kStandIn, extra);
    }

    std::string cacheId(const char* name) const {
        return "cache:" + (home / ".cache" / name).string();
    }
    template <typename T>
    T* sheet() {
        T* s = qobject_cast<T*>(content->sheets().current());
        if (s != nullptr && !s->isActiveWindow()) {
            if (!virirado::testing::activateSheet(s)) ADD_FAILURE() << "sheet never active";
        }
        return s;
    }
    QString title(ConfirmSheet* s) {
        return s->progressView()->findChild<ClampedLabel*>("progressTitle")->text();
    }
    // Follows the run to its result, checks it, and closes it with Done.
    void finishRun(ConfirmSheet* s) {
        ASSERT_TRUE(waitFor([&] {
            const auto& run = state().cleanProgress;
            return run && !run->isRunning();
        })) << state().banner.value_or("no banner");
        EXPECT_FALSE(state().cleanProgress->error) << *state().cleanProgress->error;
        ASSERT_TRUE(waitFor([&] { return title(s) == "Done"; }));
        EXPECT_TRUE(s->progressView()->isVisible());
        const int64_t generation = state().scanGeneration;
        QTest::keyClick(s, Qt::Key_Return);
        EXPECT_TRUE(state().scanning);  // Done closed the run and reads the list again
        ASSERT_TRUE(
            waitFor([&] { return !state().scanning && state().scanGeneration > generation; }));
        ASSERT_TRUE(waitFor([&] { return content->sheets().current() == nullptr; }));
    }
    void expectGoneAndLogged(const char* name) {
        const fs::path folder = home / ".cache" / name;
        EXPECT_FALSE(fs::exists(folder));
        EXPECT_NE(readLogs(home / "Library/Logs/Virirado").find(folder.string()),
                  std::string::npos);
        EXPECT_EQ(row(cacheId(name)), nullptr);
        EXPECT_TRUE(fs::exists(outside / ".cache/big/data"));
        EXPECT_EQ(fs::file_size(outside / ".cache/big/data"), 2'000'000u);
    }
};

bool standInBuilt() {
    return QFileInfo(QString::fromStdString(kStandIn)).isExecutable();
}

TEST(CleanEndToEnd, TickPreviewConfirmAndTheFolderIsGone) {
    if (!standInBuilt()) GTEST_SKIP() << "the stand-in engine is not built at " << kStandIn;
    RealWindow w;
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    ASSERT_TRUE(w.scanOnce()) << w.state().banner.value_or("no banner");
    const VadeRow* big = w.row(w.cacheId("big"));
    ASSERT_NE(big, nullptr) << "the cache folder was not offered";
    ASSERT_NE(w.row(w.cacheId("other")), nullptr);

    w.content->model().toggle(*big);
    ASSERT_TRUE(w.waitFor([&] { return w.client().ticked().count(w.cacheId("big")) == 1; }));
    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.sheet<ConfirmSheet>()) != nullptr; }))
        << w.state().banner.value_or("no banner");
    ASSERT_EQ(w.state().preview->rows.size(), 1u);

    // Return does nothing; the code where the rule asks for it; then the chord.
    QTest::keyClick(sheet, Qt::Key_Return);
    ASSERT_TRUE(testing::clicksDone(sheet));
    EXPECT_FALSE(w.state().cleanProgress.has_value());
    auto* field = sheet->findChild<QLineEdit*>("codeField");
    if (field->isVisibleTo(sheet)) QTest::keyClicks(field, QString::fromStdString(sheet->code()));
    EXPECT_TRUE(sheet->isConfirmed());
    QTest::keyClick(sheet, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(w.state().cleanProgress.has_value());

    w.finishRun(sheet);
    w.expectGoneAndLogged("big");
    EXPECT_NE(w.row(w.cacheId("other")), nullptr);
    EXPECT_TRUE(fs::exists(w.home / ".cache/other/data"));
}

TEST(CleanEndToEnd, QuickDeleteAsksForTheCodeAndCleans) {
    if (!standInBuilt()) GTEST_SKIP() << "the stand-in engine is not built at " << kStandIn;
    RealWindow w;
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    ASSERT_TRUE(w.scanOnce()) << w.state().banner.value_or("no banner");
    const VadeRow* other = w.row(w.cacheId("other"));
    ASSERT_NE(other, nullptr);

    w.content->model().quickDelete(*other);
    SheetDialog* first = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (first = w.sheet<SheetDialog>()) != nullptr; }));
    EXPECT_EQ(first->objectName(), "quickDeleteFirstSheet");
    QTest::keyClick(first, Qt::Key_Return);

    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.sheet<ConfirmSheet>()) != nullptr; }))
        << w.state().banner.value_or("no banner");
    EXPECT_TRUE(w.state().quickDeleteMode);
    auto* field = sheet->findChild<QLineEdit*>("codeField");
    ASSERT_TRUE(field->isVisible());
    const QString code = QString::fromStdString(sheet->code());

    // Without the code, and with a wrong one, nothing starts.
    QTest::keyClick(field, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClicks(field, code == "10" ? "11" : "10");
    QTest::keyClick(field, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(testing::clicksDone(sheet));
    EXPECT_FALSE(w.state().cleanProgress.has_value());
    EXPECT_TRUE(fs::exists(w.home / ".cache/other/data"));

    field->clear();
    QTest::keyClicks(field, code);
    QTest::keyClick(field, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    w.finishRun(sheet);
    w.expectGoneAndLogged("other");
    EXPECT_TRUE(fs::exists(w.home / ".cache/big/data"));
}

TEST(CleanEndToEnd, AnEngineThatOnlyPretendsShowsADryRun) {
    if (!standInBuilt()) GTEST_SKIP() << "the stand-in engine is not built at " << kStandIn;
    // The engine runs every clean dry, whatever it is asked: the window must not
    // report deletions, log any, or read the list again as if things had gone.
    RealWindow w(std::map<std::string, std::string>{{"VIRIRADO_STANDIN_DRY_RUN", "1"}});
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    ASSERT_TRUE(w.scanOnce()) << w.state().banner.value_or("no banner");
    const VadeRow* big = w.row(w.cacheId("big"));
    ASSERT_NE(big, nullptr) << "the cache folder was not offered";
    w.content->model().toggle(*big);
    ASSERT_TRUE(w.waitFor([&] { return w.client().ticked().count(w.cacheId("big")) == 1; }));
    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.sheet<ConfirmSheet>()) != nullptr; }))
        << w.state().banner.value_or("no banner");
    auto* field = sheet->findChild<QLineEdit*>("codeField");
    if (field->isVisibleTo(sheet)) QTest::keyClicks(field, QString::fromStdString(sheet->code()));
    QTest::keyClick(sheet, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] {
        const auto& run = w.state().cleanProgress;
        return run && !run->isRunning();
    }));

    CleanProgressView* view = sheet->progressView();
    ASSERT_TRUE(w.waitFor([&] { return w.title(sheet) == "Dry run done"; }))
        << w.title(sheet).toStdString();
    const QString headline = view->findChild<ClampedLabel*>("headline")->text();
    EXPECT_TRUE(headline.startsWith("Would free ")) << headline.toStdString();
    EXPECT_TRUE(headline.endsWith(" items")) << headline.toStdString();
    EXPECT_FALSE(view->findChild<LivePill*>()->isVisibleTo(view));
    EXPECT_FALSE(view->findChild<QWidget*>("showLogButton")->isVisibleTo(view));
    EXPECT_FALSE(view->findChild<QWidget*>("trashNote")->isVisibleTo(view));
    EXPECT_EQ(w.state().banner, "Dry run. 1 items would go. Nothing was deleted.");
    EXPECT_EQ(readLogs(w.home / "Library/Logs/Virirado").find("\tdeleted\t"), std::string::npos);

    // Done reads the list again, as after every real clean that did items: the
    // new scan is what would correct the list had the engine deleted. Nothing went.
    const int64_t generation = w.state().scanGeneration;
    QTest::keyClick(sheet, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] { return w.content->sheets().current() == nullptr; }));
    ASSERT_TRUE(
        w.waitFor([&] { return !w.state().scanning && w.state().scanGeneration > generation; }));
    EXPECT_NE(w.row(w.cacheId("big")), nullptr);
    EXPECT_TRUE(fs::exists(w.home / ".cache/big/data"));
}

}  // namespace
}  // namespace virirado
