// The hero row: what the ticked items give back in very large type over an
// orange bar, "comes back.", and the free space now and after the clean.
#pragma once

#include <QString>
#include <QWidget>

#include "Area.hpp"

namespace virirado {

class BackdropGlow;

class HeroFigures : public QWidget, public Area {
    Q_OBJECT
public:
    explicit HeroFigures(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    const QString& figure() const { return m_figure; }
    const QString& freeNow() const { return m_free; }
    const QString& after() const { return m_after; }
    // The orange bar under the figure, in this widget's coordinates.
    QRectF barRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF figureSize() const;
    QSizeF statSize(const QString& title, const QString& value) const;

    BackdropGlow* m_glow;
    QString m_figure;
    QString m_free;
    QString m_after;
    bool m_dark = false;
};

}  // namespace virirado
