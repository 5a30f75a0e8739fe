#include "WindowModel.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "ClosePolicy.hpp"
#include "Numeric.hpp"
#include "SearchMatch.hpp"

namespace virirado {

namespace {

using durozizo::VadeScope;

constexpr const char* kTreeOpen = "treeOpen";
constexpr const char* kTreeOpenSaved = "treeOpenSaved";

std::shared_ptr<const RowStore> makeStore(const EngineState& state) {
    auto store = std::make_shared<RowStore>();
    if (state.root) store->rows = vadeRows(*state.root);
    store->items.reserve(store->rows.size());
    store->byId.reserve(store->rows.size());
    for (std::size_t i = 0; i < store->rows.size(); ++i) {
        store->items.push_back(store->rows[i].searchItem());
        // Row ids are unique within one tree; should one repeat, the first wins,
        // as a lookup of the first matching row would.
        store->byId.try_emplace(store->rows[i].id, i);
    }
    return store;
}

std::vector<std::string> splitKeys(const std::string& text) {
    std::vector<std::string> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) keys.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return keys;
}

}  // namespace

WindowModel::WindowModel(EngineFacade& engine, KeyValueStore& settings, const WindowClock& clock,
                         bool snapshotMode, std::string home)
    : m_engine(engine),
      m_settings(settings),
      m_clock(clock),
      m_snapshotMode(snapshotMode),
      m_home(std::move(home)),
      m_seenGeneration(engine.state().scanGeneration),
      m_seenScanning(engine.state().scanning) {}

void WindowModel::changed() {
    if (m_onChanged) m_onChanged();
}

void WindowModel::engineChanged() {
    const EngineState& state = m_engine.state();
    if (state.scanGeneration != m_seenGeneration) {
        m_seenGeneration = state.scanGeneration;
        onNewGeneration();
        if (m_milestone) m_milestone();
    }
    if (state.scanning != m_seenScanning) {
        m_seenScanning = state.scanning;
        if (m_milestone) m_milestone();
    }
}

void WindowModel::onNewGeneration() {
    if (m_selection && *m_selection != "fresh" && *m_selection != "other" &&
        selectedRow() == nullptr && !selectedGroup()) {
        m_selection.reset();
    }
    seedExpanded();
    if (!m_selection) {
        const RowRefs visible = visibleRows();
        if (!visible.empty()) m_selection = visible.front()->id;
    }
    changed();
}

// Derived values.

std::shared_ptr<const RowStore> WindowModel::rows() const {
    const EngineState& state = m_engine.state();
    if (!m_rows || m_rowsRevision != state.rootRevision ||
        m_rowsHadRoot != state.root.has_value()) {
        m_rows = makeStore(state);
        m_rowsRevision = state.rootRevision;
        m_rowsHadRoot = state.root.has_value();
    }
    return m_rows;
}

RowRefs WindowModel::visibleIn(VadeScope scope) const {
    const auto store = rows();
    const std::vector<std::size_t> hits =
        durozizo::searchIndices(store->items, m_query, scope, m_clock.now());
    RowRefs out;
    out.reserve(hits.size());
    for (std::size_t i : hits)
        out.push_back(&store->rows[i]);
    if (m_sortOrder == ColumnOrder{ColumnSort::size, true}) return out;
    std::vector<VadeRow> copies;
    for (const VadeRow* r : out)
        copies.push_back(*r);
    RowRefs sorted;
    for (const VadeRow& r : sortVadeRows(std::move(copies), m_sortOrder))
        sorted.push_back(store->find(r.id));
    return sorted;
}

RowRefs WindowModel::visibleRows() const {
    return visibleIn(m_scope);
}

const WindowModel::AllRowsFigures& WindowModel::allRowsFigures() const {
    const EngineState& state = m_engine.state();
    auto store = rows();
    if (m_figures && m_figures->store == store && m_figures->freeBytes == state.freeBytes &&
        m_figures->totalBytes == state.totalBytes) {
        return *m_figures;
    }
    AllRowsFigures f;
    f.freeBytes = state.freeBytes;
    f.totalBytes = state.totalBytes;
    // Records change only together with the tree, so they are those of `store`.
    int64_t listed = 0;
    for (const ItemRecord& r : m_engine.records())
        listed = durozizo::saturatingAdd(listed, r.size);
    const int64_t used = durozizo::saturatingSub(state.totalBytes, state.freeBytes);
    f.otherBytes = std::max<int64_t>(0, durozizo::saturatingSub(used, listed));
    f.pieces = std::make_shared<const std::vector<VadePiece>>(
        vadePieces(store->rows, f.otherBytes, state.freeBytes, state.totalBytes));
    f.totals = durozizo::HonestTotals::of(store->items);
    f.store = std::move(store);
    m_figures = std::move(f);
    return *m_figures;
}

