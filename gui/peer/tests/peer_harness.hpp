// Runs the built stand-in as a child in a throwaway home folder and talks to it
// through pipes, as the app does.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "items.hpp"

namespace peer_test {

namespace fs = std::filesystem;
using nlohmann::json;

// A fresh home under the system's temporary folder, removed at the end.
struct TempHome {
    TempHome();
    ~TempHome();
    fs::path root;  // holds home/ and, for tests that need it, things outside it
    fs::path home;
    fs::path cache() const { return home / ".cache"; }
    fs::path trash() const { return home / ".local/share/Trash"; }
};

// Writes `bytes` bytes of data (really allocated) to a new file.
void write_file(const fs::path& p, size_t bytes);
// A new file of `bytes` bytes whose blocks are reserved without writing them,
// for files big enough to be offered as big files.
void allocate_file(const fs::path& p, size_t bytes);
// The allocated bytes of a file (st_blocks x 512).
int64_t allocated(const fs::path& p);

class Peer {
public:
    // `env` adds to (or replaces in) a minimal environment: HOME, XDG dirs and
    // VIRIRADO_SCANNER pointing nowhere unless given.
    Peer(const TempHome& h, std::map<std::string, std::string> env = {});
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void send_line(const std::string& line);
    void send(json cmd);  // adds "v":1 and a fresh "id"
    // The next event; a null json when none came in time.
    json next(int timeout_ms = 15000);
    // Events up to and including the first named `event`; fails the test if absent.
    std::vector<json> until(const std::string& event, int timeout_ms = 15000);
    json wait_for(const std::string& event) { return until(event).back(); }
    // Closes stdin and waits; the exit status.
    int close_and_wait();

    // scan -> the "done" event.
    json scan(bool include_private = false);

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    std::string m_buf;
    int m_next_id = 1;
};

// An item for the thing at `p` as a scan would have found it (its path and identity).
peer::items::Item item_at(const fs::path& p);

// The item with this id among the items of a "done" event, or null.
json item_in(const json& done, const std::string& id);

}  // namespace peer_test
