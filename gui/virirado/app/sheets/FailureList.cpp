#include "FailureList.hpp"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "Palette.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr double kSpacing = 4;
// The least room between a label and its message.
constexpr double kGap = 8;

QFont labelFont() {
    return Dazu::text(13, FontWeight::regular);
}

QFont messageFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

QString oneLine(const std::string& text) {
    QString flat = qs(text);
    flat.replace(u'\n', u' ').replace(u'\r', u' ');
    return flat;
}

}  // namespace

FailureList::FailureList(QWidget* parent) : ReadingLines(parent) {
    setObjectName(QStringLiteral("failureList"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FailureList::setFailures(const std::vector<durozizo::CleanProgress::Failure>& failures) {
    if (failures == m_failures) return;
    m_failures = failures;
    updateGeometry();
    linesChanged();
}

void FailureList::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

double FailureList::lineHeight() const {
    return std::max(QFontMetricsF(labelFont()).height(), QFontMetricsF(messageFont()).height());
}

QRectF FailureList::lineBox(int line) const {
    return {0, line * (lineHeight() + kSpacing), static_cast<double>(width()), lineHeight()};
}

QString FailureList::spokenLine(int line) const {
    const auto& failure = m_failures.at(static_cast<std::size_t>(line));
    return oneLine(failure.label) + QStringLiteral(", ") + oneLine(failure.message);
}

QSize FailureList::sizeHint() const {
    const auto n = static_cast<double>(m_failures.size());
    const double h = n < 1 ? 0 : n * lineHeight() + (n - 1) * kSpacing;
    return {100, static_cast<int>(std::ceil(h))};
}

void FailureList::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Palette& palette = Palette::of(m_dark);
    const QFontMetricsF lm(labelFont());
    const QFontMetricsF mm(messageFont());
    const double line = lineHeight();
    // Both texts stand on one baseline, the first one of the line.
    const double ascent = std::max(lm.ascent(), mm.ascent());
    const double width = this->width();
    double y = 0;
    for (const auto& failure : m_failures) {
        if (y > event->rect().bottom()) break;
        if (y + line >= event->rect().top()) {
            const QString label = oneLine(failure.label);
            const QString message = oneLine(failure.message);
            const double labelWidth = lm.horizontalAdvance(label);
            double messageWidth = mm.horizontalAdvance(message);
            // When both do not fit, the message gives way down to half the line.
            if (labelWidth + kGap + messageWidth > width) {
                messageWidth =
                    std::min(messageWidth, std::max(width / 2, width - labelWidth - kGap));
            }
            const QString shownMessage = mm.elidedText(message, Qt::ElideRight, messageWidth);
            const double shownMessageWidth = mm.horizontalAdvance(shownMessage);
            const double labelRoom = std::max(0.0, width - shownMessageWidth - kGap);
            const QString shownLabel = lm.elidedText(label, Qt::ElideRight, labelRoom);
            p.setFont(labelFont());
            p.setPen(palette.text);
            p.drawText(QPointF(0, y + ascent), shownLabel);
            p.setFont(messageFont());
            p.setPen(palette.secondary);
            p.drawText(QPointF(width - shownMessageWidth, y + ascent), shownMessage);
        }
        y += line + kSpacing;
    }
    paintKeysLine(p);
}

}  // namespace virirado
