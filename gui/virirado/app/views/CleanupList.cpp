#include "CleanupList.hpp"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <cmath>
#include <utility>

#include "ListLinePainter.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "RowActions.hpp"
#include "SelectionFade.hpp"
#include "Symbols.hpp"

namespace virirado {

namespace {

using ListPaint::Fonts;

constexpr double kCaptionPadX = 10;
constexpr double kCaptionPadY = 7;
constexpr double kRule = 1.5;
constexpr double kTickFrame = 26;

int captionHeight() {
    return static_cast<int>(
        std::ceil(kCaptionPadY * 2 + Fonts::get().captionMetrics.height() + kRule));
}

bool sameGroups(const std::vector<TreeGroup>& a, const std::vector<TreeGroup>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].key != b[i].key || a[i].rows != b[i].rows) return false;
    }
    return true;
}

// The 26-point square of a tick control, centred on the line.
QRectF tickFrame(const Span& tick, const QRectF& line) {
    return {tick.x, line.center().y() - kTickFrame / 2, kTickFrame, kTickFrame};
}

}  // namespace

// "WHAT" over the names, "GETS BACK" over the figures, and the accent rule.
class CleanupList::Caption : public QWidget {
public:
    explicit Caption(CleanupList* list) : QWidget(list), m_list(list) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    bool dark = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        const Palette& pal = Palette::of(dark);
        const Fonts& f = Fonts::get();
        const double textHeight = kCaptionPadY * 2 + f.captionMetrics.height();
        const QRectF band(0, 0, width(), textHeight);
        // The columns follow the lines below, which end where the scroll bar begins.
        const double columnsRight = m_list->viewport()->width() - 10 - kTickColumn - 8;
        p.setPen(pal.secondary);
        ListPaint::textAt(p, f.caption, f.captionMetrics, kCaptionPadX, band,
                          QStringLiteral("WHAT"));
        ListPaint::textRightAt(p, f.caption, f.captionMetrics, columnsRight, band,
                               QStringLiteral("GETS BACK"));
        p.fillRect(QRectF(0, textHeight, width(), kRule), pal.accent);
    }

private:
    CleanupList* m_list;
};

