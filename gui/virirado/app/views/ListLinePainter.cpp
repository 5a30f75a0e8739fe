#include "ListLinePainter.hpp"

#include <QPainter>
#include <QPainterPath>

#include "Glow.hpp"
#include "Palette.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

namespace virirado::ListPaint {

namespace {

constexpr double kCircle = 18;
constexpr double kCircleBorder = 1.5;
// The glyph boxes are larger than the point sizes: the glyphs leave room
// around themselves in their box, as symbol fonts do not.
constexpr double kTickGlyph = 13;

Fonts make() {
    const QFont caption = Dazu::kerned(Dazu::text(10, FontWeight::semibold), 0.8);
    const QFont title = Dazu::display(14.5, 700);
    const QFont count = Dazu::mono(10.5, Dazu::MonoFace::semibold);
    const QFont groupFigure = Dazu::mono(13.5, Dazu::MonoFace::semibold);
    const QFont name = Dazu::text(12.5, FontWeight::medium);
    const QFont badgeFont = Dazu::kerned(Dazu::text(8.5, FontWeight::bold), 0.6);
    const QFont figure = Dazu::mono(12.5, Dazu::MonoFace::medium);
    return Fonts{caption,
                 title,
                 count,
                 groupFigure,
                 name,
                 badgeFont,
                 figure,
                 QFontMetricsF(caption),
                 QFontMetricsF(title),
                 QFontMetricsF(count),
                 QFontMetricsF(groupFigure),
                 QFontMetricsF(name),
                 QFontMetricsF(badgeFont),
                 QFontMetricsF(figure)};
}

// A capsule `width` wide and `height` high, vertically centred in `box` at its left.
QRectF capsuleIn(const QRectF& box, double width, double height) {
    return {box.left(), box.center().y() - height / 2, width, height};
}

}  // namespace

const Fonts& Fonts::get() {
    static const Fonts fonts = make();
    return fonts;
}

QColor colour(const Tint& tint) {
    return withAlpha(Color(QString::fromLatin1(tint.hex.data(), static_cast<int>(tint.hex.size()))),
                     tint.opacity);
}

QColor colour(const TintPair& pair, bool dark) {
    return colour(pair.of(dark));
}

QString oneLine(const std::string& text) {
    QString s = QString::fromStdString(text);
    for (QChar& c : s) {
        if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
    }
    return s;
}

void textAt(QPainter& p, const QFont& font, const QFontMetricsF& metrics, double x,
            const QRectF& line, const QString& text) {
    p.setFont(font);
    const double baseline = line.center().y() + (metrics.ascent() - metrics.descent()) / 2;
    p.drawText(QPointF(x, baseline), text);
}

void textRightAt(QPainter& p, const QFont& font, const QFontMetricsF& metrics, double right,
                 const QRectF& line, const QString& text) {
    textAt(p, font, metrics, right - metrics.horizontalAdvance(text), line, text);
}

void tickCircle(QPainter& p, QPointF centre, const TickLook& look, bool dark) {
    const Palette& pal = Palette::of(dark);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(look.enabled ? 1.0 : 0.35);
    const QRectF outer(centre.x() - kCircle / 2, centre.y() - kCircle / 2, kCircle, kCircle);
    if (look.on && dark) {
        QPainterPath disc;
        disc.addEllipse(outer);
        paintGlow(p, disc, withAlpha(pal.orange, 0.45), 8);
    }
    QColor fill = Qt::transparent;
    if (look.on) {
        fill = pal.orange;
    } else if (look.partial) {
        fill = withAlpha(pal.orange, 0.22);
    }
    const QColor border = look.on || look.partial ? pal.orange : withAlpha(pal.secondary, 0.7);
    const double inset = kCircleBorder / 2;
    p.setPen(QPen(border, kCircleBorder));
    p.setBrush(fill);
    p.drawEllipse(outer.adjusted(inset, inset, -inset, -inset));
    const QRectF glyph(centre.x() - kTickGlyph / 2, centre.y() - kTickGlyph / 2, kTickGlyph,
                       kTickGlyph);
    if (look.on) {
        Symbols::paint(p, QStringLiteral("checkmark"), glyph, pal.ink);
    } else if (look.partial) {
        Symbols::paint(p, QStringLiteral("minus"), glyph, pal.pick("#B8440C", "#FFA552"));
    }
    p.restore();
}

void treeGuide(QPainter& p, const QRectF& box, bool last, const QColor& colour) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.2));
    const double x = box.left() + 7;
    const double mid = box.top() + box.height() / 2;
    p.drawLine(QPointF(x, box.top()), QPointF(x, last ? mid : box.bottom()));
    p.drawLine(QPointF(x, mid), QPointF(box.left() + box.width() - 2, mid));
    p.restore();
}

double badgeWidth(const QString& word) {
    return Fonts::get().badgeMetrics.horizontalAdvance(word) + 12;
}

void badge(QPainter& p, const QRectF& box, const QString& word, BadgeTone tone, bool dark) {
    const Fonts& f = Fonts::get();
    const QRectF capsule = capsuleIn(box, box.width(), f.badgeMetrics.height() + 4);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour(badgeFill(tone), dark));
    p.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    p.setFont(f.badge);
    p.setPen(colour(badgeText(tone), dark));
    p.drawText(capsule, Qt::AlignCenter, word);
    p.restore();
}

double countWidth(const QString& count) {
    return Fonts::get().countMetrics.horizontalAdvance(count) + 12;
}

void countCapsule(QPainter& p, const QRectF& box, const QString& count, bool dark) {
    const Fonts& f = Fonts::get();
    const QColor ink = Palette::of(dark).secondary;
    const QRectF capsule = capsuleIn(box, box.width(), f.countMetrics.height() + 3);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(ink, 0.13));
    p.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    p.setFont(f.count);
    p.setPen(ink);
    p.drawText(capsule, Qt::AlignCenter, count);
    p.restore();
}

}  // namespace virirado::ListPaint
