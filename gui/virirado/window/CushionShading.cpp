#include "CushionShading.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace virirado::map {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Premultiplied channels, for blending the way a painter does.
struct Premul {
    float r = 0, g = 0, b = 0, a = 0;
};

inline Premul premul(Rgba c) {
    return {c.r * c.a, c.g * c.a, c.b * c.a, c.a};
}

inline Premul lerp(const Premul& x, const Premul& y, float t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
            x.a + (y.a - x.a) * t};
}

// `top` over `under`, both premultiplied.
inline Premul over(const Premul& top, const Premul& under) {
    const float k = 1 - top.a;
    return {top.r + under.r * k, top.g + under.g * k, top.b + under.b * k, top.a + under.a * k};
}

inline Premul scaled(const Premul& c, float k) {
    return {c.r * k, c.g * k, c.b * k, c.a * k};
}

inline Premul unpack(std::uint32_t v) {
    constexpr float k = 1.0f / 255;
    return {static_cast<float>((v >> 16) & 0xFF) * k, static_cast<float>((v >> 8) & 0xFF) * k,
            static_cast<float>(v & 0xFF) * k, static_cast<float>(v >> 24) * k};
}

inline std::uint32_t pack(const Premul& c) {
    auto byte = [](float v) {
        return static_cast<std::uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255 + 0.5f);
    };
    const std::uint32_t a = byte(c.a);
    // Rounding must never leave a channel above its alpha.
    auto channel = [&](float v) { return std::min(byte(v), a); };
    return a << 24 | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

// How much of a pixel the shape covers (`shape`) and how much the shape 1 point
// in covers (`inner`), from the pixel centre's offsets beyond the straight
// parts of the outline (qx, qy). Along the sides the two axes multiply, which is
// exact for a rectangle; in a rounded corner the distance to its arc decides.
struct Cover {
    float shape = 0;
    float inner = 0;
};

inline Cover cover(float qx, float qy, float radius) {
    if (qx > 0 && qy > 0) {
        const float d = std::sqrt(qx * qx + qy * qy) - radius;
        return {std::clamp(0.5f - d, 0.0f, 1.0f), std::clamp(-0.5f - d, 0.0f, 1.0f)};
    }
    const float ex = qx - radius;
    const float ey = qy - radius;
    return {std::clamp(0.5f - ex, 0.0f, 1.0f) * std::clamp(0.5f - ey, 0.0f, 1.0f),
            std::clamp(-0.5f - ex, 0.0f, 1.0f) * std::clamp(-0.5f - ey, 0.0f, 1.0f)};
}

float cornerRadius(const TileShape& s) {
    return static_cast<float>(std::clamp(s.radius, 0.0, std::min(s.w, s.h) / 2));
}

bool usable(const TileShape& s) {
    return std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.w) && std::isfinite(s.h) &&
           std::isfinite(s.radius) && s.w > 0 && s.h > 0;
}

}  // namespace

Rgba rgbaOfHex(const char* hex) {
    if (hex == nullptr || std::strlen(hex) != 7 || hex[0] != '#') return {};
    float channels[3];
    for (int i = 0; i < 3; ++i) {
        const int hi = hexDigit(hex[1 + 2 * i]);
        const int lo = hexDigit(hex[2 + 2 * i]);
        if (hi < 0 || lo < 0) return {};
        channels[i] = static_cast<float>(hi * 16 + lo) / 255;
    }
    return {channels[0], channels[1], channels[2], 1};
}

Rgba withOpacity(Rgba colour, double opacity) {
    colour.a *= static_cast<float>(std::clamp(opacity, 0.0, 1.0));
    return colour;
}

CushionColours cushionColours(CushionCase which, bool dark, bool hovered) {
    const CushionPalette p = cushionPalette(which);
    CushionColours c;
    c.top = rgbaOfHex(p.top.pick(dark));
    c.mid = rgbaOfHex(p.mid.pick(dark));
    c.bottom = rgbaOfHex(p.bottom.pick(dark));
    c.edgeFrom = withOpacity({1, 1, 1, 1}, dark ? 0.28 : 0.50);
    c.edgeTo = withOpacity({0, 0, 0, 1}, dark ? 0.34 : 0.14);
    c.highlight = highlightOpacity(hovered, dark);
    return c;
}

