// The preview check and the clean pipeline of the engine client.
#include <algorithm>
#include <climits>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "AsScanned.hpp"
#include "DeleteGuard.hpp"
#include "EngineClient.hpp"
#include "Numeric.hpp"
#include "Protocol.hpp"
#include "ScannedPlaces.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::optional<std::string> rowStaticReason(const PreviewRow& row,
                                           const AsScanned::Judgement& judged,
                                           const AsScanned& scanned, const std::string& home) {
    if (auto reason =
            guard::staticReason(row.path, row.action, row.safety, scanned.pathsOf(row.id), home)) {
        return reason;
    }
    return AsScanned::reason(row, judged);
}

// The preview as it may be shown: each row as strict as the records at or
// inside its place on disk ask, and the rows the guards hold back.
struct CheckedPreview {
    PreviewPayload payload;
    std::vector<HeldRow> held;
};

CheckedPreview previewCheck(PreviewPayload payload, const AsScanned& scanned,
                            const std::string& home) {
    ScannedPlaces places(scanned);
    std::vector<HeldRow> held;
    for (PreviewRow& row : payload.rows) {
        const AsScanned::Judgement judged = scanned.judge(row, places);
        row = AsScanned::tightened(std::move(row), judged);
        if (auto reason = rowStaticReason(row, judged, scanned, home))
            held.emplace_back(row, *reason);
    }
    return {std::move(payload), std::move(held)};
}

// The last look at the disk before the engine is asked to delete, against the
// records as they are now: a row they judge stricter than the sheet showed it
// would go without the code it now needs.
std::vector<HeldRow> recheck(const PreviewPayload& payload, const AsScanned& scanned,
                             const std::string& home) {
    ScannedPlaces places(scanned);
    std::vector<HeldRow> held;
    for (const PreviewRow& row : payload.rows) {
        const AsScanned::Judgement judged = scanned.judge(row, places);
        auto reason = rowStaticReason(row, judged, scanned, home);
        if (!reason) reason = AsScanned::changedSince(row, judged);
        if (reason) {
            held.emplace_back(row, *reason);
            continue;
        }
        if (!row.path || row.action == "cmd") continue;
        // The same file the guards just passed: "~" stands for this client's home.
        const int64_t measured = guard::measure(expandTilde(*row.path, home));
        if (auto sized = guard::sizeReason(row.realisticSize, measured)) {
            held.emplace_back(row, *sized);
        }
    }
    return held;
}

std::vector<Json> objectsOf(const Json* value) {
    if (!protocol::isArrayOfObjects(value)) return {};
    return std::vector<Json>(value->begin(), value->end());
}

// A row sent again exactly is the same item: counted twice it would inflate the
// count, the bytes and "not tried". Rows that share an id but differ all stay,
// so the guards judge each.
void addRow(std::vector<PreviewRow>& rows,
            std::unordered_map<std::string, std::vector<std::size_t>>& byId, PreviewRow row) {
    auto& same = byId[row.id];
    for (std::size_t i : same)
        if (rows[i] == row) return;
    same.push_back(rows.size());
    rows.push_back(std::move(row));
}

}  // namespace

std::optional<PreviewRow> EngineClient::previewRow(const Json& entry) {
    auto id = jsonString(jsonField(entry, "id"));
    if (!id) return std::nullopt;
    PreviewRow row;
    row.id = *id;
    row.label = displaySafe(jsonString(jsonField(entry, "label")).value_or(*id));
    row.path = jsonString(jsonField(entry, "path"));
    row.realisticSize = jsonInt(jsonField(entry, "realistic_size"));
    row.kind = jsonString(jsonField(entry, "kind")).value_or("");
    row.safety = jsonString(jsonField(entry, "safety")).value_or("");
    row.action = jsonString(jsonField(entry, "action")).value_or("");
    return row;
}

bool EngineClient::runOwnsSheet() const {
    return m_state.cleanProgress &&
           m_state.cleanProgress->phase != durozizo::CleanProgress::Phase::checking;
}

