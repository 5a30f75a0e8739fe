#include "serve_common.hpp"

#include <sys/types.h>

#include <cstdlib>
#include <string_view>

#include "output.hpp"
#include "utf8.hpp"

namespace virirado_engine {
namespace {

using json = nlohmann::json;

// Raised from the parser callback to stop a line that nests too deeply.
struct TooDeep {};

// The library prefixes its messages with "[json.exception.<kind>.<id>] "; the rest is the
// message a client can show.
std::string parser_message(const json::exception& e) {
    std::string_view what = e.what();
    if (!what.empty() && what.front() == '[') {
        auto close = what.find("] ");
        if (close != std::string_view::npos) what.remove_prefix(close + 2);
    }
    return std::string(what);
}

}  // namespace

bool read_request_line(std::FILE* in, std::string& line) {
    char* buf = nullptr;
    std::size_t cap = 0;
    ssize_t n = ::getline(&buf, &cap, in);
    if (n > 0) line.assign(buf, static_cast<std::size_t>(n));
    std::free(buf);
    if (n <= 0) return false;
    if (!bwcore::utf8::valid(line)) return false;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    return true;
}

ParsedRequest parse_request(const std::string& line) {
    ParsedRequest out;
    json::parser_callback_t depth_check = [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start ||
             event == json::parse_event_t::array_start) &&
            static_cast<std::size_t>(depth) >= MAX_REQUEST_DEPTH)
            throw TooDeep{};
        return true;
    };
    try {
        out.value = json::parse(line, depth_check);
    } catch (const TooDeep&) {
        out.error = "recursion limit exceeded: more than " + std::to_string(MAX_REQUEST_DEPTH) +
                    " levels of nesting";
    } catch (const json::exception& e) {
        out.error = parser_message(e);
    }
    return out;
}

const json* field(const json& request, const char* key) {
    if (!request.is_object()) return nullptr;
    auto it = request.find(key);
    return it == request.end() ? nullptr : &*it;
}

std::optional<uint64_t> unsigned_field(const json& request, const char* key) {
    const json* v = field(request, key);
    if (v == nullptr || !v->is_number_unsigned()) return std::nullopt;
    return v->get<uint64_t>();
}

std::optional<std::string> string_field(const json& request, const char* key) {
    const json* v = field(request, key);
    if (v == nullptr || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

}  // namespace virirado_engine
