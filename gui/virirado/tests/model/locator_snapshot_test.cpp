// Finding the engine in a made-up folder tree, the launch switches, and the
// demo data of snapshot mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <numeric>

#include "EngineLocator.hpp"
#include "Snapshot.hpp"
#include "SnapshotDemo.hpp"
#include "client_fixture.hpp"

using namespace virirado;
using virirado::testing::TempHome;
using Cmd = EngineLocator::Command;

namespace {

void makeExecutable(const std::string& path) {
    ::chmod(path.c_str(), 0755);
}

}  // namespace

TEST(EngineLocator, RulesInOrder) {
    TempHome tree;
    const std::string root = tree.path.string();
    LaunchContext c;
    c.executableFolder = root + "/app/bin";
    c.currentFolder = root + "/work/a/b";
    std::filesystem::create_directories(c.executableFolder);
    std::filesystem::create_directories(c.currentFolder);

    EXPECT_EQ(EngineLocator::locate(c), (Cmd{"/usr/bin/env", {"virirado", "engine"}, {}}));

    // A source tree two levels up; a folder named like the program is no program.
    tree.file("work/src/virirado/__main__.py", 1);
    std::filesystem::create_directories(root + "/work/a/venv/bin/virirado");
    EXPECT_EQ(EngineLocator::locate(c),
              (Cmd{"/usr/bin/env", {"python3", "-m", "virirado", "engine"}, root + "/work/src"}));
    const std::string venv = tree.file("work/a/.venv/bin/virirado", 1);
    makeExecutable(venv);
    EXPECT_EQ(EngineLocator::locate(c), (Cmd{venv, {"engine"}, {}}));

    // More than eight folders up is out of reach.
    c.currentFolder = root + "/work/1/2/3/4/5/6/7/8";
    std::filesystem::create_directories(c.currentFolder);
    EXPECT_EQ(EngineLocator::locate(c).executable, "/usr/bin/env");
    EXPECT_EQ(EngineLocator::locate(c).arguments.front(), "virirado");

    const std::string python = tree.file("app/share/virirado/python/bin/python3", 1);
    makeExecutable(python);
    EXPECT_EQ(EngineLocator::locate(c), (Cmd{python, {"-m", "virirado", "engine"}, {}}));
    const std::string bundled = tree.file("app/share/virirado/virirado", 1);
    EXPECT_EQ(EngineLocator::locate(c).executable, python);  // not executable yet
    makeExecutable(bundled);
    EXPECT_EQ(EngineLocator::locate(c), (Cmd{bundled, {"engine"}, {}}));

    c.environment["VIRIRADO_ENGINE"] = "";
    EXPECT_EQ(EngineLocator::locate(c).executable, bundled);
    c.environment["VIRIRADO_ENGINE"] = "/opt/engine";
    EXPECT_EQ(EngineLocator::locate(c), (Cmd{"/opt/engine", {"engine"}, {}}));
}

// A bare name is a file in the working folder, never a program looked up on PATH:
// the launcher gets a path with a slash in it.
TEST(EngineLocator, EngineSettingIsAPathFromTheWorkingFolder) {
    LaunchContext c;
    c.currentFolder = "/work/here";
    c.environment["PATH"] = "/usr/local/bin:/usr/bin:/bin";
    c.environment["VIRIRADO_ENGINE"] = "eng";
    EXPECT_EQ(EngineLocator::locate(c), (Cmd{"/work/here/eng", {"engine"}, {}}));
    c.environment["VIRIRADO_ENGINE"] = "relative/engine";
    EXPECT_EQ(EngineLocator::locate(c).executable, "/work/here/relative/engine");
    c.environment["VIRIRADO_ENGINE"] = "./eng";
    EXPECT_EQ(EngineLocator::locate(c).executable, "/work/here/./eng");
    c.currentFolder = "/";
    c.environment["VIRIRADO_ENGINE"] = "eng";
    EXPECT_EQ(EngineLocator::locate(c).executable, "/eng");
    // Without a known working folder it still names the file there.
    c.currentFolder.clear();
    EXPECT_EQ(EngineLocator::locate(c).executable, "./eng");
    c.environment["VIRIRADO_ENGINE"] = "./eng";
    EXPECT_EQ(EngineLocator::locate(c).executable, "./eng");
}

TEST(EngineLocator, ChildEnvironment) {
    const Cmd py{"/usr/bin/env", {}, "/x/src"};
    EXPECT_EQ(childEnvironment({}, py).at("PYTHONPATH"), "/x/src");
    EXPECT_EQ(childEnvironment({{"PYTHONPATH", "/y"}}, py).at("PYTHONPATH"), "/x/src:/y");
    EXPECT_EQ(childEnvironment({{"PYTHONPATH", ""}}, py).at("PYTHONPATH"), "/x/src");
    EXPECT_FALSE(childEnvironment({}, Cmd{}).contains("PYTHONPATH"));
    EXPECT_EQ(childEnvironment({}, Cmd{}).at("VIRIRADO_ENGINE"), "rust");
    EXPECT_EQ(childEnvironment({{"VIRIRADO_ENGINE", ""}}, Cmd{}).at("VIRIRADO_ENGINE"), "");
}