CleanupList::CleanupList(AreaContext context, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_context(context),
      m_caption(new Caption(this)),
      m_fade(new SelectionFade(context.clock, this, [this] { viewport()->update(); })) {
    setObjectName(QStringLiteral("cleanupList"));
    setAccessibleName(QStringLiteral("Cleanup list by kind, biggest first"));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setViewportMargins(0, captionHeight(), 0, 0);
    verticalScrollBar()->setSingleStep(static_cast<int>(kChildLineHeight));
    // The scroll bar belongs to the lines: it starts under the caption and its
    // rule, which run across the whole list. Its column's top stays empty.
    auto* overCaption = new QWidget;
    overCaption->setFixedHeight(captionHeight());
    overCaption->setAttribute(Qt::WA_TransparentForMouseEvents);
    addScrollBarWidget(overCaption, Qt::AlignTop);
}

void CleanupList::present(const WindowView& view) {
    const bool forceOpen = !view.query.empty();
    const bool linesChanged = !m_presented || view.store != m_store || forceOpen != m_forceOpen ||
                              view.expanded != m_expanded || !sameGroups(view.groups, m_groups);
    const bool selectionChanged = view.selection != m_selection;
    const bool darkChanged = view.dark != m_dark;
    m_presented = true;
    m_home = view.home;
    m_dark = view.dark;
    m_caption->dark = view.dark;
    if (linesChanged) {
        const LinesBefore before = linesBefore(true);
        m_store = view.store;
        m_groups = view.groups;
        m_forceOpen = forceOpen;
        m_expanded = view.expanded;
        relayout();
        linesLaidOut(before);
    }
    m_fade->setMotion(!view.reduceMotion);
    if (selectionChanged) {
        moveSelection(view.selection);
    } else if (linesChanged) {
        m_selectedLine = m_selection ? lineIndex(m_lines, m_groups, *m_selection) : std::nullopt;
    }
    if (linesChanged || selectionChanged || darkChanged) {
        viewport()->update();
        m_caption->update();
    }
}

void CleanupList::relayout() {
    m_lines = listLines(m_groups, m_forceOpen, m_expanded);
    m_layout = ListLayout(m_lines);
    m_looks.assign(m_lines.size(), LineLook{});
    updateScrollBars();
}

void CleanupList::updateScrollBars() {
    const int view = viewport()->height();
    const int total = static_cast<int>(std::ceil(m_layout.total()));
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(view);
    bar->setRange(0, std::max(0, total - view));
}

void CleanupList::placeCaption() {
    const QRect inner = contentsRect();
    m_caption->setGeometry(inner.left(), inner.top(), inner.width(), captionHeight());
}

void CleanupList::moveSelection(const std::optional<std::string>& selection) {
    const std::optional<std::string> was = std::exchange(m_selection, selection);
    m_fade->moveTo(m_selection);
    m_selectedLine = m_selection ? lineIndex(m_lines, m_groups, *m_selection) : std::nullopt;
    if (m_selectedLine) scrollToLine(*m_selectedLine);
    if (!QAccessible::isActive()) return;
    announceSelection(was ? lineIndex(m_lines, m_groups, *was) : std::nullopt);
}

void CleanupList::scrollToLine(std::size_t i) {
    const double now = verticalScrollBar()->value();
    const double to = m_layout.offsetShowing(i, now, viewport()->height());
    verticalScrollBar()->setValue(static_cast<int>(std::lround(to)));
}

// Looks and geometry.

const CleanupList::LineLook& CleanupList::look(std::size_t i) const {
    LineLook& l = m_looks[i];
    if (l.ready) return l;
    l.ready = true;
    const ListLine& line = m_lines[i];
    const Fonts& f = Fonts::get();
    if (line.kind == ListLine::Kind::child) {
        const VadeRow& row = *line.row;
        l.text = ListPaint::oneLine(shortName(row));
        l.fullName = QString::fromStdString(row.name);
        l.badge = badgeOf(row);
        l.badgeWord = ListPaint::oneLine(l.badge.word);
        l.textWidth = f.nameMetrics.horizontalAdvance(l.text);
        l.sideWidth = ListPaint::badgeWidth(l.badgeWord);
        l.figure = rowFigure(row);
        l.tick = rowTick(row);
    } else {
        const TreeGroup& group = m_groups[line.group];
        l.text = ListPaint::oneLine(group.title);
        l.count = QString::number(group.rows.size());
        l.textWidth = f.titleMetrics.horizontalAdvance(l.text);
        l.sideWidth = ListPaint::countWidth(l.count);
        l.figure = groupFigure(group);
        l.tick = groupTick(group);
    }
    return l;
}

std::string CleanupList::lineID(std::size_t i) const {
    const ListLine& line = m_lines[i];
    if (line.kind == ListLine::Kind::child) return line.row->id;
    return m_groups[line.group].id();
}

double CleanupList::selectedWeight(std::size_t i) const {
    if (i >= m_lines.size()) return 0;
    if (!m_fade->running()) return m_selectedLine == i ? 1 : 0;
    return m_fade->weight(lineID(i));
}

ChildGeometry CleanupList::childParts(std::size_t i) const {
    const LineLook& l = look(i);
    return childGeometry(viewport()->width(), l.textWidth, l.sideWidth);
}

GroupGeometry CleanupList::groupParts(std::size_t i) const {
    const LineLook& l = look(i);
    const bool symbol = !m_groups[m_lines[i].group].symbol.empty();
    return groupGeometry(viewport()->width(), symbol, l.textWidth, l.sideWidth);
}

QRectF CleanupList::lineRect(std::size_t i) const {
    const double offset = verticalScrollBar()->value();
    return {0, m_layout.top(i) - offset, static_cast<double>(viewport()->width()),
            m_layout.height(i)};
}

QRectF CleanupList::tickRect(std::size_t i) const {
    const Span tick =
        m_lines[i].kind == ListLine::Kind::group ? groupParts(i).tick : childParts(i).tick;
    return tickFrame(tick, lineRect(i));
}

std::optional<CleanupList::Hit> CleanupList::hitAt(QPointF pos) const {
    const auto i = m_layout.lineAt(pos.y() + verticalScrollBar()->value());
    if (!i) return std::nullopt;
    const QRectF line = lineRect(*i);
    const double x = pos.x();
    auto stretch = [&line](const Span& s) { return QRectF(s.x, line.top(), s.w, line.height()); };
    if (m_lines[*i].kind == ListLine::Kind::group) {
        const GroupGeometry g = groupParts(*i);
        const QRectF tick = tickFrame(g.tick, line);
        if (tick.contains(pos)) return Hit{*i, Part::tick, tick};
        if (g.button.contains(x)) return Hit{*i, Part::button, stretch(g.button)};
        return Hit{*i, Part::none, line};
    }
    const ChildGeometry g = childParts(*i);
    const QRectF tick = tickFrame(g.tick, line);
    if (tick.contains(pos)) return Hit{*i, Part::tick, tick};
    if (g.badge.contains(x)) return Hit{*i, Part::badge, stretch(g.badge)};
    if (g.name.contains(x)) return Hit{*i, Part::name, stretch(g.name)};
    if (g.button.contains(x)) return Hit{*i, Part::button, stretch(g.button)};
    return Hit{*i, Part::none, line};
}

QString CleanupList::toolTipAt(QPointF pos) const {
    const auto hit = hitAt(pos);
    if (!hit || hit->part == Part::none) return {};
    const LineLook& l = look(hit->line);
    if (hit->part == Part::tick) return QString::fromStdString(l.tick.tip);
    if (m_lines[hit->line].kind == ListLine::Kind::group) return {};
    if (hit->part == Part::badge) return QString::fromStdString(l.badge.tip);
    return l.fullName;
}

// Painting.

void CleanupList::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRect area = event->rect();
    const auto [first, end] =
        m_layout.visible(area.top() + verticalScrollBar()->value(), area.height());
    const QColor selected = Palette::of(m_dark).selection;
    for (std::size_t i = first; i < end; ++i) {
        const QRectF rect = lineRect(i);
        const double weight = selectedWeight(i);
        if (weight > 0) p.fillRect(rect, withAlpha(selected, selected.alphaF() * weight));
        if (m_lines[i].kind == ListLine::Kind::group) {
            paintGroupLine(p, i, rect);
        } else {
            paintChildLine(p, i, rect);
        }
    }
}

