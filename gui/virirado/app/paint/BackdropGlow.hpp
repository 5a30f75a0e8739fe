// A glow under a widget, painted on the window's background rather than in the
// widget itself, so it spreads past the widget's bounds the way a shadow does
// (into the window's margins, under the row below) instead of ending in a hard
// edge where the widget's own area ends.
#pragma once

#include <QColor>
#include <QObject>
#include <QPainterPath>
#include <QPointer>
#include <functional>

class QWidget;

namespace virirado {

class BackdropGlow : public QObject {
    Q_OBJECT
public:
    // `shape` gives the glowing shape in the target's own coordinates.
    using Shape = std::function<QPainterPath()>;
    BackdropGlow(QWidget* target, Shape shape);

    // A fully clear colour, or a radius of 0, removes the glow.
    void setGlow(const QColor& color, double radius);
    const QColor& color() const { return m_color; }
    // The ancestor it paints on: the nearest one that fills its background.
    QWidget* host() const { return m_host; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach();
    void repaintHost();

    QWidget* m_target;
    Shape m_shape;
    QPointer<QWidget> m_host;
    QColor m_color = Qt::transparent;
    double m_radius = 0;
};

}  // namespace virirado
