// The final confirmation's rules: when a clean must be confirmed with a typed
// code, when the primary button may act at all, and the texts the sheet shows
// for a preview. Plain values, so every bound is tested without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Model.hpp"

namespace virirado {

namespace ConfirmRules {

// True when the preview's cleanable rows call for the typed code: any
// check-first row, more than 5,000,000,000 bytes in all, or one row above
// 2,000,000,000 bytes. A negative size from the engine counts as 0, so it can
// never talk the total below the limit.
bool needsTypedCode(const PreviewPayload& payload);

}  // namespace ConfirmRules

// What the sheet shows of one preview, worked out once when the preview arrives.
struct ConfirmFacts {
    // The rows a clean may act on, in the preview's order.
    std::vector<PreviewRow> rows;
    // Their realistic sizes added up (negatives as 0), saturating.
    int64_t total = 0;
    // Rows that go to the Trash; every other action removes for good.
    int64_t trashCount = 0;
    int64_t blockedCount = 0;
    bool needsCode = false;
    // The preview answers a quick delete: the code is always asked for, and the
    // title says so. It comes with the preview, never from what the window asked
    // for later.
    bool forceCode = false;

    static ConfirmFacts of(const PreviewPayload& payload);

    // Whether the code row is shown: never in a dry run.
    bool asksForCode(bool dryRun) const { return !dryRun && (forceCode || needsCode); }
};

// The state the primary button is judged on.
struct ConfirmInputs {
    bool hasRows = false;
    bool verifying = false;
    bool dryRun = false;
    bool forceCode = false;
    bool needsCode = false;
    std::string_view typed;
    std::string_view code;
};

// Whether the primary button may act: never without rows or during the
// re-check; always in a dry run; else when no code is asked or the typed text
// matches it.
bool confirmed(const ConfirmInputs& in);

// The typed text equals the code once spaces and tabs (any Unicode space
// separator and the tab) are cut from both ends. Line breaks are not cut.
bool codeMatches(std::string_view typed, std::string_view code);
std::string_view trimSpacesAndTabs(std::string_view text);

// The code for a draw from 0 to 89: always two digits, "10" to "99". Draws
// outside that range are folded into it.
std::string codeFromDraw(uint32_t draw);
// The code snapshot pictures show, the same in every run.
inline constexpr std::string_view kSnapshotCode = "42";

// Texts of the sheet.
std::string confirmTitle(bool dryRun, bool forceCode);
// "3 items · 1.2 GB".
std::string confirmHeadline(const ConfirmFacts& facts);
// "1 to Trash · 2 removed for good".
std::string confirmSplitLine(const ConfirmFacts& facts);
// "Checking…", "Run the dry run" or "Delete 1.2 GB".
std::string primaryText(bool verifying, bool dryRun, int64_t total);
// "Type 42 to delete".
std::string codePrompt(std::string_view code);
// "Trash" or "gone".
std::string destinationWord(const std::string& action);
// One panel row as a reader says it, every text the row shows: "npm, 1.2 GB,
// to Trash" or "Simulators, 3.1 GB, removed for good, Check first".
std::string spokenPreviewRow(const PreviewRow& row);
// "3 held back by guards" when the guards held any back.
std::optional<std::string> heldBackLine(int64_t blockedCount);

// The panel's rows: the biggest five, largest first, ties in preview order.
inline constexpr std::size_t kPanelRows = 5;
std::vector<PreviewRow> panelRows(const std::vector<PreviewRow>& rows);
// "+ 1 more" below the panel when it cannot show every row.
std::optional<std::string> moreLine(std::size_t rowCount);

}  // namespace virirado
