#include "ScanningPane.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Card.hpp"
#include "ClampedLabel.hpp"
#include "DisplayPath.hpp"
#include "Format.hpp"
#include "FrameTicker.hpp"
#include "Palette.hpp"
#include "PulsingDot.hpp"
#include "RunsLabel.hpp"
#include "ScanBar.hpp"
#include "ScanProgress.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

QString shownPlace(const std::string& place, const std::string& home) {
    return QString::fromStdString(displayPath(place, home));
}

// The newest recent place is the clearer one.
constexpr double kRecentOpacity[] = {0.65, 0.38};

}  // namespace

// The rings.

ScanRings::ScanRings(const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_ticker(new FrameTicker(this, 30)) {
    setFixedHeight(82);
    setMinimumWidth(140);
}

void ScanRings::setReduceMotion(bool reduce) {
    if (reduce == m_reduceMotion) return;
    m_reduceMotion = reduce;
    m_ticker->setMotion(!reduce);
    update();
}

void ScanRings::paintEvent(QPaintEvent*) {
    if (m_reduceMotion) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    const QPointF centre = QRectF(rect()).center();
    const QColor accent = Palette::of(false).accent;
    const double t = m_clock.frameTime();
    for (int i = 0; i < 3; ++i) {
        const ScanRing ring = scanRing(i, t);
        // A 1.6-point line inside the circle.
        const double r = ring.diameter / 2 - 0.8;
        p.setPen(QPen(withAlpha(accent, ring.opacity), 1.6));
        p.drawEllipse(centre, r, r);
    }
}

// The place capsule.

PlaceCapsule::PlaceCapsule(const WindowClock& clock, QWidget* parent)
    : QWidget(parent),
      m_dot(new PulsingDot(clock, Palette::of(false).orange, this)),
      m_label(new ClampedLabel(this)) {
    setObjectName(QStringLiteral("scanPlaceCapsule"));
    m_label->setObjectName(QStringLiteral("scanPlace"));
    m_label->setTextFont(Dazu::mono(11.5, Dazu::MonoFace::medium));
    m_label->setElide(Qt::ElideMiddle);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(6);
    row->addWidget(m_dot);
    row->addWidget(m_label, 1);
    setMaximumWidth(440);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PlaceCapsule::setPlace(const QString& place, bool dark, bool reduceMotion) {
    m_label->setText(place);
    m_label->setColor(Palette::of(dark).text);
    m_dot->setReduceMotion(reduceMotion);
    if (dark != m_dark) {
        m_dark = dark;
        update();
    }
}

QString PlaceCapsule::text() const {
    return m_label->text();
}

void PlaceCapsule::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    paintCard(p, QRectF(rect()), -1, pal.pale, pal.outline);
}

// The pane.

ScanningPane::ScanningPane(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_rings(new ScanRings(context.clock, this)),
      m_mascot(new VornMascot(context.clock, m_rings)),
      m_title(new RunsLabel(this)),
      m_eta(new ClampedLabel(this)),
      m_bar(new ScanBar(context.clock, this)),
      m_place(new PlaceCapsule(context.clock, this)),
      m_recent(new QWidget(this)) {
    setObjectName(QStringLiteral("scanningPane"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_mascot->setScale(1.2);
    auto* stage = new QVBoxLayout(m_rings);
    stage->setContentsMargins(0, 0, 0, 0);
    stage->addWidget(m_mascot, 0, Qt::AlignCenter);

    m_title->setObjectName(QStringLiteral("scanTitle"));
    m_eta->setObjectName(QStringLiteral("scanEta"));
    m_eta->setTextFont(Dazu::text(12.5, FontWeight::medium));
    m_eta->setAlignment(Qt::AlignCenter);
    m_bar->setObjectName(QStringLiteral("scanBar"));
    m_bar->setFixedSize(280, 10);

    auto* headline = new QVBoxLayout;
    headline->setSpacing(6);
    headline->addWidget(m_title, 0, Qt::AlignHCenter);
    headline->addWidget(m_eta, 0, Qt::AlignHCenter);

    m_recent->setObjectName(QStringLiteral("scanRecent"));
    m_recent->setMaximumWidth(420);
    auto* recent = new QVBoxLayout(m_recent);
    recent->setContentsMargins(0, 0, 0, 0);
    recent->setSpacing(3);
    for (int i = 0; i < 2; ++i) {
        auto* line = new ClampedLabel(m_recent);
        line->setObjectName(QStringLiteral("scanRecent%1").arg(i));
        line->setTextFont(Dazu::mono(10.5, Dazu::MonoFace::medium));
        line->setElide(Qt::ElideMiddle);
        line->setAlignment(Qt::AlignCenter);
        recent->addWidget(line, 0, Qt::AlignHCenter);
        m_recentLines.push_back(line);
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);
    column->addStretch(1);
    column->addWidget(m_rings, 0, Qt::AlignHCenter);
    column->addLayout(headline);
    column->addWidget(m_bar, 0, Qt::AlignHCenter);
    column->addWidget(m_place, 0, Qt::AlignHCenter);
    column->addWidget(m_recent, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void ScanningPane::present(const WindowView& view) {
    if (view.engine == nullptr) return;
    const EngineState& e = *view.engine;
    const Palette& pal = Palette::of(view.dark);
    if (view.dark != m_dark) {
        m_dark = view.dark;
        update();
    }
    m_rings->setReduceMotion(view.reduceMotion);
    m_mascot->setDark(view.dark);
    m_mascot->setReduceMotion(view.reduceMotion);

    const QString percent = QString::number(wholePercent(e.pct)) + u'%';
    m_title->setRuns({{QStringLiteral("Scanning the tank"), Dazu::display(20, 700), pal.title},
                      {percent, Dazu::mono(20, Dazu::MonoFace::semibold), pal.accent}},
                     10);
    m_eta->setText(QString::fromStdString(vadeEta(e.eta)));
    m_eta->setColor(pal.secondary);

    m_bar->setDark(view.dark);
    m_bar->setReduceMotion(view.reduceMotion);
    m_bar->setProgress(e.pct);
    m_bar->setAccessibleDescription(QString::fromStdString(progressLabel(e.pct, e.eta)));

    m_place->setVisible(!e.place.empty());
    m_place->setPlace(shownPlace(e.place, view.home), view.dark, view.reduceMotion);

    const std::vector<std::string> recent = recentPlaces(e.scanPlaces);
    m_recent->setVisible(!recent.empty());
    for (std::size_t i = 0; i < m_recentLines.size(); ++i) {
        ClampedLabel* line = m_recentLines[i];
        line->setVisible(i < recent.size());
        line->setText(i < recent.size() ? shownPlace(recent[i], view.home) : QString());
        line->setColor(withAlpha(pal.secondary, kRecentOpacity[i]));
    }
}

void ScanningPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    paintCard(p, QRectF(rect()), 16, pal.card, pal.outline);
}

}  // namespace virirado
