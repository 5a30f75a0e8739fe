// Snapshot mode: started with VIRIRADO_SNAPSHOT set to a path prefix, the app shows
// demo data (or a real scan) and saves pictures of fixed states of its window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "EngineLocator.hpp"
#include "Scope.hpp"

namespace virirado::Snapshot {

// The picture path prefix when snapshot mode is on: the variable set and not empty.
std::optional<std::string> prefix(const Environment& env);
// The same, read from this process's environment on every call.
std::optional<std::string> prefix();

struct Step {
    std::string name;
    durozizo::VadeScope scope;
    std::string query;
    bool dark = false;
};

// The pictures taken of the demo data, in order.
const std::vector<Step>& demoSteps();
// The pictures taken after a real scan, in order.
const std::vector<Step>& scanSteps();

}  // namespace virirado::Snapshot
