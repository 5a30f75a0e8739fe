// The soft shadow under a rounded card of any size: one small blurred corner
// piece per corner radius, blur and colour, stretched along the edges, so a card
// that grows or shrinks every frame never blurs anything again.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QPainter;
class QRegion;

namespace virirado {

// Draws the shadow of the rounded rectangle `card` (corner `radius`), blurred by
// about `blur` points and moved by `offset`.
void paintCardShadow(QPainter& painter, const QRectF& card, double radius, const QColor& color,
                     double blur, QPointF offset = {});

// One card's shadow kept as a picture at the painter's device pixels, made again
// only when the card's size, sub-pixel place or look changes: a repaint under a
// card that stays as it is copies pixels instead of stretching the pieces again.
class CardShadowPicture {
public:
    // Paints as `paintCardShadow` does, within the painter's clip.
    void paint(QPainter& painter, const QRectF& card, double radius, const QColor& color,
               double blur, QPointF offset = {});

private:
    struct Key {
        QSizeF card;
        QPointF phase;
        double radius = 0;
        QRgb color = 0;
        double blur = 0;
        QPointF offset;
        double ratio = 0;
        bool operator==(const Key&) const = default;
    };

    Key m_key;
    QImage m_image;
};

// Everything the shadow can touch, for repainting.
QRectF cardShadowBounds(const QRectF& card, double blur, QPointF offset = {});

// The whole pixels an opaque card with corner `radius` surely hides, antialiased
// edges left out: its shadow needs no painting there.
QRegion cardHiddenCore(const QRectF& card, double radius);

}  // namespace virirado
