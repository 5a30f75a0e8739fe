#include "LargestFilesMap.hpp"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <utility>

#include "FocusRing.hpp"
#include "FrameTicker.hpp"
#include "MapPaint.hpp"
#include "Palette.hpp"
#include "RowActions.hpp"
#include "SelectionFade.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

QFont emptyFont() {
    return Dazu::text(12.5, FontWeight::medium);
}

// More renamed tiles than this at once (a whole group ticked) are told as new
// tiles: one event instead of an element made for every tile.
constexpr std::size_t kMostRenamed = 32;

QRect rectOf(const durozizo::MapRect& r) {
    return {static_cast<int>(r.x), static_cast<int>(r.y), static_cast<int>(r.w),
            static_cast<int>(r.h)};
}

}  // namespace

LargestFilesMap::LargestFilesMap(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_ink(std::make_unique<TileInk>(false)),
      m_ticker(new FrameTicker(this, 30)),
      m_mascot(new VornMascot(context.clock, this)),
      m_fade(new SelectionFade(context.clock, this, [this] { update(); })) {
    setObjectName(QStringLiteral("largestFilesMap"));
    setMouseTracking(true);
    m_ticker->setWanted(false);
    m_mascot->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_mascot->hide();
}

LargestFilesMap::~LargestFilesMap() = default;

void LargestFilesMap::setRows(std::shared_ptr<const RowStore> store, const RowRefs& rows) {
    if (store == m_store && rows == m_rows) return;
    // The old rows live until the new tiles have been compared with them.
    const std::shared_ptr<const RowStore> before = std::exchange(m_store, std::move(store));
    m_rows = rows;
    // A folded map lays its tiles out when it is next shown; until then it keeps
    // no tiles, which would point into rows that may be gone.
    if (isVisible()) {
        relayout();
        update();
    } else {
        m_tiles.clear();
        m_cases.clear();
        m_layoutWidth = -1;
        m_focusTile = -1;
    }
}

void LargestFilesMap::setSelection(const std::optional<std::string>& selection) {
    if (selection == m_selection) return;
    const std::optional<std::string> before = std::exchange(m_selection, selection);
    m_fade->moveTo(selection);
    announceSelection(before);
    update();
}

void LargestFilesMap::setScanning(bool scanning) {
    if (scanning == m_scanning) return;
    m_scanning = scanning;
    m_ticker->setWanted(scanning);
    update();
}

void LargestFilesMap::setScheme(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    m_ink = std::make_unique<TileInk>(dark);
    m_mascot->setDark(dark);
    m_baseValid = false;
    update();
}

void LargestFilesMap::setReduceMotion(bool reduce) {
    m_reduceMotion = reduce;
    m_ticker->setMotion(!reduce);
    m_fade->setMotion(!reduce);
    m_mascot->setReduceMotion(reduce);
    update();
}

void LargestFilesMap::setHome(const std::string& home) {
    m_home = home;
}

void LargestFilesMap::setAppear(double progress) {
    const double clamped = std::clamp(std::isfinite(progress) ? progress : 1.0, 0.0, 1.0);
    if (clamped == m_appear) return;
    m_appear = clamped;
    update();
}

void LargestFilesMap::setClipShape(const QPainterPath& shape) {
    if (shape == m_clip) return;
    m_clip = shape;
    if (m_scanning) update();
}

void LargestFilesMap::relayout() {
    m_layoutWidth = width();
    const double w = std::max(1, width());
    const std::string focusedRow =
        m_focusTile >= 0 && static_cast<std::size_t>(m_focusTile) < m_tiles.size()
            ? m_tiles[static_cast<std::size_t>(m_focusTile)].rowID
            : std::string();
    const std::vector<map::CushionTile> before =
        std::exchange(m_tiles, map::buildTreemap(m_rows, durozizo::MapRect(w, map::kSlotHeight)));
    // The keys stay on their row's tile wherever it went.
    m_focusTile = focusedRow.empty() ? -1 : tileOf(focusedRow);
    if (m_focusTile < 0 && hasFocus() && !m_tiles.empty()) m_focusTile = 0;
    // A map without tiles is no stop for Tab.
    setFocusPolicy(m_tiles.empty() ? Qt::NoFocus : Qt::TabFocus);
    m_cases.clear();
    m_cases.reserve(m_tiles.size());
    m_hovered = -1;
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        map::CushionTile& tile = m_tiles[i];
        m_cases.push_back(map::cushionCase(*tile.row));
        const map::TileShape s = map::tileShape(tile.rect);
        if (map::tileLabels(s.w, s.h, false).title) map::withTexts(tile);
        if (m_hoveredID && tile.id == *m_hoveredID && m_hovered < 0)
            m_hovered = static_cast<int>(i);
    }
    m_baseValid = false;
    placeMascot();
    announceTiles(before);
}

