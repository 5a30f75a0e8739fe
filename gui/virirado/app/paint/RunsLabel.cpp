#include "RunsLabel.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace virirado {

RunsLabel::RunsLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void RunsLabel::setRuns(std::vector<TextRun> runs, double spacing) {
    bool same = runs.size() == m_runs.size() && spacing == m_spacing;
    for (std::size_t i = 0; same && i < runs.size(); ++i) {
        same = runs[i].text == m_runs[i].text && runs[i].font == m_runs[i].font &&
               runs[i].color == m_runs[i].color;
    }
    if (same) return;
    m_runs = std::move(runs);
    m_spacing = spacing;
    setAccessibleName(text());
    updateGeometry();
    update();
}

QString RunsLabel::text() const {
    QString out;
    for (const TextRun& run : m_runs)
        out += run.text;
    return out;
}

double RunsLabel::ascent() const {
    double a = 0;
    for (const TextRun& run : m_runs)
        a = std::max(a, QFontMetricsF(run.font).ascent());
    return a;
}

double RunsLabel::descent() const {
    double d = 0;
    for (const TextRun& run : m_runs)
        d = std::max(d, QFontMetricsF(run.font).descent());
    return d;
}

QSize RunsLabel::sizeHint() const {
    double width = 0;
    for (const TextRun& run : m_runs)
        width += QFontMetricsF(run.font).horizontalAdvance(run.text);
    if (m_runs.size() > 1) width += m_spacing * static_cast<double>(m_runs.size() - 1);
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(ascent() + descent()))};
}

QSize RunsLabel::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void RunsLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double baseline = (height() - (ascent() + descent())) / 2 + ascent();
    double x = 0;
    for (const TextRun& run : m_runs) {
        const QFontMetricsF fm(run.font);
        const double room = width() - x;
        if (room <= 0) break;
        QString shown = run.text;
        if (fm.horizontalAdvance(shown) > room) shown = fm.elidedText(shown, Qt::ElideRight, room);
        p.setFont(run.font);
        p.setPen(run.color);
        p.drawText(QPointF(x, baseline), shown);
        x += fm.horizontalAdvance(shown) + m_spacing;
    }
}

}  // namespace virirado
