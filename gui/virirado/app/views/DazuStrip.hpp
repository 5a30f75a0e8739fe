// The Dazu bar's strip, the card's only click target: the band of segments (or
// its scanning forms) and, while open, the header under it. And the card's edge,
// drawn over everything the card holds.
#pragma once

#include <QPainterPath>
#include <QPixmap>
#include <QWidget>
#include <functional>

#include "Clock.hpp"
#include "DazuPaint.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {

class FrameTicker;

// For assistive tools the strip is one button, named for what a press does,
// and pressing it opens or folds the card as a click does; while open, the
// header it paints is its one part, the map's heading. Tab reaches it and
// Space presses it, with the keyboard's focus ring.
class DazuStrip : public QWidget, public PaintedParts {
    Q_OBJECT
public:
    DazuStrip(const DazuBarState& state, const WindowClock& clock, QWidget* parent);

    // The card's outline in the strip's coordinates: nothing is drawn outside it.
    void setCardShape(const QPainterPath& shape);
    // The state changed; `segments` when the segments' picture must be redrawn.
    void refresh(bool segments);
    bool animating() const;

    std::function<void()> onClick;
    std::function<void(bool)> onHover;

    // The segments are one picture, not elements; the open header is a heading.
    int itemCount() const override { return m_state.expanded ? 1 : 0; }
    PartFace face(PartId) const override;
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint point) const override;
    QAccessible::Role widgetRole() const override { return QAccessible::Button; }
    PaintedAccess& paintedAccess() override { return m_access; }
    QStringList widgetActions() const override;
    void actOnWidget(const QString& action) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void paintBar(QPainter& painter, const QRectF& bar);
    QRect headerRect() const;
    QString heading() const;
    // Tells tools of the heading coming, going or renamed, and says an opening
    // or folding the keys asked for.
    void tellChanges();

    PaintedAccess m_access{this, this};
    const DazuBarState& m_state;
    const WindowClock& m_clock;
    FrameTicker* m_ticker;
    QPainterPath m_shape;
    QPixmap m_segments;
    QSizeF m_segmentsSize;
    bool m_segmentsValid = false;
    bool m_pressed = false;
    bool m_toldExpanded = false;
    QString m_toldHeading;
};

class CardEdge : public QWidget {
    Q_OBJECT
public:
    explicit CardEdge(QWidget* parent);
    void setEdge(const QRectF& card, double radius, const QColor& color, double width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF m_card;
    double m_radius = 0;
    QColor m_color;
    double m_width = 1;
};

}  // namespace virirado
