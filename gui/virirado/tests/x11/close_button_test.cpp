// The close button as a window manager presses it, on a real X server: a
// WM_DELETE_WINDOW message sent from a second client to the main window or to
// its sheet, during a clean that never ends. Qt drops the main window's close
// while the sheet blocks it, so only an X server can show that it arrives.
// And the X server's own end, as at the end of a session, during such a clean.
//
// The tests start their own Xvfb and run the window on Qt's xcb platform,
// whatever QT_QPA_PLATFORM says; without Xvfb they are skipped with the reason.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <memory>
#include <optional>

#include "BlockedCloseFilter.hpp"
#include "ConfirmSheet.hpp"
#include "HostileWindow.hpp"
#include "OneRowClean.hpp"
#include "Processes.hpp"
#include "WaysOut.hpp"
#include "XvfbServer.hpp"

namespace virirado {
namespace {

using namespace testing::hostile;
using testing::kHangMs;

// Why the tests cannot run here, when they cannot; set once by main.
std::string& unavailable() {
    static std::string reason;
    return reason;
}

// The X server the window runs on; set once by main.
testing::XvfbServer*& xServer() {
    static testing::XvfbServer* server = nullptr;
    return server;
}

// A second client of the X server, doing what a window manager does when the
// close button in a window's title bar is pressed.
class WindowManager {
public:
    WindowManager() {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection) != 0) return;
        m_atoms = {intern("WM_PROTOCOLS"), intern("WM_DELETE_WINDOW")};
    }
    ~WindowManager() { xcb_disconnect(m_connection); }
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    bool ready() const { return m_atoms.deleteWindow != 0; }

    void pressClose(QWidget* window) {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = static_cast<xcb_window_t>(window->windowHandle()->winId());
        event.type = m_atoms.protocols;
        event.data.data32[0] = m_atoms.deleteWindow;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }

private:
    uint32_t intern(const char* name) { return internAtom(m_connection, name); }

    xcb_connection_t* m_connection = nullptr;
    CloseAtoms m_atoms;
};

class CloseButton : public ::testing::Test {
protected:
    void SetUp() override {
        if (!unavailable().empty()) GTEST_SKIP() << unavailable();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(wm.ready());
    }
    WindowManager wm;
};

// Presses the close button of `target` (the main window or the sheet) twice
// during a clean that never ends.
void closeTwiceDuringAHungClean(WindowManager& wm, bool onTheSheet) {
    ScratchRow d(onTheSheet ? "vx11sheet" : "vx11main");
    HostileWindow w("spawn-child\n" + hungCleanOf(d));
    ConfirmSheet* sheet = startClean(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    QWidget* target = onTheSheet ? static_cast<QWidget*>(sheet) : w.window.get();
    EXPECT_EQ(stopLineOf(sheet), "Can't stop mid-clean");

    // The close arrived and was answered: the window waits, and says so.
    wm.pressClose(target);
    ASSERT_TRUE(w.waitFor([&] { return stopLineOf(sheet).toStdString() == kWaitLine; }, kHangMs))
        << stopLineOf(sheet).toStdString();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(w.client().engineRunning());
    EXPECT_EQ(deletionLogs(w.home), "");

    expectWayOutEndsAtOnce(w, [&] { wm.pressClose(target); });
}

TEST_F(CloseButton, OfTheMainWindowDuringAHungCleanWaitsOnceThenEndsIt) {
    closeTwiceDuringAHungClean(wm, false);
}

TEST_F(CloseButton, OfTheSheetDuringAHungCleanWaitsOnceThenEndsIt) {
    closeTwiceDuringAHungClean(wm, true);
}

TEST_F(CloseButton, WithoutACleanTheSheetBacksOutAndTheWindowQuits) {
    ScratchRow d("vx11idle");
    HostileWindow w(scanOf(d) + "on preview\n" + previewOfRow(d) + "on preview\n" +
                    previewOfRow(d));
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.confirmSheet() != nullptr; }, kHangMs));

    // The sheet's own close leaves the sheet, and only the sheet: the window
    // still takes the next preview.
    wm.pressClose(w.confirmSheet());
    ASSERT_TRUE(w.waitFor([&] { return w.confirmSheet() == nullptr; }, kHangMs));
    EXPECT_FALSE(w.state().preview);
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.confirmSheet() != nullptr; }, kHangMs));
    EXPECT_TRUE(w.window->isVisible());

    // The main window's close while the sheet blocks it quits, as without one;
    // nothing was cleaned.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.confirmSheet()));
    wm.pressClose(w.window.get());
    EXPECT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kHangMs));
    EXPECT_EQ(w.cleansSent(), 0);
    EXPECT_EQ(deletionLogs(w.home), "");
}

