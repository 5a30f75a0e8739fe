#include "PreviewLine.hpp"

#include "Json.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ConfirmRules.hpp"
#include "Format.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "ReadAs.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr double kSpacing = 8;
constexpr double kSizeWidth = 70;

QFont labelFont() {
    return Dazu::text(13, FontWeight::regular);
}
QFont badgeFont() {
    return Dazu::text(10, FontWeight::semibold);
}
QFont wordFont() {
    return Dazu::text(13.5, FontWeight::regular);
}
QFont sizeFont() {
    return Dazu::mono(13, Dazu::MonoFace::medium);
}

const QString kBadge = QStringLiteral("Check first");

}  // namespace

PreviewLine::PreviewLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("previewLine"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    readAsText(this);
}

void PreviewLine::setRow(const PreviewRow& row) {
    if (row == m_row) return;
    m_row = row;
    setToolTip(plainToolTip(displaySafe(row.path.value_or(row.label))));
    setAccessibleName(qs(spokenPreviewRow(row)));
    update();
}

void PreviewLine::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

QSize PreviewLine::sizeHint() const {
    double h = 0;
    for (const QFont& f : {labelFont(), badgeFont(), wordFont(), sizeFont()})
        h = std::max(h, QFontMetricsF(f).height());
    return {300, static_cast<int>(std::ceil(h))};
}

// Every text is centred on the line's middle by its own cap height, as a row of
// different sizes lines up by eye.
void PreviewLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Palette& palette = Palette::of(m_dark);
    const double mid = height() / 2.0;
    auto baseline = [mid](const QFontMetricsF& fm) {
        return mid + (fm.ascent() - fm.descent()) / 2;
    };

    const QFontMetricsF sm(sizeFont());
    const QString size = qs(finderSize(m_row.realisticSize));
    const double sizeLeft = width() - kSizeWidth;
    p.setFont(sizeFont());
    p.setPen(palette.text);
    p.drawText(QPointF(width() - sm.horizontalAdvance(size), baseline(sm)), size);

    const QFontMetricsF wm(wordFont());
    const QString word = qs(destinationWord(m_row.action));
    const double wordLeft = sizeLeft - kSpacing - wm.horizontalAdvance(word);
    p.setFont(wordFont());
    p.setPen(palette.secondary);
    p.drawText(QPointF(wordLeft, baseline(wm)), word);

    const bool review = m_row.safety == "review";
    const QFontMetricsF bm(badgeFont());
    const double badgeWidth = review ? bm.horizontalAdvance(kBadge) : 0;
    // The label takes what is left, keeping at least the spacing before the word.
    const double labelRoom =
        std::max(0.0, wordLeft - kSpacing - (review ? badgeWidth + kSpacing : 0));
    const QFontMetricsF lm(labelFont());
    QString flat = qs(m_row.label);
    flat.replace(u'\n', u' ').replace(u'\r', u' ');
    const QString label = lm.elidedText(flat, Qt::ElideRight, labelRoom);
    p.setFont(labelFont());
    p.setPen(palette.text);
    p.drawText(QPointF(0, baseline(lm)), label);
    if (review) {
        p.setFont(badgeFont());
        p.setPen(palette.checkInk);
        const double x = lm.horizontalAdvance(label) + kSpacing;
        p.drawText(QPointF(x, baseline(bm)), kBadge);
    }
}

}  // namespace virirado
