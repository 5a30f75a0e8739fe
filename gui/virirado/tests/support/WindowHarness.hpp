// The main window's content over a recording engine, in-memory settings, a fixed
// clock and recording file actions: what the widget tests drive.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <memory>

#include "ContentView.hpp"
#include "QuietServices.hpp"
#include "RecordingEngine.hpp"
#include "RecordingFileActions.hpp"
#include "SnapshotDemo.hpp"

namespace virirado::testing {

struct WindowHarness {
    RecordingEngine engine;
    MemoryStore settings;
    // 1 March 2026, 12:00 UTC; the frame clock a little later.
    FixedClock clock{1'772'366'400.0, 794'059'200.35};
    RecordingFileActions files;
    std::unique_ptr<QMainWindow> window;
    ContentView* content = nullptr;

    // `tweak` adjusts the services before the window is built (dark, snapshot...).
    explicit WindowHarness(const std::function<void(WindowServices&)>& tweak = {}) {
        WindowServices s = quietServices(engine, settings, clock, files, "/home/tester");
        if (tweak) tweak(s);
        window = std::make_unique<QMainWindow>();
        content = new ContentView(std::move(s));
        window->setCentralWidget(content);
        window->resize(1280, 840);
        engine.onChanged = [this] { content->engineChanged(); };
    }

    void show() {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) ADD_FAILURE() << "window never shown";
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get())) ADD_FAILURE() << "window never active";
        settle();
    }
    // Lets queued refreshes run and hands out the latest values.
    void settle() {
        QCoreApplication::processEvents();
        content->refreshNow();
        QCoreApplication::processEvents();
    }
    // Moves both clocks on by `seconds`: every change drawn from the frame clock
    // is read at that moment, however long the test itself took.
    void advanceClock(double seconds) {
        clock.set(clock.now() + seconds, clock.frameTime() + seconds);
    }
    // The 27 demo items on a 506.3 GB volume with 240.4 GB free.
    void loadDemo() {
        engine.value.volumeName = "Macintosh HD";
        engine.load(SnapshotDemo::records(clock.now()), 240'400'000'000, 506'300'000'000);
        settle();
    }
    template <typename T = QWidget>
    T* find(const char* name) const {
        return content->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace virirado::testing
