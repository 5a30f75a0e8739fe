#pragma once
// What the two request loops share: reading one request line, parsing it safely, and reading its
// fields without trusting their types.
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace virirado_engine {

// Deeper request lines are refused before they are printed back: writing a value nested a
// hundred thousand levels deep would exhaust the stack.
inline constexpr std::size_t MAX_REQUEST_DEPTH = 127;

// Reads the next line of `in` into `line` without its "\n" and one "\r" before that. False at
// the end of input, on a read error and for a line that is not UTF-8: all of them end a loop.
bool read_request_line(std::FILE* in, std::string& line);

// One JSON value, or the parser's message (which names line and column).
struct ParsedRequest {
    nlohmann::json value;
    std::optional<std::string> error;
};
ParsedRequest parse_request(const std::string& line);

// The member `key` of an object request; nullptr when the request is no object or lacks it.
const nlohmann::json* field(const nlohmann::json& request, const char* key);
// The member when it is a non-negative integer; none for negative, fractional or other values.
std::optional<uint64_t> unsigned_field(const nlohmann::json& request, const char* key);
// The member when it is a string.
std::optional<std::string> string_field(const nlohmann::json& request, const char* key);

}  // namespace virirado_engine
