#include "quote.hpp"

#include <cstdio>

namespace bwcore::quote {
namespace {

void escape(std::string& out, unsigned char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\0':
            out += "\\0";
            return;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7f) {
        char buf[12];
        std::snprintf(buf, sizeof buf, "\\u{%x}", c);
        out += buf;
    } else {
        out.push_back(static_cast<char>(c));
    }
}

}  // namespace

std::string debug(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s)
        escape(out, c);
    return out + "\"";
}

std::string debug_list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += debug(items[i]);
    }
    return out + "]";
}

}  // namespace bwcore::quote
