// The small drawn pieces of the cleanup list's lines: tick circles, safety
// badges, count capsules and the tree guide, in the list's fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QRectF>
#include <QString>

#include "ListLooks.hpp"

class QPainter;

namespace virirado::ListPaint {

// The list's faces, made once.
struct Fonts {
    QFont caption, title, count, groupFigure, name, badge, figure;
    QFontMetricsF captionMetrics, titleMetrics, countMetrics, groupFigureMetrics, nameMetrics,
        badgeMetrics, figureMetrics;

    static const Fonts& get();
};

QColor colour(const Tint& tint);
QColor colour(const TintPair& pair, bool dark);

// A name or title on one line: line breaks and tabs drawn as spaces.
QString oneLine(const std::string& text);

// `text` on one line from x, its baseline set so it sits centred in `line`.
void textAt(QPainter& p, const QFont& font, const QFontMetricsF& metrics, double x,
            const QRectF& line, const QString& text);
// The same with its right end at `right`.
void textRightAt(QPainter& p, const QFont& font, const QFontMetricsF& metrics, double right,
                 const QRectF& line, const QString& text);

// The 18-point circle centred at `centre`, dimmed when disabled.
void tickCircle(QPainter& p, QPointF centre, const TickLook& look, bool dark);

// The connector left of a child line, in a box 22 wide and the line's height.
void treeGuide(QPainter& p, const QRectF& box, bool last, const QColor& colour);

// The badge's capsule width for this word, and the badge drawn in `box`
// (its capsule vertically centred).
double badgeWidth(const QString& word);
void badge(QPainter& p, const QRectF& box, const QString& word, BadgeTone tone, bool dark);

// The row count capsule of a group line.
double countWidth(const QString& count);
void countCapsule(QPainter& p, const QRectF& box, const QString& count, bool dark);

}  // namespace virirado::ListPaint
