#include "CleanLedger.hpp"

#include <algorithm>

#include "Protocol.hpp"

namespace virirado {

bool CleanLedger::Report::answers(Number clean) const {
    return std::find(answered.begin(), answered.end(), clean) != answered.end();
}

std::vector<Json> CleanLedger::Report::results() const {
    std::vector<Json> out;
    out.reserve(taken.size());
    for (const Taken& t : taken)
        out.push_back(t.result);
    return out;
}

std::vector<Json> CleanLedger::Report::resultsOf(Number clean) const {
    std::vector<Json> out;
    for (const Taken& t : taken) {
        if (t.clean == clean) out.push_back(t.result);
    }
    return out;
}

CleanLedger::Number CleanLedger::sent(std::vector<PreviewRow> rows, bool dry) {
    Clean c;
    c.number = ++m_next;
    c.dry = dry;
    c.open.assign(rows.size(), true);
    for (const PreviewRow& row : rows)
        c.labelsLeft.push_back(row.label);
    c.rows = std::move(rows);
    // A clean of no rows waits for nothing.
    if (!c.rows.empty()) m_cleans.push_back(std::move(c));
    return m_next;
}

void CleanLedger::unsent(Number clean) {
    std::erase_if(m_cleans, [clean](const Clean& c) { return c.number == clean; });
}

CleanLedger::Clean* CleanLedger::find(Number clean) {
    for (Clean& c : m_cleans) {
        if (c.number == clean) return &c;
    }
    return nullptr;
}

CleanLedger::Clean* CleanLedger::closeRow(const std::string& id, PreviewRow& row) {
    // The newest clean first: an earlier one that an error ended may never be
    // reported, and the clean on the sheet must not wait behind it.
    for (auto c = m_cleans.rbegin(); c != m_cleans.rend(); ++c) {
        for (std::size_t i = 0; i < c->rows.size(); ++i) {
            if (!c->open[i] || c->rows[i].id != id) continue;
            c->open[i] = false;
            row = c->rows[i];
            return &*c;
        }
    }
    return nullptr;
}

std::optional<CleanLedger::Report> CleanLedger::take(const Json& event) {
    if (m_cleans.empty()) return std::nullopt;
    Report report;
    const Json* results = jsonField(event, "results");
    if (protocol::isArrayOfObjects(results)) {
        for (const Json& r : *results) {
            const auto id = jsonString(jsonField(r, "id"));
            PreviewRow row;
            Clean* clean = id ? closeRow(*id, row) : nullptr;
            if (clean == nullptr) continue;
            report.taken.push_back({clean->number, std::move(row), r});
            if (!report.answers(clean->number)) report.answered.push_back(clean->number);
        }
    }
    if (report.answered.empty()) report.answered.push_back(m_cleans.back().number);

    bool allDry = true;
    for (Clean& c : m_cleans) {
        if (!report.answers(c.number)) continue;
        allDry = allDry && c.dry;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            if (!c.open[i]) continue;
            c.open[i] = false;
            report.unknown.push_back(c.rows[i]);
        }
    }
    report.dry = jsonBool(jsonField(event, "dry_run"), allDry);
    std::erase_if(m_cleans, [](const Clean& c) {
        return std::none_of(c.open.begin(), c.open.end(), [](bool open) { return open; });
    });
    return report;
}

bool CleanLedger::progress(Number clean, const std::string& label, bool finished) {
    Clean* c = find(clean);
    if (c == nullptr) return false;
    const auto it = std::find(c->labelsLeft.begin(), c->labelsLeft.end(), label);
    if (it == c->labelsLeft.end()) return false;
    if (finished) c->labelsLeft.erase(it);
    return true;
}

std::vector<PreviewRow> CleanLedger::ended() {
    std::vector<PreviewRow> unknown;
    for (const Clean& c : m_cleans) {
        if (c.dry) continue;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            if (c.open[i]) unknown.push_back(c.rows[i]);
        }
    }
    m_cleans.clear();
    return unknown;
}

}  // namespace virirado
