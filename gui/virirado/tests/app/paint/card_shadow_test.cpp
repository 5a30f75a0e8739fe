#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <string>

#include "CardShadow.hpp"

namespace virirado {
namespace {

struct Card {
    QRectF rect;
    double radius;
    QColor color;
    double blur;
    QPointF offset;
};

QImage canvas(double ratio) {
    QImage image(QSize(360, 240) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor("#F4F8FA"));
    return image;
}

bool whole(double v) {
    return v == std::floor(v);
}

// The first pixel where two pictures differ by more than `tolerance` steps of a
// channel, empty when none does.
std::string firstDifference(const QImage& a, const QImage& b, int tolerance) {
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb u = a.pixel(x, y);
            const QRgb v = b.pixel(x, y);
            if (std::abs(qRed(u) - qRed(v)) > tolerance ||
                std::abs(qGreen(u) - qGreen(v)) > tolerance ||
                std::abs(qBlue(u) - qBlue(v)) > tolerance)
                return "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       a.pixelColor(x, y).name(QColor::HexArgb).toStdString() + " against " +
                       b.pixelColor(x, y).name(QColor::HexArgb).toStdString();
        }
    }
    return {};
}

// One kept picture through cards that change one thing at a time, as a card
// that opens, widens, moves by part of a pixel or changes colour does: each
// time it paints what stretching the pieces paints, inside and outside a clip.
// A card on whole points gives the same pixels; one between them (a frame of
// the opening) may round a channel a step or two the other way, as the picture
// is rounded once before it is laid down.
TEST(CardShadowPicture, PaintsWhatTheStretchedPiecesPaintAsTheCardChanges) {
    const Card cards[] = {
        {{40, 30, 260, 51}, 13, QColor(0, 0, 0, 10), 14, {0, 5}},
        {{40, 30, 260, 51}, 13, QColor(0, 0, 0, 10), 14, {0, 5}},
        {{40, 30, 220, 51}, 13, QColor(0, 0, 0, 10), 14, {0, 5}},
        {{40, 30, 220, 120.4}, 15.5, QColor(25, 181, 201, 46), 18.6, {0, 3.2}},
        {{40.5, 30.25, 220, 120.4}, 15.5, QColor(25, 181, 201, 46), 18.6, {0, 3.2}},
        {{40, 30, 220, 120}, 16, QColor(0, 0, 0, 20), 22, {0, 0}},
        {{40, 30, 220, 120}, 16, QColor(25, 181, 201, 46), 22, {0, 0}},
        {{60, 60, 8, 6}, 13, QColor(0, 0, 0, 40), 10, {0, 2}},
    };
    for (const double ratio : {1.0, 2.0}) {
        CardShadowPicture picture;
        for (const Card& c : cards) {
            for (const bool clipped : {false, true}) {
                QImage direct = canvas(ratio);
                QImage kept = canvas(ratio);
                {
                    QPainter p(&direct);
                    QPainter q(&kept);
                    for (QPainter* painter : {&p, &q}) {
                        painter->setRenderHint(QPainter::Antialiasing);
                        if (clipped) painter->setClipRect(QRect(30, 70, 150, 90));
                    }
                    paintCardShadow(p, c.rect, c.radius, c.color, c.blur, c.offset);
                    picture.paint(q, c.rect, c.radius, c.color, c.blur, c.offset);
                }
                const bool onWholePoints = whole(c.rect.x()) && whole(c.rect.y()) &&
                                           whole(c.rect.width()) && whole(c.rect.height()) &&
                                           whole(c.offset.y()) && whole(c.blur);
                EXPECT_EQ(firstDifference(direct, kept, onWholePoints ? 0 : 2), "")
                    << "ratio " << ratio << ", card " << c.rect.width() << " by " << c.rect.height()
                    << " at " << c.rect.x() << "," << c.rect.y() << (clipped ? ", clipped" : "");
            }
        }
    }
}

// The middle left out of the shadow must be covered whole by the card itself,
// or the shadow would show cut where the card's smoothed edge lets it through.
TEST(CardShadow, HiddenCoreLiesWhereTheCardCoversEveryPixel) {
    const QRectF cards[] = {
        {10, 10, 300, 51}, {10.5, 10.25, 300, 180.6}, {20, 20, 30, 30}, {20, 20, 4, 3}};
    for (const QRectF& card : cards) {
        for (const double radius : {0.0, 4.0, 13.0, 22.0, 500.0}) {
            QImage image(360, 240, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter p(&image);
                p.setRenderHint(QPainter::Antialiasing);
                const double r = std::min({radius, card.width() / 2, card.height() / 2});
                QPainterPath path;
                path.addRoundedRect(card, r, r);
                p.fillPath(path, Qt::black);
            }
            const QRegion core = cardHiddenCore(card, radius);
            int covered = 0;
            for (const QRect& part : core) {
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    for (int x = part.left(); x <= part.right(); ++x) {
                        if (qAlpha(image.pixel(x, y)) == 255) ++covered;
                    }
                }
            }
            int area = 0;
            for (const QRect& part : core)
                area += part.width() * part.height();
            EXPECT_EQ(covered, area)
                << "card " << card.width() << " by " << card.height() << ", radius " << radius;
            // A bar-sized card leaves out most of its middle.
            if (card.width() >= 100 && card.height() >= 50 && radius <= 22) {
                EXPECT_GT(area, card.width() * card.height() / 3)
                    << "card " << card.width() << ", radius " << radius;
            }
        }
    }
}

}  // namespace
}  // namespace virirado
