// The cleans this window sent and what their reports come to. The ledger keeps
// every row sent open until a report names it or the engine ends; the run on
// the sheet follows the clean sent last; a report is logged (one line per row
// it answers), its deleted records leave the list and the banner sums it up.
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "CleanLedger.hpp"
#include "CleanProgress.hpp"
#include "DeletionLogKeeper.hpp"
#include "Json.hpp"
#include "Model.hpp"

namespace virirado {

class CleanRun {
public:
    using Progress = durozizo::CleanProgress;

    explicit CleanRun(DeletionLogKeeper& log) : m_log(log) {}

    // A clean of `rows` went out: the sheet follows its run.
    void sent(std::vector<PreviewRow> rows, bool dry);
    // That clean never reached the engine: no report will come for it.
    void unsent();
    // Some row sent still waits for its report.
    bool awaiting() const { return m_ledger.awaiting(); }
    // The rows of the run's clean that no report has named yet, while `run` runs.
    std::vector<PreviewRow> pendingRows(const std::optional<Progress>& run) const;

    // A "clean_progress": moves `run` for rows of its own clean only, each
    // finished once.
    void progress(const Json& event, std::optional<Progress>& run);

    // What a "clean" event comes to besides its deletion-log lines and the
    // run on the sheet: the records that leave the list, and the banner.
    struct Summary {
        std::unordered_set<std::string> gone;
        std::string banner;
        bool readsDry = false;
    };
    // Takes a "clean" event: logs it and finishes `run` when the report is its
    // clean's. None when it answers no clean this window sent that is open.
    std::optional<Summary> take(const Json& event, std::optional<Progress>& run);

    // No report can come any more: the rows still open go to the deletion log
    // as "unknown", since the engine may have removed any of them.
    void noMoreReports();
    // The user closed the run's result.
    void closed() { m_runClean.reset(); }

private:
    void log(const CleanLedger::Report& report);
    std::unordered_set<std::string> gone(const CleanLedger::Report& report) const;
    void finish(const CleanLedger::Report& report, std::optional<Progress>& run) const;
    // Counts what the ledger read of each result, never the engine's own
    // "clean_count": the banner, the sheet and the log tell one story.
    std::string banner(const CleanLedger::Report& report) const;

    DeletionLogKeeper& m_log;
    // Every clean sent whose rows still wait for a report.
    CleanLedger m_ledger;
    // The clean whose run the sheet shows.
    std::optional<CleanLedger::Number> m_runClean;
};

}  // namespace virirado