void LargestFilesMap::announceTiles(const std::vector<map::CushionTile>& before) {
    // A refresh hands out new rows for the same tiles (a tick, a new scan
    // figure): the elements tools hold stay, and only renamed ones are told.
    if (!map::sameLayout(before, m_tiles)) {
        m_access.partsChanged();
        return;
    }
    if (!QAccessible::isActive()) return;
    std::vector<int> renamed;
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        if (map::sameAccessibleName(before[i], m_tiles[i])) continue;
        if (renamed.size() == kMostRenamed) {
            m_access.partsChanged();
            return;
        }
        renamed.push_back(static_cast<int>(i));
    }
    for (int i : renamed)
        m_access.notify({i, -1}, QAccessible::NameChanged);
}

void LargestFilesMap::announceSelection(const std::optional<std::string>& before) {
    if (!QAccessible::isActive() || itemCount() == 0) return;
    const auto tile = [this](const std::optional<std::string>& rowID) -> std::optional<PartId> {
        const int i = rowID ? tileOf(*rowID) : -1;
        return i >= 0 ? std::optional(PartId{i, -1}) : std::nullopt;
    };
    m_access.selectionMoved(tile(before), tile(m_selection));
}

int LargestFilesMap::tileOf(const std::string& rowID) const {
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles[i].rowID == rowID) return static_cast<int>(i);
    }
    return -1;
}

int LargestFilesMap::itemCount() const {
    // Tiles are current only while shown at the width they were laid out for.
    if (!isVisible() || m_layoutWidth != width()) return 0;
    return static_cast<int>(m_tiles.size());
}

PartFace LargestFilesMap::face(PartId id) const {
    const map::CushionTile& tile = m_tiles[static_cast<std::size_t>(id.item)];
    PartFace f;
    f.role = QAccessible::Button;
    f.name = QString::fromStdString(map::tileAccessibleName(tile));
    f.rect = rectOf(tile.rect);
    f.state.focusable = true;
    f.state.focused = hasFocus() && id.item == m_focusTile;
    f.state.selectable = true;
    f.state.selected = m_selection && *m_selection == tile.rowID;
    f.actions = {QAccessibleActionInterface::pressAction()};
    return f;
}

void LargestFilesMap::act(PartId id, const QString& action) {
    if (action != QAccessibleActionInterface::pressAction()) return;
    // A copy: selecting may hand out new rows before this returns.
    const std::string rowID = m_tiles[static_cast<std::size_t>(id.item)].rowID;
    m_context.actions.select(rowID);
}

std::optional<PartId> LargestFilesMap::partAt(QPoint point) const {
    if (itemCount() == 0) return std::nullopt;
    const int i = tileAt(point);
    return i >= 0 ? std::optional(PartId{i, -1}) : std::nullopt;
}

std::optional<PartId> LargestFilesMap::focusedPart() const {
    if (m_focusTile < 0 || m_focusTile >= itemCount()) return std::nullopt;
    return PartId{m_focusTile, -1};
}

void LargestFilesMap::focusTile(int index) {
    if (index == m_focusTile) return;
    update(tileBounds(m_focusTile).united(tileBounds(index)));
    m_focusTile = index;
    if (hasFocus() && index >= 0 && index < itemCount())
        m_access.notify({index, -1}, QAccessible::Focus);
}

