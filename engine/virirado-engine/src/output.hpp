#pragma once
// Everything the engine writes to standard output goes through here, under one lock, so lines
// from the progress thread, the walker threads and the main thread stay whole and in order.
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace virirado_engine {

// Writes `text` to standard output under the lock and flushes; false when the write failed
// (a closed pipe, for instance).
bool write_stdout(std::string_view text);

// One compact JSON line with "v" 1 and "type" set to `type`.
bool emit(std::string_view type, nlohmann::json obj);

// One compact JSON line of `obj` as it stands.
bool write_json_line(const nlohmann::json& obj);

// The error object of the JSON modes: {"error":message,"type":"error","v":1}.
nlohmann::json error_object(const std::string& message);

// Sizes for people, in 1024 steps: "512 B", "1.5 KiB", ... "1024.0 TiB".
std::string size_text(uint64_t bytes);

// Milliseconds between two steady-clock readings as a double.
double ms_between(std::chrono::steady_clock::time_point from,
                  std::chrono::steady_clock::time_point to);

}  // namespace virirado_engine
