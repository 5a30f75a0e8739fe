// The engine client's handling of one event line: each event by its name alone,
// whenever it comes.
#include <algorithm>
#include <tuple>

#include "EngineClient.hpp"
#include "Protocol.hpp"

namespace virirado {

using protocol::isArrayOfObjects;
using protocol::isArrayOfStrings;

void EngineClient::handleLine(std::string_view line) {
    Batch batch(*this);
    const Json event = protocol::parseLine(line);
    if (event.is_discarded() || !event.is_object()) return;
    m_heard = true;
    const std::string name = jsonString(jsonField(event, "event")).value_or("");
    if (name == "volume") {
        applyVolume(event);
    } else if (name == "progress") {
        onProgress(event);
    } else if (name == "item") {
        if (m_scans.left()) return;
        const Json* item = jsonField(event, "item");
        if (item != nullptr && item->is_object()) {
            if (auto record = ItemRecord::parse(*item, m_services.home)) upsert(*record);
        }
    } else if (name == "done") {
        onDone(event);
    } else if (name == "selection") {
        onSelection(event);
    } else if (name == "preview") {
        onPreview(event);
    } else if (name == "clean_progress") {
        m_run.progress(event, m_state.cleanProgress);
    } else if (name == "clean") {
        onClean(event);
    } else if (name == "cancelled") {
        onCancelled(event);
    } else if (name == "error") {
        onError(event);
    } else if (name == "scanner_error") {
        onScannerError(event);
    }
}

void EngineClient::applyVolume(const Json& event) {
    const auto was = std::make_tuple(m_state.freeBytes, m_state.totalBytes, m_state.volumeName);
    // Byte counts below zero are none.
    m_state.freeBytes = std::max<int64_t>(0, jsonInt(jsonField(event, "free_bytes")));
    m_state.totalBytes = std::max<int64_t>(0, jsonInt(jsonField(event, "total_bytes")));
    if (auto volume = jsonText(jsonField(event, "volume")); volume && !volume->empty()) {
        m_state.volumeName = *volume;
    }
    if (jsonString(jsonField(event, "access")) == "limited") {
        m_state.accessNote = "Limited mode: Full Disk Access is off for this engine.";
    }
    // The same figures give the same tree: a long result is not made again for
    // them, only grown by the records that came since.
    const bool same = std::tie(m_state.freeBytes, m_state.totalBytes, m_state.volumeName) == was;
    if (!same || !m_treeGrows || !m_state.root) rebuild();
}

void EngineClient::upsert(ItemRecord record) {
    const auto known = findRecord(record.id);
    if (known == m_records.end() && (record.category == "downloads" || record.category == "apps")) {
        record.ticked = false;
    }
    if (record.ticked) {
        m_ticked.insert(record.id);
    } else {
        m_ticked.erase(record.id);
    }
    if (known != m_records.end()) {
        *known = std::move(record);
        m_treeDirty = true;
    } else {
        // A new record only adds its own node to the tree when it is next flushed.
        m_records.push_back(std::move(record));
        if (m_recordIndexValid)
            m_recordIndex.try_emplace(m_records.back().id, m_records.size() - 1);
    }
}

void EngineClient::onProgress(const Json& event) {
    // Only a scan the window asked for and that has not finished moves: a stray
    // "progress" after "done" would hold the window in "Scanning" for good.
    if (!m_scans.open()) return;
    m_state.scanning = true;
    m_state.pct = protocol::clampPercent(jsonDouble(jsonField(event, "pct")).value_or(0));
    m_state.eta = jsonDouble(jsonField(event, "eta_s"));
    m_state.place = jsonText(jsonField(event, "place")).value_or("");
    m_state.donePlaces = jsonInt(jsonField(event, "done"));
    m_state.totalPlaces = jsonInt(jsonField(event, "total"));
    const auto& places = m_state.scanPlaces;
    if (!m_state.place.empty() && (places.empty() || places.back() != m_state.place)) {
        m_state.scanPlaces.push_back(m_state.place);
    }
}

void EngineClient::onDone(const Json& event) {
    if (!m_scans.done()) return;
    m_state.scanning = false;
    m_state.pct = 100;
    m_state.eta.reset();
    m_state.place = "done";
    applyVolume(event);
    if (const Json* items = jsonField(event, "items"); isArrayOfObjects(items)) {
        m_records.clear();
        m_records.reserve(items->size());
        for (const Json& entry : *items) {
            if (auto record = ItemRecord::parse(entry, m_services.home)) {
                m_records.push_back(std::move(*record));
            }
        }
        rebuild();
    }
    if (const Json* ticked = jsonField(event, "ticked"); isArrayOfStrings(ticked)) {
        const auto ids = protocol::strings(*ticked);
        m_ticked = std::set<std::string>(ids.begin(), ids.end());
        rebuild();
    }
    if (!m_treeGrows || !m_state.root) rebuild();
    ++m_state.scanGeneration;
}

void EngineClient::onSelection(const Json& event) {
    if (const Json* ticked = jsonField(event, "ticked"); isArrayOfStrings(ticked)) {
        const auto ids = protocol::strings(*ticked);
        m_ticked = std::set<std::string>(ids.begin(), ids.end());
    }
    rebuild();
    const Json* rejected = jsonField(event, "rejected");
    if (isArrayOfObjects(rejected) && !rejected->empty()) {
        auto reason = jsonText(jsonField(rejected->front(), "reason"));
        if (reason && !reason->empty()) m_state.banner = *reason;
    }
}

void EngineClient::onCancelled(const Json& event) {
    const std::optional<std::string> cmd = jsonString(jsonField(event, "cmd"));
    // A preview the engine dropped has had its answer.
    if (cmd == "preview") {
        if (m_previews.unanswered() > 0) m_previews.takeAnswer();
        return;
    }
    // Only the engine's own ends the open scan.
    if (!m_scans.cancelled(cmd)) return;
    m_state.scanning = false;
    m_state.banner = "Scan cancelled. Nothing was deleted.";
}

void EngineClient::onError(const Json& event) {
    m_state.scanning = false;
    const std::optional<std::string> cmd = jsonString(jsonField(event, "cmd"));
    m_scans.error(cmd);
    const std::string message =
        jsonText(jsonField(event, "message")).value_or("The engine reported an error.");
    if (m_state.cleanProgress && m_state.cleanProgress->isRunning() && cmd == "clean") {
        m_state.cleanProgress->fail(message);
    }
    // The engine refused a preview ("Busy", …): that request has its answer.
    if (m_previews.unanswered() > 0 && cmd == "preview") m_previews.takeAnswer();
    m_state.banner = message;
}

void EngineClient::onScannerError(const Json& event) {
    m_state.banner = jsonText(jsonField(event, "category")).value_or("scan") + ": " +
                     jsonText(jsonField(event, "message")).value_or("failed");
}

}  // namespace virirado
