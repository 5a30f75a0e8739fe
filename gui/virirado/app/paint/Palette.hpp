// The window's colours, light and dark, named once for every view.
#pragma once

#include <QColor>

namespace virirado {

struct Palette {
    bool dark = false;
    QColor text;        // primary text
    QColor secondary;   // secondary text and quiet glyphs
    QColor title;       // headlines and big figures
    QColor card;        // card fill
    QColor outline;     // card outline
    QColor accent;      // the same cyan in both schemes
    QColor accentText;  // cyan figures and "safe" wording, darker on white
    QColor orange;
    QColor ink;        // text on orange
    QColor window;     // window background
    QColor sheet;      // sheet background
    QColor checkInk;   // "check first" wording
    QColor selection;  // the selected list line
    QColor pale;       // pale fills: tracks, the folded bar, capsules
    QColor liveRed;    // the "LIVE" pill and the buttons that really delete

    static const Palette& of(bool dark);
    // One of two hex colours by scheme.
    QColor pick(const char* lightHex, const char* darkHex) const;
};

// `color` with its alpha multiplied by `opacity`.
QColor withAlpha(QColor color, double opacity);

}  // namespace virirado