TEST(LaunchOptions, AutoscanMatrix) {
    auto autoscan = [](std::vector<std::string> args, std::optional<std::string> env) {
        LaunchContext c;
        c.arguments = std::move(args);
        if (env) c.environment["VIRIRADO_AUTOSCAN"] = *env;
        return LaunchOptions::autoscan(c);
    };
    EXPECT_TRUE(autoscan({}, std::nullopt));
    EXPECT_TRUE(autoscan({}, "TRUE"));
    EXPECT_TRUE(autoscan({}, "1"));
    EXPECT_FALSE(autoscan({}, "yes"));
    EXPECT_FALSE(autoscan({}, ""));
    EXPECT_TRUE(autoscan({"--autoscan"}, ""));
    EXPECT_FALSE(autoscan({"--autoscan", "--no-autoscan"}, "1"));
    EXPECT_FALSE(autoscan({"--no-autoscan"}, std::nullopt));
    EXPECT_TRUE(autoscan({"--autoscan=no"}, std::nullopt));  // whole arguments only
}

TEST(SnapshotDemo, RecordsAndPreview) {
    EXPECT_FALSE(Snapshot::prefix({{"VIRIRADO_SNAPSHOT", ""}}));
    EXPECT_EQ(Snapshot::prefix({{"VIRIRADO_SNAPSHOT", "/tmp/s-"}}), "/tmp/s-");

    const auto records = SnapshotDemo::records(10'000'000.0);
    ASSERT_EQ(records.size(), 27u);
    int64_t total = 0;
    std::vector<std::string> ticked;
    for (const auto& r : records) {
        total += r.size;
        if (r.ticked) ticked.push_back(r.id);
        EXPECT_EQ(r.modified, 10'000'000.0 - 7'776'000.0);
    }
    EXPECT_EQ(total, 112'300'000'000);
    EXPECT_EQ(ticked, (std::vector<std::string>{"derived", "d2", "d3", "sim", "xip", "brew",
                                                "chrome", "devsupport"}));
    EXPECT_EQ(records[1].size, 6'200'000'000);

    const PreviewPayload p = SnapshotDemo::preview();
    EXPECT_EQ(p.cleanBytes, 58'600'000'000);
    EXPECT_EQ(p.rows.size(), 9u);
    EXPECT_EQ(p.rows.back().id, "sim2");
    EXPECT_EQ(p.deletableRows().size(), p.rows.size());
    EXPECT_EQ(p.token.size(), 8u);
    EXPECT_EQ(p.blockedCount, 0);
}

TEST(SnapshotDemo, CleanStates) {
    const auto states = SnapshotDemo::cleanStates(SnapshotDemo::preview());
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[0].first, "checking");
    const auto& progress = states[1].second;
    EXPECT_EQ(progress.doneCount, 4);
    EXPECT_EQ(progress.doneBytes, 42'800'000'000);
    EXPECT_EQ(progress.current, SnapshotDemo::preview().rows[1].label);
    const auto& result = states[2].second;
    EXPECT_EQ(result.deletedCount, 8);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].label, "iOS DeviceSupport 17.x");
    EXPECT_EQ(result.failures[0].message, "in use");

    PreviewPayload two;
    two.rows = {{"s", "small", {}, 1, "", "", ""}, {"l", "large", {}, 5, "", "", ""}};
    const auto twoStates = SnapshotDemo::cleanStates(two);
    EXPECT_EQ(twoStates[1].second.doneCount, 1);
    EXPECT_EQ(twoStates[1].second.current, "small");
    PreviewPayload one;
    one.rows = {two.rows[0]};
    const auto oneStates = SnapshotDemo::cleanStates(one);
    EXPECT_EQ(oneStates[1].second.doneCount, 1);
    EXPECT_FALSE(oneStates[1].second.current);
    EXPECT_EQ(oneStates[2].second.failures.size(), 1u);
    const auto none = SnapshotDemo::cleanStates(PreviewPayload{});
    EXPECT_EQ(none[1].second.doneCount, 0);
    EXPECT_FALSE(none[1].second.current);
}

TEST(SnapshotDemo, ClientLoadsDemoWithoutAChild) {
    virirado::testing::ClientHarness h(Environment{{"VIRIRADO_SNAPSHOT", "/tmp/s-"}});
    h.client->start();
    EXPECT_EQ(h.world->launches, 0);
    EXPECT_EQ(h.client->records().size(), 27u);
    EXPECT_EQ(h.client->ticked().size(), 8u);
    EXPECT_EQ(h.state().volumeName, "Macintosh HD");
    EXPECT_EQ(h.state().scanGeneration, 1);
    ASSERT_TRUE(h.state().root);
    h.client->scan();
    h.client->loadSnapshotDemo();
    EXPECT_EQ(h.state().scanGeneration, 1);
    EXPECT_EQ(h.world->launches, 0);
}