void LargestFilesMap::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    const int count = static_cast<int>(m_tiles.size());
    if (count == 0) return;
    int to = std::clamp(m_focusTile, 0, count - 1);
    if (event->reason() == Qt::TabFocusReason) to = 0;
    if (event->reason() == Qt::BacktabFocusReason) to = count - 1;
    update(tileBounds(m_focusTile).united(tileBounds(to)));
    m_focusTile = to;
    if (!QAccessible::isActive()) return;
    // As the list does: the tile is told after Qt has told tools of the map.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus() && m_focusTile >= 0 && m_focusTile < itemCount())
            m_access.notify({m_focusTile, -1}, QAccessible::Focus);
    });
}

void LargestFilesMap::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update(tileBounds(m_focusTile));
}

bool LargestFilesMap::focusNextPrevChild(bool next) {
    // One Tab stop per tile, in tile order, before the keys leave the map. A
    // map being hidden has no tiles and lets the keys go.
    const int to = m_focusTile + (next ? 1 : -1);
    if (hasFocus() && m_focusTile >= 0 && to >= 0 && to < itemCount()) {
        focusTile(to);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void LargestFilesMap::keyPressEvent(QKeyEvent* event) {
    if (RowActions::openMenuFromKeys(this, event)) return;
    // Space presses the tile as a click does; Return belongs to the window.
    if (event->key() != Qt::Key_Space || m_focusTile < 0 ||
        static_cast<std::size_t>(m_focusTile) >= m_tiles.size()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    act({m_focusTile, -1}, QAccessibleActionInterface::pressAction());
}

void LargestFilesMap::renderBase() {
    const qreal dpr = devicePixelRatioF();
    const QSize size(static_cast<int>(std::ceil(std::max(1, m_layoutWidth) * dpr)),
                     static_cast<int>(std::ceil(map::kSlotHeight * dpr)));
    if (m_base.size() != size) m_base = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_base.setDevicePixelRatio(dpr);
    m_base.fill(Qt::transparent);
    for (std::size_t i = 0; i < m_tiles.size(); ++i)
        shadeTile(m_base, dpr, QPointF(), m_tiles[i], m_cases[i], *m_ink, false);
    // Only the labelled tiles need the painter. The selection ring is drawn over
    // the picture, so it can fade from one tile to another.
    QPainter p(&m_base);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        const map::CushionTile& tile = m_tiles[i];
        if (!tile.title.empty()) paintTileDecor(p, tile, m_cases[i], *m_ink, false, false);
    }
    m_baseValid = true;
}

void LargestFilesMap::paintHovered(QPainter& p) {
    const auto index = static_cast<std::size_t>(m_hovered);
    const map::CushionTile& tile = m_tiles[index];
    const qreal dpr = devicePixelRatioF();
    const QRectF area(static_cast<double>(tile.rect.x), static_cast<double>(tile.rect.y),
                      static_cast<double>(tile.rect.w), static_cast<double>(tile.rect.h));
    QImage body(static_cast<int>(std::ceil(area.width() * dpr)),
                static_cast<int>(std::ceil(area.height() * dpr)),
                QImage::Format_ARGB32_Premultiplied);
    body.setDevicePixelRatio(dpr);
    body.fill(Qt::transparent);
    shadeTile(body, dpr, area.topLeft(), tile, m_cases[index], *m_ink, true);
    p.drawImage(area.topLeft(), body);
    // A selected tile shows its ring, never the hover border.
    const bool selected = m_selection && *m_selection == tile.rowID;
    paintTileDecor(p, tile, m_cases[index], *m_ink, false, !selected);
}

void LargestFilesMap::paintSelectionRings(QPainter& p) {
    std::vector<std::string> ids;
    if (m_fade->to()) ids.push_back(*m_fade->to());
    if (m_fade->from() && m_fade->from() != m_fade->to()) ids.push_back(*m_fade->from());
    const double opacity = p.opacity();
    for (const std::string& id : ids) {
        const double weight = m_fade->weight(id);
        if (weight <= 0) continue;
        for (const map::CushionTile& tile : m_tiles) {
            if (tile.rowID != id) continue;
            p.setOpacity(opacity * weight);
            paintSelectionRing(p, tile, *m_ink);
            break;
        }
    }
    p.setOpacity(opacity);
}

double LargestFilesMap::ringWeight(const std::string& rowID) const {
    return m_fade->weight(rowID);
}

void LargestFilesMap::paintEvent(QPaintEvent*) {
    if (m_layoutWidth != width()) relayout();
    if (!m_baseValid) renderBase();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (m_appear < 1) {
        p.setOpacity(m_appear);
        const double scale = 0.98 + 0.02 * m_appear;
        p.translate(width() / 2.0, 0);
        p.scale(scale, scale);
        p.translate(-width() / 2.0, 0);
    }
    if (m_hovered >= 0) {
        // The hovered tile replaces its resting picture rather than lying on it.
        const durozizo::MapRect& r = m_tiles[static_cast<std::size_t>(m_hovered)].rect;
        p.save();
        p.setClipRegion(QRegion(rect()) - QRect(static_cast<int>(r.x), static_cast<int>(r.y),
                                                static_cast<int>(r.w), static_cast<int>(r.h)));
        p.drawImage(0, 0, m_base);
        p.restore();
        paintHovered(p);
    } else {
        p.drawImage(0, 0, m_base);
    }
    paintSelectionRings(p);
    if (m_focusTile >= 0 && static_cast<std::size_t>(m_focusTile) < m_tiles.size() &&
        showsFocusRing(this)) {
        const map::TileShape s =
            map::tileShape(m_tiles[static_cast<std::size_t>(m_focusTile)].rect);
        paintFocusRing(p, QRectF(s.x, s.y, s.w, s.h), s.radius);
    }
    if (m_scanning && !m_reduceMotion) {
        p.save();
        if (!m_clip.isEmpty()) p.setClipPath(m_clip, Qt::IntersectClip);
        paintScanBand(p, width(), map::kSlotHeight, m_context.clock.frameTime());
        p.restore();
    }
    if (m_tiles.empty()) paintEmpty(p);
    if (m_hovered >= 0 && m_hoverPoint) {
        const map::CushionTile& tile = m_tiles[static_cast<std::size_t>(m_hovered)];
        const map::PlotPoint origin =
            map::tooltipOrigin({m_hoverPoint->x(), m_hoverPoint->y()}, width(), map::kSlotHeight);
        paintTooltip(p, map::tooltipTexts(tile), QPointF(origin.x, origin.y), m_dark);
    }
}

void LargestFilesMap::paintEmpty(QPainter& p) {
    const QFont font = emptyFont();
    const double textHeight = QFontMetricsF(font).height();
    const double top = (map::kSlotHeight - (30 + 6 + textHeight)) / 2;
    p.setFont(font);
    p.setPen(Palette::of(m_dark).secondary);
    p.drawText(QRectF(0, top + 36, width(), textHeight), Qt::AlignCenter | Qt::TextSingleLine,
               QString::fromStdString(map::emptyText(m_scanning)));
}

void LargestFilesMap::placeMascot() {
    const bool empty = m_tiles.empty();
    if (!empty) {
        m_mascot->hide();
        return;
    }
    const double textHeight = QFontMetricsF(emptyFont()).height();
    const double top = (map::kSlotHeight - (30 + 6 + textHeight)) / 2;
    QRect box(QPoint(), m_mascot->size());
    box.moveCenter(QPoint(width() / 2, static_cast<int>(std::lround(top + 15))));
    m_mascot->setGeometry(box);
    m_mascot->show();
}

void LargestFilesMap::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible() && width() != m_layoutWidth) relayout();
}

