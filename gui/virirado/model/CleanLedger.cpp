#include "CleanLedger.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "Protocol.hpp"

namespace virirado {

namespace {

bool saysDeleted(const Json& result) {
    return jsonBool(jsonField(result, "deleted"), false);
}

bool saysOk(const Json& result) {
    return jsonBool(jsonField(result, "ok"), false);
}

}  // namespace

bool CleanLedger::Report::answers(Number clean) const {
    return std::any_of(answered.begin(), answered.end(),
                       [clean](const Answered& a) { return a.clean == clean; });
}

bool CleanLedger::Report::sentDry(Number clean) const {
    return std::any_of(answered.begin(), answered.end(),
                       [clean](const Answered& a) { return a.clean == clean && a.dry; });
}

bool CleanLedger::Report::went(const Taken& t) const {
    return !sentDry(t.clean) && saysDeleted(t.result);
}

bool CleanLedger::Report::readsDry() const {
    if (std::all_of(answered.begin(), answered.end(), [](const Answered& a) { return a.dry; }))
        return true;
    return saidDry &&
           std::none_of(taken.begin(), taken.end(), [this](const Taken& t) { return went(t); });
}

CleanLedger::Outcome CleanLedger::Report::outcome(const Taken& t) const {
    if (went(t)) return Outcome::deleted;
    // A dry run deleted nothing: a row it would have removed is "ok".
    if (readsDry() && saysOk(t.result)) return Outcome::wouldGo;
    return Outcome::failed;
}

CleanLedger::Number CleanLedger::sent(std::vector<PreviewRow> rows, bool dry) {
    const Number number = ++m_next;
    // A clean of no rows waits for nothing.
    if (rows.empty()) return number;
    Clean& c = m_cleans[number];
    c.dry = dry;
    c.open.assign(rows.size(), true);
    c.openCount = rows.size();
    for (std::size_t i = rows.size(); i-- > 0;) {
        m_open[rows[i].id].push_back({number, i});
        ++c.labelsLeft[rows[i].label];
    }
    c.rows = std::move(rows);
    return number;
}

void CleanLedger::unsent(Number clean) {
    const auto it = m_cleans.find(clean);
    if (it == m_cleans.end()) return;
    const Clean& c = it->second;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        if (c.open[i]) unindex(c.rows[i].id, clean, i);
    }
    m_cleans.erase(it);
}

std::vector<PreviewRow> CleanLedger::openRows(Number clean) const {
    std::vector<PreviewRow> rows;
    const auto it = m_cleans.find(clean);
    if (it == m_cleans.end()) return rows;
    const Clean& c = it->second;
    rows.reserve(c.openCount);
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        if (c.open[i]) rows.push_back(c.rows[i]);
    }
    return rows;
}

