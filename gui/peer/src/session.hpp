// One conversation with the app: the items of the current scan, the ticked set,
// the pending confirmation token, and the one worker thread that runs a scan or
// a clean. Commands arrive on the caller's thread, one line at a time.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "items.hpp"
#include "protocol.hpp"

namespace peer {

class Session {
public:
    explicit Session(protocol::Emitter& out);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Handles one input line (already split at the line feed).
    void handle(const std::string& line);
    // End of input: stops a scan, lets a clean finish its current item, waits.
    void finish();

private:
    enum Busy : int { kIdle, kScanning, kCleaning };
    enum Stop : int { kRun, kUserCancel, kQuiet };

    void on_scan(const protocol::Command& c);
    void on_select(const protocol::Command& c, bool tick);
    void on_preview(const protocol::Command& c);
    void on_cancel(const protocol::Command& c);
    void on_clean(const protocol::Command& c);
    bool refuse_if_busy(const protocol::Command& c);
    void stop_worker(Stop how);
    void start_worker(Busy busy, std::function<void()> body);
    void emit_volume(const std::string& id);
    void error(const std::string& cmd, const std::string& message, const std::string& id);

    // Worker bodies.
    void scan(protocol::Command c);
    void scan_engine(const protocol::Command& c, std::vector<items::Item>& found, int place,
                     int total);
    void publish(const std::vector<items::Item>& found, const std::string& id);
    void progress(const std::string& place, int done, int total, const std::string& id);
    void clean(protocol::Command c, std::vector<items::Item> rows, bool dry);
    nlohmann::json clean_one(const items::Item& item, bool dry, const std::string& id);
    void finish_clean(const std::vector<std::string>& deleted);

    protocol::Emitter& m_out;
    std::string m_home;

    std::mutex m_mu;  // guards the four below
    std::vector<items::Item> m_items;
    std::set<std::string> m_ticked;
    std::string m_token;
    std::vector<items::Item> m_token_rows;

    std::atomic<int> m_busy{kIdle};
    std::atomic<int> m_stop{kRun};
    std::thread m_worker;
};

}  // namespace peer
