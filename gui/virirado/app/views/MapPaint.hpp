// Drawing of the largest-files map's pieces: one cushion tile, the hover card and
// the scan band. Tile bodies are shaded straight into the map's picture; the
// painter only draws the few rings and labels.
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <array>

#include "CushionShading.hpp"
#include "MapLayout.hpp"

class QPainter;

namespace virirado {

// The colours and fonts of one scheme, made once and shared by every tile.
class TileInk {
public:
    explicit TileInk(bool dark);

    bool dark() const { return m_dark; }
    const map::CushionColours& shading(map::CushionCase c, bool hovered) const {
        return (hovered ? m_hovered : m_plain)[index(c)];
    }
    QColor ink(map::CushionCase c) const { return m_ink[index(c)]; }
    QColor subInk(map::CushionCase c) const { return m_subInk[index(c)]; }
    const QFont& title() const { return m_title; }
    const QFont& size() const { return m_size; }
    const QFont& subtitle() const { return m_subtitle; }

private:
    static std::size_t index(map::CushionCase c) { return static_cast<std::size_t>(c); }

    bool m_dark;
    std::array<map::CushionColours, 6> m_plain;
    std::array<map::CushionColours, 6> m_hovered;
    std::array<QColor, 6> m_ink;
    std::array<QColor, 6> m_subInk;
    QFont m_title;
    QFont m_size;
    QFont m_subtitle;
};

// The tile's body (fill, highlight, edge) shaded into `image`, a premultiplied
// picture of `ratio` pixels per point whose top left lies at `origin` in map
// points.
void shadeTile(QImage& image, qreal ratio, QPointF origin, const map::CushionTile& tile,
               map::CushionCase which, const TileInk& ink, bool hovered);

// What lies on the body: the selection ring or the hover border, and the labels
// its size allows (the tile's texts must have been filled in).
void paintTileDecor(QPainter& painter, const map::CushionTile& tile, map::CushionCase which,
                    const TileInk& ink, bool selected, bool hovered);

// The selection ring alone, as `paintTileDecor` draws it on a selected tile.
void paintSelectionRing(QPainter& painter, const map::CushionTile& tile, const TileInk& ink);

// The hover card's size for a tile's texts, and the card itself at `origin`.
QSizeF tooltipSize(const map::TooltipTexts& texts);
void paintTooltip(QPainter& painter, const map::TooltipTexts& texts, QPointF origin, bool dark);
// The card's size with room for its shadow on every side.
inline constexpr double kTooltipShadowRoom = 24;

// The band that sweeps across the map while a scan runs.
void paintScanBand(QPainter& painter, double width, double height, double t);

}  // namespace virirado
