#include "DazuBar.hpp"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "CardShadow.hpp"
#include "DazuLegend.hpp"
#include "DazuStrip.hpp"
#include "LargestFilesMap.hpp"
#include "MapLayout.hpp"
#include "Palette.hpp"
#include "SelectionFade.hpp"
#include "Timeline.hpp"

namespace virirado {

namespace {

// The two springs: opening and folding the card, and the segments' widths.
constexpr double kOpenResponse = 0.34;
constexpr double kOpenDamping = 0.85;
constexpr double kWidthResponse = 0.36;
constexpr double kWidthDamping = 0.84;

double openEase(double x) {
    if (x >= 1) return 1;
    return springProgress(x * springSettleTime(kOpenResponse, kOpenDamping), kOpenResponse,
                          kOpenDamping);
}

double widthEase(double x) {
    if (x >= 1) return 1;
    return springProgress(x * springSettleTime(kWidthResponse, kWidthDamping), kWidthResponse,
                          kWidthDamping);
}

// A spring over its settling time on the window's frame clock.
Timeline* springTimeline(const WindowClock& clock, double response, double damping,
                         Timeline::Ease ease, QObject* owner) {
    return new Timeline(clock, springSettleTime(response, damping), ease, owner);
}

QColor mix(const QColor& a, const QColor& b, double e) {
    auto lerp = [e](float x, float y) { return x + (y - x) * static_cast<float>(e); };
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                            lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

double mix(double a, double b, double e) {
    return a + (b - a) * e;
}

// Whether the bar would look different at the target widths.
bool sharesMoved(const std::vector<MorphSegment>& shown, double progress,
                 const std::vector<TargetShare>& target) {
    std::vector<const MorphSegment*> visible;
    for (const MorphSegment& s : shown) {
        if (s.at(progress) > 0) visible.push_back(&s);
    }
    if (visible.size() != target.size()) return true;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (visible[i]->piece.id != target[i].piece.id) return true;
        if (std::abs(visible[i]->at(progress) - target[i].share) > 1e-9) return true;
    }
    return false;
}

}  // namespace

DazuBar::DazuBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_strip(new DazuStrip(m_state, context.clock, this)),
      m_map(new LargestFilesMap(context, this)),
      m_edge(new CardEdge(this)),
      m_legend(new DazuLegend(m_state, context.clock, this)),
      m_openSpring(springTimeline(context.clock, kOpenResponse, kOpenDamping, openEase, this)),
      m_widthSpring(springTimeline(context.clock, kWidthResponse, kWidthDamping, widthEase, this)),
      m_fade(new SelectionFade(context.clock, this, [this] { followFade(); })),
      m_headerHeight(openHeaderHeight()) {
    setObjectName(QStringLiteral("dazuBar"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_map->hide();
    m_edge->raise();
    m_strip->onClick = [this] { toggleExpanded(std::nullopt); };
    m_strip->onHover = [this](bool over) {
        if (over == m_state.hovering) return;
        m_state.hovering = over;
        arrange();
        update();
    };
    m_legend->onHint = [this] { toggleExpanded(true); };

    connect(m_openSpring, &Timeline::frame, this,
            [this](double e) { setOpen(mix(m_openFrom, m_openTo, e)); });
    connect(m_widthSpring, &Timeline::frame, this, [this](double e) {
        m_state.widthProgress = e;
        m_strip->refresh(true);
    });
    connect(m_widthSpring, &Timeline::finished, this, [this] {
        m_state.segments = settledSegments(m_target);
        m_state.widthProgress = 1;
        m_strip->refresh(true);
    });
    arrange();
}

DazuBar::~DazuBar() {
    if (m_host) m_host->removeEventFilter(this);
}

void DazuBar::present(const WindowView& view) {
    const RowRefs& rows = view.visibleRows.empty() ? view.allRows : view.visibleRows;
    const bool scanning = view.engine != nullptr && view.engine->scanning;
    const double pct = view.engine != nullptr ? view.engine->pct : 0;
    const std::string place = view.engine != nullptr ? view.engine->place : std::string();
    const bool schemeChanged = view.dark != m_state.dark;
    const bool motionChanged = view.reduceMotion != m_state.reduceMotion;
    bool segments = !m_presented || schemeChanged || view.selection != m_state.selection ||
                    scanning != m_state.scanning;
    const bool changed = segments || motionChanged || pct != m_state.pct ||
                         place != m_state.place || view.home != m_state.home ||
                         view.store != m_store || rows != m_rows ||
                         view.mapExpanded != m_state.expanded;
    m_state.dark = view.dark;
    m_state.reduceMotion = view.reduceMotion;
    m_fade->setMotion(!view.reduceMotion);
    m_fade->moveTo(view.selection);
    m_state.selection = view.selection;
    m_state.selectionFrom = m_fade->from();
    m_state.selectionProgress = m_fade->progress();
    m_state.scanning = scanning;
    m_state.pct = pct;
    m_state.place = place;
    m_state.home = view.home;
    if (setPieces(view.pieces)) segments = true;
    const dazu::LegendFigures legend = dazu::legendFigures(view.pieces, view.totals.tickedBack);
    if (!changed && !segments && legend == m_state.legend) return;
    m_state.legend = legend;
    if (view.store != m_store || rows != m_rows) {
        m_store = view.store;
        m_rows = rows;
        m_state.headerCount = QString::fromStdString(dazu::headerCount(rows));
        if (m_heading) m_heading->setCount(m_state.headerCount);
    }
    m_map->setRows(m_store, m_rows);
    m_map->setSelection(view.selection);
    m_map->setScanning(scanning);
    m_map->setScheme(view.dark);
    m_map->setReduceMotion(view.reduceMotion);
    m_map->setHome(view.home);
    if (view.mapExpanded != m_state.expanded || !m_presented) {
        m_state.expanded = view.mapExpanded;
        animateOpen(view.mapExpanded);
    }
    m_presented = true;
    m_strip->refresh(segments);
    m_legend->refresh();
    arrange();
    update();
}

void DazuBar::followFade() {
    m_state.selectionFrom = m_fade->from();
    m_state.selectionProgress = m_fade->progress();
    m_strip->refresh(true);
}

bool DazuBar::setPieces(const std::vector<VadePiece>& pieces) {
    if (m_presented && pieces == m_pieces) return false;
    m_pieces = pieces;
    m_target.clear();
    for (const dazu::SegmentFrame& f : dazu::segmentFrames(pieces, 1.0))
        m_target.push_back({pieces[f.index], f.width});
    // Widths morph between two filled bars; a bar that empties or fills from
    // nothing switches at once, as the empty scanning bar takes or gives its place.
    if (!m_presented || m_state.reduceMotion || m_target.empty() || !hasSegments(m_state) ||
        !sharesMoved(m_state.segments, m_state.widthProgress, m_target)) {
        m_widthSpring->stop();
        m_state.segments = settledSegments(m_target);
        m_state.widthProgress = 1;
        return true;
    }
    m_state.segments = morphSegments(m_state.segments, m_state.widthProgress, m_target);
    m_state.widthProgress = 0;
    m_widthSpring->start();
    return true;
}

void DazuBar::toggleExpanded(std::optional<bool> forceOpen) {
    const std::optional<bool> target = dazu::toggleTarget(forceOpen, m_state.expanded);
    if (target) m_context.actions.setMapExpanded(*target);
}

void DazuBar::animateOpen(bool open) {
    const double target = open ? 1.0 : 0.0;
    m_openSpring->stop();
    if (m_state.reduceMotion || !m_presented || !isVisible()) {
        setOpen(target);
        return;
    }
    m_openFrom = m_state.open;
    m_openTo = target;
    m_openSpring->start();
}

void DazuBar::setOpen(double progress) {
    m_state.open = std::isfinite(progress) ? progress : 0.0;
    m_map->setAppear(m_state.openClamped());
    m_strip->refresh(true);
    arrange();
    update();
}

void DazuBar::placeHeading() {
    // There while the card is asked open, over the header the strip paints.
    if (!m_state.expanded) {
        delete m_heading.data();
        return;
    }
    if (!m_heading) {
        m_heading = new MapHeading(this);
        m_heading->setCount(m_state.headerCount);
        // Read after the strip and before the map.
        m_heading->stackUnder(m_map);
        m_heading->show();
    }
    const double top = m_state.barHeight();
    const double bottom = top + m_headerHeight * m_state.openClamped();
    m_heading->setGeometry(0, static_cast<int>(std::floor(top)), std::max(1, width()),
                           std::max(1, static_cast<int>(std::ceil(bottom - top))));
}

double DazuBar::mapTop() const {
    const double e = m_state.openClamped();
    return m_state.barHeight() + m_headerHeight * e + e;
}

QPainterPath DazuBar::cardPath(double radius) const {
    QPainterPath path;
    const double r = std::min({radius, m_card.width() / 2, m_card.height() / 2});
    path.addRoundedRect(m_card, r, r);
    return path;
}

DazuBar::Look DazuBar::look() const {
    const double e = m_state.openClamped();
    const bool dark = m_state.dark;
    const dazu::CardLook folded = dazu::cardLook(false, m_state.hovering, dark);
    const dazu::CardLook open = dazu::cardLook(true, m_state.hovering, dark);
    Look l;
    l.radius = mix(folded.radius, open.radius, e);
    l.fill = mix(hexColor(folded.fill, dark), hexColor(open.fill, dark), e);
    l.border = mix(withAlpha(hexColor(folded.border, dark), folded.borderOpacity),
                   withAlpha(hexColor(open.border, dark), open.borderOpacity), e);
    l.borderWidth = mix(folded.borderWidth, open.borderWidth, e);
    l.divider = withAlpha(hexColor(open.border, dark), e);
    l.shadow = mix(withAlpha(hexColor(folded.shadow, dark), folded.shadowOpacity),
                   withAlpha(hexColor(open.shadow, dark), open.shadowOpacity), e);
    l.shadowBlur = mix(folded.shadowRadius, open.shadowRadius, e);
    l.shadowOffset = QPointF(0, mix(folded.shadowOffsetY, open.shadowOffsetY, e));
    return l;
}

void DazuBar::arrange() {
    const double e = m_state.openClamped();
    const double w = std::max(1, width());
    const double stripHeight = m_state.barHeight() + m_headerHeight * e;
    const double top = mapTop();
    const double cardHeight = top + map::kSlotHeight * e;
    m_card = QRectF(0, 0, w, cardHeight);
    const Look l = look();
    const QPainterPath shape = cardPath(l.radius);

    m_strip->setGeometry(0, 0, static_cast<int>(w), static_cast<int>(std::ceil(stripHeight)));
    m_strip->setCardShape(shape);
    placeHeading();
    const bool mapShown = e > 0 || m_state.expanded;
    if (mapShown) {
        const int mapY = static_cast<int>(std::floor(top));
        m_map->setGeometry(0, mapY, static_cast<int>(w),
                           std::max(0, static_cast<int>(std::ceil(cardHeight)) - mapY));
        m_map->setClipShape(shape.translated(0, -mapY));
    }
    m_map->setVisible(mapShown);
    m_edge->setGeometry(0, 0, static_cast<int>(w), static_cast<int>(std::ceil(cardHeight)));
    m_edge->setEdge(m_card, l.radius, l.border, l.borderWidth);
    m_edge->raise();
    const int legendTop = static_cast<int>(std::lround(cardHeight + 8));
    m_legend->setGeometry(0, legendTop, static_cast<int>(w), DazuLegend::rowHeight());
    const int height = legendTop + DazuLegend::rowHeight();
    if (minimumHeight() != height || maximumHeight() != height) setFixedHeight(height);
    refreshShadow();
}

void DazuBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Look l = look();
    p.fillPath(cardPath(l.radius), l.fill);
    const double e = m_state.openClamped();
    if (e > 0) {
        const double y = m_state.barHeight() + m_headerHeight * e;
        p.fillRect(QRectF(0, y, m_card.width(), 1), l.divider);
    }
}

void DazuBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrange();
}

bool DazuBar::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::ParentChange:
            watchHost();
            break;
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::Hide:
            refreshShadow();
            break;
        default:
            break;
    }
    return handled;
}

