// The main window's content: the areas in their order and spacing, the sheets,
// and the one refresh path. On every change of the engine client or of the
// window's own state it derives the window's values once per event-loop turn and
// hands them to every area.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Area.hpp"
#include "Clock.hpp"
#include "EngineFacade.hpp"
#include "FileActions.hpp"
#include "RefreshPacing.hpp"
#include "Settings.hpp"
#include "SheetDialog.hpp"
#include "WindowModel.hpp"

class QBoxLayout;
class QTimer;

namespace virirado {

class BlockedCloseFilter;
class EngineClientObject;
class SheetHost;
class SnapshotRunner;

// What the window is made over. The app fills it with the real engine client,
// settings file and desktop; tests with fakes.
struct WindowServices {
    EngineFacade* engine = nullptr;
    KeyValueStore* settings = nullptr;
    const WindowClock* clock = nullptr;
    FileActions* files = nullptr;
    std::string home;
    // The snapshot picture prefix; snapshot mode exactly when set.
    std::optional<std::string> snapshotPrefix;
    bool autoscan = true;
    bool quickSnapshots = false;
    bool dark = false;
    // Follow the desktop when it switches between light and dark; `dark` is
    // where the window starts. Off where the scheme is pinned or pictures are taken.
    bool followDesktop = false;
    bool reduceMotion = true;
    SheetMakers sheets = SheetMakers::standard();
};

class ContentView : public QWidget {
    Q_OBJECT
public:
    // This app: the cleaning engine, the settings file, the desktop.
    ContentView();
    explicit ContentView(WindowServices services);
    ~ContentView() override;

    WindowModel& model() { return *m_model; }
    EngineFacade& engine() { return *m_services.engine; }
    const WindowServices& services() const { return m_services; }
    SheetHost& sheets() { return *m_sheets; }
    const std::vector<Area*>& areas() const { return m_areas; }

    // The engine client announced a change.
    void engineChanged();
    // Derives and hands out everything now, instead of at the end of this turn.
    void refreshNow();
    void setDark(bool dark);
    // Starts the snapshot run when snapshot mode is on and the window is ready.
    void runSnapshotsIfAsked();
    // Ctrl+Q: closes the window, which ends the app, as soon as no clean would be
    // cut short by it; asked again meanwhile, at once.
    void requestQuit();
    // Logout, a closed terminal or an interrupt: closes the window at once, as a
    // quit asked twice, ending the engine of a running clean first.
    void endNow();

protected:
    // The engine client starts when the window is first shown, not when it is built.
    void showEvent(QShowEvent* event) override;
    // A close of the window that would cut a running clean short waits for its
    // result, unless asked for again.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    template <typename W>
    W* add(QBoxLayout* layout, W* area, int stretch = 0);
    // Refreshes once this turn ends, or `delay` seconds later, whichever the
    // earliest request asks for.
    void scheduleRefresh(double delay = 0);
    void appear();
    void closeIfWaiting();
    // Tab and Shift+Tab walk every control of the window in reading order.
    void orderTabStops();
    // After a refresh: `holder` had the keys and went with its face; its heir
    // takes them, marked as before.
    void passKeysOn(QWidget* holder, bool byKeys);
    // A scrolling part of the window shows the control the keys just reached.
    void scrollToKeys(QWidget* now);

    std::unique_ptr<EngineClientObject> m_ownEngine;
    std::unique_ptr<KeyValueStore> m_ownSettings;
    std::unique_ptr<WindowClock> m_ownClock;
    std::unique_ptr<FileActions> m_ownFiles;
    WindowServices m_services;
    std::unique_ptr<WindowModel> m_model;
    std::vector<Area*> m_areas;
    SheetHost* m_sheets = nullptr;
    SnapshotRunner* m_runner = nullptr;
    std::unique_ptr<BlockedCloseFilter> m_blockedClose;
    bool m_refreshPending = false;
    QTimer* m_refreshTimer = nullptr;
    RefreshPacing m_pacing;
    bool m_started = false;
    bool m_snapshotDone = false;
    QMetaObject::Connection m_keysMoved;
};

}  // namespace virirado
