#include "Protocol.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "EngineClient.hpp"
#include "Text.hpp"

namespace virirado {

namespace protocol {

namespace {

// The length of the well-formed sequence at `i`, 0 when it is malformed, or -1
// when it is well-formed so far but cut off by the end of `s`.
int sequenceLength(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return 1;
    int n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < n; ++k) {
        if (i + k >= s.size()) return -1;
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return n;
}

char32_t decodeAt(std::string_view s, std::size_t i, int n) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (n == 1) return b0;
    char32_t c = b0 & (0x7F >> n);
    for (int k = 1; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return c;
}

}  // namespace

bool validUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const int n = sequenceLength(bytes, i);
        if (n <= 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t completePrefix(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const int n = sequenceLength(bytes, i);
        if (n < 0) return i;
        // A malformed byte is left in place: the whole chunk is then rejected.
        i += n == 0 ? 1 : static_cast<std::size_t>(n);
    }
    return i;
}

std::string_view trimmed(std::string_view text) {
    // An event line begins and ends with a brace: a character below 0x80 is never
    // part of a longer sequence, so such a line is its own trimmed form, without
    // decoding it all.
    const auto plain = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x80 && !durozizo::text::isWhiteSpace(b);
    };
    if (!text.empty() && plain(text.front()) && plain(text.back())) return text;
    // Find the first and the end of the last character that is not white space.
    std::size_t first = text.size(), end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const int n = std::max(sequenceLength(text, i), 1);
        const char32_t c = n == 1 ? static_cast<unsigned char>(text[i]) : decodeAt(text, i, n);
        if (!durozizo::text::isWhiteSpace(c)) {
            if (first == text.size()) first = i;
            end = i + static_cast<std::size_t>(n);
        }
        i += static_cast<std::size_t>(n);
    }
    if (first == text.size()) return {};
    return text.substr(first, end - first);
}

double clampPercent(double pct) {
    if (std::isnan(pct)) return 0;
    return std::clamp(pct, 0.0, 100.0);
}

bool isArrayOfObjects(const Json* value) {
    if (value == nullptr || !value->is_array()) return false;
    for (const Json& entry : *value) {
        if (!entry.is_object()) return false;
    }
    return true;
}

bool isArrayOfStrings(const Json* value) {
    if (value == nullptr || !value->is_array()) return false;
    for (const Json& entry : *value) {
        if (!entry.is_string()) return false;
    }
    return true;
}

std::vector<std::string> strings(const Json& array) {
    std::vector<std::string> out;
    for (const Json& entry : array)
        out.push_back(entry.get<std::string>());
    return out;
}

}  // namespace protocol

using protocol::isArrayOfObjects;
using protocol::isArrayOfStrings;

void EngineClient::handleLine(std::string_view line) {
    Batch batch(*this);
    const Json event = Json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) return;
    const std::string name = jsonString(jsonField(event, "event")).value_or("");
    if (name == "volume") {
        applyVolume(event);
    } else if (name == "progress") {
        onProgress(event);
    } else if (name == "item") {
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
        onCleanProgress(event);
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

void EngineClient::onCleanProgress(const Json& event) {
    if (!m_state.cleanProgress) return;
    const std::string label = jsonText(jsonField(event, "label")).value_or("?");
    if (jsonString(jsonField(event, "phase")) == "start") {
        m_state.cleanProgress->itemStarted(label);
        return;
    }
    m_state.cleanProgress->itemFinished(label, jsonInt(jsonField(event, "realistic_size")),
                                        jsonBool(jsonField(event, "ok"), false),
                                        jsonText(jsonField(event, "msg")).value_or(""));
}

void EngineClient::onCancelled(const Json& event) {
    // A preview the engine dropped has had its answer.
    if (m_asks.unanswered > 0 && jsonString(jsonField(event, "cmd")) == "preview") takeAnswer();
    if (jsonString(jsonField(event, "cmd")) != "scan") return;
    m_state.scanning = false;
    m_state.banner = "Scan cancelled. Nothing was deleted.";
}

void EngineClient::onError(const Json& event) {
    m_state.scanning = false;
    const std::string message =
        jsonText(jsonField(event, "message")).value_or("The engine reported an error.");
    if (m_state.cleanProgress && m_state.cleanProgress->isRunning() &&
        jsonString(jsonField(event, "cmd")) == "clean") {
        m_state.cleanProgress->fail(message);
        m_pendingRows.clear();
    }
    // The engine refused a preview ("Busy", …): that request has its answer.
    if (m_asks.unanswered > 0 && jsonString(jsonField(event, "cmd")) == "preview") takeAnswer();
    m_state.banner = message;
}

void EngineClient::onScannerError(const Json& event) {
    m_state.banner = jsonText(jsonField(event, "category")).value_or("scan") + ": " +
                     jsonText(jsonField(event, "message")).value_or("failed");
}

}  // namespace virirado
