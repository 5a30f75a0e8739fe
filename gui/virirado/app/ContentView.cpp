#include "ContentView.hpp"

#include "EngineClientObject.hpp"
#include "Theme.hpp"

namespace virirado {

ContentView::ContentView() : m_engine(new EngineClientObject(this)) {
    setObjectName(QStringLiteral("ContentView"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Color(QStringLiteral("#FFFFFF")));
    setPalette(p);
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_started) return;
    m_started = true;
    m_engine->client().start();
}

}  // namespace virirado
