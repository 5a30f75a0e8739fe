#include "CapsuleButton.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "FocusRing.hpp"
#include "OutsideFocusRing.hpp"
#include "Palette.hpp"
#include "Symbols.hpp"

namespace virirado {

CapsuleButton::CapsuleButton(QWidget* parent) : QAbstractButton(parent) {
    // Tab reaches every button, as on every Linux desktop, and Space presses
    // it; a click never moves the keys.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void CapsuleButton::setRuns(std::vector<TextRun> runs) {
    bool same = runs.size() == m_runs.size();
    for (std::size_t i = 0; same && i < runs.size(); ++i) {
        same = runs[i].text == m_runs[i].text && runs[i].font == m_runs[i].font &&
               runs[i].color == m_runs[i].color;
    }
    if (same) return;
    m_runs = std::move(runs);
    setAccessibleName(spokenText());
    updateGeometry();
    update();
}

bool CapsuleButton::drawsCapsule() const {
    return m_style.fill.alpha() > 0 || (m_style.borderWidth > 0 && m_style.border.alpha() > 0);
}

void CapsuleButton::setCapsule(const CapsuleStyle& style) {
    m_style = style;
    // A bare text button has no shape to ring inside without crossing its
    // letters: its ring stands around it instead.
    if (!drawsCapsule() && m_outside == nullptr) {
        m_outside = OutsideFocusRing::attach(this, QMargins(7, 4, 7, 4), -1);
    } else if (drawsCapsule() && m_outside != nullptr) {
        delete m_outside;
        m_outside = nullptr;
    }
    updateGeometry();
    update();
}

QString CapsuleButton::spokenText() const {
    QStringList parts;
    for (const TextRun& run : m_runs)
        parts << run.text;
    return parts.join(u' ');
}

QSizeF CapsuleButton::contentSize() const {
    double width = 0;
    double height = 0;
    int items = 0;
    if (!m_style.symbol.isEmpty() && m_style.symbolSize > 0) {
        width += m_style.symbolSize;
        height = m_style.symbolSize;
        ++items;
    }
    for (const TextRun& run : m_runs) {
        const QFontMetricsF fm(run.font);
        width += fm.horizontalAdvance(run.text);
        height = std::max(height, fm.height());
        ++items;
    }
    if (items > 1) width += m_style.spacing * (items - 1);
    return {width, height};
}

QSize CapsuleButton::sizeHint() const {
    const QSizeF content = contentSize();
    return {static_cast<int>(std::ceil(content.width() + 2 * m_style.padX)),
            static_cast<int>(std::ceil(content.height() + 2 * m_style.padY))};
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled()) p.setOpacity(m_style.disabledOpacity);
    const QRectF box = QRectF(rect());
    const double radius = m_style.cornerRadius > 0 ? m_style.cornerRadius : box.height() / 2;
    if (m_style.fill.alpha() > 0) {
        QPainterPath shape;
        shape.addRoundedRect(box, radius, radius);
        p.fillPath(shape, m_style.fill);
    }
    if (m_style.borderWidth > 0 && m_style.border.alpha() > 0) {
        const double inset = m_style.borderWidth / 2;
        const QRectF inner = box.adjusted(inset, inset, -inset, -inset);
        p.setPen(QPen(m_style.border, m_style.borderWidth));
        p.setBrush(Qt::NoBrush);
        const double r = std::max(0.0, radius - inset);
        p.drawRoundedRect(inner, r, r);
    }
    const QSizeF content = contentSize();
    double x = box.center().x() - content.width() / 2;
    const double mid = box.center().y();
    if (!m_style.symbol.isEmpty() && m_style.symbolSize > 0) {
        const QRectF glyph(x, mid - m_style.symbolSize / 2, m_style.symbolSize, m_style.symbolSize);
        Symbols::paint(p, m_style.symbol, glyph, m_style.symbolColor);
        x += m_style.symbolSize + m_style.spacing;
    }
    for (const TextRun& run : m_runs) {
        const QFontMetricsF fm(run.font);
        const double w = fm.horizontalAdvance(run.text);
        p.setFont(run.font);
        p.setPen(run.color);
        // Each run's line box (ascent and descent) centred on the middle line,
        // as texts of different faces in one centred row are.
        const double baseline = mid + (fm.ascent() - fm.descent()) / 2;
        p.drawText(QPointF(x, baseline), run.text);
        x += w + m_style.spacing;
    }
    if (drawsCapsule() && showsFocusRing(this)) paintRing(p, box, radius);
}

void CapsuleButton::paintRing(QPainter& p, const QRectF& box, double radius) const {
    paintFocusRing(p, box, radius);
    // On a capsule filled with the ring's own colour (the chosen scope in the
    // dark) the ring would vanish: a line in the label's ink just inside it
    // shows where it is.
    if (m_style.fill != Palette::of(false).accent || m_runs.empty()) return;
    constexpr double kInside = 2 + 0.75;
    const QRectF line = box.adjusted(kInside, kInside, -kInside, -kInside);
    const double r = std::max(0.0, radius - kInside);
    p.save();
    p.setPen(QPen(m_runs.front().color, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(line, r, r);
    p.restore();
}

}  // namespace virirado