void CleanupList::paintGroupLine(QPainter& p, std::size_t i, const QRectF& rect) const {
    const Palette& pal = Palette::of(m_dark);
    const Fonts& f = Fonts::get();
    const TreeGroup& group = m_groups[m_lines[i].group];
    const LineLook& l = look(i);
    const GroupGeometry g = groupParts(i);
    const double mid = rect.center().y();

    p.fillRect(QRectF(rect.left(), rect.top(), rect.width(), 1), pal.outline);
    p.save();
    p.translate(g.chevron.x + g.chevron.w / 2, mid);
    if (groupIsOpen(group, m_forceOpen, m_expanded)) p.rotate(90);
    Symbols::paint(p, QStringLiteral("chevron.right"), QRectF(-7, -7, 14, 14), pal.secondary);
    p.restore();
    if (!group.symbol.empty()) {
        const QRectF box(g.symbol.x, mid - g.symbol.w / 2, g.symbol.w, g.symbol.w);
        Symbols::paint(p, QString::fromStdString(group.symbol), box, pal.secondary);
    }
    p.setPen(pal.title);
    ListPaint::textAt(p, f.title, f.titleMetrics, g.title.x, rect,
                      f.titleMetrics.elidedText(l.text, Qt::ElideRight, g.title.w + 0.5));
    ListPaint::countCapsule(p, QRectF(g.count.x, rect.top(), g.count.w, rect.height()), l.count,
                            m_dark);
    p.setPen(l.figure.quiet ? pal.secondary : pal.text);
    ListPaint::textRightAt(p, f.groupFigure, f.groupFigureMetrics, g.figure.right(), rect,
                           QString::fromStdString(l.figure.text));
    ListPaint::tickCircle(p, tickFrame(g.tick, rect).center(), l.tick, m_dark);
}

