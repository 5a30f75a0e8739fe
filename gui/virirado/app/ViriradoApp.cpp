#include "ViriradoApp.hpp"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "ContentView.hpp"
#include "DesktopHabits.hpp"
#include "FocusRing.hpp"
#include "Fonts.hpp"
#include "PaintedAccessible.hpp"
#include "Snapshot.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr PixelSize kPreferred{1280, 840};
constexpr PixelSize kMinimum{1100, 720};

// The free area of the screen the window opens on: where the pointer is, as
// window managers place new windows, else the primary one.
PixelSize availableArea() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    const QRect area = screen->availableGeometry();
    return {area.width(), area.height()};
}

}  // namespace

ViriradoApp::ViriradoApp() {
    // Settings without an organisation are never written to disk, and the scan
    // choices would be forgotten at every start.
    if (QCoreApplication::organizationName().isEmpty()) {
        QCoreApplication::setOrganizationName(QStringLiteral("Virirado"));
    }
    QCoreApplication::setApplicationName(QStringLiteral("Virirado"));
    VadeFont::registerFonts();
    installPaintedAccessibility();
    installFocusRingTracking();
}

std::unique_ptr<QMainWindow> ViriradoApp::makeWindow() const {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Virirado UI"));
    auto* content = new ContentView();
    content->setFont(Dazu::text(13, FontWeight::regular));
    // Pictures are taken at fixed sizes, whatever the screen.
    const FirstWindow size = Snapshot::prefix() ? FirstWindow{kPreferred, kMinimum}
                                                : firstWindowSize(availableArea(), kFrameAllowance,
                                                                  kPreferred, kMinimum);
    content->setMinimumSize(size.minimum.width, size.minimum.height);
    window->setCentralWidget(content);
    window->resize(size.size.width, size.size.height);
    return window;
}

}  // namespace virirado
