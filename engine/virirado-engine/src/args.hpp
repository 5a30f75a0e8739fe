#pragma once
// The engine's argument grammar: exact whole-argument matches, first occurrence consumed,
// value options take the next argument whatever it is, what remains is a leftover.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace virirado_engine {

inline constexpr const char* ENGINE_NAME = "virirado-engine";
inline constexpr const char* VERSION = "0.1.0";

// An argument error: `message` (may be empty) goes to standard error before the usage text,
// and the process ends with status 2. Thrown only inside the command line, caught by main.
struct UsageError {
    std::string message;
};

// A failure that ends the process with `status` after `message` went to standard error.
struct ExitError {
    int status;
    std::string message;
};

std::string usage_text();

// An unsigned decimal with an optional leading "+" that fits in 64 bits; nothing else.
std::optional<uint64_t> parse_u64(std::string_view s);

class Args {
public:
    explicit Args(std::vector<std::string> args) : m_args(std::move(args)) {}

    std::optional<std::string> value(std::string_view name);
    std::optional<uint64_t> num(std::string_view name);
    bool flag(std::string_view name);
    bool contains(std::string_view name) const;
    // Throws the "unknown arguments" usage error when anything is left.
    void expect_empty() const;
    const std::vector<std::string>& rest() const { return m_args; }

private:
    std::vector<std::string> m_args;
};

}  // namespace virirado_engine
