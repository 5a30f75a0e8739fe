#include "output.hpp"

#include <chrono>
#include <cstdio>
#include <mutex>

#include "json_out.hpp"

namespace virirado_engine {
namespace {

std::mutex& stdout_lock() {
    static std::mutex m;
    return m;
}

}  // namespace

bool write_stdout(std::string_view text) {
    std::lock_guard<std::mutex> guard(stdout_lock());
    bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && ok;
}

bool emit(std::string_view type, nlohmann::json obj) {
    if (!obj.is_object()) obj = nlohmann::json::object();
    obj["v"] = 1;
    obj["type"] = std::string(type);
    return write_json_line(obj);
}

bool write_json_line(const nlohmann::json& obj) {
    return write_stdout(to_text(obj) + "\n");
}

nlohmann::json error_object(const std::string& message) {
    return {{"error", message}, {"type", "error"}, {"v", 1}};
}

std::string size_text(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double v = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (v >= 1024.0 && unit < 3) {
        v /= 1024.0;
        ++unit;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f %s", v, units[unit]);
    return buf;
}

double ms_between(std::chrono::steady_clock::time_point from,
                  std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace virirado_engine