void LargestFilesMap::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (width() != m_layoutWidth) relayout();
    // The tiles come back for tools whether or not they were laid out anew.
    m_access.partsChanged();
}

int LargestFilesMap::tileAt(QPointF point) const {
    return map::hitTile(m_tiles, point.x(), point.y());
}

QRect LargestFilesMap::tileBounds(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_tiles.size()) return {};
    return rectOf(m_tiles[static_cast<std::size_t>(index)].rect).adjusted(-1, -1, 1, 1);
}

QRectF LargestFilesMap::tooltipRect() const {
    if (m_hovered < 0 || !m_hoverPoint) return {};
    const map::CushionTile& tile = m_tiles[static_cast<std::size_t>(m_hovered)];
    const map::PlotPoint origin =
        map::tooltipOrigin({m_hoverPoint->x(), m_hoverPoint->y()}, width(), map::kSlotHeight);
    return {QPointF(origin.x, origin.y), tooltipSize(map::tooltipTexts(tile))};
}

QRect LargestFilesMap::tooltipBounds() const {
    const QRectF card = tooltipRect();
    if (card.isEmpty()) return {};
    const double room = kTooltipShadowRoom;
    return card.adjusted(-room, -room, room, room).toAlignedRect();
}

void LargestFilesMap::setHover(int index, std::optional<QPointF> point) {
    QRegion dirty = tooltipBounds();
    if (index != m_hovered) {
        dirty += tileBounds(m_hovered);
        dirty += tileBounds(index);
    }
    m_hovered = index;
    m_hoverPoint = index >= 0 ? point : std::nullopt;
    m_hoveredID =
        index >= 0 ? std::optional(m_tiles[static_cast<std::size_t>(index)].id) : std::nullopt;
    dirty += tooltipBounds();
    if (!dirty.isEmpty()) update(dirty);
}

