// The hero row: what the ticked items give back in very large type over an
// orange bar, "comes back.", and the free space now and after the clean. For
// assistive tools the row reads its figure ("50.8 GB comes back"), and each
// stat is one element of its own reading title and value together.
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "Area.hpp"
#include "ChromeFigures.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {

class BackdropGlow;

class HeroFigures : public QWidget, public Area, public PaintedParts {
    Q_OBJECT
public:
    explicit HeroFigures(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    const QString& figure() const { return m_figure; }
    QString freeNow() const { return value(0); }
    QString after() const { return value(1); }
    // The orange bar under the figure, in this widget's coordinates.
    QRectF barRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The two stats, "Free now" then "After".
    int itemCount() const override { return static_cast<int>(m_stats.size()); }
    PartFace face(PartId id) const override;
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint point) const override;
    QAccessible::Role widgetRole() const override { return QAccessible::Client; }
    PaintedAccess& paintedAccess() override { return m_access; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF figureSize() const;
    QSizeF statSize(const HeroStat& stat) const;
    // Where stat `i` ends, and where it stands (its own leading space left out).
    double statRight(int i) const;
    QRectF statRect(int i) const;
    QString value(int i) const;

    PaintedAccess m_access{this, this};
    BackdropGlow* m_glow;
    QString m_figure;
    std::array<HeroStat, 2> m_stats;
    bool m_dark = false;
};

}  // namespace virirado
