#include "Glow.hpp"

#include <QGraphicsDropShadowEffect>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

namespace virirado {

namespace {

// One pass of a box blur of half-width r along a row or column of `n` pixels
// that lie `step` apart, on all four channels.
void boxPass(uchar* first, int n, int step, int r) {
    if (r <= 0 || n <= 1) return;
    std::vector<uint32_t> copy(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        copy[static_cast<std::size_t>(i)] = *reinterpret_cast<uint32_t*>(first + i * step);
    const int width = 2 * r + 1;
    for (int channel = 0; channel < 4; ++channel) {
        const int shift = channel * 8;
        auto at = [&](int i) -> int {
            if (i < 0 || i >= n) return 0;
            return static_cast<int>((copy[static_cast<std::size_t>(i)] >> shift) & 0xFF);
        };
        int sum = 0;
        for (int i = -r; i <= r; ++i)
            sum += at(i);
        for (int i = 0; i < n; ++i) {
            auto* px = reinterpret_cast<uint32_t*>(first + i * step);
            const auto v = static_cast<uint32_t>(sum / width);
            *px = (*px & ~(0xFFu << shift)) | (v << shift);
            sum += at(i + r + 1) - at(i - r);
        }
    }
}

void blur(QImage& image, double radius) {
    // Three box passes come close to a gaussian of sigma about radius / 2.
    const double sigma = std::max(radius / 2.0, 0.5);
    const int r =
        std::max(1, static_cast<int>(std::lround((std::sqrt(4.0 * sigma * sigma + 1) - 1) / 2)));
    const int w = image.width();
    const int h = image.height();
    const int line = static_cast<int>(image.bytesPerLine());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            boxPass(image.scanLine(y), w, 4, r);
        for (int x = 0; x < w; ++x)
            boxPass(image.bits() + x * 4, h, line, r);
    }
}

QString cacheKey(const QPainterPath& shape, const QColor& color, double radius) {
    size_t seed = 0;
    for (int i = 0; i < shape.elementCount(); ++i) {
        const auto e = shape.elementAt(i);
        seed = qHashMulti(seed, e.type, std::lround(e.x * 16), std::lround(e.y * 16));
    }
    return QStringLiteral("glow:%1:%2:%3").arg(seed).arg(color.rgba()).arg(radius);
}

}  // namespace

QImage glowImage(const QPainterPath& shape, const QColor& color, double radius) {
    const double margin = std::max(radius, 0.0) * 2;
    const QRectF bounds = shape.boundingRect().adjusted(-margin, -margin, margin, margin);
    const QSize size(static_cast<int>(std::ceil(bounds.width())),
                     static_cast<int>(std::ceil(bounds.height())));
    if (size.isEmpty() || size.width() > 8000 || size.height() > 8000) return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(-bounds.topLeft());
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(shape);
    }
    blur(image, radius);
    return image;
}

void paintGlow(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius,
               QPointF offset) {
    if (color.alpha() == 0) return;
    const QString key = cacheKey(shape, color, radius);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        const QImage image = glowImage(shape, color, radius);
        if (image.isNull()) return;
        pixmap = QPixmap::fromImage(image);
        QPixmapCache::insert(key, pixmap);
    }
    const double margin = std::max(radius, 0.0) * 2;
    painter.drawPixmap(shape.boundingRect().topLeft() - QPointF(margin, margin) + offset, pixmap);
}

void setWidgetGlow(QWidget* widget, const QColor& color, double radius) {
    if (widget == nullptr) return;
    if (color.alpha() == 0 || radius <= 0) {
        widget->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsDropShadowEffect*>(widget->graphicsEffect());
    if (effect == nullptr) {
        effect = new QGraphicsDropShadowEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    // Qt's blur radius spans about twice the shadow's spread.
    effect->setBlurRadius(radius * 2);
    effect->setColor(color);
    effect->setOffset(0, 0);
}

}  // namespace virirado
