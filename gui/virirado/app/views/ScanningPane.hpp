// The pane the list pane shows while a scan runs and no row is visible yet: the
// mascot with rings spreading behind it, "Scanning the tank" with the percent,
// the time left, the scan bar, the place being scanned and the two before it.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "Area.hpp"

namespace virirado {

class ClampedLabel;
class FrameTicker;
class PulsingDot;
class RunsLabel;
class ScanBar;
class VornMascot;

// The mascot's stage, 82 points high: the three rings, under the mascot.
class ScanRings : public QWidget {
    Q_OBJECT
public:
    ScanRings(const WindowClock& clock, QWidget* parent = nullptr);
    void setReduceMotion(bool reduce);
    bool reduceMotion() const { return m_reduceMotion; }
    QSize sizeHint() const override { return {140, 82}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const WindowClock& m_clock;
    FrameTicker* m_ticker;
    bool m_reduceMotion = true;
};

// The place being scanned in a pale capsule, after an orange pulsing dot.
class PlaceCapsule : public QWidget {
    Q_OBJECT
public:
    PlaceCapsule(const WindowClock& clock, QWidget* parent = nullptr);
    void setPlace(const QString& place, bool dark, bool reduceMotion);
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PulsingDot* m_dot;
    ClampedLabel* m_label;
    bool m_dark = false;
};

class ScanningPane : public QWidget, public Area {
    Q_OBJECT
public:
    explicit ScanningPane(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AreaContext m_context;
    ScanRings* m_rings;
    VornMascot* m_mascot;
    RunsLabel* m_title;
    ClampedLabel* m_eta;
    ScanBar* m_bar;
    PlaceCapsule* m_place;
    QWidget* m_recent;
    std::vector<ClampedLabel*> m_recentLines;
    bool m_dark = false;
};

}  // namespace virirado
