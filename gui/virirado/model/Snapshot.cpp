#include "Snapshot.hpp"

#include <cstdlib>

namespace virirado::Snapshot {

using durozizo::VadeScope;

std::optional<std::string> prefix(const Environment& env) {
    auto value = environmentValue(env, "VIRIRADO_SNAPSHOT");
    if (!value || value->empty()) return std::nullopt;
    return value;
}

std::optional<std::string> prefix() {
    const char* value = std::getenv("VIRIRADO_SNAPSHOT");
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

const std::vector<Step>& demoSteps() {
    static const std::vector<Step> steps{
        {"light", VadeScope::everything, "", false},
        {"dark", VadeScope::everything, "", true},
        {"types-light", VadeScope::biggest, "kind:biggest-file,large-old", false},
        {"types-dark", VadeScope::biggest, "kind:biggest-file,large-old", true},
    };
    return steps;
}

const std::vector<Step>& scanSteps() {
    static const std::vector<Step> steps{
        {"everything", VadeScope::everything, "", false},
        {"biggest", VadeScope::biggest, "", false},
        {"developer", VadeScope::developer, "", false},
        {"search-size-kind", VadeScope::everything, "size:>100M kind:cache,devbuild", false},
        {"search-name", VadeScope::everything, "xcode -simulator", false},
        {"everything-dark", VadeScope::everything, "", true},
    };
    return steps;
}

}  // namespace virirado::Snapshot
