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

// A name or path as text output shows it: a character that would move the cursor, start a
// terminal sequence or turn the line around is written as a backslash escape, as `ls -b` does:
// \a \b \t \n \v \f \r for those seven, else a backslash and three octal digits per UTF-8 byte
// (ESC is "\033"). That covers the C0 controls, DEL, the C1 controls, U+2028 and U+2029, and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069). A backslash
// itself becomes "\\", so every escape reads back one way. Valid UTF-8 is expected (names are
// converted lossily on listing); a stray byte that is not is escaped in octal too.
std::string shown(std::string_view text);

// Sizes for people, in 1024 steps: "512 B", "1.5 KiB", ... "1024.0 TiB".
std::string size_text(uint64_t bytes);

// Milliseconds between two steady-clock readings as a double.
double ms_between(std::chrono::steady_clock::time_point from,
                  std::chrono::steady_clock::time_point to);

}  // namespace virirado_engine
