#include "DazuStrip.hpp"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "Announcer.hpp"
#include "FocusRing.hpp"
#include "FrameTicker.hpp"
#include "PlainText.hpp"

namespace virirado {

DazuStrip::DazuStrip(const DazuBarState& state, const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_state(state), m_clock(clock), m_ticker(new FrameTicker(this, 60)) {
    setObjectName(QStringLiteral("dazuStrip"));
    // Tab reaches it and Space presses it, as a button; a click never moves the keys.
    setFocusPolicy(Qt::TabFocus);
    m_ticker->setWanted(false);
    m_toldExpanded = m_state.expanded;
    refresh(true);
}

void DazuStrip::setCardShape(const QPainterPath& shape) {
    if (shape == m_shape) return;
    m_shape = shape;
    update();
}

void DazuStrip::refresh(bool segments) {
    if (segments) m_segmentsValid = false;
    m_ticker->setMotion(!m_state.reduceMotion);
    m_ticker->setWanted(m_state.scanning);
    const QString help = plainToolTip(dazu::stripHelp(m_state.expanded));
    if (toolTip() != help) setToolTip(help);
    const QString name = QString::fromStdString(dazu::stripAccessibleName(m_state.expanded));
    if (accessibleName() != name) setAccessibleName(name);
    tellChanges();
    update();
}

void DazuStrip::tellChanges() {
    if (m_state.expanded == m_toldExpanded) return;
    m_toldExpanded = m_state.expanded;
    // Qt 6.4 tells tools no new name nor expanded state: the strip the keys
    // are on says what its press did.
    if (!hasFocus()) return;
    const QString heading =
        QString::fromStdString(dazu::headerHeading(m_state.headerCount.toStdString()));
    announce(window(), m_state.expanded ? QStringLiteral("expanded, ") + heading
                                        : QStringLiteral("collapsed"));
}

QStringList DazuStrip::widgetActions() const {
    return {QAccessibleActionInterface::pressAction()};
}

void DazuStrip::actOnWidget(const QString& action) {
    if (action == QAccessibleActionInterface::pressAction() && onClick) onClick();
}

bool DazuStrip::animating() const {
    return m_ticker->running();
}

void DazuStrip::paintBar(QPainter& p, const QRectF& bar) {
    if (!hasSegments(m_state)) {
        if (m_state.scanning) paintScanningEmptyBar(p, bar, m_state.dark);
        return;
    }
    // The segments are drawn once per change; the overlay moves over the picture.
    if (!m_segmentsValid || m_segmentsSize != bar.size()) {
        const qreal dpr = devicePixelRatioF();
        const QSize pixels(static_cast<int>(std::ceil(bar.width() * dpr)),
                           static_cast<int>(std::ceil(bar.height() * dpr)));
        if (m_segments.size() != pixels) m_segments = QPixmap(pixels);
        m_segments.setDevicePixelRatio(dpr);
        m_segments.fill(Qt::transparent);
        QPainter sp(&m_segments);
        paintSegments(sp, m_state, bar.width(), bar.height());
        m_segmentsSize = bar.size();
        m_segmentsValid = true;
    }
    p.drawPixmap(bar.topLeft(), m_segments);
}

void DazuStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!m_shape.isEmpty()) p.setClipPath(m_shape);
    const QRectF bar(0, 0, width(), m_state.barHeight());
    paintBar(p, bar);
    if (m_state.scanning) paintScanOverlay(p, bar, m_state, m_clock.frameTime());
    const double open = m_state.openClamped();
    if (open > 0) {
        const QRectF header(0, bar.bottom(), width(), openHeaderHeight());
        p.setOpacity(open);
        p.fillRect(header, hexColor(dazu::cardLook(true, false, m_state.dark).fill, m_state.dark));
        paintOpenHeader(p, header, m_state);
    }
    if (showsFocusRing(this)) {
        p.setOpacity(1);
        // Along the card's outline where the strip lies: the whole folded
        // card, the top of an open one.
        QPainterPath area;
        area.addRect(rect());
        if (m_shape.isEmpty()) {
            paintFocusRing(p, QRectF(rect()), 13);
        } else {
            paintFocusRing(p, m_shape.intersected(area));
        }
    }
}

void DazuStrip::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (onHover) onHover(true);
}

void DazuStrip::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_pressed = false;
    if (onHover) onHover(false);
}

void DazuStrip::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void DazuStrip::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click && onClick) onClick();
}

void DazuStrip::keyPressEvent(QKeyEvent* event) {
    // Space only: Return belongs to the window, where it asks for the clean.
    if (event->key() != Qt::Key_Space) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (onClick) onClick();
}

void DazuStrip::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void DazuStrip::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

namespace {

QAccessibleInterface* headingFactory(const QString&, QObject* object) {
    auto* heading = qobject_cast<MapHeading*>(object);
    return heading != nullptr ? new QAccessibleWidget(heading, QAccessible::Heading) : nullptr;
}

}  // namespace

MapHeading::MapHeading(QWidget* parent) : QWidget(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(headingFactory);
        return true;
    }();
    (void)installed;
    setObjectName(QStringLiteral("mapHeading"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void MapHeading::setCount(const QString& count) {
    const QString name = QString::fromStdString(dazu::headerHeading(count.toStdString()));
    if (accessibleName() != name) setAccessibleName(name);
}

CardEdge::CardEdge(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("dazuCardEdge"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void CardEdge::setEdge(const QRectF& card, double radius, const QColor& color, double width) {
    if (card == m_card && radius == m_radius && color == m_color && width == m_width) return;
    m_card = card;
    m_radius = radius;
    m_color = color;
    m_width = width;
    update();
}

void CardEdge::paintEvent(QPaintEvent*) {
    const double half = m_width / 2;
    const QRectF inner = m_card.adjusted(half, half, -half, -half);
    if (inner.width() <= 0 || inner.height() <= 0 || m_color.alpha() == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(m_color, m_width));
    p.setBrush(Qt::NoBrush);
    const double r =
        std::max(0.0, std::min(m_radius, std::min(m_card.width(), m_card.height()) / 2) - half);
    p.drawRoundedRect(inner, r, r);
}

}  // namespace virirado
