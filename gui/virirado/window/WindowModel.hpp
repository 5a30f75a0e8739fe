// The main window's state and every value derived from it, and the actions the
// views call. Plain C++ over the engine client's facade, a settings store and a
// clock, so the whole window logic runs under test without a display.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Clock.hpp"
#include "EngineFacade.hpp"
#include "Settings.hpp"
#include "WindowActions.hpp"
#include "WindowView.hpp"

namespace virirado {

class WindowModel : public WindowActions {
public:
    WindowModel(EngineFacade& engine, KeyValueStore& settings, const WindowClock& clock,
                bool snapshotMode, std::string home);

    // Called after every change of the window's own state (not the engine's).
    void setOnChanged(std::function<void()> onChanged) { m_onChanged = std::move(onChanged); }
    // Called on every new scan generation and change of `scanning`, after the
    // window's own handling of it: where the snapshot run starts.
    void setOnEngineMilestone(std::function<void()> hook) { m_milestone = std::move(hook); }

    // The engine client announced a change: runs the change handlers.
    void engineChanged();

    EngineFacade& engine() { return m_engine; }
    const EngineFacade& engine() const { return m_engine; }
    bool snapshotMode() const { return m_snapshotMode; }
    const std::string& home() const { return m_home; }

    // View state.
    const std::optional<std::string>& selection() const { return m_selection; }
    durozizo::VadeScope scope() const { return m_scope; }
    const std::string& query() const { return m_query; }
    ColumnOrder sortOrder() const { return m_sortOrder; }
    const std::optional<CheckFirstRequest>& checkFirst() const { return m_checkFirst; }
    const std::optional<CheckFirstRequest>& quickDeleteFirst() const { return m_quickDeleteFirst; }
    bool mapExpanded() const { return m_mapExpanded; }
    const std::set<std::string>& expanded() const { return m_expanded; }
    bool searchFocused() const { return m_searchFocused; }
    bool dark() const { return m_dark; }
    bool reduceMotion() const { return m_reduceMotion; }

    void setSelection(std::optional<std::string> id);
    void setDark(bool dark);
    void setReduceMotion(bool reduce);

    // Derived values, always current.
    std::shared_ptr<const RowStore> rows() const;
    RowRefs visibleRows() const;
    std::vector<VadePiece> pieces() const;
    durozizo::HonestTotals totals() const;
    int64_t otherBytes() const;
    const VadeRow* selectedRow() const;
    std::optional<TreeGroup> selectedGroup() const;
    // All of it at once, for the areas.
    WindowView view() const;

    void seedExpanded();

    // The window is asked to close (Ctrl+Q, or the window manager): whether it
    // may close now. During a clean it waits for the result; asked a second
    // time, it ends the engine that stopped answering and closes.
    bool askToClose();
    // A close that waited may happen now: the clean it waited for has ended.
    bool closeNoLongerWaits();
    // The app must end now (logout, a closed terminal, an interrupt): a quit
    // asked twice. A running clean is not waited for: its engine is ended and
    // its unreported rows are logged; from here on every close goes through.
    void endNow();

    // WindowActions.
    void select(const std::string& id) override;
    void toggle(const VadeRow& row) override;
    void tickGroup(const TreeGroup& group) override;
    void quickDelete(const VadeRow& row) override;
    void setScope(durozizo::VadeScope scope) override;
    void setQuery(const std::string& query) override;
    void setSearchFocused(bool focused) override;
    void setExpanded(const std::set<std::string>& keys) override;
    void setMapExpanded(bool expanded) override;
    void scan() override;
    void cancelScan() override;
    void requestPreview() override;
    void dismissBanner() override;
    void setIncludePrivate(bool value) override;
    void dismissPreview() override;
    SheetCloseAnswer answerSheetClose() const override;
    void confirmClean(const PreviewPayload& shown) override;
    void keepCheckFirst() override;
    void cleanCheckFirst() override;
    void cancelQuickDelete() override;
    void continueQuickDelete() override;

private:
    void changed();
    void persistExpanded();
    void onNewGeneration();
    RowRefs visibleIn(durozizo::VadeScope scope) const;
    std::optional<TreeGroup> groupIn(const RowRefs& rows, const std::string& id) const;

    EngineFacade& m_engine;
    KeyValueStore& m_settings;
    const WindowClock& m_clock;
    bool m_snapshotMode;
    std::string m_home;
    std::function<void()> m_onChanged;
    std::function<void()> m_milestone;

    std::optional<std::string> m_selection;
    durozizo::VadeScope m_scope = durozizo::VadeScope::everything;
    std::string m_query;
    ColumnOrder m_sortOrder{ColumnSort::size, true};
    std::optional<CheckFirstRequest> m_checkFirst;
    std::optional<CheckFirstRequest> m_quickDeleteFirst;
    bool m_mapExpanded = false;
    std::set<std::string> m_expanded;
    bool m_searchFocused = false;
    bool m_dark = false;
    bool m_reduceMotion = false;
    bool m_closeWaiting = false;
    bool m_endingNow = false;

    // The change handlers compare with what they saw last.
    int64_t m_seenGeneration;
    bool m_seenScanning;
    // Rows are rebuilt only when the engine replaced its display tree.
    mutable std::shared_ptr<const RowStore> m_rows;
    mutable int64_t m_rowsRevision = -1;
    mutable bool m_rowsHadRoot = false;

    // What depends on all rows and the disk alone, not on the query or scope: the
    // bar's pieces, the totals and the bytes no row accounts for. Made again only
    // when the rows (so the records) or the disk's figures change, not per key.
    struct AllRowsFigures {
        std::shared_ptr<const RowStore> store;
        int64_t freeBytes = 0;
        int64_t totalBytes = 0;
        std::shared_ptr<const std::vector<VadePiece>> pieces;
        durozizo::HonestTotals totals;
        int64_t otherBytes = 0;
    };
    const AllRowsFigures& allRowsFigures() const;
    mutable std::optional<AllRowsFigures> m_figures;
};

}  // namespace virirado
