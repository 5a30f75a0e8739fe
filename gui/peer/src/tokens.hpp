// Confirmation tokens: 128 random bits as 32 lower-case hex digits.
#pragma once

#include <optional>
#include <string>

namespace peer::tokens {

// None when the system has no randomness to give (never a predictable token).
std::optional<std::string> make();

}  // namespace peer::tokens