// The X server ends during a clean: Qt then ends the app with exit(), which
// runs no destructor. The row out is still logged "unknown" in the deletion
// log. The end is only seen from outside the process: it runs in a child of
// the test, whose temporary files all lie in `dir`.
TEST_F(CloseButton, TheXServersEndDuringACleanStillLogsItsRow) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vx11end-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const char* tmp = std::getenv("TMPDIR");
    const std::optional<std::string> wasTmp = tmp ? std::optional<std::string>(tmp) : std::nullopt;
    setenv("TMPDIR", dir.c_str(), 1);
    EXPECT_EXIT(
        {
            ScratchRow d("row");
            HostileWindow w(hungCleanOf(d));
            if (startClean(w) == nullptr) std::_Exit(0);
            xServer()->stop();
            w.waitFor([] { return false; }, kHangMs);
        },
        [](int) { return true; }, "The X11 connection broke");
    wasTmp ? setenv("TMPDIR", wasTmp->c_str(), 1) : unsetenv("TMPDIR");

    std::string logged;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.path().filename().string().starts_with("deleted-")) continue;
        std::ifstream in(entry.path());
        logged += std::string(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(logged.find("\tunknown\t4096\trm\t" + dir.string() + "/"), std::string::npos)
        << logged;
    fs::remove_all(dir);
}

TEST(CloseRequest, OnlyTheWindowsOwnDeleteMessageCounts) {
    // Any two atoms of one server: the test needs none.
    const CloseAtoms atoms{301, 302};
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = 42;
    event.type = atoms.protocols;
    event.data.data32[0] = atoms.deleteWindow;
    EXPECT_TRUE(isCloseRequest(&event, 42, atoms));
    // Sent by another client, as a window manager's message always is.
    event.response_type = XCB_CLIENT_MESSAGE | 0x80;
    EXPECT_TRUE(isCloseRequest(&event, 42, atoms));
    EXPECT_FALSE(isCloseRequest(&event, 43, atoms));
    EXPECT_FALSE(isCloseRequest(&event, 42, CloseAtoms{}));

    xcb_client_message_event_t other = event;
    other.data.data32[0] = atoms.protocols;  // another protocol, such as taking focus
    EXPECT_FALSE(isCloseRequest(&other, 42, atoms));
    other = event;
    other.type = atoms.deleteWindow;
    EXPECT_FALSE(isCloseRequest(&other, 42, atoms));
    other = event;
    other.format = 8;
    EXPECT_FALSE(isCloseRequest(&other, 42, atoms));
    other = event;
    other.response_type = XCB_PROPERTY_NOTIFY;
    EXPECT_FALSE(isCloseRequest(&other, 42, atoms));
}

}  // namespace
}  // namespace virirado

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    const auto temp = std::filesystem::temp_directory_path();
    std::string runtime = (temp / "vrun-XXXXXX").string();
    if (mkdtemp(runtime.data()) != nullptr) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // The engine's logs and the settings stay out of the real home.
    std::string home = (temp / "vhome-XXXXXX").string();
    if (mkdtemp(home.data()) != nullptr) setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("VIRIRADO_AUTOSCAN", "0", 1);
    setenv("QT_FONT_DPI", "96", 1);
    // No session bus: on X11 the bus library would otherwise start one for the
    // display (dbus-launch), which may outlive the test, or leak trying.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/no-bus").c_str(), 1);

    int status = 0;
    {
        // Before any thread exists: the server is started with fork.
        virirado::testing::XvfbServer server;
        virirado::xServer() = &server;
        std::optional<QApplication> app;
        if (server.display().empty()) {
            virirado::unavailable() = server.problem();
        } else {
            setenv("DISPLAY", server.display().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            app.emplace(argc, argv);
        }
        status = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(runtime);
    std::filesystem::remove_all(home);
    return status;
}