int64_t WindowModel::otherBytes() const {
    return allRowsFigures().otherBytes;
}

std::vector<VadePiece> WindowModel::pieces() const {
    return *allRowsFigures().pieces;
}

durozizo::HonestTotals WindowModel::totals() const {
    return allRowsFigures().totals;
}

const VadeRow* WindowModel::selectedRow() const {
    if (!m_selection) return nullptr;
    return rows()->find(*m_selection);
}

std::optional<TreeGroup> WindowModel::groupIn(const RowRefs& rows, const std::string& id) const {
    for (TreeGroup& g : vadeGroups(rows)) {
        if (g.id() == id) return std::move(g);
    }
    return std::nullopt;
}

std::optional<TreeGroup> WindowModel::selectedGroup() const {
    if (!m_selection || !m_selection->starts_with("group:")) return std::nullopt;
    if (auto g = groupIn(visibleRows(), *m_selection)) return g;
    return groupIn(refsOf(rows()->rows), *m_selection);
}

WindowView WindowModel::view() const {
    WindowView v;
    v.store = rows();
    v.engine = &m_engine.state();
    v.allRows = refsOf(v.store->rows);
    v.visibleRows = visibleRows();
    v.groups = vadeGroups(v.visibleRows);
    const AllRowsFigures& figures = allRowsFigures();
    v.pieces = *figures.pieces;
    v.totals = figures.totals;
    v.otherBytes = figures.otherBytes;
    v.selection = m_selection;
    if (m_selection) {
        v.selectedRow = v.store->find(*m_selection);
        if (m_selection->starts_with("group:")) {
            for (const TreeGroup& g : v.groups) {
                if (g.id() == *m_selection) v.selectedGroup = g;
            }
            if (!v.selectedGroup) v.selectedGroup = groupIn(v.allRows, *m_selection);
        }
    }
    v.scope = m_scope;
    v.query = m_query;
    v.expanded = m_expanded;
    v.mapExpanded = m_mapExpanded;
    v.searchFocused = m_searchFocused;
    v.checkFirst = m_checkFirst;
    v.quickDeleteFirst = m_quickDeleteFirst;
    v.closeWaiting = m_closeWaiting;
    v.snapshotMode = m_snapshotMode;
    v.dark = m_dark;
    v.reduceMotion = m_reduceMotion;
    v.home = m_home;
    v.now = m_clock.now();
    return v;
}

// Open groups.

void WindowModel::seedExpanded() {
    if (!m_expanded.empty()) return;
    if (!m_snapshotMode && m_settings.flag(kTreeOpenSaved).value_or(false)) {
        const auto saved = splitKeys(m_settings.text(kTreeOpen).value_or(""));
        setExpanded({saved.begin(), saved.end()});
        return;
    }
    const std::vector<TreeGroup> groups = vadeGroups(refsOf(rows()->rows));
    std::set<std::string> keys;
    for (std::size_t i = 0; i < groups.size() && i < 2; ++i)
        keys.insert(groups[i].key);
    for (const TreeGroup& g : groups) {
        if (g.tickedCount() >= 1) keys.insert(g.key);
    }
    setExpanded(keys);
}

void WindowModel::persistExpanded() {
    if (m_snapshotMode) return;
    std::string joined;
    for (const std::string& key : m_expanded) {
        if (!joined.empty()) joined += ',';
        joined += key;
    }
    m_settings.setText(kTreeOpen, joined);
    m_settings.setFlag(kTreeOpenSaved, true);
}

void WindowModel::setExpanded(const std::set<std::string>& keys) {
    if (keys == m_expanded) return;
    m_expanded = keys;
    persistExpanded();
    changed();
}

// Rows and groups.

void WindowModel::setSelection(std::optional<std::string> id) {
    if (id == m_selection) return;
    m_selection = std::move(id);
    changed();
}

void WindowModel::select(const std::string& id) {
    m_selection = id;
    if (!id.starts_with("group:")) {
        if (const VadeRow* row = rows()->find(id)) {
            const std::string key = groupKey(*row);
            if (!m_expanded.contains(key)) {
                m_expanded.insert(key);
                persistExpanded();
            }
            if (!m_scope.contains(row->searchItem())) m_scope = VadeScope::everything;
            if (!m_query.empty()) {
                const RowRefs visible = visibleRows();
                if (std::find(visible.begin(), visible.end(), row) == visible.end())
                    m_query.clear();
            }
        }
    }
    changed();
}

