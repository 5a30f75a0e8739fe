// The whole window over an engine client whose engine says nothing: the
// benchmarks hand the client its events themselves, through `handlers`.
#pragma once

#include <QMainWindow>

#include "ContentView.hpp"
#include "EngineClientObject.hpp"
#include "QuietServices.hpp"
#include "RecordingFileActions.hpp"
#include "SilentProcess.hpp"

namespace virirado::bench {

inline ClientServices silentServices(EngineProcess::Handlers* handlers) {
    ClientServices services;
    services.makeProcess = [handlers] { return std::make_unique<SilentProcess>(handlers); };
    services.home = "/home/bench";
    services.launch.arguments = {"--no-autoscan"};
    return services;
}

struct BenchWindow {
    EngineProcess::Handlers handlers;
    EngineClientObject object{silentServices(&handlers)};
    MemoryStore settings;
    SystemClock clock;
    testing::RecordingFileActions files;
    QMainWindow window;
    ContentView* content = nullptr;

    BenchWindow() {
        content = new ContentView(
            testing::quietServices(object.client(), settings, clock, files, "/home/bench"));
        window.setCentralWidget(content);
        window.resize(1240, 800);
        QObject::connect(&object, &EngineClientObject::changed, content,
                         &ContentView::engineChanged);
    }
};

}  // namespace virirado::bench
