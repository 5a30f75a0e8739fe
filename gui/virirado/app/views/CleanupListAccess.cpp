// The cleanup list as assistive tools see it: one element per line, in order,
// and the line's tick control inside it. Their words are the window layer's,
// the same values the painter draws from, and pressing one goes through the
// path a click takes.
#include <QTimer>
#include <algorithm>
#include <unordered_map>

#include "Announcer.hpp"
#include "CleanupList.hpp"

namespace virirado {

namespace {

constexpr int kTickPart = 0;

QString lineSpoken(const ListLine& line, const std::vector<TreeGroup>& groups, bool forceOpen,
                   const std::set<std::string>& expanded) {
    if (line.kind == ListLine::Kind::child)
        return QString::fromStdString(childLineSpoken(*line.row));
    const TreeGroup& group = groups[line.group];
    return QString::fromStdString(groupLineSpoken(group, groupIsOpen(group, forceOpen, expanded)));
}

TickLook lineTick(const ListLine& line, const std::vector<TreeGroup>& groups) {
    return line.kind == ListLine::Kind::child ? rowTick(*line.row) : groupTick(groups[line.group]);
}

// The same lines in the same order: tools hold on to the same elements.
bool sameLines(const std::vector<ListLine>& a, const std::vector<TreeGroup>& ag,
               const std::vector<ListLine>& b, const std::vector<TreeGroup>& bg) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind) return false;
        if (a[i].kind == ListLine::Kind::child ? a[i].row->id != b[i].row->id
                                               : ag[a[i].group].key != bg[b[i].group].key)
            return false;
    }
    return true;
}

PartId linePart(std::size_t i) {
    return {static_cast<int>(i), -1};
}

// A row's line is a check box: a reader speaks its checked state as it
// arrives and when it changes. A group line folds: an item, read with its
// checked and expanded states (Qt's tree items reach tools as table cells,
// which a reader names by their children).
QAccessible::Role lineRole(const ListLine& line) {
    return line.kind == ListLine::Kind::group ? QAccessible::ListItem : QAccessible::CheckBox;
}

}  // namespace

QString CleanupList::spokenLine(std::size_t i) const {
    return lineSpoken(m_lines.at(i), m_groups, m_forceOpen, m_expanded);
}

int CleanupList::itemCount() const {
    return static_cast<int>(m_lines.size());
}

int CleanupList::partCount(int) const {
    return 1;
}

PartFace CleanupList::face(PartId id) const {
    const auto i = static_cast<std::size_t>(id.item);
    const ListLine& line = m_lines[i];
    const TickLook tick = lineTick(line, m_groups);
    const QPoint origin = viewport()->pos();
    PartFace f;
    f.role = partRole(id);
    // A reader speaks a change of states of the element it is on, where a new
    // name goes unheard: the tick's states are on the tick and a row's line.
    if (f.role == QAccessible::CheckBox) {
        f.state.checkable = true;
        f.state.checked = tick.on;
        f.state.checkStateMixed = tick.partial;
    }
    if (id.part == kTickPart) {
        f.name = QString::fromStdString(tick.spoken);
        f.rect = tickRect(i).translated(origin).toAlignedRect();
        f.state.disabled = !tick.enabled;
        if (tick.enabled) f.actions = {QAccessibleActionInterface::pressAction()};
    } else {
        const bool selected = m_selectedLine == i;
        f.name = spokenLine(i);
        f.rect = lineRect(i).translated(origin).toAlignedRect();
        f.state.focusable = true;
        f.state.selectable = true;
        f.state.selected = selected;
        f.state.focused = selected && hasFocus();
        f.actions = {QAccessibleActionInterface::pressAction()};
        if (line.kind == ListLine::Kind::child) {
            f.description = QString::fromStdString(badgeOf(*line.row).spoken);
        } else {
            // Qt 6.4 tells tools no "checkable", so a group line read as
            // checked would say nothing for "Some ticked" and "None ticked":
            // its tick's words are read with it instead.
            f.description = QString::fromStdString(tick.spoken);
            const bool open = groupIsOpen(m_groups[line.group], m_forceOpen, m_expanded);
            f.state.expandable = true;
            f.state.expanded = open;
            f.state.collapsed = !open;
        }
    }
    // The caption lies over the lines scrolled up under it.
    if (!viewport()->geometry().intersects(f.rect)) f.state.offscreen = true;
    return f;
}

QAccessible::Role CleanupList::partRole(PartId id) const {
    if (id.part == kTickPart) return QAccessible::CheckBox;
    return lineRole(m_lines[static_cast<std::size_t>(id.item)]);
}

void CleanupList::act(PartId id, const QString& action) {
    if (action != QAccessibleActionInterface::pressAction()) return;
    const auto i = static_cast<std::size_t>(id.item);
    activate({i, id.part == kTickPart ? Part::tick : Part::button, {}});
}

std::optional<PartId> CleanupList::partAt(QPoint point) const {
    const QPoint inView = point - viewport()->pos();
    if (!viewport()->rect().contains(inView)) return std::nullopt;
    const auto hit = hitAt(inView);
    if (!hit) return std::nullopt;
    return PartId{static_cast<int>(hit->line), hit->part == Part::tick ? kTickPart : -1};
}

std::optional<PartId> CleanupList::focusedPart() const {
    if (!m_selectedLine) return std::nullopt;
    return linePart(*m_selectedLine);
}

void CleanupList::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    if (!QAccessible::isActive()) return;
    // Qt tells tools about the list itself once the focus has moved; the line
    // the keys act on is told after it, so that is where a tool lands.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus() && m_selectedLine)
            m_access.notify(linePart(*m_selectedLine), QAccessible::Focus);
    });
}

