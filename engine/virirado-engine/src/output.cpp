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

// The length of the UTF-8 sequence at `s[i]` and its code point, or 0 for a stray byte.
std::size_t decode_one(std::string_view s, std::size_t i, char32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? c : c & (0x7f >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3f);
    }
    return n;
}

bool must_escape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7f && cp <= 0x9f) || cp == 0x061c || cp == 0x200e ||
           cp == 0x200f || cp == 0x2028 || cp == 0x2029 || (cp >= 0x202a && cp <= 0x202e) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

void octal(std::string& out, unsigned char c) {
    out += '\\';
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string shown(std::string_view text) {
    static constexpr std::string_view named = "abtnvfr";  // for 7 to 13
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        std::size_t n = decode_one(text, i, cp);
        if (n == 0) {
            octal(out, static_cast<unsigned char>(text[i++]));
            continue;
        }
        if (cp == '\\') {
            out += "\\\\";
        } else if (cp >= 7 && cp <= 13) {
            out += '\\';
            out += named[cp - 7];
        } else if (must_escape(cp)) {
            for (std::size_t k = 0; k < n; ++k)
                octal(out, static_cast<unsigned char>(text[i + k]));
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

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
