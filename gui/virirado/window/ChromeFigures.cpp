#include "ChromeFigures.hpp"

#include <array>
#include <charconv>

#include "Format.hpp"
#include "Numeric.hpp"

namespace virirado {

std::string volumeLine(int64_t totalBytes, const std::string& volumeName, bool scanning,
                       std::size_t rowCount) {
    if (totalBytes != 0) return volumeName + " \u00B7 " + std::to_string(rowCount) + " things";
    return scanning ? "Scanning\u2026" : "Read-only";
}

std::string statValue(int64_t totalBytes, int64_t bytes) {
    if (totalBytes < 1) return kNoFigure;
    return finderSize(bytes);
}

int64_t bytesAfter(int64_t freeBytes, int64_t tickedBack) {
    return durozizo::saturatingAdd(freeBytes, tickedBack);
}

std::array<HeroStat, 2> heroStats(int64_t totalBytes, int64_t freeBytes, int64_t tickedBack) {
    return {HeroStat{"Free now", statValue(totalBytes, freeBytes)},
            HeroStat{"After", statValue(totalBytes, bytesAfter(freeBytes, tickedBack))}};
}

std::string statSpoken(const HeroStat& stat) {
    return stat.title + ", " + stat.value;
}

std::string searchCountText(const RowRefs& rows) {
    int64_t bytes = 0;
    for (const VadeRow* row : rows)
        bytes = durozizo::saturatingAdd(bytes, getsBack(*row));
    return std::to_string(rows.size()) + " \u00B7 " + finderSize(bytes);
}

std::vector<durozizo::VadeScope> scopeBarScopes() {
    std::vector<durozizo::VadeScope> out;
    for (durozizo::VadeScope scope : durozizo::VadeScope::allCases()) {
        if (scope != durozizo::VadeScope::network) out.push_back(scope);
    }
    return out;
}

int64_t scopeTickedBytes(const std::vector<durozizo::SearchItem>& items,
                         durozizo::VadeScope scope) {
    int64_t sum = 0;
    for (const durozizo::SearchItem& item : items) {
        if (item.ticked && scope.contains(item))
            sum = durozizo::saturatingAdd(sum, item.rankBytes());
    }
    return sum;
}

std::string scopeFigure(int64_t bytes) {
    if (bytes == 0) return "0";
    // Written with a full stop whatever the locale, as every figure of the window.
    std::array<char, 48> buffer{};
    const double gigabytes = static_cast<double>(bytes) / 1e9;
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), gigabytes,
                                   std::chars_format::fixed, 1);
    if (ec != std::errc()) return "0";
    return std::string(buffer.data(), end);
}

std::string tickedText(int64_t tickedCount) {
    return std::to_string(tickedCount) + " ticked";
}

std::string safetyLine(int64_t trashCount) {
    if (trashCount < 1) return {};
    return " \u00B7 " + std::to_string(trashCount) + " to Trash";
}

std::string scanButtonTitle(bool hasScanned) {
    return hasScanned ? "Scan again" : "Start scan";
}

}  // namespace virirado
