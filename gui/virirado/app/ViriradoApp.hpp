// The app entry: registers the fonts before any window exists and makes the one
// main window.
#pragma once

#include <QMainWindow>
#include <memory>

namespace virirado {

class ViriradoApp {
public:
    // Needs a running QApplication. Names the application and its organisation, so
    // the settings have a place on disk.
    ViriradoApp();

    // "Virirado UI", 1280 by 840 by default and never below 1100 by 720, both made
    // smaller where the screen has less room, holding a new ContentView set in the
    // text font at 13. It has no menu, so no command opens a second window.
    std::unique_ptr<QMainWindow> makeWindow() const;
};

}  // namespace virirado
