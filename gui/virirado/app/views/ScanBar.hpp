// The scan's progress bar, shared by the scanning pane (280 by 10) and the
// summary bar's scan summary (220 by 9): a capsule track and a gradient fill
// that glides to each new percent, with a shimmer sweeping along the fill while
// motion is on.
#pragma once

#include <QWidget>

#include "Clock.hpp"

class QVariantAnimation;

namespace virirado {

class FrameTicker;

class ScanBar : public QWidget {
    Q_OBJECT
public:
    ScanBar(const WindowClock& clock, QWidget* parent = nullptr);

    void setProgress(double pct);
    void setDark(bool dark);
    void setReduceMotion(bool reduce);
    // The fill's width as drawn now (mid-glide while the width changes).
    double fillWidth() const;
    bool shimmering() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const WindowClock& m_clock;
    FrameTicker* m_ticker;
    QVariantAnimation* m_glide = nullptr;
    double m_pct = 0;
    bool m_dark = false;
    bool m_reduceMotion = true;
};

}  // namespace virirado