void EngineClient::onPreview(const Json& event) {
    if (runOwnsSheet()) return;
    // Only an answer to the window's own request is a preview. Anything else (a
    // preview nobody asked for, more answers than requests, a flood of fresh
    // ones) opens no sheet, logs nothing and sends nothing.
    if (m_asks.unanswered == 0) return;
    const PreviewAsks asked = takeAnswer();
    PreviewPayload payload;
    std::unordered_map<std::string, std::vector<std::size_t>> byId;
    for (const Json& entry : objectsOf(jsonField(event, "items"))) {
        if (auto row = previewRow(entry)) addRow(payload.rows, byId, std::move(*row));
    }
    payload.token = jsonString(jsonField(event, "confirm_token")).value_or("");
    if (payload.rows.empty() || payload.token.empty()) {
        setPreview(std::nullopt);
        m_state.banner = "Nothing is in clean the tank.";
        return;
    }
    payload.cleanBytes = jsonInt(jsonField(event, "clean_bytes"));
    const auto blocked = objectsOf(jsonField(event, "blocked")).size();
    payload.blockedCount = static_cast<int>(std::min<std::size_t>(blocked, INT_MAX));
    payload.quickDelete = asked.quickDelete;
    // The engine's token confirms its whole list, so a row the user did not ask
    // for cannot be left out of the clean: the whole answer is refused.
    if (auto unasked = unaskedRows(payload, asked); !unasked.empty()) {
        holdBack(unasked, asked.tickedAtQuickAsk);
        return;
    }
    if (snapshotMode()) {
        // The demo's rows are judged by their text alone: no disk holds them.
        const AsScanned scanned(m_records, m_services.home);
        for (PreviewRow& row : payload.rows)
            row = scanned.tightened(std::move(row));
        setPreview(payload);
        return;
    }

    // Even the text of a path is judged on disk where ".." follows a link, so
    // the records are only copied here and judged in the background.
    auto records = std::make_shared<const std::vector<ItemRecord>>(m_records);
    auto checked = std::make_shared<CheckedPreview>();
    std::weak_ptr<int> alive = m_alive;
    const uint64_t answer = ++m_answers;
    const int64_t generation = m_state.scanGeneration;
    m_services.executor->run(
        [checked, payload, records, home = m_services.home] {
            *checked = previewCheck(payload, AsScanned(*records, home), home);
        },
        [this, alive, checked, answer, generation] {
            if (alive.expired()) return;
            finishPreviewCheck(checked->payload, checked->held, answer, generation);
        });
}

void EngineClient::askForPreview(bool quickDelete, const std::set<std::string>& ids) {
    Json cmd = command("preview");
    if (quickDelete) cmd["ids"] = Json(std::vector<std::string>(ids.begin(), ids.end()));
    m_state.quickDeleteMode = quickDelete;
    // Nothing reached the engine, so nothing will answer.
    if (send(cmd)) return;
    ++m_asks.unanswered;
    m_asks.ids.insert(ids.begin(), ids.end());
    m_asks.quickDelete = m_asks.quickDelete || quickDelete;
    m_asks.tank = m_asks.tank || !quickDelete;
    if (quickDelete) m_asks.tickedAtQuickAsk.insert(m_ticked.begin(), m_ticked.end());
}

EngineClient::PreviewAsks EngineClient::takeAnswer() {
    // While any request is open, an answer may be any of them: the asks are
    // forgotten only once every one has had its answer.
    const PreviewAsks asked = m_asks;
    if (--m_asks.unanswered <= 0) m_asks = PreviewAsks{};
    return asked;
}

void EngineClient::dropAsks() {
    m_asks = PreviewAsks{};
    m_answersSettled = m_answers;
}

std::vector<HeldRow> EngineClient::unaskedRows(const PreviewPayload& payload,
                                               const PreviewAsks& asked) {
    std::vector<HeldRow> unasked;
    for (const PreviewRow& row : payload.rows) {
        if (asked.ids.contains(row.id)) continue;
        unasked.emplace_back(row, asked.tank ? "not ticked" : "not asked for");
    }
    return unasked;
}

void EngineClient::finishPreviewCheck(const PreviewPayload& payload,
                                      const std::vector<HeldRow>& held, uint64_t answer,
                                      int64_t generation) {
    Batch batch(*this);
    // A later answer was shown already, or the requests were dropped since (a
    // new scan, the engine's end): this answer is no longer wanted.
    if (answer <= m_answersSettled) return;
    m_answersSettled = answer;
    // The rows were proposed for a list that a clean has replaced.
    if (generation != m_state.scanGeneration) return;
    if (runOwnsSheet()) return;
    if (!held.empty()) {
        holdBack(held);
    } else {
        setPreview(payload);
    }
}

