#include "json_out.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "utf8.hpp"

namespace virirado_engine {
namespace {

void append_string(std::string& out, const std::string& raw) {
    const std::string fixed = bwcore::utf8::valid(raw) ? std::string() : bwcore::utf8::lossy(raw);
    const std::string& s = fixed.empty() ? raw : fixed;
    out.push_back('"');
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

void newline(std::string& out, bool pretty, int depth) {
    if (!pretty) return;
    out.push_back('\n');
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

// Iterative over containers is unnecessary: request and rules input is depth-capped before it
// can reach here, and our own values are shallow.
template <class J>
void write(std::string& out, const J& v, bool pretty, int depth) {
    switch (v.type()) {
        case nlohmann::json::value_t::object: {
            if (v.empty()) {
                out += "{}";
                return;
            }
            out.push_back('{');
            bool first = true;
            for (auto it = v.begin(); it != v.end(); ++it) {
                if (!first) out.push_back(',');
                first = false;
                newline(out, pretty, depth + 1);
                append_string(out, it.key());
                out += pretty ? ": " : ":";
                write(out, it.value(), pretty, depth + 1);
            }
            newline(out, pretty, depth);
            out.push_back('}');
            return;
        }
        case nlohmann::json::value_t::array: {
            if (v.empty()) {
                out += "[]";
                return;
            }
            out.push_back('[');
            bool first = true;
            for (const auto& e : v) {
                if (!first) out.push_back(',');
                first = false;
                newline(out, pretty, depth + 1);
                write(out, e, pretty, depth + 1);
            }
            newline(out, pretty, depth);
            out.push_back(']');
            return;
        }
        case nlohmann::json::value_t::string:
            append_string(out, v.template get_ref<const std::string&>());
            return;
        case nlohmann::json::value_t::boolean:
            out += v.template get<bool>() ? "true" : "false";
            return;
        case nlohmann::json::value_t::number_integer:
            out += std::to_string(v.template get<int64_t>());
            return;
        case nlohmann::json::value_t::number_unsigned:
            out += std::to_string(v.template get<uint64_t>());
            return;
        case nlohmann::json::value_t::number_float:
            append_float(out, v.template get<double>());
            return;
        default:
            out += "null";
            return;
    }
}

}  // namespace

void append_float(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    if (v == 0) {
        out += std::signbit(v) ? "-0.0" : "0.0";
        return;
    }
    // Shortest round-trip digits, then laid out: plain decimals for 1e-5 <= |v| < 1e16,
    // otherwise d.ddde-7 with an unpadded exponent and no "+".
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string sci(buf, res.ptr);
    if (sci[0] == '-') {
        out.push_back('-');
        sci.erase(0, 1);
    }
    std::size_t e = sci.find('e');
    std::string digits = sci.substr(0, e);
    if (digits.size() > 1) digits.erase(1, 1);  // drop the point
    int exp10 = std::atoi(sci.c_str() + e + 1);
    int len = static_cast<int>(digits.size());
    int kk = exp10 + 1;  // position of the decimal point within the digits
    if (kk >= len && kk <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(kk - len), '0');
        out += ".0";
    } else if (kk > 0 && kk <= 16) {
        out += digits.substr(0, static_cast<std::size_t>(kk));
        out.push_back('.');
        out += digits.substr(static_cast<std::size_t>(kk));
    } else if (kk > -5 && kk <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-kk), '0');
        out += digits;
    } else {
        out.push_back(digits[0]);
        if (len > 1) {
            out.push_back('.');
            out += digits.substr(1);
        }
        out.push_back('e');
        out += std::to_string(kk - 1);
    }
}

std::string to_text(const nlohmann::json& v, bool pretty) {
    std::string out;
    write(out, v, pretty, 0);
    return out;
}

std::string to_text(const nlohmann::ordered_json& v, bool pretty) {
    std::string out;
    write(out, v, pretty, 0);
    return out;
}

}  // namespace virirado_engine