void CleanupList::paintChildLine(QPainter& p, std::size_t i, const QRectF& rect) const {
    const Palette& pal = Palette::of(m_dark);
    const Fonts& f = Fonts::get();
    const LineLook& l = look(i);
    const ChildGeometry g = childParts(i);

    ListPaint::treeGuide(p, QRectF(g.guide.x, rect.top(), g.guide.w, rect.height()),
                         m_lines[i].last, withAlpha(pal.secondary, 0.4));
    p.setPen(pal.text);
    ListPaint::textAt(p, f.name, f.nameMetrics, g.name.x, rect,
                      f.nameMetrics.elidedText(l.text, Qt::ElideMiddle, g.name.w + 0.5));
    ListPaint::badge(p, QRectF(g.badge.x, rect.top(), g.badge.w, rect.height()), l.badgeWord,
                     l.badge.tone, m_dark);
    p.setPen(l.figure.quiet ? pal.secondary : pal.text);
    ListPaint::textRightAt(p, f.figure, f.figureMetrics, g.figure.right(), rect,
                           QString::fromStdString(l.figure.text));
    ListPaint::tickCircle(p, tickFrame(g.tick, rect).center(), l.tick, m_dark);
}

void CleanupList::resizeEvent(QResizeEvent* event) {
    // Also called when only the viewport changed, as when the scroll bar comes
    // or goes: the caption's columns follow the viewport's width.
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    placeCaption();
    m_caption->update();
}

void CleanupList::scrollContentsBy(int, int) {
    viewport()->update();
}

// Input.

std::optional<ListKey> CleanupList::listKey(int key) const {
    switch (key) {
        case Qt::Key_Up:
            return ListKey::up;
        case Qt::Key_Down:
            return ListKey::down;
        case Qt::Key_Left:
            return ListKey::left;
        case Qt::Key_Right:
            return ListKey::right;
        case Qt::Key_Space:
            return ListKey::space;
        default:
            return std::nullopt;
    }
}

bool CleanupList::event(QEvent* event) {
    // The five keys belong to the list while it has focus, before any shortcut.
    if (event->type() == QEvent::ShortcutOverride &&
        listKey(static_cast<QKeyEvent*>(event)->key())) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void CleanupList::keyPressEvent(QKeyEvent* event) {
    if (RowActions::openMenuFromKeys(this, event)) return;
    const std::optional<ListKey> key = listKey(event->key());
    if (!key) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    // Consumed even when nothing happens: the scroll area never scrolls on them.
    event->accept();
    apply(listKeyIntent(*key, {m_groups, m_lines, m_selection, m_forceOpen, m_expanded}));
}

void CleanupList::apply(const ListIntent& intent) {
    using Kind = ListIntent::Kind;
    switch (intent.kind) {
        case Kind::none:
            return;
        case Kind::select:
            m_context.actions.select(intent.id);
            // Shown at once, so a second key before the window's next refresh
            // walks on from here.
            if (m_selection != intent.id) {
                moveSelection(intent.id);
                viewport()->update();
            }
            return;
        case Kind::tickRow: {
            const VadeRow row = *intent.row;
            m_context.actions.toggle(row);
            return;
        }
        case Kind::tickGroup: {
            const TreeGroup group = m_groups[intent.group];
            m_context.actions.tickGroup(group);
            return;
        }
        case Kind::open:
        case Kind::fold: {
            std::set<std::string> keys = m_expanded;
            const std::string& key = m_groups[intent.group].key;
            if (intent.kind == Kind::open) {
                keys.insert(key);
            } else {
                keys.erase(key);
            }
            m_context.actions.setExpanded(keys);
            const LinesBefore before = linesBefore(false);
            m_expanded = std::move(keys);
            relayout();
            linesLaidOut(before);
            m_selectedLine =
                m_selection ? lineIndex(m_lines, m_groups, *m_selection) : std::nullopt;
            viewport()->update();
            return;
        }
    }
}

void CleanupList::mousePressEvent(QMouseEvent* event) {
    m_pressed.reset();
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    m_pressed = hitAt(event->position());
}

void CleanupList::mouseDoubleClickEvent(QMouseEvent* event) {
    // A second click of a double click is one more click, as on a button.
    mousePressEvent(event);
}

void CleanupList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) return;
    const Hit pressed = *m_pressed;
    m_pressed.reset();
    const auto hit = hitAt(event->position());
    if (!hit || hit->line != pressed.line) return;
    // Press and release on the same control: the tick, or the line's button,
    // of which the name and the badge are a part.
    if ((hit->part == Part::tick) != (pressed.part == Part::tick)) return;
    activate(*hit);
}

