#include "session.hpp"

#include <cstdlib>

#include "paths.hpp"
#include "sizes.hpp"
#include "tokens.hpp"

namespace peer {
namespace {

using nlohmann::json;
const char* kStale = "This preview is out of date. Nothing was deleted. Preview again.";

bool forced_dry_run() {
    const char* v = std::getenv("VIRIRADO_STANDIN_DRY_RUN");
    return v && std::string(v) == "1";
}

const items::Item* find(const std::vector<items::Item>& all, const std::string& id) {
    for (const auto& it : all)
        if (it.id == id) return &it;
    return nullptr;
}

// The ids in their first order, each once: a repeated id is one item, never
// listed, counted or cleaned twice.
std::vector<std::string> unique_ids(const std::vector<std::string>& ids) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const auto& id : ids)
        if (seen.insert(id).second) out.push_back(id);
    return out;
}

}  // namespace

Session::Session(protocol::Emitter& out) : m_out(out), m_home(paths::home()) {}

Session::~Session() {
    finish();
}

void Session::finish() {
    stop_worker(kQuiet);
}

void Session::stop_worker(Stop how) {
    if (!m_worker.joinable()) return;
    // A clean is never cut short on its own: it stops between two items.
    m_stop = how;
    m_worker.join();
    m_stop = kRun;
}

void Session::start_worker(Busy busy, std::function<void()> body) {
    // The previous worker has already said its last word (it goes idle first).
    if (m_worker.joinable()) m_worker.join();
    m_stop = kRun;
    m_busy = busy;
    m_worker = std::thread(std::move(body));
}

void Session::error(const std::string& cmd, const std::string& message, const std::string& id) {
    m_out.emit("error", {{"cmd", cmd}, {"message", message}}, id);
}

void Session::emit_volume(const std::string& id) {
    auto v = paths::volume(m_home);
    m_out.emit("volume",
               {{"free_bytes", v.free_bytes}, {"total_bytes", v.total_bytes}, {"volume", v.name}},
               id);
}

void Session::handle(const std::string& line) {
    std::string trimmed = line;
    while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' '))
        trimmed.pop_back();
    if (trimmed.find_first_not_of(" \t") == std::string::npos) return;
    auto parsed = protocol::parse(trimmed);
    const auto& c = parsed.command;
    if (!parsed.error.empty()) return error(c.cmd, parsed.error, c.id);
    if (c.cmd == "hello") return emit_volume(c.id);
    if (c.cmd == "scan") return on_scan(c);
    if (c.cmd == "tick" || c.cmd == "untick") return on_select(c, c.cmd == "tick");
    if (c.cmd == "preview") return on_preview(c);
    if (c.cmd == "cancel") return on_cancel(c);
    if (c.cmd == "clean") return on_clean(c);
}

bool Session::refuse_if_busy(const protocol::Command& c) {
    int busy = m_busy.load();
    if (busy == kIdle) return false;
    error(c.cmd, busy == kScanning ? "Busy: a scan is running." : "Busy: a clean is running.",
          c.id);
    return true;
}

void Session::on_scan(const protocol::Command& c) {
    if (m_busy.load() == kCleaning) {
        refuse_if_busy(c);
        return;
    }
    // A new scan replaces a running one without a word: a "cancelled" here would
    // leave the app saying the scan was cancelled while the new one runs.
    stop_worker(kQuiet);
    {
        std::lock_guard<std::mutex> g(m_mu);
        m_items.clear();
        m_ticked.clear();
        m_token.clear();
        m_token_rows.clear();
    }
    start_worker(kScanning, [this, c] { scan(c); });
}

void Session::on_select(const protocol::Command& c, bool tick) {
    if (refuse_if_busy(c)) return;
    json rejected = json::array();
    json ticked = json::array();
    {
        std::lock_guard<std::mutex> g(m_mu);
        m_token.clear();
        m_token_rows.clear();
        for (const auto& id : unique_ids(c.ids)) {
            if (!tick) {
                m_ticked.erase(id);
                continue;
            }
            const items::Item* it = find(m_items, id);
            if (it && items::cleanable(*it)) {
                m_ticked.insert(id);
            } else {
                rejected.push_back({{"id", id}, {"reason", "Look only: " + (it ? it->label : id)}});
            }
        }
        for (const auto& it : m_items)
            if (m_ticked.contains(it.id)) ticked.push_back(it.id);
    }
    m_out.emit("selection", {{"ticked", ticked}, {"rejected", rejected}}, c.id);
}

void Session::on_preview(const protocol::Command& c) {
    if (refuse_if_busy(c)) return;
    json rows = json::array(), blocked = json::array();
    int64_t bytes = 0;
    std::vector<items::Item> kept;
    std::lock_guard<std::mutex> g(m_mu);
    m_token.clear();
    m_token_rows.clear();
    std::vector<std::string> ids = c.ids;
    if (!c.has_ids)
        for (const auto& it : m_items)
            if (m_ticked.contains(it.id)) ids.push_back(it.id);
    for (const auto& id : unique_ids(ids)) {
        const items::Item* it = find(m_items, id);
        if (!it || !items::cleanable(*it)) {
            std::string label = it ? it->label : id;
            std::string reason = it ? "Look only" : "not in this scan";
            blocked.push_back({{"id", id}, {"label", label}, {"reason", reason}});
            continue;
        }
        rows.push_back(items::row_json(*it));
        bytes = sizes::add(bytes, it->realistic_size);
        kept.push_back(*it);
    }
    std::string token;
    if (!kept.empty()) {
        auto t = tokens::make();
        if (!t)
            return error(c.cmd, "No randomness for a confirmation code. Nothing was deleted.",
                         c.id);
        token = *t;
        m_token = token;
        m_token_rows = std::move(kept);
    } else {
        rows = json::array();
    }
    m_out.emit(
        "preview",
        {{"items", rows}, {"confirm_token", token}, {"blocked", blocked}, {"clean_bytes", bytes}},
        c.id);
}

void Session::on_cancel(const protocol::Command& c) {
    (void)c;
    if (m_busy.load() == kIdle) return;
    m_stop = kUserCancel;
}

void Session::on_clean(const protocol::Command& c) {
    if (refuse_if_busy(c)) return;
    std::vector<items::Item> rows;
    {
        std::lock_guard<std::mutex> g(m_mu);
        if (m_token.empty() || c.confirm_token != m_token) return error("clean", kStale, c.id);
        // Single use: whatever happens next, this token is spent.
        m_token.clear();
        rows = std::move(m_token_rows);
        m_token_rows.clear();
    }
    bool dry = c.dry_run || forced_dry_run();
    start_worker(kCleaning, [this, c, rows = std::move(rows), dry]() mutable {
        clean(c, std::move(rows), dry);
    });
}

}  // namespace peer
