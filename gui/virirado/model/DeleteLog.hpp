// The deletion log: one file a day, "deleted-yyyyMMdd.log", one tab-separated line
// for every item a clean deleted, failed to delete, or the app's guards refused.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CleanLedger.hpp"
#include "Model.hpp"

namespace virirado {

struct DeleteLog {
    DeleteLog() = delete;

    // One line per row with its result: the status, size and message as the
    // result says, the place as the row was sent (its path, else its label).
    // With no results, one "unknown" line per fallback row. The file is written
    // before the call returns; any failure ends the call silently.
    static void write(const std::vector<CleanLedger::Taken>& results,
                      const std::vector<PreviewRow>& fallback,
                      const std::optional<std::string>& status);
    // Logs each held row as "refused", with its reason.
    static void refused(const std::vector<std::pair<PreviewRow, std::string>>& held);

    // The same for a given home folder and moment.
    static void write(const std::vector<CleanLedger::Taken>& results,
                      const std::vector<PreviewRow>& fallback,
                      const std::optional<std::string>& status, const std::string& home,
                      std::time_t now);
    static void refused(const std::vector<std::pair<PreviewRow, std::string>>& held,
                        const std::string& home, std::time_t now);

    // A field with its tabs, carriage returns and line feeds written as \t, \r and
    // \n, so no path or message can split a line or forge one.
    static std::string field(const std::string& text);
};

}  // namespace virirado
