// The worker side of a session: the scan of the places and the clean of a
// confirmed preview. Each runs on the session's one worker thread.
#include <algorithm>
#include <chrono>
#include <ctime>

#include "clean.hpp"
#include "paths.hpp"
#include "scanner.hpp"
#include "session.hpp"
#include "trash.hpp"

namespace peer {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

}  // namespace

void Session::progress(const std::string& place, int done, int total, const std::string& id) {
    double pct = total > 0 ? 100.0 * done / total : 0.0;
    m_out.emit(
        "progress",
        {{"pct", pct}, {"eta_s", nullptr}, {"place", place}, {"done", done}, {"total", total}}, id);
}

void Session::publish(const std::vector<items::Item>& found, const std::string& id) {
    std::vector<items::Item> fresh;
    {
        // No item inside another: each byte is offered, counted and cleaned once.
        std::lock_guard<std::mutex> g(m_mu);
        fresh = items::apart_from(found, m_items);
        m_items.insert(m_items.end(), fresh.begin(), fresh.end());
    }
    for (const auto& it : fresh)
        m_out.emit("item", {{"item", items::to_json(it, false)}}, id);
}

void Session::scan_engine(const protocol::Command& c, std::vector<items::Item>& found, int place,
                          int total) {
    auto last = Clock::now();
    auto on_progress = [&] {
        if (Clock::now() - last < std::chrono::milliseconds(250)) return;
        last = Clock::now();
        progress("Developer folders", place, total, c.id);
    };
    auto r = scanner::run(
        scanner::locate(), m_home, [this] { return m_stop.load() != kRun; }, on_progress);
    if (r.cancelled) return;
    std::string trash = paths::trash_dir();
    auto outside_trash = [&](std::vector<items::Item> v) {
        std::erase_if(v, [&](const items::Item& it) { return paths::is_under(it.path, trash); });
        return v;
    };
    if (!r.ok) {
        m_out.emit(
            "scanner_error",
            {{"category", "scan"},
             {"message", "developer folders and big files are not listed (" + r.error + ")"}},
            c.id);
        if (c.include_private) {
            progress(paths::display(m_home + "/Downloads", m_home), place, total, c.id);
            found = items::download_items(m_home);
        }
        return;
    }
    found = outside_trash(items::devbuild_items(r.output.devbuilds, m_home));
    if (c.include_private) {
        std::vector<items::Item> offered;
        {
            std::lock_guard<std::mutex> g(m_mu);
            offered = m_items;
        }
        offered.insert(offered.end(), found.begin(), found.end());
        auto big = outside_trash(
            items::big_file_items(r.output.big_files, m_home, std::time(nullptr), offered));
        found.insert(found.end(), big.begin(), big.end());
    }
}

void Session::scan(protocol::Command c) {
    emit_volume(c.id);
    const int total = 3;
    auto stopped = [this] { return m_stop.load() != kRun; };
    std::string cache = paths::cache_dir(), trash = paths::trash_dir();
    for (int place = 0; place < total && !stopped(); ++place) {
        std::vector<items::Item> found;
        if (place == 0) {
            progress(paths::display(cache, m_home), place, total, c.id);
            found = items::cache_items(cache, m_home);
        } else if (place == 1) {
            progress(paths::display(trash, m_home), place, total, c.id);
            found = items::trash_items(trash, m_home);
        } else {
            progress("Developer folders", place, total, c.id);
            scan_engine(c, found, place, total);
        }
        if (!stopped()) publish(found, c.id);
    }
    if (stopped()) {
        bool tell = m_stop.load() == kUserCancel;
        m_busy = kIdle;
        if (tell) m_out.emit("cancelled", {{"cmd", "scan"}}, c.id);
        return;
    }
    json all = json::array();
    {
        std::lock_guard<std::mutex> g(m_mu);
        for (const auto& it : m_items)
            all.push_back(items::to_json(it, false));
    }
    auto v = paths::volume(m_home);
    // Idle before the last event: the app may answer it at once.
    m_busy = kIdle;
    m_out.emit("done",
               {{"items", all},
                {"ticked", json::array()},
                {"free_bytes", v.free_bytes},
                {"total_bytes", v.total_bytes},
                {"volume", v.name}},
               c.id);
}

json Session::clean_one(const items::Item& it, bool dry, const std::string& id) {
    json head = {{"id", it.id}, {"label", it.label}, {"realistic_size", it.realistic_size}};
    json start = head;
    start["phase"] = "start";
    m_out.emit("clean_progress", start, id);
    clean::Outcome o;
    if (dry) {
        o = {false, true, "dry run"};
    } else if (auto reason = clean::recheck(it, m_home)) {
        o = {false, false, *reason};
    } else if (it.action == "rm") {
        o = clean::remove(it);
    } else if (it.action == "trash") {
        o = trash::move_to_trash(it, paths::trash_dir(), m_home);
    } else {
        o = {false, false, "look only"};
    }
    json done = head;
    done["phase"] = "done";
    done["ok"] = o.ok;
    done["msg"] = o.msg;
    m_out.emit("clean_progress", done, id);
    json result = head;
    result["path"] = it.path;
    result["deleted"] = o.deleted;
    result["ok"] = o.ok;
    result["msg"] = o.msg;
    return result;
}

void Session::finish_clean(const std::vector<std::string>& deleted) {
    std::lock_guard<std::mutex> g(m_mu);
    for (const auto& id : deleted)
        m_ticked.erase(id);
    std::erase_if(m_items, [&](const items::Item& it) {
        return std::find(deleted.begin(), deleted.end(), it.id) != deleted.end();
    });
}

void Session::clean(protocol::Command c, std::vector<items::Item> rows, bool dry) {
    json results = json::array();
    std::vector<std::string> deleted;
    for (const auto& it : rows) {
        if (m_stop.load() != kRun) break;
        json r = clean_one(it, dry, c.id);
        if (r["deleted"].get<bool>()) deleted.push_back(it.id);
        results.push_back(std::move(r));
    }
    finish_clean(deleted);
    m_busy = kIdle;
    if (results.size() < rows.size()) m_out.emit("cancelled", {{"cmd", "clean"}}, c.id);
    m_out.emit("clean", {{"dry_run", dry}, {"clean_count", results.size()}, {"results", results}},
               c.id);
    if (!dry) emit_volume(c.id);
}

}  // namespace peer