void DazuBar::watchHost() {
    if (m_host == parentWidget()) return;
    if (m_host) {
        m_host->removeEventFilter(this);
        m_host->update(m_shadowArea);
    }
    m_host = parentWidget();
    m_shadowArea = QRect();
    m_shadowShape.reset();
    if (m_host) m_host->installEventFilter(this);
    refreshShadow();
}

void DazuBar::refreshShadow() {
    if (!m_host) return;
    const Look l = look();
    std::optional<ShadowShape> shape;
    if (isVisible())
        shape = ShadowShape{m_card.translated(pos()), l.radius, l.shadow.rgba(), l.shadowBlur,
                            l.shadowOffset};
    // A keystroke rearranges the bar without moving its card: repainting the
    // window under the card and its shadow then would only draw them again.
    if (shape == m_shadowShape) return;
    m_shadowShape = shape;
    const QRect area =
        shape ? cardShadowBounds(shape->card, shape->blur, shape->offset).toAlignedRect() : QRect();
    const QRect dirty = area.united(m_shadowArea);
    m_shadowArea = area;
    if (!dirty.isEmpty()) m_host->update(dirty);
}

bool DazuBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_host && event->type() == QEvent::Paint && isVisible()) {
        // The window's background is down, its other areas are not yet: the
        // shadow lies under everything, as a card's shadow should.
        const Look l = look();
        const QRectF card = m_card.translated(pos());
        QRegion reach = static_cast<QPaintEvent*>(event)->region().intersected(
            cardShadowBounds(card, l.shadowBlur, l.shadowOffset).toAlignedRect());
        // The opaque card is painted over the middle of its shadow right after.
        if (l.fill.alpha() == 255) reach -= cardHiddenCore(card, l.radius);
        if (!reach.isEmpty()) {
            QPainter p(m_host.data());
            p.setRenderHint(QPainter::Antialiasing);
            // Rectangle by rectangle: a plain clip keeps Qt's copy on its fast path.
            for (const QRect& part : reach) {
                p.setClipRect(part);
                m_shadowPicture.paint(p, card, l.radius, l.shadow, l.shadowBlur, l.shadowOffset);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace virirado
