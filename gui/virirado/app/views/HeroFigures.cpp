#include "HeroFigures.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "BackdropGlow.hpp"
#include "ChromeFigures.hpp"
#include "Format.hpp"
#include "Palette.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

const QString kComesBack = QStringLiteral("comes back.");

QFont figureFont() {
    return Dazu::kerned(Dazu::display(74, 800), -2.2);
}
QFont comesBackFont() {
    return Dazu::display(30, 700);
}
QFont statTitleFont() {
    return Dazu::kerned(Dazu::text(10, FontWeight::semibold), 0.8);
}
QFont statValueFont() {
    return Dazu::mono(18, Dazu::MonoFace::semibold);
}

// Row spacing, the stats' own leading space, and the stat's two lines.
constexpr double kGap = 18;
constexpr double kStatLead = 14;
constexpr double kStatLines = 6;
constexpr double kMinFlex = 12;
// The bar: 16 high, 12 above the figure's bottom, corners of 8.
constexpr double kBarHeight = 16;
constexpr double kBarLift = 12;

// The title in capitals, as the row shows it.
QString shownTitle(const HeroStat& stat) {
    return QString::fromStdString(stat.title).toUpper();
}

}  // namespace

HeroFigures::HeroFigures(AreaContext, QWidget* parent)
    : QWidget(parent),
      m_glow(new BackdropGlow(this,
                              [this] {
                                  QPainterPath shape;
                                  shape.addRoundedRect(barRect(), 8, 8);
                                  return shape;
                              })),
      m_figure(QStringLiteral("0 B")),
      m_stats(heroStats(0, 0, 0)) {
    setObjectName(QStringLiteral("hero"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSizeF HeroFigures::figureSize() const {
    const QFontMetricsF fm(figureFont());
    return {fm.horizontalAdvance(m_figure), fm.height()};
}

QSizeF HeroFigures::statSize(const HeroStat& stat) const {
    const QFontMetricsF top(statTitleFont());
    const QFontMetricsF bottom(statValueFont());
    const QString value = QString::fromStdString(stat.value);
    return {kStatLead +
                std::max(top.horizontalAdvance(shownTitle(stat)), bottom.horizontalAdvance(value)),
            top.height() + kStatLines + bottom.height()};
}

double HeroFigures::statRight(int i) const {
    // "After" at the trailing edge, "Free now" the row's spacing before it.
    double right = width();
    for (int j = static_cast<int>(m_stats.size()) - 1; j > i; --j) {
        right -= statSize(m_stats[static_cast<std::size_t>(j)]).width();
        right -= kGap;
    }
    return right;
}

QRectF HeroFigures::statRect(int i) const {
    const QSizeF size = statSize(m_stats[static_cast<std::size_t>(i)]);
    const double w = size.width() - kStatLead;
    return {statRight(i) - w, (height() - size.height()) / 2, w, size.height()};
}

QString HeroFigures::value(int i) const {
    return QString::fromStdString(m_stats[static_cast<std::size_t>(i)].value);
}

PartFace HeroFigures::face(PartId id) const {
    PartFace f;
    f.role = QAccessible::StaticText;
    f.name = QString::fromStdString(statSpoken(m_stats[static_cast<std::size_t>(id.item)]));
    f.rect = statRect(id.item).toAlignedRect();
    f.state.readOnly = true;
    return f;
}

std::optional<PartId> HeroFigures::partAt(QPoint point) const {
    for (int i = 0; i < itemCount(); ++i) {
        if (statRect(i).contains(point)) return PartId{i, -1};
    }
    return std::nullopt;
}

QRectF HeroFigures::barRect() const {
    const QSizeF fig = figureSize();
    const double top = (height() - fig.height()) / 2;
    return {0, top + fig.height() - kBarLift - kBarHeight, fig.width(), kBarHeight};
}

QSize HeroFigures::sizeHint() const {
    const QSizeF fig = figureSize();
    const QFontMetricsF comes(comesBackFont());
    const QSizeF free = statSize(m_stats[0]);
    const QSizeF after = statSize(m_stats[1]);
    const double w = fig.width() + kGap + comes.horizontalAdvance(kComesBack) + kGap + kMinFlex +
                     kGap + free.width() + kGap + after.width();
    const double h = std::max({fig.height(), comes.height(), free.height(), after.height()});
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(h))};
}

QSize HeroFigures::minimumSizeHint() const {
    // The figures are never cut or squeezed.
    return sizeHint();
}

void HeroFigures::present(const WindowView& view) {
    if (view.engine == nullptr) return;
    const EngineState& e = *view.engine;
    const int64_t back = view.totals.tickedBack;
    const QString figure = QString::fromStdString(finderSize(back));
    const std::array<HeroStat, 2> stats = heroStats(e.totalBytes, e.freeBytes, back);
    const bool changed = figure != m_figure || stats != m_stats;
    if (changed) {
        const std::array<HeroStat, 2> told = m_stats;
        m_figure = figure;
        m_stats = stats;
        setAccessibleName(m_figure + QStringLiteral(" comes back"));
        for (std::size_t i = 0; i < stats.size(); ++i) {
            if (stats[i] != told[i])
                m_access.notify({static_cast<int>(i), -1}, QAccessible::NameChanged);
        }
        updateGeometry();
    }
    if (changed || view.dark != m_dark) {
        m_dark = view.dark;
        // The bar glows in the dark only.
        m_glow->setGlow(
            m_dark ? withAlpha(Palette::of(true).orange, 0.45) : QColor(Qt::transparent), 14);
        update();
    }
}

void HeroFigures::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Palette& pal = Palette::of(m_dark);
    const double mid = height() / 2.0;

    // The figure over its bar, both at the leading edge.
    const QSizeF fig = figureSize();
    QPainterPath bar;
    bar.addRoundedRect(barRect(), 8, 8);
    p.fillPath(bar, pal.orange);
    const QFontMetricsF figFm(figureFont());
    p.setFont(figureFont());
    p.setPen(pal.title);
    p.drawText(QPointF(0, mid - fig.height() / 2 + figFm.ascent()), m_figure);

    const QFontMetricsF comes(comesBackFont());
    p.setFont(comesBackFont());
    p.drawText(QPointF(fig.width() + kGap, mid - comes.height() / 2 + comes.ascent()), kComesBack);

    // The two stats at the trailing edge, each aligned to its own trailing side.
    const QFontMetricsF top(statTitleFont());
    const QFontMetricsF bottom(statValueFont());
    auto stat = [&](double right, const QString& title, const QString& value, QColor colour) {
        const double h = top.height() + kStatLines + bottom.height();
        const double y = mid - h / 2;
        p.setFont(statTitleFont());
        p.setPen(pal.secondary);
        p.drawText(QPointF(right - top.horizontalAdvance(title), y + top.ascent()), title);
        p.setFont(statValueFont());
        p.setPen(colour);
        p.drawText(QPointF(right - bottom.horizontalAdvance(value),
                           y + top.height() + kStatLines + bottom.ascent()),
                   value);
    };
    const QColor tones[] = {pal.text, pal.accentText};
    for (int i = 0; i < itemCount(); ++i) {
        const HeroStat& s = m_stats[static_cast<std::size_t>(i)];
        stat(statRight(i), shownTitle(s), QString::fromStdString(s.value), tones[i]);
    }
}

}  // namespace virirado
