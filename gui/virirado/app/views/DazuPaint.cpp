#include "DazuPaint.hpp"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "Glow.hpp"
#include "Palette.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

QPainterPath polyline(const std::vector<dazu::PlotPoint>& points, double dx = 0, double dy = 0) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(points.front().x + dx, points.front().y + dy);
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i].x + dx, points[i].y + dy);
    return path;
}

QColor lineColour(bool dark) {
    return Color(QString::fromLatin1(dark ? "#19B5C9" : "#FFFFFF"));
}

QColor waveColour(bool dark) {
    return Color(QString::fromLatin1(dark ? "#19B5C9" : "#5CCFDD"));
}

QFont headerTitleFont() {
    return Dazu::kerned(Dazu::text(10, FontWeight::bold), 0.8);
}

// The swimming fish with its glow, centred on the origin of the painter.
void paintSwimmer(QPainter& p, const dazu::SwimmingFish& fish, bool dark) {
    const QColor orange = Palette::of(dark).orange;
    p.save();
    p.translate(fish.centre.x, fish.centre.y);
    p.rotate(fish.angleDegrees);
    // The glow follows the fish's body; blurred six points, its exact outline
    // does not show, and one shape at the origin is blurred once and reused.
    QPainterPath body;
    body.addEllipse(QPointF(0, 0.6), 12.5, 3.6);
    paintGlow(p, body, withAlpha(orange, 0.55), 6);
    paintVornFish(p, QRectF(-14, -7, 28, 14), dark);
    p.restore();
}

void paintWake(QPainter& p, const dazu::SwimmingFish& fish, bool dark) {
    QRectF wake(0, 0, 48, 4);
    wake.moveCenter(QPointF(fish.wakeCentre.x, fish.wakeCentre.y));
    QLinearGradient g(wake.topLeft(), wake.topRight());
    g.setColorAt(0, Qt::transparent);
    g.setColorAt(0.5, withAlpha(Palette::of(dark).orange, 0.55));
    g.setColorAt(1, withAlpha(waveColour(dark), 0.75));
    QPainterPath capsule;
    capsule.addRoundedRect(wake, 2, 2);
    p.fillPath(capsule, g);
}

}  // namespace

double DazuBarState::openClamped() const {
    return std::clamp(std::isfinite(open) ? open : 0.0, 0.0, 1.0);
}

double DazuBarState::barHeight() const {
    return 26 + (10 - 26) * openClamped();
}

QColor hexColor(const dazu::HexPair& pair, bool dark) {
    return Color(QString::fromLatin1(pair.pick(dark)));
}

bool hasSegments(const DazuBarState& state) {
    for (const MorphSegment& s : state.segments) {
        if (s.at(state.widthProgress) > 0) return true;
    }
    return false;
}

void paintSegments(QPainter& p, const DazuBarState& s, double width, double height) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QColor separator = Color(QString::fromLatin1(s.dark ? "#07192B" : "#FFFFFF"));
    const QColor accent = Palette::of(s.dark).accent;
    double x = 0;
    const MorphSegment* last = nullptr;
    double lastWidth = 0;
    for (const MorphSegment& seg : s.segments) {
        const double w = std::max(0.0, width * seg.at(s.widthProgress));
        if (!(w > 0)) continue;
        const QRectF r(x, 0, w, height);
        const dazu::SegmentFill fill = dazu::segmentFill(seg.piece.role);
        if (fill.fillEnd) {
            QLinearGradient g(r.topLeft(), r.topRight());
            g.setColorAt(0, hexColor(fill.fill, s.dark));
            g.setColorAt(1, hexColor(*fill.fillEnd, s.dark));
            p.fillRect(r, g);
            if (!s.scanning && !s.expanded) paintWaterTexture(p, r, s.dark);
        } else {
            p.fillRect(r, hexColor(fill.fill, s.dark));
        }
        const double sep = dazu::separatorWidth(seg.piece.role, w);
        if (sep > 0) p.fillRect(QRectF(r.right() - sep, 0, sep, height), separator);
        const double ring = dazu::segmentRingWeight(seg.piece, s.selectionFrom, s.selection,
                                                    s.selectionProgress, s.expanded);
        if (ring > 0) {
            p.setPen(QPen(withAlpha(accent, ring), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(1, 1, -1, -1));
            p.setPen(Qt::NoPen);
        }
        last = &seg;
        lastWidth = w;
        x += w;
    }
    if (last != nullptr) {
        const auto fish = dazu::restingFish({last->piece}, {{0, lastWidth}}, s.expanded, s.scanning,
                                            width, height);
        if (fish) paintVornFish(p, QRectF(fish->x - 13, fish->y - 6.5, 26, 13), s.dark);
    }
    p.restore();
}

