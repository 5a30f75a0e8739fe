#include "BlockedCloseFilter.hpp"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>

namespace virirado {

uint32_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (reply == nullptr) return 0;
    const uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
}

namespace {

CloseAtoms closeAtoms() {
#if QT_CONFIG(xcb)
    auto* x11 =
        qApp == nullptr ? nullptr : qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 == nullptr ? nullptr : x11->connection();
    if (connection == nullptr) return {};
    CloseAtoms atoms{internAtom(connection, "WM_PROTOCOLS"),
                     internAtom(connection, "WM_DELETE_WINDOW")};
    if (atoms.protocols == 0 || atoms.deleteWindow == 0) return {};
    return atoms;
#else
    return {};
#endif
}

// A modal window is up that keeps input from `window`: an application-modal
// one, or one modal to `window` or to a window `window` holds.
bool blocked(const QWindow* window) {
    const QWindow* modal = QGuiApplication::modalWindow();
    if (modal == nullptr || modal == window) return false;
    if (modal->modality() == Qt::ApplicationModal) return true;
    for (const QWindow* p = modal->transientParent(); p != nullptr; p = p->transientParent()) {
        if (p == window) return true;
    }
    return false;
}

}  // namespace

bool isCloseRequest(const void* event, uint32_t window, const CloseAtoms& atoms) {
    if (event == nullptr || atoms.deleteWindow == 0) return false;
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    // The high bit marks an event another client sent, as a window manager does.
    if ((generic->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    const auto* message = static_cast<const xcb_client_message_event_t*>(event);
    return message->format == 32 && message->window == window && message->type == atoms.protocols &&
           message->data.data32[0] == atoms.deleteWindow;
}

BlockedCloseFilter::BlockedCloseFilter(QWidget* window) : m_window(window) {
    m_atoms = closeAtoms();
    if (watching()) QCoreApplication::instance()->installNativeEventFilter(this);
}

BlockedCloseFilter::~BlockedCloseFilter() {
    if (watching() && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool BlockedCloseFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                           qintptr* /*result*/) {
    if (!m_window || eventType != "xcb_generic_event_t") return false;
    const QWindow* handle = m_window->windowHandle();
    if (handle == nullptr) return false;
    const auto id = static_cast<uint32_t>(handle->winId());
    if (!isCloseRequest(message, id, m_atoms) || !blocked(handle)) return false;
    // Not from inside the platform's event handling: the close may end the
    // engine and the window.
    QPointer<QWidget> window = m_window;
    QTimer::singleShot(0, window, [window] {
        if (window) window->close();
    });
    return true;
}

}  // namespace virirado
