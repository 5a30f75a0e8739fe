#include "DazuLegend.hpp"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cmath>

#include "Format.hpp"
#include "Palette.hpp"
#include "PulsingDot.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr double kSpacing = 18;
// The flexible space between the scanning line and the hint: at least 8, with
// the row's spacing on both sides of it.
constexpr double kFlexible = 8;

QFont labelFont() {
    return Dazu::text(11.5, FontWeight::regular);
}
QFont valueFont() {
    return Dazu::mono(11.5, Dazu::MonoFace::semibold);
}
QFont lineFont() {
    return Dazu::text(11, FontWeight::medium);
}

double itemWidth(const dazu::LegendEntry& item) {
    return 8 + 6 + QFontMetricsF(labelFont()).horizontalAdvance(QString::fromLatin1(item.label)) +
           6 +
           QFontMetricsF(valueFont())
               .horizontalAdvance(QString::fromStdString(finderSize(item.value)));
}

}  // namespace

DazuLegend::DazuLegend(const DazuBarState& state, const WindowClock& clock, QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_dot(new PulsingDot(clock, Palette::of(false).accent, this)) {
    setObjectName(QStringLiteral("dazuLegend"));
    m_dot->hide();
}

int DazuLegend::rowHeight() {
    const double tallest =
        std::max({QFontMetricsF(labelFont()).height(), QFontMetricsF(valueFont()).height(),
                  QFontMetricsF(lineFont()).height(), 14.0});
    return static_cast<int>(std::ceil(tallest));
}

void DazuLegend::refresh() {
    m_dot->setReduceMotion(m_state.reduceMotion);
    arrange();
    announceFigures();
    update();
}

void DazuLegend::announceFigures() {
    if (m_state.legend == m_told) return;
    const auto told = dazu::legendEntries(m_told);
    const auto now = dazu::legendEntries(m_state.legend);
    m_told = m_state.legend;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i].value != told[i].value)
            m_access.notify({static_cast<int>(i), -1}, QAccessible::NameChanged);
    }
}

PartFace DazuLegend::face(PartId id) const {
    const auto i = static_cast<std::size_t>(id.item);
    PartFace f;
    f.role = QAccessible::StaticText;
    f.name = QString::fromStdString(dazu::legendEntryName(dazu::legendEntries(m_state.legend)[i]));
    f.rect = m_itemRects[i].toAlignedRect();
    f.state.readOnly = true;
    return f;
}

std::optional<PartId> DazuLegend::partAt(QPoint point) const {
    for (std::size_t i = 0; i < m_itemRects.size(); ++i) {
        if (m_itemRects[i].contains(point)) return PartId{static_cast<int>(i), -1};
    }
    return std::nullopt;
}

void DazuLegend::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

void DazuLegend::arrange() {
    double x = 0;
    const auto entries = dazu::legendEntries(m_state.legend);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double w = itemWidth(entries[i]);
        m_itemRects[i] = QRectF(x, 0, w, height());
        x += w + kSpacing;
    }
    x -= kSpacing;
    const double w = width();
    if (!m_state.expanded) {
        const double hintWidth =
            QFontMetricsF(lineFont()).horizontalAdvance(QString::fromLatin1(dazu::kLegendHint));
        m_hint = QRectF(std::max(x + kSpacing, w - hintWidth), 0, hintWidth, height());
    } else {
        m_hint = QRectF();
    }
    if (!m_state.scanning) {
        m_line = QRectF();
        m_dot->hide();
        return;
    }
    const double dotLeft = x + kSpacing;
    QRect dot(QPoint(), m_dot->size());
    dot.moveCenter(QPoint(static_cast<int>(std::lround(dotLeft + m_dot->width() / 2.0)),
                          static_cast<int>(std::lround(height() / 2.0))));
    m_dot->setGeometry(dot);
    m_dot->show();
    const double lineLeft = dotLeft + m_dot->width() + 6;
    const double lineRight =
        m_hint.isNull() ? w - kSpacing - kFlexible : m_hint.left() - 2 * kSpacing - kFlexible;
    m_line = QRectF(lineLeft, 0, std::max(0.0, lineRight - lineLeft), height());
}

QString DazuLegend::scanningText() const {
    if (m_line.isNull()) return {};
    return QString::fromStdString(dazu::scanningLine(m_state.place, m_state.home));
}

void DazuLegend::paintEvent(QPaintEvent*) {
    const Palette& pal = Palette::of(m_state.dark);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double h = height();
    double x = 0;
    const QFontMetricsF lm(labelFont());
    const QFontMetricsF vm(valueFont());
    for (const dazu::LegendEntry& item : dazu::legendEntries(m_state.legend)) {
        QPainterPath swatch;
        swatch.addRoundedRect(QRectF(x, (h - 8) / 2, 8, 8), 2, 2);
        p.fillPath(swatch, hexColor(item.swatch, m_state.dark));
        x += 8 + 6;
        const QString label = QString::fromLatin1(item.label);
        p.setFont(labelFont());
        p.setPen(pal.secondary);
        p.drawText(QRectF(x, 0, lm.horizontalAdvance(label) + 1, h),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
        x += lm.horizontalAdvance(label) + 6;
        const QString value = QString::fromStdString(finderSize(item.value));
        p.setFont(valueFont());
        p.setPen(pal.text);
        p.drawText(QRectF(x, 0, vm.horizontalAdvance(value) + 1, h),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, value);
        x += vm.horizontalAdvance(value) + kSpacing;
    }
    p.setFont(lineFont());
    p.setPen(pal.secondary);
    if (!m_line.isNull()) {
        const QString place = scanningText();
        p.drawText(m_line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QFontMetricsF(lineFont()).elidedText(place, Qt::ElideMiddle, m_line.width()));
    }
    if (!m_hint.isNull()) {
        p.drawText(m_hint, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromLatin1(dazu::kLegendHint));
    }
}

void DazuLegend::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (!m_hint.isNull() && m_hint.contains(event->position()) && onHint) onHint();
}

}  // namespace virirado