void LargestFilesMap::mouseMoveEvent(QMouseEvent* event) {
    setHover(tileAt(event->position()), event->position());
}

void LargestFilesMap::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHover(-1, std::nullopt);
}

void LargestFilesMap::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    setHover(-1, std::nullopt);
    m_access.partsChanged();
}

void LargestFilesMap::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int i = tileAt(event->position());
    if (i < 0) return;
    // A copy: selecting may hand out new rows before this returns.
    const std::string id = m_tiles[static_cast<std::size_t>(i)].rowID;
    m_context.actions.select(id);
}

void LargestFilesMap::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int i = tileAt(event->position());
    if (i < 0) return;
    const VadeRow row = *m_tiles[static_cast<std::size_t>(i)].row;
    m_context.actions.select(row.id);
    m_context.actions.toggle(row);
}

std::unique_ptr<QMenu> LargestFilesMap::menuFor(std::size_t index) {
    if (index >= m_tiles.size()) return nullptr;
    const VadeRow row = *m_tiles[index].row;
    const bool canDelete = row.tickable && row.blocked.empty();
    WindowActions* actions = &m_context.actions;
    return RowActions::build(
        RowMenu::make(row.path, row.name, canDelete, true, m_home), m_context.files,
        [actions, row] { actions->quickDelete(row); }, this);
}

void LargestFilesMap::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Keyboard) {
        const int i = tileAt(event->pos());
        if (i >= 0) popupMenu(static_cast<std::size_t>(i), event->globalPos(), false);
        return;
    }
    // Asked from the keys: the tile the keys are on, else the selected one,
    // wherever the pointer is.
    int i = hasFocus() ? m_focusTile : -1;
    if (i < 0 && m_selection) i = tileOf(*m_selection);
    if (i < 0 || static_cast<std::size_t>(i) >= m_tiles.size()) return;
    const QRect tile = rectOf(m_tiles[static_cast<std::size_t>(i)].rect);
    popupMenu(static_cast<std::size_t>(i), mapToGlobal(tile.center()), true);
}

void LargestFilesMap::popupMenu(std::size_t index, QPoint globalPos, bool fromKeys) {
    std::unique_ptr<QMenu> menu = menuFor(index);
    if (menu) RowActions::show(std::move(menu), globalPos, fromKeys);
}

}  // namespace virirado
