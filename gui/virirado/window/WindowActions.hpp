// Everything a view of the main window can ask of it. Views never reach the
// engine client; they report the user's action here, synchronously, on the main
// thread, and the window decides what follows.
#pragma once

#include <set>
#include <string>

#include "ClosePolicy.hpp"
#include "Model.hpp"
#include "RowGroups.hpp"
#include "Scope.hpp"

namespace virirado {

class WindowActions {
public:
    virtual ~WindowActions() = default;

    // Rows and groups.
    virtual void select(const std::string& id) = 0;
    virtual void toggle(const VadeRow& row) = 0;
    virtual void tickGroup(const TreeGroup& group) = 0;
    // Opens the first quick-delete confirmation for a row that may go now.
    virtual void quickDelete(const VadeRow& row) = 0;

    // The window's own view state.
    virtual void setScope(durozizo::VadeScope scope) = 0;
    virtual void setQuery(const std::string& query) = 0;
    virtual void setSearchFocused(bool focused) = 0;
    virtual void setExpanded(const std::set<std::string>& keys) = 0;
    virtual void setMapExpanded(bool expanded) = 0;

    // The window's controls.
    virtual void scan() = 0;
    virtual void cancelScan() = 0;
    virtual void requestPreview() = 0;
    virtual void dismissBanner() = 0;
    virtual void setIncludePrivate(bool value) = 0;

    // The sheets' buttons.
    virtual void dismissPreview() = 0;
    // What the window manager's close on a sheet means now; Escape always backs
    // out. Where no clean can run, the close is the sheet's own.
    virtual SheetCloseAnswer answerSheetClose() const { return SheetCloseAnswer::backOut; }
    // Confirms the clean of exactly the preview the sheet showed: a preview that
    // was replaced since, by one the sheet has not shown yet, is not confirmed.
    virtual void confirmClean(const PreviewPayload& shown) = 0;
    virtual void keepCheckFirst() = 0;
    // Ticks the row first, then closes the sheet.
    virtual void cleanCheckFirst() = 0;
    virtual void cancelQuickDelete() = 0;
    // Closes the first confirmation, then asks for the one-item preview.
    virtual void continueQuickDelete() = 0;
};

}  // namespace virirado
