#include "BackdropGlow.hpp"

#include <QEvent>
#include <QPainter>
#include <QWidget>

#include "Glow.hpp"

namespace virirado {

BackdropGlow::BackdropGlow(QWidget* target, Shape shape)
    : QObject(target), m_target(target), m_shape(std::move(shape)) {
    target->installEventFilter(this);
    attach();
}

void BackdropGlow::setGlow(const QColor& color, double radius) {
    if (color == m_color && radius == m_radius) return;
    m_color = color;
    m_radius = radius;
    repaintHost();
}

void BackdropGlow::attach() {
    QWidget* host = m_target->parentWidget();
    while (host != nullptr && !host->autoFillBackground() && !host->isWindow())
        host = host->parentWidget();
    if (host == m_host) return;
    if (m_host) m_host->removeEventFilter(this);
    m_host = host;
    if (m_host) m_host->installEventFilter(this);
}

void BackdropGlow::repaintHost() {
    if (m_host) m_host->update();
}

bool BackdropGlow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_target) {
        switch (event->type()) {
            // An ancestor may have moved into the window since the last look:
            // by the time the widget shows, its place is final.
            case QEvent::ParentChange:
            case QEvent::Show:
                attach();
                repaintHost();
                break;
            case QEvent::Hide:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::EnabledChange:
                repaintHost();
                break;
            default:
                break;
        }
        return false;
    }
    // The host paints its background before this runs and its children after,
    // so the glow lies on the background, under the widget and its neighbours.
    if (watched == m_host && event->type() == QEvent::Paint && m_color.alpha() > 0 &&
        m_radius > 0 && m_target->isVisibleTo(m_host)) {
        QPainter painter(m_host);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = m_shape().translated(m_target->mapTo(m_host, QPointF(0, 0)));
        paintGlow(painter, shape, m_color, m_radius);
    }
    return false;
}

}  // namespace virirado
