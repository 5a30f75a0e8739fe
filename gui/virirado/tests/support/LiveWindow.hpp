// The main window over the real engine client and a real child process (the
// stand-in cleaning engine, or a scripted one), in a temporary root that holds
// the home: what the end-to-end and hostile-engine tests drive.
#pragma once

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QTest>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ContentView.hpp"
#include "EngineClientObject.hpp"
#include "QuietServices.hpp"
#include "RecordingFileActions.hpp"

namespace virirado::testing {

struct LiveWindow {
    std::filesystem::path root;
    std::filesystem::path home;
    std::unique_ptr<EngineClientObject> object;
    MemoryStore settings;
    SystemClock clock;
    RecordingFileActions files;
    std::unique_ptr<QMainWindow> window;
    ContentView* content = nullptr;

    // A new temporary root with an empty "home" in it; nothing runs yet.
    LiveWindow() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vlive-XXXXXX").string();
        root = mkdtemp(pattern.data());
        home = root / "home";
        std::filesystem::create_directories(home);
    }
    // The same with the home at `homeAt` instead, made when missing: a home on
    // a file system of the test's own.
    explicit LiveWindow(const std::filesystem::path& homeAt) : LiveWindow() {
        std::filesystem::remove_all(home);
        home = homeAt;
        std::filesystem::create_directories(home);
    }
    ~LiveWindow() {
        window.reset();
        object.reset();
        // A home given may hold a mount point, which cannot be removed: what
        // is left goes with the test's own mount table.
        std::error_code ignored;
        if (home.parent_path() != root) std::filesystem::remove_all(home, ignored);
        std::filesystem::remove_all(root, ignored);
    }
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;

    // Makes the engine client (the cleaning engine `engine`, with `extra` in its
    // environment) and the window over it. No scan at launch.
    void open(const std::string& engine, const std::map<std::string, std::string>& extra,
              bool reduceMotion = true) {
        ClientServices s = ClientServices::system(home.string());
        s.launch = LaunchContext::current();
        s.launch.arguments = {"--no-autoscan"};
        auto& env = s.launch.environment;
        env["HOME"] = home.string();
        env["VIRIRADO_ENGINE"] = engine;
        env["VIRIRADO_AUTOSCAN"] = "0";
        for (const char* name :
             {"XDG_CACHE_HOME", "XDG_DATA_HOME", "VIRIRADO_SNAPSHOT", "VIRIRADO_STANDIN_DRY_RUN"})
            env.erase(name);
        for (const auto& [name, value] : extra)
            env[name] = value;
        object = std::make_unique<EngineClientObject>(std::move(s));

        WindowServices w = quietServices(object->client(), settings, clock, files, home.string());
        w.reduceMotion = reduceMotion;
        window = std::make_unique<QMainWindow>();
        content = new ContentView(std::move(w));
        window->setCentralWidget(content);
        window->resize(1280, 840);
        QObject::connect(object.get(), &EngineClientObject::changed, content,
                         &ContentView::engineChanged);
    }
    void show() {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) ADD_FAILURE() << "window never shown";
    }

    EngineClient& client() { return object->client(); }
    const EngineState& state() { return client().state(); }
    bool waitFor(const std::function<bool()>& done, int ms = 20000) {
        return QTest::qWaitFor(done, ms);
    }
    const VadeRow* row(const std::string& id) { return content->model().rows()->find(id); }
    // Scans and waits for the result, or for the engine's end.
    bool scanOnce(int ms = 20000) {
        const int64_t before = state().scanGeneration;
        content->model().scan();
        return waitFor(
            [&] {
                return (!state().scanning && state().scanGeneration > before) ||
                       !client().engineRunning();
            },
            ms);
    }
};

}  // namespace virirado::testing
