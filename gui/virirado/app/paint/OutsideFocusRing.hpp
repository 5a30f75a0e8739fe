// The keyboard's ring around a control that has no room for it inside: a bare
// text button, a check box with its label, a path of text. The ring stands a
// few points beyond the control's box, drawn by a widget laid over the window
// (or over the scrolling view that holds the control, which clips it as it
// clips the control), and follows the control while it moves. It shows exactly
// when the control's own ring would (`showsFocusRing`).
#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <vector>

class QWidget;

namespace virirado {

class OutsideFocusRing : public QObject {
    Q_OBJECT
public:
    // Gives `control` a ring `outset` beyond its box, with corners of `radius`
    // (below 0: a capsule). The ring lives as long as the control.
    static OutsideFocusRing* attach(QWidget* control, QMargins outset, double radius);
    ~OutsideFocusRing() override;

    // The widget that draws the ring while it shows; none otherwise.
    QWidget* ring() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    OutsideFocusRing(QWidget* control, QMargins outset, double radius);
    // Shows, moves or hides the ring after whatever changed.
    void follow();
    void watchAncestors(QWidget* host);
    void unwatch();

    QWidget* m_control;
    QMargins m_outset;
    double m_radius;
    QPointer<QWidget> m_ring;
    std::vector<QPointer<QWidget>> m_watched;
};

}  // namespace virirado
