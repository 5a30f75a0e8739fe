// The deletion log: one file a day, "deleted-yyyyMMdd.log", one tab-separated line
// for every item a clean deleted, failed to delete, or the app's guards refused.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CleanLedger.hpp"
#include "Model.hpp"

namespace virirado {

struct DeleteLog {
    DeleteLog() = delete;

    // Lines for the log that are not on disk, and why (the system's own text of
    // the error, or what stands where the folder or the file should be).
    struct Unwritten {
        std::string lines;
        std::string problem;
        bool operator==(const Unwritten&) const = default;
    };

    // One line per row with its result: "deleted" or "failed" as the ledger
    // read the result (`Taken::outcome`), the size and message as the result
    // says, the place as the row was sent (its path, else its label).
    // With no results, one "unknown" line per fallback row. They go to the file
    // in one write, after `kept` (lines an earlier call could not write), before
    // the call returns. None when every line is on disk; otherwise the lines
    // that are not, none of them in the file even in part, and why.
    static std::optional<Unwritten> write(const std::vector<CleanLedger::Taken>& results,
                                          const std::vector<PreviewRow>& fallback,
                                          const std::optional<std::string>& status,
                                          std::string_view kept = {});
    // Logs each held row as "refused", with its reason.
    static std::optional<Unwritten> refused(
        const std::vector<std::pair<PreviewRow, std::string>>& held, std::string_view kept = {});

    // The same for a given home folder and moment.
    static std::optional<Unwritten> write(const std::vector<CleanLedger::Taken>& results,
                                          const std::vector<PreviewRow>& fallback,
                                          const std::optional<std::string>& status,
                                          const std::string& home, std::time_t now,
                                          std::string_view kept = {});
    static std::optional<Unwritten> refused(
        const std::vector<std::pair<PreviewRow, std::string>>& held, const std::string& home,
        std::time_t now, std::string_view kept = {});

    // "The deletion log could not be written: " and the problem, as a sentence.
    static std::string notWritten(const std::string& problem);

    // A field with its tabs, carriage returns and line feeds written as \t, \r and
    // \n, so no path or message can split a line or forge one.
    static std::string field(const std::string& text);
};

}  // namespace virirado
