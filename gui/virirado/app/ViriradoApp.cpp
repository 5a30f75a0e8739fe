#include "ViriradoApp.hpp"

#include <QCoreApplication>

#include "ContentView.hpp"
#include "Fonts.hpp"
#include "Theme.hpp"

namespace virirado {

ViriradoApp::ViriradoApp() {
    // Settings without an organisation are never written to disk, and the scan
    // choices would be forgotten at every start.
    if (QCoreApplication::organizationName().isEmpty()) {
        QCoreApplication::setOrganizationName(QStringLiteral("Virirado"));
    }
    QCoreApplication::setApplicationName(QStringLiteral("Virirado"));
    VadeFont::registerFonts();
}

std::unique_ptr<QMainWindow> ViriradoApp::makeWindow() const {
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Virirado UI"));
    auto* content = new ContentView();
    content->setFont(Dazu::text(13, FontWeight::regular));
    content->setMinimumSize(1100, 720);
    window->setCentralWidget(content);
    window->resize(1280, 840);
    return window;
}

}  // namespace virirado
