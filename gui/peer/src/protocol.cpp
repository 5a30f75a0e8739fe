#include "protocol.hpp"

#include <algorithm>

namespace peer::protocol {
namespace {

using nlohmann::json;

const std::vector<std::string> kCommands = {"hello",  "scan",   "preview", "tick",
                                            "untick", "cancel", "clean"};

std::string text(const json& o, const char* key) {
    auto it = o.find(key);
    return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool flag(const json& o, const char* key) {
    auto it = o.find(key);
    return it != o.end() && it->is_boolean() && it->get<bool>();
}

// "ids" must be an array of strings; anything else is a bad request.
bool read_ids(const json& o, Command& c) {
    auto it = o.find("ids");
    if (it == o.end()) return true;
    if (!it->is_array()) return false;
    for (const auto& v : *it) {
        if (!v.is_string()) return false;
        c.ids.push_back(v.get<std::string>());
    }
    c.has_ids = true;
    return true;
}

}  // namespace

Parsed parse(const std::string& line) {
    Parsed p;
    json o = json::parse(line, nullptr, false);
    if (o.is_discarded()) {
        p.error = "bad request: not JSON";
        return p;
    }
    if (!o.is_object()) {
        p.error = "bad request: not an object";
        return p;
    }
    Command& c = p.command;
    c.id = text(o, "id");
    c.cmd = text(o, "cmd");
    auto v = o.find("v");
    if (v == o.end() || !v->is_number() || v->get<double>() != 1.0) {
        p.error = "unsupported protocol version";
        return p;
    }
    if (std::find(kCommands.begin(), kCommands.end(), c.cmd) == kCommands.end()) {
        p.error = c.cmd.empty() ? "bad request: no cmd" : "unknown command: " + c.cmd;
        return p;
    }
    if (!read_ids(o, c)) {
        p.error = "bad request: ids must be a list of strings";
        return p;
    }
    if ((c.cmd == "tick" || c.cmd == "untick") && !c.has_ids) {
        p.error = "bad request: ids missing";
        return p;
    }
    // A clean must know for sure whether it may change anything.
    if (auto d = o.find("dry_run"); d != o.end() && !d->is_boolean()) {
        p.error = "bad request: dry_run must be true or false";
        return p;
    }
    c.include_private = flag(o, "include_private");
    c.confirm_token = text(o, "confirm_token");
    // Only an explicit false makes a clean real: a missing flag is a dry run.
    auto d = o.find("dry_run");
    c.dry_run = d == o.end() || d->get<bool>();
    return p;
}

bool Emitter::emit(const std::string& event, json fields, const std::string& id) {
    if (!fields.is_object()) fields = json::object();
    fields["v"] = 1;
    fields["event"] = event;
    if (!id.empty()) fields["id"] = id;
    std::string line = fields.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::lock_guard<std::mutex> g(m_mu);
    bool ok = std::fwrite(line.data(), 1, line.size(), m_out) == line.size();
    return std::fflush(m_out) == 0 && ok;
}

}  // namespace peer::protocol