void paintScanningEmptyBar(QPainter& p, const QRectF& bar, bool dark) {
    QLinearGradient g(bar.topLeft(), bar.topRight());
    g.setColorAt(0, withAlpha(Color(QString::fromLatin1(dark ? "#1C3D5E" : "#0F2A47")), 0.55));
    g.setColorAt(0.5, withAlpha(Color(QString::fromLatin1(dark ? "#0E7F90" : "#19B5C9")), 0.45));
    g.setColorAt(1, withAlpha(Color(QString::fromLatin1(dark ? "#19B5C9" : "#5CCFDD")), 0.65));
    p.fillRect(bar, g);
}

void paintScanOverlay(QPainter& p, const QRectF& bar, const DazuBarState& s, double t) {
    const double w = bar.width();
    const double h = bar.height();
    const Palette& pal = Palette::of(s.dark);
    p.save();
    p.translate(bar.topLeft());
    p.setRenderHint(QPainter::Antialiasing);
    if (s.reduceMotion) {
        p.fillRect(QRectF(0, 0, dazu::staticBlockWidth(w, s.pct), h), withAlpha(pal.accent, 0.22));
        p.restore();
        return;
    }
    const bool compact = s.expanded;
    if (!compact) {
        QPen pen(withAlpha(lineColour(s.dark), s.dark ? 0.34 : 0.42), 1.1);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i)
            p.drawPath(polyline(dazu::waveLine(i, w, h, t)));
        p.setPen(Qt::NoPen);
    }
    const double band = dazu::sweepBandWidth(w, compact);
    const QRectF sweep(dazu::sweepBandX(w, t, compact), 0, band, h);
    QLinearGradient g(sweep.topLeft(), sweep.topRight());
    g.setColorAt(0, Qt::transparent);
    g.setColorAt(0.25, withAlpha(waveColour(s.dark), 0.38));
    g.setColorAt(0.5, withAlpha(pal.orange, 0.42));
    g.setColorAt(0.75, withAlpha(waveColour(s.dark), 0.38));
    g.setColorAt(1, Qt::transparent);
    p.fillRect(sweep, g);
    if (!compact) {
        const dazu::SwimmingFish fish = dazu::swimmingFish(w, h, s.pct, t);
        paintWake(p, fish, s.dark);
        paintSwimmer(p, fish, s.dark);
    }
    p.restore();
}

void paintWaterTexture(QPainter& p, const QRectF& segment, bool dark) {
    QPainterPath path;
    for (const auto& line : dazu::waterTexture(segment.width(), segment.height(), dark))
        path.addPath(polyline(line, segment.left(), segment.top()));
    p.save();
    p.setClipRect(segment, Qt::IntersectClip);
    p.setPen(QPen(withAlpha(lineColour(dark), dark ? 0.45 : 0.35), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

int openHeaderHeight() {
    const double tallest =
        std::max({QFontMetricsF(headerTitleFont()).height(),
                  QFontMetricsF(Dazu::mono(11.5, Dazu::MonoFace::semibold)).height(),
                  QFontMetricsF(Dazu::text(11, FontWeight::bold)).height()});
    return 10 + static_cast<int>(std::ceil(tallest));
}

void paintOpenHeader(QPainter& p, const QRectF& box, const DazuBarState& s) {
    const Palette& pal = Palette::of(s.dark);
    const QRectF row = box.adjusted(12, 5, -12, -5);
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    double x = row.left();
    auto run = [&](const QString& text, const QFont& font, const QColor& colour) {
        const double w = QFontMetricsF(font).horizontalAdvance(text);
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QRectF(x, row.top(), std::max(0.0, row.right() - x), row.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        x += w + 8;
    };
    run(QString::fromLatin1(dazu::kHeaderTitle), headerTitleFont(), pal.text);
    run(QStringLiteral("\u00B7"), Dazu::text(11, FontWeight::bold), pal.secondary);
    run(s.headerCount, Dazu::mono(11.5, Dazu::MonoFace::semibold), pal.secondary);

    const QFont hintFont = Dazu::text(11, FontWeight::medium);
    const QFontMetricsF hm(hintFont);
    const double room = std::max(0.0, row.right() - x);
    const QString hint =
        hm.elidedText(QString::fromLatin1(dazu::kHeaderFold), Qt::ElideRight, room);
    p.setFont(hintFont);
    p.setPen(pal.secondary);
    p.drawText(QRectF(x, row.top(), room, row.height()),
               Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, hint);
    p.restore();
}

}  // namespace virirado
