// The window manager's close button on the main window while a sheet is up.
//
// Qt drops a close that the platform sends to a window blocked by a modal
// dialog, so during a clean the main window's close button did nothing at all:
// the window's close never reached its event filter. On X11 the close arrives
// as a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW; this filter sees
// it before Qt does and turns it into the window's own close(), which asks the
// window model like the quit key. Only that message, only for that window and
// only while a modal window blocks it; every other event passes untouched.
// Elsewhere (Wayland, offscreen) the filter watches nothing: there the close
// button of a blocked window still does nothing, and Ctrl+Q or the sheet's own
// close button are the ways out.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <cstdint>

class QWidget;
struct xcb_connection_t;

namespace virirado {

// The atoms a window manager's close request is made of, on one X server.
struct CloseAtoms {
    uint32_t protocols = 0;
    uint32_t deleteWindow = 0;
};

// The atom `name` stands for on `connection`'s server, or 0 when the server
// did not answer.
uint32_t internAtom(xcb_connection_t* connection, const char* name);

// Whether `event` (an xcb event, sent or not) is the window manager asking
// `window` to close.
bool isCloseRequest(const void* event, uint32_t window, const CloseAtoms& atoms);

class BlockedCloseFilter : public QAbstractNativeEventFilter {
public:
    // Starts watching closes of `window` (a top-level widget) when the app runs
    // on X11; stops when destroyed.
    explicit BlockedCloseFilter(QWidget* window);
    ~BlockedCloseFilter() override;
    BlockedCloseFilter(const BlockedCloseFilter&) = delete;
    BlockedCloseFilter& operator=(const BlockedCloseFilter&) = delete;

    // Whether this platform's closes are watched at all.
    bool watching() const { return m_atoms.deleteWindow != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QPointer<QWidget> m_window;
    CloseAtoms m_atoms;
};

}  // namespace virirado
