#include "options.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "utf8.hpp"

namespace virirado_engine {

std::optional<std::string> env_text(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0' || !bwcore::utf8::valid(v)) return std::nullopt;
    return std::string(v);
}

namespace {

std::optional<std::string> read_file(const std::string& path, std::string& error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno ? errno : ENOENT);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad() || (in.fail() && !in.eof())) {
        // Reading a folder fails here with EISDIR.
        error = std::strerror(errno ? errno : EIO);
        return std::nullopt;
    }
    std::string s = text.str();
    if (!bwcore::utf8::valid(s)) {
        error = "stream did not contain valid UTF-8";
        return std::nullopt;
    }
    return s;
}

}  // namespace

bwcore::Rules load_rules(const std::optional<std::string>& path) {
    if (!path) return bwcore::Rules::defaults();
    std::string error;
    auto text = read_file(*path, error);
    if (!text) throw ExitError{2, "--config " + *path + ": " + error + "\n"};
    auto rules = bwcore::rules::parse_json(*text);
    if (!rules) throw ExitError{2, "--config " + *path + ": " + rules.error().message + "\n"};
    return std::move(rules).value();
}

unsigned clamp_threads(uint64_t requested) {
    return static_cast<unsigned>(std::min<uint64_t>(requested, MAX_THREADS));
}

}  // namespace virirado_engine
