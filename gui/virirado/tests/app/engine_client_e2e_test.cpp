// The engine client over a real QProcess: the stand-in engine scans a temporary
// home, the app ticks, previews, passes its guards and cleans, and the file ends
// up in that home's Trash with a deletion-log line. Also snapshot pictures.
#include <gtest/gtest.h>

#include <QDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "EngineClientObject.hpp"
#include "SnapshotCapture.hpp"

using namespace virirado;
namespace fs = std::filesystem;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ve2e-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
};

bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kStandIn = std::string(VIRIRADO_TEST_RESOURCE_DIR) + "/virirado";

}  // namespace

TEST(EngineClientEndToEnd, ScanTickPreviewCleanIntoTheTrash) {
    if (!QFileInfo(QString::fromStdString(kStandIn)).isExecutable()) {
        GTEST_SKIP() << "the stand-in engine is not built at " << kStandIn;
    }
    TempFolder home;
    const fs::path downloads = home.path / "Downloads";
    fs::create_directories(downloads);
    const fs::path file = downloads / "installer.iso";
    std::ofstream(file) << std::string(2'000'000, 'v');

    ClientServices s = ClientServices::system(home.path.string());
    s.launch = LaunchContext::current();
    s.launch.arguments = {"--no-autoscan"};
    auto& env = s.launch.environment;
    env["HOME"] = home.path.string();
    env["VIRIRADO_ENGINE"] = kStandIn;
    env["VIRIRADO_SCANNER"] = (home.path / "no-scanner").string();
    env.erase("XDG_CACHE_HOME");
    env.erase("XDG_DATA_HOME");
    env.erase("VIRIRADO_SNAPSHOT");
    env.erase("VIRIRADO_STANDIN_DRY_RUN");
    EngineClientObject object(std::move(s));
    int announced = 0;
    QObject::connect(&object, &EngineClientObject::changed, [&] { ++announced; });
    EngineClient& client = object.client();

    client.scan();
    ASSERT_TRUE(client.engineRunning()) << client.state().banner.value_or("");
    ASSERT_TRUE(waitFor([&] { return client.state().scanGeneration >= 1; }))
        << client.state().banner.value_or("no banner");
    EXPECT_FALSE(client.state().scanning);
    EXPECT_GT(announced, 0);

    std::string id;
    for (const ItemRecord& r : client.records()) {
        if (r.path == file.string()) id = r.id;
    }
    ASSERT_FALSE(id.empty()) << "the download was not offered";
    client.tick({id});
    client.requestPreview();
    ASSERT_TRUE(waitFor([&] { return client.state().preview.has_value(); }))
        << client.state().banner.value_or("no banner");
    ASSERT_EQ(client.state().preview->rows.size(), 1u);

    client.confirmClean();
    ASSERT_TRUE(waitFor([&] {
        const auto& run = client.state().cleanProgress;
        return run && !run->isRunning();
    })) << client.state().banner.value_or("no banner");
    EXPECT_FALSE(client.state().cleanProgress->error) << *client.state().cleanProgress->error;
    EXPECT_EQ(client.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_TRUE(client.pendingRows().empty());

    EXPECT_FALSE(fs::exists(file));
    const fs::path trashed = home.path / ".local/share/Trash/files/installer.iso";
    EXPECT_TRUE(fs::exists(trashed));
    EXPECT_TRUE(fs::exists(home.path / ".local/share/Trash/info/installer.iso.trashinfo"));

    std::string logText;
    for (const auto& entry : fs::directory_iterator(home.path / "Library/Logs/Virirado")) {
        if (entry.path().filename().string().starts_with("deleted-")) {
            logText += readAll(entry.path());
        }
    }
    EXPECT_NE(logText.find(file.string()), std::string::npos) << logText;

    // Closing the finished run reads the list again.
    client.dismissPreview();
    EXPECT_TRUE(client.state().scanning);
    ASSERT_TRUE(waitFor([&] { return !client.state().scanning; }));
    for (const ItemRecord& r : client.records())
        EXPECT_NE(r.id, id);
}

TEST(SnapshotPictures, DemoLoadsWithoutAChildAndViewsAreSaved) {
    TempFolder folder;
    ClientServices s;
    s.launch.environment = {{"VIRIRADO_SNAPSHOT", (folder.path / "shot-").string()},
                            {"VIRIRADO_AUTOSCAN", "0"}};
    bool launched = false;
    s.makeProcess = [&launched]() -> std::unique_ptr<EngineProcess> {
        launched = true;
        return nullptr;
    };
    EngineClientObject object(std::move(s));
    object.client().start();
    EXPECT_FALSE(launched);
    ASSERT_EQ(object.client().records().size(), 27u);

    EXPECT_FALSE(Snapshot::captureSheet((folder.path / "sheet.png").string()));
    QLabel view(QString::fromStdString(object.state().volumeName));
    view.resize(320, 200);
    view.show();
    const std::string path = (folder.path / "shot-light.png").string();
    ASSERT_TRUE(Snapshot::capture(path));
    const QImage picture(QString::fromStdString(path));
    EXPECT_EQ(picture.size(), QSize(320, 200));

    const std::string missing = (folder.path / "no/such/folder.png").string();
    EXPECT_FALSE(Snapshot::capture(missing));
    EXPECT_FALSE(fs::exists(missing));

    QDialog sheet(&view);
    sheet.resize(100, 80);
    sheet.show();
    EXPECT_TRUE(Snapshot::captureSheet((folder.path / "sheet.png").string()));
}
