// Drawing of the Dazu bar's strip: the segments, the still water texture, the
// scanning forms and the open header. Everything is a function of the bar's
// state, its size and the frame time; the strip widget only decides when.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "DazuLayout.hpp"
#include "Motion.hpp"

class QPainter;

namespace virirado {

// What the bar shows, shared by the bar and its parts.
struct DazuBarState {
    // The segments as they morph; `widthProgress` is where the morph stands.
    std::vector<MorphSegment> segments;
    double widthProgress = 1;
    std::optional<std::string> selection;
    // While the selection moves: where it came from and how far the move is.
    std::optional<std::string> selectionFrom;
    double selectionProgress = 1;
    // The open state asked for (it switches the folded-only details at once) and
    // the card's animated opening, 0 folded to 1 open.
    bool expanded = false;
    double open = 0;
    bool hovering = false;
    bool scanning = false;
    double pct = 0;
    std::string place;
    // Whose home the scanning line writes "~".
    std::string home;
    bool dark = false;
    bool reduceMotion = true;
    QString headerCount;
    dazu::LegendFigures legend;

    // `open` kept within 0 to 1 for sizes.
    double openClamped() const;
    double barHeight() const;
};

QColor hexColor(const dazu::HexPair& pair, bool dark);

// The segments of a `width` by `height` bar, with separators, rings, the water
// texture and the resting fish.
void paintSegments(QPainter& painter, const DazuBarState& state, double width, double height);
bool hasSegments(const DazuBarState& state);

// The still gradient shown while a scan runs and nothing is listed yet.
void paintScanningEmptyBar(QPainter& painter, const QRectF& bar, bool dark);

// The overlay laid over the bar during a scan, at frame time t.
void paintScanOverlay(QPainter& painter, const QRectF& bar, const DazuBarState& state, double t);

// The texture over free space, fitted to the segment it lies on.
void paintWaterTexture(QPainter& painter, const QRectF& segment, bool dark);

// The open header's row in `box`: title, count and the fold hint.
void paintOpenHeader(QPainter& painter, const QRectF& box, const DazuBarState& state);
// Its height: the padding and the tallest of its lines.
int openHeaderHeight();

}  // namespace virirado
