// The row under the Dazu bar's card: the four figures with their swatches, the
// scanning line with its pulsing dot, and the hint that opens the map.
#pragma once

#include <QRectF>
#include <QWidget>
#include <array>
#include <functional>

#include "Clock.hpp"
#include "DazuPaint.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {

class PulsingDot;

// For assistive tools each of the four figures is one element that reads its
// word and value together; the scanning line and the hint are not elements.
class DazuLegend : public QWidget, public PaintedParts {
    Q_OBJECT
public:
    DazuLegend(const DazuBarState& state, const WindowClock& clock, QWidget* parent);

    void refresh();
    static int rowHeight();
    // Where the hint sits; empty while the card is open.
    QRectF hintRect() const { return m_hint; }
    // The scanning line as drawn, before it is cut to its room; empty when none.
    QString scanningText() const;

    std::function<void()> onHint;

    int itemCount() const override { return static_cast<int>(m_itemRects.size()); }
    PartFace face(PartId id) const override;
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint point) const override;
    QAccessible::Role widgetRole() const override { return QAccessible::Grouping; }
    PaintedAccess& paintedAccess() override { return m_access; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Places the dot, the scanning line and the hint.
    void arrange();

    // Tells tools of every figure that changed since they were last told.
    void announceFigures();

    PaintedAccess m_access{this, this};
    const DazuBarState& m_state;
    PulsingDot* m_dot;
    // Where each of the four items stands, swatch to value.
    std::array<QRectF, 4> m_itemRects;
    dazu::LegendFigures m_told;
    QRectF m_line;
    QRectF m_hint;
};

}  // namespace virirado
