#include "PreviewRequests.hpp"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "Protocol.hpp"

namespace virirado {

namespace {

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

void PreviewRequests::asked(bool quickDelete, const std::set<std::string>& ids,
                            const std::set<std::string>& ticked) {
    ++m_asks.unanswered;
    m_asks.ids.insert(ids.begin(), ids.end());
    m_asks.quickDelete = m_asks.quickDelete || quickDelete;
    m_asks.tank = m_asks.tank || !quickDelete;
    if (quickDelete) m_asks.tickedAtQuickAsk.insert(ticked.begin(), ticked.end());
}

PreviewRequests::Asks PreviewRequests::takeAnswer() {
    // While any request is open, an answer may be any of them.
    const Asks asked = m_asks;
    if (--m_asks.unanswered <= 0) m_asks = Asks{};
    return asked;
}

void PreviewRequests::drop() {
    m_asks = Asks{};
    m_answersSettled = m_answers;
}

bool PreviewRequests::checkWanted(uint64_t answer) {
    if (answer <= m_answersSettled) return false;
    m_answersSettled = answer;
    return true;
}

std::optional<PreviewRow> PreviewRequests::previewRow(const Json& entry) {
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

PreviewPayload PreviewRequests::payloadOf(const Json& event) {
    PreviewPayload payload;
    std::unordered_map<std::string, std::vector<std::size_t>> byId;
    for (const Json& entry : objectsOf(jsonField(event, "items"))) {
        if (auto row = previewRow(entry)) addRow(payload.rows, byId, std::move(*row));
    }
    payload.token = jsonString(jsonField(event, "confirm_token")).value_or("");
    payload.cleanBytes = jsonInt(jsonField(event, "clean_bytes"));
    const auto blocked = objectsOf(jsonField(event, "blocked")).size();
    payload.blockedCount = static_cast<int>(std::min<std::size_t>(blocked, INT_MAX));
    return payload;
}

std::vector<HeldRow> PreviewRequests::unaskedRows(const PreviewPayload& payload,
                                                  const Asks& asked) {
    std::vector<HeldRow> unasked;
    for (const PreviewRow& row : payload.rows) {
        if (asked.ids.contains(row.id)) continue;
        unasked.emplace_back(row, asked.tank ? "not ticked" : "not asked for");
    }
    return unasked;
}

}  // namespace virirado
