#include "MapPaint.hpp"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "DazuPaint.hpp"
#include "Format.hpp"
#include "Glow.hpp"
#include "Palette.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

using map::CushionCase;

constexpr std::array<CushionCase, 6> kCases{CushionCase::ticked,   CushionCase::lookOnly,
                                            CushionCase::safe,     CushionCase::developer,
                                            CushionCase::machines, CushionCase::plain};

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// A rounded rectangle's outline stroked inside its edge, as a border of `width`.
void strokeInside(QPainter& p, const QRectF& r, double radius, const QBrush& brush, double width) {
    const double half = width / 2;
    const QRectF inner = r.adjusted(half, half, -half, -half);
    if (inner.width() <= 0 || inner.height() <= 0) return;
    p.setPen(QPen(brush, width));
    p.setBrush(Qt::NoBrush);
    const double rr = std::max(0.0, radius - half);
    p.drawRoundedRect(inner, rr, rr);
}

void paintLabels(QPainter& p, const map::CushionTile& tile, const QRectF& r, CushionCase which,
                 const TileInk& ink) {
    const map::TileLabels labels = map::tileLabels(r.width(), r.height(), tile.row->ticked);
    if (!labels.title) return;
    const QRectF box = r.adjusted(6, 4, -6, -4);
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    const QFontMetricsF tm(ink.title());
    const double titleHeight = tm.height();
    double titleRight = box.right();
    if (labels.check) {
        const QRectF glyph(box.right() - 11, box.top() + (titleHeight - 11) / 2, 11, 11);
        Symbols::paint(p, QStringLiteral("checkmark.circle.fill"), glyph,
                       withAlpha(ink.ink(which), 0.9));
        titleRight -= 11 + 4;
    }
    p.setFont(ink.title());
    p.setPen(ink.ink(which));
    const double titleWidth = std::max(0.0, titleRight - box.left());
    p.drawText(QRectF(box.left(), box.top(), titleWidth, titleHeight),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               tm.elidedText(qs(tile.title), Qt::ElideRight, titleWidth));
    if (labels.size) {
        const QFontMetricsF sm(ink.size());
        p.setFont(ink.size());
        p.setPen(ink.subInk(which));
        p.drawText(QRectF(box.left(), box.top() + titleHeight + 1, box.width(), sm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   sm.elidedText(qs(finderSize(tile.listed)), Qt::ElideRight, box.width()));
    }
    if (labels.subtitle) {
        const QFontMetricsF bm(ink.subtitle());
        p.setFont(ink.subtitle());
        p.setPen(withAlpha(ink.subInk(which), 0.85));
        p.drawText(QRectF(box.left(), box.bottom() - bm.height(), box.width(), bm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   bm.elidedText(qs(tile.subtitle), Qt::ElideRight, box.width()));
    }
    p.restore();
}

struct TooltipFonts {
    QFont title = Dazu::text(12, FontWeight::bold);
    QFont figures = Dazu::mono(11, Dazu::MonoFace::semibold);
    QFont footer = Dazu::text(10.5, FontWeight::regular);
};

}  // namespace

TileInk::TileInk(bool dark)
    : m_dark(dark),
      m_title(Dazu::text(11.5, FontWeight::bold)),
      m_size(Dazu::mono(10.5, Dazu::MonoFace::semibold)),
      m_subtitle(Dazu::text(9.5, FontWeight::semibold)) {
    for (CushionCase c : kCases) {
        const map::CushionPalette pal = map::cushionPalette(c);
        m_plain[index(c)] = map::cushionColours(c, dark, false);
        m_hovered[index(c)] = map::cushionColours(c, dark, true);
        m_ink[index(c)] = hexColor(pal.ink, dark);
        m_subInk[index(c)] = withAlpha(hexColor(pal.subInk, dark), pal.subInkOpacity);
    }
}

void shadeTile(QImage& image, qreal ratio, QPointF origin, const map::CushionTile& tile,
               CushionCase which, const TileInk& ink, bool hovered) {
    if (image.format() != QImage::Format_ARGB32_Premultiplied) return;
    const map::TileShape s = map::tileShape(tile.rect);
    const map::TileShape device{(s.x - origin.x()) * ratio, (s.y - origin.y()) * ratio, s.w * ratio,
                                s.h * ratio, s.radius * ratio};
    const map::PixelBuffer buffer{reinterpret_cast<std::uint32_t*>(image.bits()),
                                  static_cast<int>(image.bytesPerLine() / 4), image.width(),
                                  image.height()};
    map::shadeCushion(buffer, device, ink.shading(which, hovered));
}

void paintTileDecor(QPainter& p, const map::CushionTile& tile, CushionCase which,
                    const TileInk& ink, bool selected, bool hovered) {
    const map::TileShape s = map::tileShape(tile.rect);
    const QRectF r(s.x, s.y, s.w, s.h);
    switch (map::tileRing(selected, hovered)) {
        case map::TileRing::selected:
            paintSelectionRing(p, tile, ink);
            break;
        case map::TileRing::hover:
            strokeInside(p, r, s.radius, withAlpha(Qt::white, 0.85), 1.6);
            break;
        case map::TileRing::none:
            break;
    }
    if (tile.row != nullptr) paintLabels(p, tile, r, which, ink);
}

void paintSelectionRing(QPainter& p, const map::CushionTile& tile, const TileInk& ink) {
    const map::TileShape s = map::tileShape(tile.rect);
    const QRectF r(s.x, s.y, s.w, s.h);
    strokeInside(p, r, s.radius, Color(QString::fromLatin1(ink.dark() ? "#07192B" : "#FFFFFF")), 3);
    const QRectF ring = r.adjusted(1, 1, -1, -1);
    strokeInside(p, ring, std::max(s.radius - 1, 2.0), Color(QStringLiteral("#19B5C9")), 2);
}

QSizeF tooltipSize(const map::TooltipTexts&) {
    const TooltipFonts f;
    const double first = std::max(7.0, QFontMetricsF(f.title).height());
    const double height = 7 + first + 3 + QFontMetricsF(f.figures).height() + 3 +
                          QFontMetricsF(f.footer).height() + 7;
    return {map::kTooltipWidth, std::ceil(height)};
}

void paintTooltip(QPainter& p, const map::TooltipTexts& texts, QPointF origin, bool dark) {
    const TooltipFonts f;
    const Palette& pal = Palette::of(dark);
    const QSizeF size = tooltipSize(texts);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(origin);
    QPainterPath card;
    card.addRoundedRect(QRectF(QPointF(), size), 10, 10);
    paintGlow(p, card, withAlpha(Qt::black, 0.24), 10, QPointF(0, 4));
    p.fillPath(card, Color(QString::fromLatin1(dark ? "#12304B" : "#FFFFFF")));
    strokeInside(p, QRectF(QPointF(), size), 10, withAlpha(pal.accent, 0.55), 1);

    const double left = 10;
    const double width = size.width() - 20;
    double y = 7;
    const QFontMetricsF tm(f.title);
    const double first = std::max(7.0, tm.height());
    p.setPen(Qt::NoPen);
    p.setBrush(hexColor(texts.dot, dark));
    p.drawEllipse(QRectF(left, y + (first - 7) / 2, 7, 7));
    p.setFont(f.title);
    p.setPen(pal.text);
    p.drawText(QRectF(left + 13, y, width - 13, first),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               tm.elidedText(qs(texts.title), Qt::ElideRight, width - 13));
    y += first + 3;
    const QFontMetricsF fm(f.figures);
    p.setFont(f.figures);
    p.drawText(QRectF(left, y, width, fm.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               fm.elidedText(qs(texts.figures), Qt::ElideRight, width));
    y += fm.height() + 3;
    const QFontMetricsF om(f.footer);
    p.setFont(f.footer);
    p.setPen(hexColor(texts.footerColour, dark));
    p.drawText(QRectF(left, y, width, om.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               om.elidedText(qs(texts.footer), Qt::ElideRight, width));
    p.restore();
}

void paintScanBand(QPainter& p, double width, double height, double t) {
    const Palette& pal = Palette::of(false);
    const QRectF band(map::scanBandX(width, t), 0, map::kBandWidth, height);
    QLinearGradient g(band.topLeft(), band.topRight());
    g.setColorAt(0, Qt::transparent);
    g.setColorAt(1.0 / 3, withAlpha(pal.accent, 0.18));
    g.setColorAt(2.0 / 3, withAlpha(pal.orange, 0.16));
    g.setColorAt(1, Qt::transparent);
    p.fillRect(band, g);
}

}  // namespace virirado
