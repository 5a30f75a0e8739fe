// Drives one widget's animation: a timer at the widget's frame rate, running only
// while the widget is visible, motion is on and something moves. With motion off
// no timer exists at all.
#pragma once

#include <QObject>

class QTimer;
class QWidget;

namespace virirado {

class FrameTicker : public QObject {
    Q_OBJECT
public:
    // `framesPerSecond`: the most frames the widget may draw in a second.
    FrameTicker(QWidget* owner, int framesPerSecond);

    void setMotion(bool on);
    // Whether the widget currently shows anything that moves.
    void setWanted(bool wanted);
    bool running() const;
    bool hasTimer() const { return m_timer != nullptr; }
    // The time between two frames.
    int intervalMs() const { return m_interval; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QWidget* m_owner;
    int m_interval;
    bool m_motion = false;
    bool m_wanted = true;
    QTimer* m_timer = nullptr;
};

}  // namespace virirado
