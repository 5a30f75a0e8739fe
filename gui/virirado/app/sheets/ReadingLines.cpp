#include "ReadingLines.hpp"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>

#include "FocusRing.hpp"

namespace virirado {

namespace {

constexpr double kRingRadius = 4;

PartId linePart(int line) {
    return {line, -1};
}

QScrollArea* enclosingScrollArea(QWidget* widget) {
    for (QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(w)) return area;
    }
    return nullptr;
}

}  // namespace

ReadingLines::ReadingLines(QWidget* parent) : QWidget(parent) {
    // Tab reaches the lines; a click leaves the keys where they were.
    setFocusPolicy(Qt::TabFocus);
}

PartFace ReadingLines::face(PartId id) const {
    PartFace f;
    f.role = QAccessible::ListItem;
    f.name = spokenLine(id.item);
    f.rect = lineBox(id.item).toAlignedRect();
    f.state.focusable = true;
    f.state.focused = id.item == m_current && hasFocus();
    // A line scrolled out of the list's view is not on screen, though it lies
    // inside the widget.
    if (!visibleRegion().intersects(f.rect)) f.state.offscreen = true;
    return f;
}

std::optional<PartId> ReadingLines::partAt(QPoint point) const {
    for (int i = 0; i < lineCount(); ++i) {
        if (lineBox(i).contains(point)) return linePart(i);
    }
    return std::nullopt;
}

std::optional<PartId> ReadingLines::focusedPart() const {
    if (m_current >= lineCount()) return std::nullopt;
    return linePart(m_current);
}

void ReadingLines::linesChanged() {
    m_current = 0;
    m_access.partsChanged();
    update();
}

void ReadingLines::paintKeysLine(QPainter& painter) const {
    if (m_current >= lineCount() || !(m_walked || showsFocusRing(this))) return;
    paintFocusRing(painter, lineBox(m_current), kRingRadius);
}

void ReadingLines::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    std::optional<int> to;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_Up:
                to = m_current - 1;
                break;
            case Qt::Key_Down:
                to = m_current + 1;
                break;
            case Qt::Key_Home:
                to = 0;
                break;
            case Qt::Key_End:
                to = lineCount() - 1;
                break;
            default:
                break;
        }
    }
    // Every other key (Return, Escape, Tab) is the sheet's.
    if (!to) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    moveTo(std::clamp(*to, 0, std::max(0, lineCount() - 1)));
}

void ReadingLines::moveTo(int line) {
    if (lineCount() == 0) return;
    m_walked = true;
    const QRectF box = lineBox(line);
    if (QScrollArea* area = enclosingScrollArea(this)) {
        const QPoint middle = box.center().toPoint();
        area->ensureVisible(middle.x(), middle.y(), 0, static_cast<int>(box.height() / 2) + 1);
    }
    update();
    if (line == m_current) return;
    m_current = line;
    m_access.notify(linePart(line), QAccessible::Focus);
}

void ReadingLines::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    if (!QAccessible::isActive()) return;
    // Qt tells tools about the list itself once the focus has moved; the line
    // the keys are on is told after it, so that is where a reader lands.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus() && m_current < lineCount())
            m_access.notify(linePart(m_current), QAccessible::Focus);
    });
}

void ReadingLines::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    // Another window or a menu takes the keys for a while: they come back to
    // this line as they left it.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) m_walked = false;
    update();
}

}  // namespace virirado