void CleanLedger::unindex(const std::string& id, Number clean, std::size_t row) {
    const auto it = m_open.find(id);
    if (it == m_open.end()) return;
    std::vector<Place>& places = it->second;
    // The row asked for is nearly always the last.
    for (std::size_t i = places.size(); i-- > 0;) {
        if (places[i].clean != clean || places[i].row != row) continue;
        places.erase(places.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    if (places.empty()) m_open.erase(it);
}

void CleanLedger::closeRow(Number number, Clean& clean, std::size_t row) {
    clean.open[row] = false;
    --clean.openCount;
    m_closed.insert(clean.rows[row].id);
    unindex(clean.rows[row].id, number, row);
}

std::optional<CleanLedger::Place> CleanLedger::takeOpen(const std::string& id,
                                                        const std::optional<std::string>& path) {
    const auto it = m_open.find(id);
    if (it == m_open.end()) return std::nullopt;
    // The newest clean first: an earlier one that an error ended may never be
    // reported, and the clean on the sheet must not wait behind it.
    const std::vector<Place>& places = it->second;
    for (std::size_t i = places.size(); i-- > 0;) {
        const Place place = places[i];
        Clean& clean = m_cleans.at(place.clean);
        if (path && clean.rows[place.row].path != path) continue;
        closeRow(place.clean, clean, place.row);
        return place;
    }
    return std::nullopt;
}

std::vector<CleanLedger::Named> CleanLedger::takeRows(const Json& event) {
    std::vector<Named> named;
    const Json* results = jsonField(event, "results");
    if (!protocol::isArrayOfObjects(results)) return named;
    for (const Json& r : *results) {
        auto id = jsonString(jsonField(r, "id"));
        if (id) named.push_back({&r, std::move(*id), jsonString(jsonField(r, "path")), {}});
    }
    // A result naming the path of an open row with its id is that row's,
    // wherever it stands in the report; the others take the rows left, in order.
    std::set<std::pair<std::string, std::string>> byPath;
    for (Named& n : named) {
        if (!n.path) continue;
        n.place = takeOpen(n.id, n.path);
        if (n.place) byPath.emplace(n.id, *n.path);
    }
    for (Named& n : named) {
        // One naming the path of a row taken already names that row again,
        // never one the report left unnamed.
        if (n.place || (n.path && byPath.contains({n.id, *n.path}))) continue;
        n.place = takeOpen(n.id, std::nullopt);
    }
    return named;
}

void CleanLedger::namedAgain(const Named& again, const std::vector<std::size_t>& took,
                             Report& report) {
    if (!saysDeleted(*again.result)) return;
    const auto at = [&](const auto& fits) {
        return std::find_if(took.begin(), took.end(),
                            [&](std::size_t i) { return fits(report.taken[i]); });
    };
    auto same = at([&](const Taken& t) { return again.path && t.row.path == again.path; });
    if (same == took.end()) same = at([](const Taken& t) { return !saysDeleted(t.result); });
    if (same == took.end() || saysDeleted(report.taken[*same].result)) return;
    report.taken[*same].result = *again.result;
}

void CleanLedger::closeAnswered(Report& report) {
    for (const Answered& a : report.answered) {
        const auto it = m_cleans.find(a.clean);
        if (it == m_cleans.end()) continue;
        Clean& c = it->second;
        for (std::size_t i = 0; c.openCount > 0 && i < c.rows.size(); ++i) {
            if (!c.open[i]) continue;
            if (!c.dry) report.unknown.push_back(c.rows[i]);
            closeRow(a.clean, c, i);
        }
        m_cleans.erase(it);
    }
}

std::optional<CleanLedger::Report> CleanLedger::take(const Json& event) {
    if (m_cleans.empty()) return std::nullopt;
    const std::vector<Named> named = takeRows(event);
    Report report;
    // The rows this report took, by id.
    std::unordered_map<std::string, std::vector<std::size_t>> tookById;
    for (const Named& n : named) {
        if (!n.place) continue;
        const Clean& clean = m_cleans.at(n.place->clean);
        if (!report.answers(n.place->clean)) report.answered.push_back({n.place->clean, clean.dry});
        tookById[n.id].push_back(report.taken.size());
        report.taken.push_back({n.place->clean, clean.rows[n.place->row], *n.result});
    }
    // An id named again once every open row with it is taken names one of
    // those again: the result saying it was deleted wins over one saying it
    // failed, still one line per row.
    bool namesClosed = false;
    for (const Named& n : named) {
        if (n.place) continue;
        if (const auto took = tookById.find(n.id); took != tookById.end()) {
            namedAgain(n, took->second, report);
        } else {
            namesClosed = namesClosed || m_closed.contains(n.id);
        }
    }
    if (report.taken.empty()) {
        // A report sent again, or late for a clean already closed: its rows
        // have their lines, and no open clean is its to answer.
        if (namesClosed) return std::nullopt;
        const auto& [oldest, clean] = *m_cleans.begin();
        report.answered.push_back({oldest, clean.dry});
    }
    const bool allDry = std::all_of(report.answered.begin(), report.answered.end(),
                                    [](const Answered& a) { return a.dry; });
    report.saidDry = jsonBool(jsonField(event, "dry_run"), allDry);
    closeAnswered(report);
    for (Taken& t : report.taken)
        t.outcome = report.outcome(t);
    return report;
}

bool CleanLedger::progress(Number clean, const std::string& label, bool finished) {
    const auto c = m_cleans.find(clean);
    if (c == m_cleans.end()) return false;
    auto& labels = c->second.labelsLeft;
    const auto it = labels.find(label);
    if (it == labels.end()) return false;
    if (finished && --it->second == 0) labels.erase(it);
    return true;
}

std::vector<PreviewRow> CleanLedger::ended() {
    std::vector<PreviewRow> unknown;
    for (const auto& [number, c] : m_cleans) {
        if (c.dry) continue;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            if (c.open[i]) unknown.push_back(c.rows[i]);
        }
    }
    m_cleans.clear();
    m_open.clear();
    // A later engine cannot have taken these cleans.
    m_closed.clear();
    return unknown;
}

}  // namespace virirado
