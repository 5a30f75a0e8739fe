// Finding the cleaning engine and the two launch switches. Both read what the app
// was started with through a LaunchContext, so they can be tried on made-up folders
// and environments.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace virirado {

using Environment = std::map<std::string, std::string>;

// What the app was started with.
struct LaunchContext {
    std::vector<std::string> arguments;
    Environment environment;
    std::string currentFolder;
    // The folder that holds the running executable; empty when unknown.
    std::string executableFolder;

    // The app's resource folder, ../share/virirado beside the executable's folder;
    // empty without an executable folder.
    std::string resourceFolder() const;

    // This process: its environment and working folder; the arguments and the
    // executable folder are left to the caller.
    static LaunchContext current();
};

// The value of `name`, or none when it is not set (set and empty stays "").
std::optional<std::string> environmentValue(const Environment& env, const std::string& name);

namespace EngineLocator {

struct Command {
    std::string executable;
    std::vector<std::string> arguments;
    std::optional<std::string> pythonPath;

    bool operator==(const Command&) const = default;
};

// The engine shipped in the resource folder, if any.
std::optional<Command> bundled(const std::string& resourceFolder);
// The folders a development tree is looked for from, in order.
std::vector<std::string> searchRoots(const LaunchContext& context);
Command locate(const LaunchContext& context);

// The executable followed by its arguments, joined with single spaces.
std::string summary(const Command& command);

}  // namespace EngineLocator

namespace LaunchOptions {

// Whether the engine scans right after launch.
bool autoscan(const LaunchContext& context);

}  // namespace LaunchOptions

// The child's environment: `base` with the command's python folder put in front of
// PYTHONPATH, and VIRIRADO_ENGINE="rust" when that variable is not set at all.
Environment childEnvironment(const Environment& base, const EngineLocator::Command& command);

}  // namespace virirado
