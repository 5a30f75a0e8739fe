// Everything the main window's areas draw, derived once per change and handed
// to each area as plain values.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "CleanProgress.hpp"
#include "EngineState.hpp"
#include "RowGroups.hpp"
#include "Rows.hpp"
#include "Scope.hpp"
#include "Search.hpp"

namespace virirado {

// A pending single-row request: the check-first sheet or the first quick-delete
// confirmation, up while it is set.
struct CheckFirstRequest {
    std::string id;
    VadeRow row;

    bool operator==(const CheckFirstRequest&) const = default;
};

// One result's rows with their search form, made once per new display tree.
struct RowStore {
    std::vector<VadeRow> rows;
    std::vector<durozizo::SearchItem> items;
    std::unordered_map<std::string, std::size_t> byId;

    const VadeRow* find(const std::string& id) const {
        auto it = byId.find(id);
        return it == byId.end() ? nullptr : &rows[it->second];
    }
};

struct WindowView {
    // Keeps every row the references below point at alive: an area that keeps
    // rows keeps the store with them.
    std::shared_ptr<const RowStore> store;
    // The engine client's published state, valid during the call it came with.
    const EngineState* engine = nullptr;

    RowRefs allRows;
    RowRefs visibleRows;
    // The groups of visibleRows, in display order.
    std::vector<TreeGroup> groups;
    std::vector<VadePiece> pieces;
    durozizo::HonestTotals totals;
    int64_t otherBytes = 0;

    std::optional<std::string> selection;
    const VadeRow* selectedRow = nullptr;
    std::optional<TreeGroup> selectedGroup;
    durozizo::VadeScope scope = durozizo::VadeScope::everything;
    std::string query;
    std::set<std::string> expanded;
    bool mapExpanded = false;
    bool searchFocused = false;
    std::optional<CheckFirstRequest> checkFirst;
    std::optional<CheckFirstRequest> quickDeleteFirst;
    // The person asked to close the window during a clean: it closes at the
    // clean's result, or at once when asked again.
    bool closeWaiting = false;

    bool snapshotMode = false;
    bool dark = false;
    bool reduceMotion = false;
    std::string home;
    // Seconds since 1970.
    double now = 0;
};

}  // namespace virirado
