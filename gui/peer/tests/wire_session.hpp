// The example session of docs/cleaning-engine.md, read back so that tests can
// play it against the stand-in and the app's client: a page that describes the
// wire is only worth reading while what it shows still happens.
#pragma once

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace wire_doc {

struct Line {
    bool command = false;  // ">" app to engine, else "<" engine to app
    nlohmann::json value;
};

// The lines of the page's ```session block, "/home/ann" replaced by `home`.
// Empty when the page or the block is missing, so a caller can fail loudly.
inline std::vector<Line> read_session(const std::string& page, const std::string& home) {
    std::ifstream in(page);
    std::vector<Line> out;
    bool inside = false;
    for (std::string text; std::getline(in, text);) {
        if (!inside) {
            inside = text == "```session";
            continue;
        }
        if (text == "```") break;
        if (text.size() < 2 || (text[0] != '>' && text[0] != '<')) continue;
        std::string body = text.substr(2);
        for (std::size_t at; (at = body.find("/home/ann")) != std::string::npos;)
            body.replace(at, 9, home);
        out.push_back({text[0] == '>', nlohmann::json::parse(body)});
    }
    return out;
}

// Whether `got` has the form of `want`: the same keys all the way down, strings
// and booleans equal (but for the keys in `loose`, which vary from run to run),
// numbers of either kind where a number is shown. Says where they part in `where`.
inline bool same_form(const nlohmann::json& want, const nlohmann::json& got,
                      const std::vector<std::string>& loose, std::string& where,
                      const std::string& at = "") {
    auto fail = [&](const std::string& why) {
        where = at + ": " + why + " (shown " + want.dump() + ", got " + got.dump() + ")";
        return false;
    };
    if (want.is_number()) return got.is_number() || fail("not a number");
    if (want.type() != got.type()) return fail("another type");
    if (want.is_object()) {
        for (auto it = want.begin(); it != want.end(); ++it) {
            if (!got.contains(it.key())) return fail("no " + it.key());
            const bool free = std::find(loose.begin(), loose.end(), it.key()) != loose.end();
            if (free && it->is_primitive() && got[it.key()].type() == it->type()) continue;
            if (!same_form(*it, got[it.key()], loose, where, at + "/" + it.key())) return false;
        }
        for (auto it = got.begin(); it != got.end(); ++it)
            if (!want.contains(it.key())) return fail("unshown " + it.key());
        return true;
    }
    if (want.is_array()) {
        if (want.size() != got.size()) return fail("another length");
        for (std::size_t i = 0; i < want.size(); ++i)
            if (!same_form(want[i], got[i], loose, where, at + "/" + std::to_string(i)))
                return false;
        return true;
    }
    return want == got || fail("another value");
}

}  // namespace wire_doc