double coverage(double px, double py, const TileShape& shape) {
    if (!usable(shape)) return 0;
    const float r = cornerRadius(shape);
    const auto qx = static_cast<float>(std::abs(px - (shape.x + shape.w / 2)) - shape.w / 2) + r;
    const auto qy = static_cast<float>(std::abs(py - (shape.y + shape.h / 2)) - shape.h / 2) + r;
    return cover(qx, qy, r).shape;
}

double diagonal(double px, double py, const TileShape& s) {
    if (!usable(s)) return 0;
    // The point's place along the line from the top left to the bottom right
    // corner, measured in points: lines of one shade stand square to that line,
    // so on a wide tile the shade changes along its length, not across it.
    const double along = (px - s.x) * s.w + (py - s.y) * s.h;
    return std::clamp(along / (s.w * s.w + s.h * s.h), 0.0, 1.0);
}

void shadeCushion(PixelBuffer buffer, const TileShape& s, const CushionColours& colours) {
    if (!usable(s) || buffer.pixels == nullptr) return;
    const int x0 = static_cast<int>(std::max(0.0, std::floor(s.x)));
    const int y0 = static_cast<int>(std::max(0.0, std::floor(s.y)));
    const int x1 = static_cast<int>(std::min<double>(buffer.width, std::ceil(s.x + s.w)));
    const int y1 = static_cast<int>(std::min<double>(buffer.height, std::ceil(s.y + s.h)));
    // Single precision is plenty within one tile: work relative to its centre.
    const auto halfW = static_cast<float>(s.w / 2);
    const auto halfH = static_cast<float>(s.h / 2);
    const float radius = cornerRadius(s);
    const auto centreX = s.x + s.w / 2;
    const auto centreY = s.y + s.h / 2;
    // The fill's place along the diagonal, as `diagonal` measures it.
    const auto w = static_cast<float>(s.w);
    const auto h = static_cast<float>(s.h);
    const float invLength2 = 1 / (w * w + h * h);
    // The edge is the band between the outline and the outline 1 point in (whose
    // corners share their centres with the outline's).
    const bool hasInner = s.w > 2 && s.h > 2;
    const auto reach = static_cast<float>(0.78 * std::max(s.w, s.h));
    const float invReach = reach > 0 ? 1 / reach : 0;
    // The highlight's centre, relative to the tile's centre.
    const float hx = -0.25f * static_cast<float>(s.w);
    const float hy = -0.3f * static_cast<float>(s.h);
    const Premul top = premul(colours.top), mid = premul(colours.mid);
    const Premul bottom = premul(colours.bottom);
    const Premul edgeFrom = premul(colours.edgeFrom), edgeTo = premul(colours.edgeTo);
    const auto highlight = static_cast<float>(std::clamp(colours.highlight, 0.0, 1.0));
    for (int y = y0; y < y1; ++y) {
        std::uint32_t* row = buffer.pixels + static_cast<std::ptrdiff_t>(y) * buffer.stride;
        const auto py = static_cast<float>(y + 0.5 - centreY);
        const float qy = std::abs(py) - (halfH - radius);
        const float alongY = (py + halfH) * h;
        const float dy = py - hy;
        for (int x = x0; x < x1; ++x) {
            const auto px = static_cast<float>(x + 0.5 - centreX);
            const Cover c = cover(std::abs(px) - (halfW - radius), qy, radius);
            const float cov = c.shape;
            if (cov <= 0) continue;
            const float t = std::clamp(((px + halfW) * w + alongY) * invLength2, 0.0f, 1.0f);
            Premul p = scaled(t < 0.5f ? lerp(top, mid, t * 2) : lerp(mid, bottom, t * 2 - 1), cov);
            const float dx = px - hx;
            const float fall = 1 - std::sqrt(dx * dx + dy * dy) * invReach;
            const float light = highlight * std::max(0.0f, fall) * cov;
            p = over({light, light, light, light}, p);
            const float band = cov - (hasInner ? c.inner : 0.0f);
            if (band > 0) p = over(scaled(lerp(edgeFrom, edgeTo, t), band), p);
            row[x] = pack(row[x] == 0 ? p : over(p, unpack(row[x])));
        }
    }
}

}  // namespace virirado::map
