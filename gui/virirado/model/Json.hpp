// Lenient readers for the cleaning engine's JSON. A reader never fails: a value of
// the wrong JSON type, JSON null and a missing key (nullptr) all count as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace virirado {

using Json = nlohmann::json;

// Seconds since 1970-01-01 00:00 UTC, fraction kept. Held as a double so that any
// number the engine sends fits.
using TimePoint = double;

// The value under `key` of an object, or nullptr when `object` is no object or
// lacks the key.
const Json* jsonField(const Json& object, const char* key);

std::optional<std::string> jsonString(const Json* value);
// Fractions are cut toward zero; values outside the int64 range saturate.
int64_t jsonInt(const Json* value);
std::optional<double> jsonDouble(const Json* value);
// A number reads as true when it equals 1, false when it equals 0, else the default.
bool jsonBool(const Json* value, bool fallback);
std::optional<TimePoint> jsonDate(const Json* value);

// Engine text made safe to show: control characters (but tab and line breaks)
// and the bidirectional embedding, override and isolate controls become U+FFFD,
// so no name can hide characters or show itself reversed ("exe.txt" as
// "txt.exe"). For display texts only; ids and paths stay as the engine sent them.
std::string displaySafe(std::string_view text);
// jsonString, made display-safe.
std::optional<std::string> jsonText(const Json* value);

}  // namespace virirado
