#include "CardShadow.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QRegion>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "Glow.hpp"

namespace virirado {

namespace {

// The blurred picture of a small rounded square whose straight edges are 4
// points long: the corner pieces come from it and the edges stretch its middle.
QPixmap cornerPiece(int radius, const QColor& color, int blur, int& side) {
    side = 2 * radius + 4;
    const QString key =
        QStringLiteral("cardshadow:%1:%2:%3").arg(radius).arg(color.rgba()).arg(blur);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
    const QImage image = glowImage(square, color, blur);
    if (image.isNull()) return {};
    pixmap = QPixmap::fromImage(image);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

// The shadow of `card`, its bounds' top left at `phase` within the first device
// pixel, drawn into a picture that starts at that pixel.
QImage shadowPicture(const QRectF& card, double radius, const QColor& color, double blur,
                     QPointF offset, const QRectF& bounds, QPointF phase, double ratio) {
    const QSize size(static_cast<int>(std::ceil(bounds.width() * ratio + phase.x())) + 1,
                     static_cast<int>(std::ceil(bounds.height() * ratio + phase.y())) + 1);
    if (size.width() > 16384 || size.height() > 16384) return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(QTransform::fromTranslate(-bounds.left(), -bounds.top()) *
                   QTransform::fromScale(ratio, ratio) *
                   QTransform::fromTranslate(phase.x(), phase.y()));
    paintCardShadow(p, card, radius, color, blur, offset);
    return image;
}

}  // namespace

QRectF cardShadowBounds(const QRectF& card, double blur, QPointF offset) {
    const double margin = 2 * std::ceil(std::max(0.0, blur));
    return card.translated(offset).adjusted(-margin, -margin, margin, margin);
}

QRegion cardHiddenCore(const QRectF& card, double radius) {
    const double r = std::clamp(radius, 0.0, std::min(card.width(), card.height()) / 2);
    // Inward to whole points, and 1 more for the edge's antialiasing.
    auto inner = [](const QRectF& rect) {
        const QPoint from(static_cast<int>(std::ceil(rect.left())) + 1,
                          static_cast<int>(std::ceil(rect.top())) + 1);
        const QPoint to(static_cast<int>(std::floor(rect.right())) - 1,
                        static_cast<int>(std::floor(rect.bottom())) - 1);
        if (to.x() <= from.x() || to.y() <= from.y()) return QRegion();
        return QRegion(QRect(from, QSize(to.x() - from.x(), to.y() - from.y())));
    };
    return inner(card.adjusted(r, 0, -r, 0)).united(inner(card.adjusted(0, r, 0, -r)));
}

void paintCardShadow(QPainter& painter, const QRectF& card, double radius, const QColor& color,
                     double blur, QPointF offset) {
    if (color.alpha() == 0 || card.width() < 1 || card.height() < 1) return;
    const int b = static_cast<int>(std::ceil(std::clamp(blur, 0.0, 200.0)));
    const double fitted = std::min({radius, card.width() / 2, card.height() / 2});
    const int r = static_cast<int>(std::lround(std::max(0.0, fitted)));
    int side = 0;
    const QPixmap piece = cornerPiece(r, color, b, side);
    if (piece.isNull()) return;
    const double margin = 2.0 * b;
    // The corner parts reach 1 point into the straight edges; the 2 points left in
    // the middle are all alike and stretch to any length.
    const double edge = margin + r + 1;
    const QRectF target = cardShadowBounds(card, b, offset);
    const double left = std::min(edge, target.width() / 2);
    const double top = std::min(edge, target.height() / 2);
    const double pw = piece.width();
    const double ph = piece.height();
    const double xs[4] = {0, edge, pw - edge, pw};
    const double ys[4] = {0, edge, ph - edge, ph};
    const double xt[4] = {target.left(), target.left() + left, target.right() - left,
                          target.right()};
    const double yt[4] = {target.top(), target.top() + top, target.bottom() - top, target.bottom()};
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF to(QPointF(xt[col], yt[row]), QPointF(xt[col + 1], yt[row + 1]));
            const QRectF from(QPointF(xs[col], ys[row]), QPointF(xs[col + 1], ys[row + 1]));
            if (to.width() <= 0 || to.height() <= 0) continue;
            painter.drawPixmap(to, piece, from);
        }
    }
    painter.restore();
}

void CardShadowPicture::paint(QPainter& painter, const QRectF& card, double radius,
                              const QColor& color, double blur, QPointF offset) {
    const QTransform device = painter.deviceTransform();
    const double ratio = device.m11();
    // Only a move and one pixel ratio keep the picture's pixels whole.
    if (device.type() > QTransform::TxScale || ratio <= 0 || device.m22() != ratio) {
        paintCardShadow(painter, card, radius, color, blur, offset);
        return;
    }
    const QRectF bounds = cardShadowBounds(card, std::ceil(std::clamp(blur, 0.0, 200.0)), offset);
    const QPointF at = device.map(bounds.topLeft());
    const QPointF whole(std::floor(at.x()), std::floor(at.y()));
    const Key key{card.size(), at - whole, radius, color.rgba(), blur, offset, ratio};
    if (!(key == m_key) || m_image.isNull()) {
        m_key = key;
        m_image = shadowPicture(card, radius, color, blur, offset, bounds, key.phase, ratio);
    }
    if (m_image.isNull()) return;
    painter.save();
    // Device pixel for device pixel: the picture's first pixel on `whole`.
    painter.setTransform(QTransform::fromTranslate(whole.x(), whole.y()) * device.inverted() *
                         painter.transform());
    painter.drawImage(QPointF(0, 0), m_image);
    painter.restore();
}

}  // namespace virirado
