#include "ContentView.hpp"

#include "Theme.hpp"

namespace virirado {

ContentView::ContentView() {
    setObjectName(QStringLiteral("ContentView"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Color(QStringLiteral("#FFFFFF")));
    setPalette(p);
}

}  // namespace virirado
