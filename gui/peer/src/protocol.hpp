// The wire: one JSON object per line in both directions. Commands are parsed
// into a plain value; events go out through one emitter that writes whole lines
// and flushes each, since stdout is a pipe.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace peer::protocol {

struct Command {
    std::string id;   // the request id, echoed in events for the logs
    std::string cmd;  // "" when the line had none
    bool include_private = false;
    std::vector<std::string> ids;
    bool has_ids = false;
    std::string confirm_token;
    bool dry_run = true;  // only "dry_run": false makes a clean real
};

// A parsed command, or the text of the "error" event to answer with (and the
// command name it names, when one was readable).
struct Parsed {
    Command command;
    std::string error;
};
Parsed parse(const std::string& line);

class Emitter {
public:
    explicit Emitter(std::FILE* out) : m_out(out) {}
    // Adds "v":1 and "event", and "id" when not empty; false when the write failed.
    bool emit(const std::string& event, nlohmann::json fields, const std::string& id = "");

private:
    std::mutex m_mu;
    std::FILE* m_out;
};

}  // namespace peer::protocol