void CleanupList::activate(const Hit& hit) {
    const ListLine line = m_lines[hit.line];
    const bool isGroup = line.kind == ListLine::Kind::group;
    if (hit.part == Part::tick) {
        if (!look(hit.line).tick.enabled) return;
        if (isGroup) {
            apply({ListIntent::Kind::tickGroup, {}, nullptr, line.group});
        } else {
            apply({ListIntent::Kind::tickRow, {}, line.row, line.group});
        }
        return;
    }
    if (hit.part == Part::none) return;
    if (!isGroup) {
        apply({ListIntent::Kind::select, line.row->id, nullptr, 0});
        return;
    }
    const TreeGroup& group = m_groups[line.group];
    const std::string key = group.key;
    apply({ListIntent::Kind::select, group.id(), nullptr, 0});
    if (m_forceOpen) return;
    const std::size_t g = line.group;
    apply({m_expanded.contains(key) ? ListIntent::Kind::fold : ListIntent::Kind::open,
           {},
           nullptr,
           g});
}

void CleanupList::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() != QContextMenuEvent::Keyboard) {
        // A click: the line under the pointer, selected or not.
        const auto hit = hitAt(event->pos());
        if (hit) popupMenu(hit->line, event->globalPos(), false);
        return;
    }
    // Asked from the keys (the Menu key, Shift+F10): the selected line,
    // wherever the pointer is, with the menu at the line.
    if (!m_selectedLine) return;
    const std::size_t i = *m_selectedLine;
    scrollToLine(i);
    const QRectF line = lineRect(i);
    popupMenu(i, viewport()->mapToGlobal(QPointF(line.left() + 24, line.bottom()).toPoint()), true);
}

void CleanupList::popupMenu(std::size_t i, QPoint globalPos, bool fromKeys) {
    const ListLine line = m_lines[i];
    if (line.kind == ListLine::Kind::child) {
        const VadeRow row = *line.row;
        const RowMenu menu =
            RowMenu::make(row.path, row.name, row.tickable && row.blocked.empty(), true, m_home);
        WindowActions& actions = m_context.actions;
        RowActions::popup(
            menu, m_context.files, [&actions, row] { actions.quickDelete(row); }, this, globalPos,
            fromKeys);
        return;
    }
    const TreeGroup& group = m_groups[line.group];
    const RowMenu menu = RowMenu::make(groupMenuPath(group), group.title, false, false, m_home);
    RowActions::popup(menu, m_context.files, {}, this, globalPos, fromKeys);
}

bool CleanupList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto hit = hitAt(help->pos());
        const QString tip = toolTipAt(help->pos());
        if (!hit || tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), plainToolTip(tip), viewport(),
                               hit->rect.toAlignedRect());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace virirado
