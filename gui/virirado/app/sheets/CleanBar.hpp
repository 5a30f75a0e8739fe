// The clean's progress bar, painted from the window's frame clock so that the
// same state always draws the same picture: a track filled in orange to its
// value, or, without a value, an orange stretch that slides along it.
#pragma once

#include <QWidget>
#include <optional>

namespace virirado {

class FrameTicker;
class WindowClock;

class CleanBar : public QWidget {
    Q_OBJECT
public:
    CleanBar(const WindowClock& clock, QWidget* parent = nullptr);

    // A value from 0 to 1, or none while the run has no measure yet.
    void setValue(std::optional<double> value);
    const std::optional<double>& value() const { return m_value; }
    void setDark(bool dark);
    void setMotion(bool on);

    QSize sizeHint() const override { return {200, kHeight}; }
    QSize minimumSizeHint() const override { return {0, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kHeight = 6;

    const WindowClock& m_clock;
    FrameTicker* m_ticker;
    std::optional<double> m_value = 0.0;
    bool m_dark = false;
    bool m_motion = false;
};

}  // namespace virirado