CleanupList::LinesBefore CleanupList::linesBefore(bool groupsGoing) {
    LinesBefore before;
    before.watched = QAccessible::isActive() || !m_access.givenParts().empty();
    if (!before.watched) return before;
    before.store = m_store;
    before.groups = groupsGoing ? std::move(m_groups) : m_groups;
    before.lines = m_lines;
    before.forceOpen = m_forceOpen;
    before.expanded = m_expanded;
    return before;
}

void CleanupList::linesLaidOut(const LinesBefore& before) {
    if (!before.watched) {
        m_access.partsChanged();
        return;
    }
    // Where each part a tool holds is now, in the order of the old places.
    std::vector<std::pair<PartId, PartId>> now;
    const std::vector<PartId> held = m_access.givenParts();
    if (sameLines(before.lines, before.groups, m_lines, m_groups)) {
        for (const PartId& id : held)
            now.emplace_back(id, id);
    } else {
        // The elements tools hold follow their lines, found by kind and id: the
        // engine chooses row ids, and one may read as a group's.
        std::unordered_map<std::string, std::size_t> rowAt;
        std::unordered_map<std::string, std::size_t> groupAt;
        if (!held.empty()) {
            for (std::size_t i = 0; i < m_lines.size(); ++i)
                (m_lines[i].kind == ListLine::Kind::child ? rowAt : groupAt).emplace(lineID(i), i);
        }
        for (const PartId& id : held) {
            if (static_cast<std::size_t>(id.item) >= before.lines.size()) continue;
            const ListLine& was = before.lines[id.item];
            const auto& at = was.kind == ListLine::Kind::child ? rowAt : groupAt;
            const auto to = at.find(lineId(was, before.groups));
            if (to != at.end()) now.emplace_back(id, PartId{static_cast<int>(to->second), id.part});
        }
        m_access.partsMoved([&now](PartId id) -> std::optional<PartId> {
            const auto to = std::lower_bound(now.begin(), now.end(), id,
                                             [](const auto& p, PartId v) { return p.first < v; });
            if (to == now.end() || to->first != id) return std::nullopt;
            return to->second;
        });
    }
    announceNewWords(before, now);
}

void CleanupList::announceNewWords(const LinesBefore& before,
                                   const std::vector<std::pair<PartId, PartId>>& moves) {
    // Only a line whose row or group says something new is worded, so a
    // refresh of ten thousand held lines builds words for the changed ones.
    for (const auto& [was, is] : moves) {
        if (static_cast<std::size_t>(is.item) >= m_lines.size()) continue;
        const ListLine& a = before.lines[was.item];
        const ListLine& b = m_lines[is.item];
        bool wasOpen = false;
        bool isOpen = false;
        if (a.kind == ListLine::Kind::child) {
            if (spokenAlike(*a.row, *b.row)) continue;
        } else {
            const TreeGroup& ga = before.groups[a.group];
            const TreeGroup& gb = m_groups[b.group];
            wasOpen = groupIsOpen(ga, before.forceOpen, before.expanded);
            isOpen = groupIsOpen(gb, m_forceOpen, m_expanded);
            if (spokenAlike(ga, wasOpen, gb, isOpen)) continue;
        }
        const TickLook from = lineTick(a, before.groups);
        const TickLook to = lineTick(b, m_groups);
        if (is.part == kTickPart) {
            if (from.spoken != to.spoken) m_access.notify(is, QAccessible::NameChanged);
            tellTickStates(is, from, to);
            continue;
        }
        if (lineSpoken(a, before.groups, before.forceOpen, before.expanded) != spokenLine(is.item))
            m_access.notify(is, QAccessible::NameChanged);
        if (b.kind == ListLine::Kind::child) {
            tellTickStates(is, from, to);
            if (badgeOf(*a.row).spoken != badgeOf(*b.row).spoken)
                m_access.notify(is, QAccessible::DescriptionChanged);
            continue;
        }
        if (from.spoken != to.spoken) m_access.notify(is, QAccessible::DescriptionChanged);
        QStringList heard;
        if (wasOpen != isOpen) {
            QAccessible::State folded;
            folded.expanded = true;
            folded.collapsed = true;
            m_access.notifyState(is, folded);
            heard << (isOpen ? QStringLiteral("expanded") : QStringLiteral("collapsed"));
        }
        if (from.spoken != to.spoken) heard << QString::fromStdString(to.spoken);
        // Qt 6.4's bridge passes no change of the expanded state on, nor of a
        // description: the group line the keys are on says what changed in words.
        if (!heard.isEmpty() && hasFocus() && m_selection == m_groups[b.group].id())
            announce(window(), heard.join(QStringLiteral(", ")));
    }
}

void CleanupList::tellTickStates(PartId id, const TickLook& from, const TickLook& to) {
    // One change a time: Qt's desktop bridge reads one kind of state from each.
    const auto tell = [&](bool changed, auto mark) {
        if (!changed) return;
        QAccessible::State state;
        mark(state);
        m_access.notifyState(id, state);
    };
    tell(from.on != to.on, [](QAccessible::State& s) { s.checked = true; });
    tell(from.partial != to.partial, [](QAccessible::State& s) { s.checkStateMixed = true; });
    if (id.part == kTickPart)
        tell(from.enabled != to.enabled, [](QAccessible::State& s) { s.disabled = true; });
}

void CleanupList::announceSelection(std::optional<std::size_t> from) {
    const std::optional<PartId> to =
        m_selectedLine ? std::optional(linePart(*m_selectedLine)) : std::nullopt;
    m_access.selectionMoved(from ? std::optional(linePart(*from)) : std::nullopt, to);
    // As an item view moves its current item: the selection first, then the focus.
    if (to && hasFocus()) m_access.notify(*to, QAccessible::Focus);
}

}  // namespace virirado
