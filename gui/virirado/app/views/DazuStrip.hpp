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
// and pressing it opens or folds the card as a click does. Tab reaches it and
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

    // No parts of its own: the segments are one picture, not elements, and
    // the open header is the map's heading, an element beside the strip.
    int itemCount() const override { return 0; }
    PartFace face(PartId) const override { return {}; }
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint) const override { return std::nullopt; }
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
    // Says an opening or folding the keys asked for.
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
};

// The open header's words for assistive tools: "LARGEST FILES · <n> items
// (<size>)", one heading laid over the header the strip paints, after the strip
// and before the map. It draws nothing and takes no clicks.
class MapHeading : public QWidget {
    Q_OBJECT
public:
    explicit MapHeading(QWidget* parent);
    void setCount(const QString& count);
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