void EngineClient::confirmClean() {
    Batch batch(*this);
    // A clean that is out has its run: no second one starts beside it.
    if (!m_state.preview || m_state.verifying || m_state.cleanProgress) return;
    const PreviewPayload p = *m_state.preview;
    if (snapshotMode()) {
        setPreview(std::nullopt);
        return;
    }
    int64_t totalBytes = 0;
    for (const PreviewRow& row : p.rows) {
        totalBytes = durozizo::saturatingAdd(totalBytes, std::max<int64_t>(row.realisticSize, 0));
    }
    m_state.cleanProgress.emplace(static_cast<int64_t>(p.rows.size()), totalBytes, false,
                                  durozizo::CleanProgress::Clock::now());
    if (p.deletableRows().size() < p.rows.size()) {
        m_state.cleanProgress.reset();
        setPreview(std::nullopt);
        m_state.banner = "Refused: the list had Look only items.";
        return;
    }
    m_state.verifying = true;
    auto held = std::make_shared<std::vector<HeldRow>>();
    std::weak_ptr<int> alive = m_alive;
    // The records as they are now: the sheet showed the rows judged against
    // those of the preview, and a re-listing since may ask more of them.
    auto records = std::make_shared<const std::vector<ItemRecord>>(m_records);
    m_services.executor->run(
        [held, p, records, home = m_services.home] {
            *held = recheck(p, AsScanned(*records, home), home);
        },
        [this, alive, held, p] {
            if (alive.expired()) return;
            finishRecheck(p, *held);
        });
}

void EngineClient::finishRecheck(const PreviewPayload& payload, const std::vector<HeldRow>& held) {
    Batch batch(*this);
    m_state.verifying = false;
    if (!m_state.preview || m_state.preview->token != payload.token) {
        m_state.cleanProgress.reset();
        return;
    }
    // The engine ended or failed the run while the disk was being checked: the
    // failed run stays on show and nothing is sent.
    if (!m_state.cleanProgress ||
        m_state.cleanProgress->phase != durozizo::CleanProgress::Phase::checking) {
        return;
    }
    if (!held.empty()) {
        holdBack(held);
    } else {
        sendClean(payload, false);
    }
}

void EngineClient::holdBack(const std::vector<HeldRow>& held,
                            const std::set<std::string>& keepTicked) {
    m_state.cleanProgress.reset();
    setPreview(std::nullopt);
    if (m_services.writeRefusedLog) {
        logDeletions([&](std::string_view kept) { return m_services.writeRefusedLog(held, kept); });
    }
    std::vector<std::string> ids;
    for (const HeldRow& h : held) {
        if (!keepTicked.contains(h.first.id)) ids.push_back(h.first.id);
    }
    untick(ids);
    m_state.banner =
        withLogProblem("Held back " + std::to_string(held.size()) + ": " +
                       held.front().first.label + " (" + held.front().second + ")" +
                       (held.size() != 1 ? " and more" : "") + ". Nothing deleted. Preview again.");
}

void EngineClient::sendClean(const PreviewPayload& payload, bool dry) {
    if (m_state.cleanProgress) m_state.cleanProgress->startDeleting();
    Json cmd = command("clean");
    cmd["confirm_token"] = payload.token;
    cmd["dry_run"] = dry || snapshotMode();
    const CleanLedger::Number clean = m_ledger.sent(payload.rows, cmd["dry_run"].get<bool>());
    m_runClean = clean;
    if (auto failure = send(cmd)) {
        // Nothing reached the engine, so no result will ever come for these rows.
        m_ledger.unsent(clean);
        if (m_state.cleanProgress) {
            m_state.cleanProgress->fail(failure->empty() ? "The engine is not running." : *failure);
        }
    }
}

std::vector<PreviewRow> EngineClient::pendingRows() const {
    if (!m_runClean || !m_state.cleanProgress || !m_state.cleanProgress->isRunning()) return {};
    return m_ledger.openRows(*m_runClean);
}

void EngineClient::logRowsNoReportReached() {
    const std::vector<PreviewRow> rows = m_ledger.ended();
    if (rows.empty() || !m_services.writeDeleteLog) return;
    logDeletions([&](std::string_view kept) { return m_services.writeDeleteLog({}, rows, kept); });
}

void EngineClient::logDeletions(
    const std::function<std::optional<DeleteLog::Unwritten>(std::string_view kept)>& write) {
    std::optional<DeleteLog::Unwritten> left = write(m_unwrittenLines);
    if (left) {
        m_unwrittenLines = std::move(left->lines);
        m_state.deletionLogProblem = std::move(left->problem);
    } else {
        m_unwrittenLines.clear();
        m_state.deletionLogProblem.reset();
    }
}

void EngineClient::retryDeletionLog() {
    if (m_unwrittenLines.empty() || !m_services.writeDeleteLog) return;
    logDeletions([&](std::string_view kept) { return m_services.writeDeleteLog({}, {}, kept); });
}

std::string EngineClient::withLogProblem(std::string banner) const {
    if (!m_state.deletionLogProblem) return banner;
    return banner + " " + DeleteLog::notWritten(*m_state.deletionLogProblem);
}

