#include "Theme.hpp"

#include <cmath>
#include <cstdint>

#include "Numeric.hpp"

namespace virirado {

namespace {

// A hex number read from the start of a text the way the platform's scanner
// reads one: white space skipped, an optional 0x, overflow pinned at the top.
uint64_t scanHex(const QString& text) {
    int i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        i += 2;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        if (digit < 0) break;
        if (value > (UINT64_MAX >> 4)) overflow = true;
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    return overflow ? UINT64_MAX : value;
}

int cssWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::ultraLight:
            return 100;
        case FontWeight::thin:
            return 200;
        case FontWeight::light:
            return 300;
        case FontWeight::medium:
            return 500;
        case FontWeight::semibold:
            return 600;
        case FontWeight::bold:
            return 700;
        case FontWeight::heavy:
            return 800;
        case FontWeight::black:
            return 900;
        default:
            return 400;
    }
}

// Whole sizes as pixels; fractional ones through points at 96 logical dpi.
void setSize(QFont& font, double size) {
    if (size > 0 && size == std::floor(size) && size < 10000) {
        font.setPixelSize(static_cast<int>(size));
    } else if (size > 0 && std::isfinite(size)) {
        font.setPointSizeF(size * 72.0 / 96.0);
    }
}

QFont aileron(double size, long long weight) {
    QFont font(QStringLiteral("Aileron"));
    const QString face = Dazu::faceFor(weight);
    if (face.endsWith(u"Heavy")) {
        // The Heavy face declares weight 900: asked for 800, Qt picks Bold, as near.
        font.setWeight(QFont::Black);
    } else if (face.endsWith(u"-Bold")) {
        font.setWeight(QFont::Bold);
    } else if (face.endsWith(u"SemiBold")) {
        font.setWeight(QFont::DemiBold);
    } else {
        font.setWeight(QFont::Normal);
    }
    setSize(font, size);
    return font;
}

}  // namespace

QColor Color(const QString& hex) {
    const QString rest = hex.startsWith(u'#') ? hex.mid(1) : hex;
    const uint64_t v = scanHex(rest);
    return QColor::fromRgb(static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                           static_cast<int>(v & 0xFF));
}

namespace Dazu {

QString faceFor(long long weight) {
    if (weight < 501) return QStringLiteral("Aileron-Regular");
    if (weight <= 650) return QStringLiteral("Aileron-SemiBold");
    if (weight <= 749) return QStringLiteral("Aileron-Bold");
    return QStringLiteral("Aileron-Heavy");
}

QFont text(double size, FontWeight weight) {
    return aileron(size, cssWeight(weight));
}

QFont display(double size, double weight) {
    // A weight that is no number at all draws as regular.
    return aileron(size, durozizo::clampToInt64(weight, 400));
}

QFont mono(double size, MonoFace face) {
    QFont font(QStringLiteral("IBM Plex Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setWeight(face == MonoFace::semibold ? QFont::DemiBold : QFont::Medium);
    setSize(font, size);
    return font;
}

QFont kerned(QFont font, double spacing) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return font;
}

}  // namespace Dazu

}  // namespace virirado
