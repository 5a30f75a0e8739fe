// The summary bar, the window's last row: how many rows are ticked and how many
// go to the Trash, "Start scan" / "Scan again" and "Clean the tank"; while a
// scan runs, the scan summary with its progress and "Cancel" instead. Each key
// lives on its button, so it works exactly while its button is shown and
// enabled: Ctrl+R, Return, Ctrl+. .
#pragma once

#include <QWidget>

#include "Area.hpp"

namespace virirado {

class BackdropGlow;
class CapsuleButton;
class ClampedLabel;
class PulsingDot;
class RunsLabel;
class ScanBar;

// The scan summary: a pulsing dot and "Scanning", the scan bar, the percent and
// time left, the place being scanned and "Cancel".
class ScanSummary : public QWidget {
    Q_OBJECT
public:
    ScanSummary(const WindowClock& clock, QWidget* parent = nullptr);
    void present(const WindowView& view);
    CapsuleButton* cancel() const { return m_cancel; }

private:
    PulsingDot* m_dot;
    RunsLabel* m_word;
    ScanBar* m_bar;
    ClampedLabel* m_progress;
    ClampedLabel* m_place;
    CapsuleButton* m_cancel;
};

class SummaryBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit SummaryBar(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    CapsuleButton* scanButton() const { return m_scan; }
    CapsuleButton* cleanButton() const { return m_clean; }
    ScanSummary* scanSummary() const { return m_summary; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    AreaContext m_context;
    RunsLabel* m_ticked;
    ScanSummary* m_summary;
    CapsuleButton* m_scan;
    CapsuleButton* m_clean;
    BackdropGlow* m_glow;
    // What the controls were last shown for: a key press that arrives after the
    // state moved on does nothing.
    bool m_scanning = false;
    int64_t m_tickedCount = 0;
    bool m_dark = false;
    bool m_first = true;
};

}  // namespace virirado
