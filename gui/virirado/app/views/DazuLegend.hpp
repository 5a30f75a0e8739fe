// The row under the Dazu bar's card: the four figures with their swatches, the
// scanning line with its pulsing dot, and the hint that opens the map.
#pragma once

#include <QRectF>
#include <QWidget>
#include <functional>

#include "Clock.hpp"
#include "DazuPaint.hpp"

namespace virirado {

class PulsingDot;

class DazuLegend : public QWidget {
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Places the dot, the scanning line and the hint.
    void arrange();

    const DazuBarState& m_state;
    PulsingDot* m_dot;
    QRectF m_items;
    QRectF m_line;
    QRectF m_hint;
};

}  // namespace virirado
