#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "VornFish.hpp"

namespace virirado {
namespace {

QImage fish(QSize size, bool dark) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintVornFish(p, QRectF(QPointF(), QSizeF(size)), dark);
    return image;
}

// Within a couple of steps of the colour: edges are anti-aliased, centres are not.
bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2 && a.alpha() == 255;
}

TEST(VornFish, DesignSizeDrawsAtDesignCoordinates) {
    const QImage light = fish({296, 140}, false);
    EXPECT_TRUE(near(light.pixelColor(130, 91), QColor("#FF7A2F")));   // stripe
    EXPECT_TRUE(near(light.pixelColor(130, 112), QColor("#06233F")));  // body
    EXPECT_TRUE(near(light.pixelColor(160, 50), QColor("#0A6CD4")));   // sail
    EXPECT_TRUE(near(light.pixelColor(260, 90), QColor("#06233F")));   // bill
    EXPECT_EQ(light.pixelColor(5, 5).alpha(), 0);                      // nothing at the corner
    EXPECT_EQ(light.pixelColor(150, 135).alpha(), 0);                  // nor under the belly

    const QImage dark = fish({296, 140}, true);
    EXPECT_TRUE(near(dark.pixelColor(130, 91), QColor("#FF8A3D")));
    EXPECT_TRUE(near(dark.pixelColor(130, 112), QColor("#E6F0F2")));
    EXPECT_TRUE(near(dark.pixelColor(160, 50), QColor("#5FD3F0")));
}

TEST(VornFish, SquareCanvasKeepsProportionsCentred) {
    const QImage square = fish({140, 140}, false);
    const double s = 140.0 / 296.0;
    const double top = (140 - 140 * s) / 2;
    auto at = [&](double x, double y) {
        return square.pixelColor(static_cast<int>(x * s), static_cast<int>(top + y * s));
    };
    EXPECT_TRUE(near(at(130, 91), QColor("#FF7A2F")));
    EXPECT_TRUE(near(at(130, 114), QColor("#06233F")));
    // The margins above and below stay empty.
    for (int x = 0; x < 140; x += 7) {
        EXPECT_EQ(square.pixelColor(x, static_cast<int>(top) - 2).alpha(), 0);
        EXPECT_EQ(square.pixelColor(x, static_cast<int>(140 - top) + 2).alpha(), 0);
    }
}

TEST(VornFish, EmptyCanvasDrawsNothing) {
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintVornFish(p, QRectF(0, 0, 0, 10), false);
    p.end();
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(image.pixelColor(x, y).alpha(), 0);
    }
}

TEST(VornFish, MascotBobsWithinItsBounds) {
    EXPECT_NEAR(vornBob(0).x(), 0, 1e-12);
    const double peak = (3.14159265358979 / 2) / 1.3;
    EXPECT_NEAR(vornBob(peak).x(), 2.5, 1e-9);
    for (double t = 0; t < 20; t += 0.37)
        EXPECT_LE(std::abs(vornBob(t).y()), 1.2 + 1e-12);
}

}  // namespace
}  // namespace virirado