std::string EngineClient::cleanBanner(const Json& event, const CleanLedger::Report& report,
                                      const std::optional<std::string>& logProblem) {
    const auto taken = static_cast<int64_t>(report.taken.size());
    // The engine cannot have tried more than it reports on.
    const int64_t count = std::clamp<int64_t>(jsonInt(jsonField(event, "clean_count")), 0, taken);
    if (report.readsDry()) {
        return "Dry run. " + std::to_string(count) + " items would go. Nothing was deleted.";
    }
    const Json* firstFailure = nullptr;
    int64_t f = 0;
    for (const CleanLedger::Taken& t : report.taken) {
        if (jsonBool(jsonField(t.result, "ok"), false)) continue;
        if (f++ == 0) firstFailure = &t.result;
    }
    // The banner points to the log only when its lines are there.
    std::string banner;
    if (f == 0) {
        banner =
            "Deleted " + std::to_string(count) + " items. " +
            (logProblem ? DeleteLog::notWritten(*logProblem) : "Log: ~/Library/Logs/Virirado/");
    } else {
        banner = "Deleted " + std::to_string(std::max<int64_t>(0, count - f)) + ", failed " +
                 std::to_string(f) + ": " +
                 jsonText(jsonField(*firstFailure, "label")).value_or("?") + " (" +
                 jsonText(jsonField(*firstFailure, "msg")).value_or("failed") + "). " +
                 (logProblem ? DeleteLog::notWritten(*logProblem) : "See log.");
    }
    if (!report.unknown.empty()) {
        banner += " " + std::to_string(report.unknown.size()) + " not tried.";
    }
    return banner;
}

void EngineClient::logReport(const CleanLedger::Report& report) {
    if (!m_services.writeDeleteLog) return;
    const auto write = [this](const std::vector<CleanLedger::Taken>& taken,
                              const std::vector<PreviewRow>& unknown) {
        logDeletions(
            [&](std::string_view kept) { return m_services.writeDeleteLog(taken, unknown, kept); });
    };
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
    if (!logged->empty()) write(*logged, {});
    if (!report.unknown.empty()) write({}, report.unknown);
    // A report is a chance for lines an earlier one could not write.
    if (logged->empty() && report.unknown.empty()) retryDeletionLog();
}

void EngineClient::removeDeleted(const CleanLedger::Report& report) {
    // Read like every other flag of the engine, so a result that the deletion log
    // and the progress count as deleted is counted so here too.
    std::unordered_set<std::string> deleted;
    for (const CleanLedger::Taken& t : report.taken) {
        if (report.went(t)) deleted.insert(t.row.id);
    }
    if (deleted.empty()) return;
    std::erase_if(m_records, [&](const ItemRecord& r) { return deleted.contains(r.id); });
    for (const std::string& id : deleted)
        m_ticked.erase(id);
    rebuild();
    ++m_state.scanGeneration;
}

void EngineClient::finishRun(const CleanLedger::Report& report) {
    // The sheet follows the report of its own clean only; an earlier clean's
    // late report reaches the log, the list and the banner.
    if (!m_runClean || !report.answers(*m_runClean) || !m_state.cleanProgress) return;
    std::vector<durozizo::CleanProgress::Result> finished;
    for (const CleanLedger::Taken& t : report.taken) {
        if (t.clean != *m_runClean) continue;
        const Json& r = t.result;
        finished.push_back(
            {jsonText(jsonField(r, "label")).value_or("?"), jsonInt(jsonField(r, "realistic_size")),
             jsonBool(jsonField(r, "ok"), false), jsonText(jsonField(r, "msg")).value_or("")});
    }
    // A run an error ended early takes its own later report too, so the
    // sheet says what the banner and the log say.
    if (m_state.cleanProgress->isRunning()) {
        m_state.cleanProgress->finish(finished, report.readsDry());
    } else {
        m_state.cleanProgress->finishAfterError(finished, report.readsDry());
    }
}

void EngineClient::onClean(const Json& event) {
    // A report that answers no clean of this window still open deletes nothing
    // here and logs nothing: it stands in the traffic log alone. Otherwise it
    // is taken for the rows it names, whatever its "id" says: events name no
    // command.
    const std::optional<CleanLedger::Report> report = m_ledger.take(event);
    if (!report) return;
    if (!m_state.cleanProgress) setPreview(std::nullopt);
    logReport(*report);
    removeDeleted(*report);
    m_state.banner = cleanBanner(event, *report, m_state.deletionLogProblem);
    finishRun(*report);
    if (!report->readsDry()) refreshFree();
}

void EngineClient::dismissPreview() {
    Batch batch(*this);
    if (!m_state.cleanProgress) {
        setPreview(std::nullopt);
        return;
    }
    if (m_state.cleanProgress->isRunning()) return;
    const bool rescan = !m_state.cleanProgress->dryRun && m_state.cleanProgress->doneCount >= 1;
    m_state.cleanProgress.reset();
    setPreview(std::nullopt);
    m_runClean.reset();
    if (rescan) scan();
}

}  // namespace virirado
