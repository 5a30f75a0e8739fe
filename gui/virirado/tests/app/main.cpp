// The window tests need one QApplication for the whole run, with no display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FocusRing.hpp"
#include "PaintedAccessible.hpp"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string runtime = (std::filesystem::temp_directory_path() / "vrun-XXXXXX").string();
    if (mkdtemp(runtime.data()) != nullptr) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    // Windows shown here start the cleaning engine: keep it from scanning, and keep its logs
    // out of the real home.
    std::string home = (std::filesystem::temp_directory_path() / "vhome-XXXXXX").string();
    if (mkdtemp(home.data()) != nullptr) setenv("HOME", home.c_str(), 1);
    // Settings written by the tests stay in that home too.
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("VIRIRADO_AUTOSCAN", "0", 1);

    // Sizes are logical pixels and fractional font sizes points at 96 to the inch,
    // as in the app; numbers are written the English way whatever the machine.
    setenv("QT_FONT_DPI", "96", 1);
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    virirado::installPaintedAccessibility();
    virirado::installFocusRingTracking();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::filesystem::remove_all(runtime);
    std::filesystem::remove_all(home);
    return status;
}
