#include "CleanRun.hpp"

#include <algorithm>
#include <iterator>

namespace virirado {

void CleanRun::sent(std::vector<PreviewRow> rows, bool dry) {
    m_runClean = m_ledger.sent(std::move(rows), dry);
}

void CleanRun::unsent() {
    if (m_runClean) m_ledger.unsent(*m_runClean);
}

std::vector<PreviewRow> CleanRun::pendingRows(const std::optional<Progress>& run) const {
    if (!m_runClean || !run || !run->isRunning()) return {};
    return m_ledger.openRows(*m_runClean);
}

void CleanRun::progress(const Json& event, std::optional<Progress>& run) {
    if (!run || !m_runClean) return;
    const std::string label = jsonText(jsonField(event, "label")).value_or("?");
    const bool started = jsonString(jsonField(event, "phase")) == "start";
    // Only rows of the run's own clean move it, each finished once.
    if (!m_ledger.progress(*m_runClean, label, !started)) return;
    if (started) {
        run->itemStarted(label);
        return;
    }
    run->itemFinished(label, jsonInt(jsonField(event, "realistic_size")),
                      jsonBool(jsonField(event, "ok"), false),
                      jsonText(jsonField(event, "msg")).value_or(""));
}

std::optional<CleanRun::Summary> CleanRun::take(const Json& event, std::optional<Progress>& run) {
    // A report that answers no clean of this window still open deletes nothing
    // here and logs nothing: it stands in the traffic log alone. Otherwise it
    // is taken for the rows it names, whatever its "id" says: events name no
    // command.
    const std::optional<CleanLedger::Report> report = m_ledger.take(event);
    if (!report) return std::nullopt;
    log(*report);
    Summary summary{gone(*report), banner(*report), report->readsDry()};
    finish(*report, run);
    return summary;
}

void CleanRun::log(const CleanLedger::Report& report) {
    // Each row sent for real gets one line: as its result said, whatever the
    // report says of "dry_run", or "unknown" when the report that ends its
    // clean left it out. A clean sent as a dry run is logged nowhere.
    const auto real = [&report](const CleanLedger::Taken& t) { return !report.sentDry(t.clean); };
    // Nearly always every row was sent for real: the report's own rows are
    // logged then, without a copy of a result each.
    std::vector<CleanLedger::Taken> someReal;
    const std::vector<CleanLedger::Taken>* logged = &report.taken;
    if (!std::all_of(report.taken.begin(), report.taken.end(), real)) {
        std::copy_if(report.taken.begin(), report.taken.end(), std::back_inserter(someReal), real);
        logged = &someReal;
    }
    m_log.results(*logged);
    m_log.unknown(report.unknown);
    // A report is a chance for lines an earlier one could not write.
    if (logged->empty() && report.unknown.empty()) m_log.retry();
}

std::unordered_set<std::string> CleanRun::gone(const CleanLedger::Report& report) const {
    // A record leaves the list only when every row sent with its id that the
    // report answers went: its file may stay where only its member's folder
    // went, and a row left out may not have been tried.
    std::unordered_set<std::string> went;
    std::unordered_set<std::string> stayed;
    for (const CleanLedger::Taken& t : report.taken) {
        (t.outcome == CleanLedger::Outcome::deleted ? went : stayed).insert(t.row.id);
    }
    for (const PreviewRow& row : report.unknown)
        stayed.insert(row.id);
    for (const std::string& id : stayed)
        went.erase(id);
    return went;
}

void CleanRun::finish(const CleanLedger::Report& report, std::optional<Progress>& run) const {
    // The sheet follows the report of its own clean only; an earlier clean's
    // late report reaches the log, the list and the banner.
    if (!m_runClean || !report.answers(*m_runClean) || !run) return;
    std::vector<Progress::Result> finished;
    for (const CleanLedger::Taken& t : report.taken) {
        if (t.clean != *m_runClean) continue;
        const Json& r = t.result;
        finished.push_back({jsonText(jsonField(r, "label")).value_or("?"),
                            jsonInt(jsonField(r, "realistic_size")),
                            t.outcome != CleanLedger::Outcome::failed,
                            jsonText(jsonField(r, "msg")).value_or("")});
    }
    // A run an error ended early takes its own later report too, so the
    // sheet says what the banner and the log say.
    if (run->isRunning()) {
        run->finish(finished, report.readsDry());
    } else {
        run->finishAfterError(finished, report.readsDry());
    }
}

std::string CleanRun::banner(const CleanLedger::Report& report) const {
    int64_t deleted = 0;
    int64_t wouldGo = 0;
    int64_t failed = 0;
    const Json* firstFailure = nullptr;
    for (const CleanLedger::Taken& t : report.taken) {
        switch (t.outcome) {
            case CleanLedger::Outcome::deleted:
                ++deleted;
                break;
            case CleanLedger::Outcome::wouldGo:
                ++wouldGo;
                break;
            case CleanLedger::Outcome::failed:
                if (failed++ == 0) firstFailure = &t.result;
                break;
        }
    }
    if (report.readsDry()) {
        return "Dry run. " + std::to_string(wouldGo) + " items would go. Nothing was deleted.";
    }
    // The banner points to the log only when its lines are there.
    const std::optional<std::string>& problem = m_log.problem();
    std::string banner;
    if (failed == 0) {
        banner = "Deleted " + std::to_string(deleted) + " items. " +
                 (problem ? DeleteLog::notWritten(*problem) : "Log: ~/Library/Logs/Virirado/");
    } else {
        banner = "Deleted " + std::to_string(deleted) + ", failed " + std::to_string(failed) +
                 ": " + jsonText(jsonField(*firstFailure, "label")).value_or("?") + " (" +
                 jsonText(jsonField(*firstFailure, "msg")).value_or("failed") + "). " +
                 (problem ? DeleteLog::notWritten(*problem) : "See log.");
    }
    if (!report.unknown.empty()) {
        banner += " " + std::to_string(report.unknown.size()) + " not tried.";
    }
    return banner;
}

void CleanRun::noMoreReports() {
    m_log.unknown(m_ledger.ended());
}

}  // namespace virirado
