// The engine client over Qt: write failures that QProcess only notices later, and
// the scan choice that has to outlive the app.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "EngineClientObject.hpp"
#include "ViriradoApp.hpp"

using namespace virirado;
namespace fs = std::filesystem;

namespace {

struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "vobj-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path); }
};

void spin(const std::function<bool()>& done, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

}  // namespace

TEST(QtEngineClient, CommandToAnEngineThatClosedItsInputIsReported) {
    ScratchFolder folder;
    const fs::path engine = folder.path / "deaf-engine";
    std::ofstream(engine) << "#!/bin/sh\nexec 0<&-\nsleep 2\n";
    fs::permissions(engine, fs::perms::owner_all);

    ClientServices s = ClientServices::system(folder.path.string());
    s.launch.arguments = {"--no-autoscan"};
    s.launch.environment = {{"VIRIRADO_ENGINE", engine.string()}, {"HOME", folder.path.string()}};
    EngineClientObject object(std::move(s));
    EngineClient& client = object.client();
    client.start();
    ASSERT_TRUE(client.engineRunning()) << client.state().banner.value_or("");

    spin([] { return false; }, 300);  // the engine has closed its input by now
    client.cancel();
    const std::string expected = "Couldn't talk to the engine. ";
    spin([&] { return client.state().banner.has_value(); }, 1500);
    ASSERT_TRUE(client.state().banner);
    EXPECT_TRUE(client.state().banner->starts_with(expected)) << *client.state().banner;
}

TEST(AppSettings, IncludePrivateIsKeptOnDisk) {
    const ViriradoApp app;
    {
        EngineClientObject first;
        EXPECT_TRUE(first.state().includePrivate);
        first.client().setIncludePrivate(false);
    }
    QSettings settings;
    settings.sync();
    EXPECT_EQ(settings.status(), QSettings::NoError);
    EXPECT_TRUE(QFileInfo::exists(settings.fileName())) << settings.fileName().toStdString();

    EngineClientObject second;
    EXPECT_FALSE(second.state().includePrivate);
    second.client().setIncludePrivate(true);
}
