#pragma once
// The engine's JSON text: compact lines or two-space pretty form, keys in the order the value
// holds them (byte order for nlohmann::json, declaration order for ordered_json), floats in the
// shortest round-trip form with plain decimals for ordinary magnitudes, non-finite floats as
// null, and strings that are never allowed to make the writer fail.
#include <nlohmann/json.hpp>
#include <string>

namespace virirado_engine {

// Appends the text of a finite or non-finite double as the engine prints it.
void append_float(std::string& out, double v);

std::string to_text(const nlohmann::json& v, bool pretty = false);
std::string to_text(const nlohmann::ordered_json& v, bool pretty = false);

}  // namespace virirado_engine
