#include "ConfirmRules.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "DeleteGuard.hpp"
#include "Format.hpp"
#include "Numeric.hpp"

namespace virirado {

namespace {

bool isSpaceOrTab(UChar32 c) {
    return c == u'\t' || (c >= 0 && u_charType(c) == U_SPACE_SEPARATOR);
}

// A size as the rules count it: what the engine reports, never below nothing.
int64_t counted(int64_t size) {
    return std::max<int64_t>(size, 0);
}

}  // namespace

namespace ConfirmRules {

bool needsTypedCode(const PreviewPayload& payload) {
    std::vector<int64_t> sizes;
    bool anyCheckFirst = false;
    for (const PreviewRow& row : payload.deletableRows()) {
        sizes.push_back(counted(row.realisticSize));
        if (row.safety == "review") anyCheckFirst = true;
    }
    return durozizo::DeleteGuard::needsTypedCode(sizes, anyCheckFirst);
}

}  // namespace ConfirmRules

ConfirmFacts ConfirmFacts::of(const PreviewPayload& payload) {
    ConfirmFacts f;
    f.rows = payload.deletableRows();
    for (const PreviewRow& row : f.rows) {
        f.total = durozizo::saturatingAdd(f.total, counted(row.realisticSize));
        if (row.action == "trash") ++f.trashCount;
    }
    f.blockedCount = std::max<int64_t>(payload.blockedCount, 0);
    f.needsCode = ConfirmRules::needsTypedCode(payload);
    f.forceCode = payload.quickDelete;
    return f;
}

bool confirmed(const ConfirmInputs& in) {
    if (!in.hasRows) return false;
    if (in.verifying) return false;
    if (in.dryRun) return true;
    if (!in.forceCode && !in.needsCode) return true;
    return codeMatches(in.typed, in.code);
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (!isSpaceOrTab(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, begin, previous, c);
        if (!isSpaceOrTab(c)) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool codeMatches(std::string_view typed, std::string_view code) {
    // An empty code would be matched by an empty field: never a confirmation.
    if (code.empty()) return false;
    return trimSpacesAndTabs(typed) == code;
}

std::string codeFromDraw(uint32_t draw) {
    return std::to_string(draw % 90 + 10);
}

std::string confirmTitle(bool dryRun, bool forceCode) {
    if (dryRun) return "Dry run";
    if (!forceCode) return "Delete for real";
    return "Quick Delete \u00B7 Final confirmation (2 of 2)";
}

std::string confirmHeadline(const ConfirmFacts& facts) {
    return std::to_string(facts.rows.size()) + " items \u00B7 " + finderSize(facts.total);
}

std::string confirmSplitLine(const ConfirmFacts& facts) {
    const auto count = static_cast<int64_t>(facts.rows.size());
    return std::to_string(facts.trashCount) + " to Trash \u00B7 " +
           std::to_string(count - facts.trashCount) + " removed for good";
}

std::string primaryText(bool verifying, bool dryRun, int64_t total) {
    if (verifying) return "Checking\u2026";
    if (dryRun) return "Run the dry run";
    return "Delete " + finderSize(total);
}

std::string codePrompt(std::string_view code) {
    return "Type " + std::string(code) + " to delete";
}

std::string destinationWord(const std::string& action) {
    return action == "trash" ? "Trash" : "gone";
}

std::string spokenPreviewRow(const PreviewRow& row) {
    std::string words = row.label + ", " + finderSize(row.realisticSize) + ", " +
                        (row.action == "trash" ? "to Trash" : "removed for good");
    if (row.safety == "review") words += ", Check first";
    return words;
}

std::optional<std::string> heldBackLine(int64_t blockedCount) {
    if (blockedCount < 1) return std::nullopt;
    return std::to_string(blockedCount) + " held back by guards";
}

std::vector<PreviewRow> panelRows(const std::vector<PreviewRow>& rows) {
    std::vector<PreviewRow> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [](const PreviewRow& a, const PreviewRow& b) {
        return a.realisticSize > b.realisticSize;
    });
    if (sorted.size() > kPanelRows) sorted.resize(kPanelRows);
    return sorted;
}

std::optional<std::string> moreLine(std::size_t rowCount) {
    if (rowCount <= kPanelRows) return std::nullopt;
    return "+ " + std::to_string(rowCount - kPanelRows) + " more";
}

}  // namespace virirado
