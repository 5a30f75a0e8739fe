#include "HeaderBar.hpp"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "Card.hpp"
#include "ChromeFigures.hpp"
#include "ClampedLabel.hpp"
#include "LivePill.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "RunsLabel.hpp"
#include "SearchBar.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

QFont limitedFont() {
    return Dazu::text(10.5, FontWeight::semibold);
}

const QString kLimited = QStringLiteral("Limited");
// The lock as large as the label's capitals, the label 4 points after it.
constexpr double kLockSize = 10;
constexpr double kLockGap = 4;

}  // namespace

// The "Limited" capsule.

LimitedCapsule::LimitedCapsule(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("limitedCapsule"));
    setAccessibleName(kLimited);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LimitedCapsule::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

QSize LimitedCapsule::sizeHint() const {
    const QFontMetricsF fm(limitedFont());
    const double w = kLockSize + kLockGap + fm.horizontalAdvance(kLimited) + 2 * 7;
    const double h = std::max(fm.height(), kLockSize) + 2 * 2.5;
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(h))};
}

void LimitedCapsule::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    const QRectF box(rect());
    paintCard(p, box, -1, Qt::transparent, pal.outline);
    const QRectF lock(7, box.center().y() - kLockSize / 2, kLockSize, kLockSize);
    Symbols::paint(p, QStringLiteral("lock"), lock, pal.secondary);
    const QFont font = limitedFont();
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(pal.secondary);
    const double baseline = box.center().y() + (fm.ascent() - fm.descent()) / 2;
    p.drawText(QPointF(lock.right() + kLockGap, baseline), kLimited);
}

// The header row.

HeaderBar::HeaderBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_fish(new VornFish(this)),
      m_title(new RunsLabel(this)),
      m_live(new LivePill(this)),
      m_volume(new ClampedLabel(this)),
      m_limited(new LimitedCapsule(this)),
      m_search(new SearchBar(context, this)) {
    setObjectName(QStringLiteral("header"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_fish->setFixedSize(30, 16);
    m_fish->setAccessibleName(QString());
    m_title->setObjectName(QStringLiteral("title"));
    // The title never gives way: a long volume name is what gets cut.
    m_title->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_volume->setObjectName(QStringLiteral("volumeLine"));
    m_volume->setTextFont(Dazu::text(12, FontWeight::regular));
    m_volume->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Known only at the first present: snapshot mode never shows the pill.
    m_live->hide();
    m_limited->hide();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    // The 56-point blank and the 10 after it: a layout adds no spacing next to
    // a spacer item.
    row->addSpacing(56 + 10);
    row->addWidget(m_fish);
    row->addWidget(m_title);
    row->addWidget(m_live);
    row->addWidget(m_volume, 0);
    row->addWidget(m_limited);
    // At least 12 between the spacing on either side of it.
    row->addSpacerItem(
        new QSpacerItem(10 + 12 + 10, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
    row->addWidget(m_search);
}

void HeaderBar::present(const WindowView& view) {
    const Palette& pal = Palette::of(view.dark);
    if (m_first || view.dark != m_dark) {
        m_dark = view.dark;
        m_fish->setDark(view.dark);
        m_title->setRuns({{QStringLiteral("Virirado"), Dazu::display(15, 700), pal.title}});
        m_volume->setColor(pal.secondary);
        m_limited->setDark(view.dark);
    }
    if (m_first) m_live->setVisible(!view.snapshotMode);
    m_first = false;

    if (view.engine != nullptr) {
        const EngineState& e = *view.engine;
        m_volume->setText(QString::fromStdString(
            volumeLine(e.totalBytes, e.volumeName, e.scanning, view.allRows.size())));
        m_limited->setVisible(e.accessNote.has_value());
        const QString note = e.accessNote ? plainToolTip(*e.accessNote) : QString();
        if (m_limited->toolTip() != note) m_limited->setToolTip(note);
    }
    m_search->present(view);
}

}  // namespace virirado