void WindowModel::toggle(const VadeRow& row) {
    if (!row.tickable) return;
    m_selection = row.id;
    if (row.ticked) {
        m_engine.untick({row.id});
    } else if (row.safety == "review") {
        m_checkFirst = CheckFirstRequest{row.id, row};
    } else {
        m_engine.tick({row.id});
    }
    changed();
}

void WindowModel::tickGroup(const TreeGroup& group) {
    m_selection = group.id();
    if (group.tickedCount() < 1) {
        std::vector<std::string> ids;
        for (const VadeRow* r : group.tickable()) {
            if (r->safety != "review") ids.push_back(r->id);
        }
        if (!ids.empty()) {
            m_engine.tick(ids);
        } else if (const RowRefs tickable = group.tickable(); !tickable.empty()) {
            // Copied first: the tick may replace the rows the group points into.
            const VadeRow first = *tickable.front();
            toggle(first);
            return;
        }
    } else {
        std::vector<std::string> ids;
        for (const VadeRow* r : group.rows) {
            if (r->ticked) ids.push_back(r->id);
        }
        m_engine.untick(ids);
    }
    changed();
}

void WindowModel::quickDelete(const VadeRow& row) {
    if (!row.tickable || !row.blocked.empty()) return;
    m_quickDeleteFirst = CheckFirstRequest{row.id, row};
    changed();
}

// View state.

void WindowModel::setScope(VadeScope scope) {
    if (scope == m_scope) return;
    m_scope = scope;
    changed();
}

void WindowModel::setQuery(const std::string& query) {
    if (query == m_query) return;
    m_query = query;
    changed();
}

void WindowModel::setSearchFocused(bool focused) {
    if (focused == m_searchFocused) return;
    m_searchFocused = focused;
    changed();
}

void WindowModel::setMapExpanded(bool expanded) {
    if (expanded == m_mapExpanded) return;
    m_mapExpanded = expanded;
    changed();
}

void WindowModel::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    changed();
}

void WindowModel::setReduceMotion(bool reduce) {
    if (reduce == m_reduceMotion) return;
    m_reduceMotion = reduce;
    changed();
}

bool WindowModel::askToClose() {
    if (m_endingNow) return true;
    switch (answerClose(m_engine.state(), m_closeWaiting)) {
        case CloseAnswer::closeNow:
            return true;
        case CloseAnswer::afterClean:
            m_closeWaiting = true;
            changed();
            return false;
        case CloseAnswer::endEngine:
            m_engine.endEngineNow();
            return true;
    }
    return true;
}

bool WindowModel::closeNoLongerWaits() {
    if (!m_closeWaiting || answerClose(m_engine.state(), false) != CloseAnswer::closeNow) {
        return false;
    }
    m_closeWaiting = false;
    return true;
}

void WindowModel::endNow() {
    if (m_endingNow) return;
    m_endingNow = true;
    if (answerClose(m_engine.state(), true) == CloseAnswer::endEngine) m_engine.endEngineNow();
}

SheetCloseAnswer WindowModel::answerSheetClose() const {
    // Asked at the moment of the close, not from the last refresh: a result that
    // came in this very turn makes it the sheet's own close again.
    return virirado::answerSheetClose(m_engine.state());
}

// Controls and sheets: straight through to the engine client.

void WindowModel::scan() {
    m_engine.scan();
}

void WindowModel::cancelScan() {
    m_engine.cancel();
}

void WindowModel::requestPreview() {
    m_engine.requestPreview();
}

void WindowModel::dismissBanner() {
    m_engine.setBanner(std::nullopt);
}

void WindowModel::setIncludePrivate(bool value) {
    m_engine.setIncludePrivate(value);
}

void WindowModel::dismissPreview() {
    m_engine.dismissPreview();
}

void WindowModel::confirmClean(const PreviewPayload& shown) {
    const EngineState& state = m_engine.state();
    if (!state.preview || *state.preview != shown) return;
    if (state.verifying || state.cleanProgress) return;
    m_engine.confirmClean();
}

void WindowModel::keepCheckFirst() {
    if (!m_checkFirst) return;
    m_checkFirst.reset();
    changed();
}

void WindowModel::cleanCheckFirst() {
    if (!m_checkFirst) return;
    const std::string id = m_checkFirst->id;
    m_engine.tick({id});
    m_checkFirst.reset();
    changed();
}

void WindowModel::cancelQuickDelete() {
    if (!m_quickDeleteFirst) return;
    m_quickDeleteFirst.reset();
    changed();
}

void WindowModel::continueQuickDelete() {
    if (!m_quickDeleteFirst) return;
    const std::string id = m_quickDeleteFirst->id;
    m_quickDeleteFirst.reset();
    changed();
    m_engine.requestQuickDelete(id);
}

}  // namespace virirado
