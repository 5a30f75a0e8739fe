// The engine client's clean pipeline: a preview answered, checked and shown;
// the confirmation re-checked and the clean sent, or held back; the report
// taken; the result closed. The parts it wires: PreviewRequests and
// PreviewCheck for the preview, CleanRun for the clean and its report, the
// deletion-log keeper for the refusals.
#include <algorithm>

#include "EngineClient.hpp"
#include "Numeric.hpp"

namespace virirado {

bool EngineClient::runOwnsSheet() const {
    return m_state.cleanProgress &&
           m_state.cleanProgress->phase != durozizo::CleanProgress::Phase::checking;
}

void EngineClient::askForPreview(bool quickDelete, const std::set<std::string>& ids) {
    Json cmd = command("preview");
    if (quickDelete) cmd["ids"] = Json(std::vector<std::string>(ids.begin(), ids.end()));
    m_state.quickDeleteMode = quickDelete;
    // Nothing reached the engine, so nothing will answer.
    if (send(cmd)) return;
    m_previews.asked(quickDelete, ids, m_ticked);
}

void EngineClient::onPreview(const Json& event) {
    if (runOwnsSheet()) return;
    // Only an answer to the window's own request is a preview. Anything else (a
    // preview nobody asked for, more answers than requests, a flood of fresh
    // ones) opens no sheet, logs nothing and sends nothing.
    if (m_previews.unanswered() == 0) return;
    const PreviewRequests::Asks asked = m_previews.takeAnswer();
    PreviewPayload payload = PreviewRequests::payloadOf(event);
    if (payload.rows.empty() || payload.token.empty()) {
        setPreview(std::nullopt);
        m_state.banner = "Nothing is in clean the tank.";
        return;
    }
    payload.quickDelete = asked.quickDelete;
    // The engine's token confirms its whole list, so a row the user did not ask
    // for cannot be left out of the clean: the whole answer is refused.
    if (auto unasked = PreviewRequests::unaskedRows(payload, asked); !unasked.empty()) {
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
    const uint64_t answer = m_previews.checkStarted();
    const int64_t generation = m_state.scanGeneration;
    m_services.executor->run(
        [checked, payload, records, home = m_services.home] {
            *checked = previewCheck(payload, AsScanned(*records, home), home);
        },
        [this, alive, checked, answer, generation, kept = asked.tickedAtQuickAsk] {
            if (alive.expired()) return;
            finishPreviewCheck(*checked, answer, generation, kept);
        });
}

void EngineClient::finishPreviewCheck(const CheckedPreview& checked, uint64_t answer,
                                      int64_t generation, const std::set<std::string>& ticksKept) {
    Batch batch(*this);
    // A later answer was shown already, or the requests were dropped since (a
    // new scan, the engine's end): this answer is no longer wanted.
    if (!m_previews.checkWanted(answer)) return;
    // The rows were proposed for a list that a clean has replaced.
    if (generation != m_state.scanGeneration) return;
    if (runOwnsSheet()) return;
    if (!checked.held.empty()) {
        holdBack(checked.held, ticksKept);
    } else {
        setPreview(checked.payload);
        m_previews.shown(ticksKept);
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
        holdBack(held, m_previews.ticksKeptByShown());
    } else {
        sendClean(payload, false);
    }
}

void EngineClient::holdBack(const std::vector<HeldRow>& held,
                            const std::set<std::string>& keepTicked) {
    m_state.cleanProgress.reset();
    setPreview(std::nullopt);
    m_deletionLog.refused(held);
    std::vector<std::string> ids;
    for (const HeldRow& h : held) {
        if (!keepTicked.contains(h.first.id)) ids.push_back(h.first.id);
    }
    untick(ids);
    m_state.banner = m_deletionLog.withProblem(
        "Held back " + std::to_string(held.size()) + ": " + held.front().first.label + " (" +
        held.front().second + ")" + (held.size() != 1 ? " and more" : "") +
        ". Nothing deleted. Preview again.");
}

void EngineClient::sendClean(const PreviewPayload& payload, bool dry) {
    if (m_state.cleanProgress) m_state.cleanProgress->startDeleting();
    Json cmd = command("clean");
    cmd["confirm_token"] = payload.token;
    cmd["dry_run"] = dry || snapshotMode();
    m_run.sent(payload.rows, cmd["dry_run"].get<bool>());
    if (auto failure = send(cmd)) {
        // Nothing reached the engine, so no result will ever come for these rows.
        m_run.unsent();
        if (m_state.cleanProgress) {
            m_state.cleanProgress->fail(failure->empty() ? "The engine is not running." : *failure);
        }
    }
}

void EngineClient::onClean(const Json& event) {
    const std::optional<CleanRun::Summary> report = m_run.take(event, m_state.cleanProgress);
    if (!report) return;
    if (!m_state.cleanProgress) setPreview(std::nullopt);
    removeRecords(report->gone);
    m_state.banner = report->banner;
    if (!report->readsDry) refreshFree();
}

void EngineClient::removeRecords(const std::unordered_set<std::string>& ids) {
    if (ids.empty()) return;
    std::erase_if(m_records, [&](const ItemRecord& r) { return ids.contains(r.id); });
    for (const std::string& id : ids)
        m_ticked.erase(id);
    rebuild();
    ++m_state.scanGeneration;
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
    m_run.closed();
    if (rescan) scan();
}

std::optional<DeleteLog::Unwritten> EngineClient::finishDeletionLog() {
    Batch batch(*this);
    m_run.noMoreReports();
    return m_deletionLog.finish();
}

}  // namespace virirado
