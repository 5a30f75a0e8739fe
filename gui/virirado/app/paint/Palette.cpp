#include "Palette.hpp"

#include "Theme.hpp"

namespace virirado {

namespace {

Palette make(bool dark) {
    auto c = [dark](const char* light, const char* darkHex) {
        return Color(QString::fromLatin1(dark ? darkHex : light));
    };
    Palette p;
    p.dark = dark;
    p.text = c("#102A43", "#E6F1F8");
    p.secondary = c("#4F6B82", "#9DB7CC");
    p.title = c("#0F2A47", "#F4F9FC");
    p.card = c("#FFFFFF", "#0D2238");
    p.outline = c("#E3E9EF", "#1E3B58");
    p.accent = c("#19B5C9", "#19B5C9");
    p.accentText = c("#0E7F90", "#19B5C9");
    p.orange = c("#FF7A2F", "#FF7A2F");
    p.ink = c("#241000", "#241000");
    p.window = c("#FFFFFF", "#07192B");
    p.sheet = c("#FFFFFF", "#12304B");
    p.checkInk = c("#B8440C", "#FFA552");
    p.selection = c("#E8F7F9", "#0F2A40");
    p.pale = c("#E8F7F9", "#0D2238");
    p.liveRed = QColor::fromRgbF(0.84f, 0.13f, 0.13f);
    return p;
}

}  // namespace

const Palette& Palette::of(bool dark) {
    static const Palette light = make(false);
    static const Palette night = make(true);
    return dark ? night : light;
}

QColor Palette::pick(const char* lightHex, const char* darkHex) const {
    return Color(QString::fromLatin1(dark ? darkHex : lightHex));
}

QColor withAlpha(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

}  // namespace virirado
