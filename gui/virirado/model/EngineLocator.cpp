#include "EngineLocator.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

extern char** environ;

namespace virirado {

namespace {

// A regular file this user may run; folders pass access(X_OK) but are no program.
bool isExecutableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::access(path.c_str(), X_OK) == 0;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.ends_with('/')) return folder + name;
    return folder + "/" + name;
}

std::string parentOf(const std::string& folder) {
    if (folder == "/" || folder.empty()) return folder;
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.ends_with('/'))
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) return trimmed;
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

std::optional<EngineLocator::Command> devTreeAt(const std::string& folder) {
    for (const char* venv : {".venv/bin/virirado", "venv/bin/virirado"}) {
        const std::string candidate = join(folder, venv);
        if (isExecutableFile(candidate)) return EngineLocator::Command{candidate, {"engine"}, {}};
    }
    if (exists(join(folder, "src/virirado/__main__.py"))) {
        return EngineLocator::Command{
            "/usr/bin/env", {"python3", "-m", "virirado", "engine"}, join(folder, "src")};
    }
    return std::nullopt;
}

// The setting is a path, never a name to look up: a bare "eng" is the file in the
// working folder, not whatever program of that name comes first on PATH. It is made
// absolute here, so the launcher has nothing left to search for.
std::string enginePath(const std::string& value, const std::string& currentFolder) {
    if (value.starts_with('/')) return value;
    if (currentFolder.empty()) return value.starts_with("./") ? value : "./" + value;
    return join(currentFolder, value);
}

}  // namespace

std::string LaunchContext::resourceFolder() const {
    if (executableFolder.empty()) return {};
    return join(parentOf(executableFolder), "share/virirado");
}

LaunchContext LaunchContext::current() {
    LaunchContext context;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view pair = *entry;
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        context.environment.emplace(std::string(pair.substr(0, eq)),
                                    std::string(pair.substr(eq + 1)));
    }
    std::error_code error;
    const auto cwd = std::filesystem::current_path(error);
    if (!error) context.currentFolder = cwd.string();
    return context;
}

std::optional<std::string> environmentValue(const Environment& env, const std::string& name) {
    const auto found = env.find(name);
    if (found == env.end()) return std::nullopt;
    return found->second;
}

namespace EngineLocator {

std::optional<Command> bundled(const std::string& resourceFolder) {
    if (resourceFolder.empty()) return std::nullopt;
    const std::string engine = join(resourceFolder, "virirado");
    if (isExecutableFile(engine)) return Command{engine, {"engine"}, {}};
    const std::string python = join(resourceFolder, "python/bin/python3");
    if (isExecutableFile(python)) return Command{python, {"-m", "virirado", "engine"}, {}};
    return std::nullopt;
}

std::vector<std::string> searchRoots(const LaunchContext& context) {
    // A Linux program is its own bundle: the bundle folder is the executable's.
    std::vector<std::string> roots;
    if (!context.currentFolder.empty()) roots.push_back(context.currentFolder);
    if (!context.executableFolder.empty()) {
        roots.push_back(context.executableFolder);
        roots.push_back(context.executableFolder);
    }
    return roots;
}

Command locate(const LaunchContext& context) {
    if (auto engine = environmentValue(context.environment, "VIRIRADO_ENGINE");
        engine && !engine->empty()) {
        return Command{enginePath(*engine, context.currentFolder), {"engine"}, {}};
    }
    if (auto command = bundled(context.resourceFolder())) return *command;
    for (const std::string& root : searchRoots(context)) {
        std::string folder = root;
        for (int level = 0; level < 8; ++level) {
            if (auto command = devTreeAt(folder)) return *command;
            const std::string parent = parentOf(folder);
            if (parent == folder) break;
            folder = parent;
        }
    }
    return Command{"/usr/bin/env", {"virirado", "engine"}, {}};
}

std::string summary(const Command& command) {
    std::string text = command.executable;
    for (const std::string& argument : command.arguments)
        text += " " + argument;
    return text;
}

}  // namespace EngineLocator

namespace LaunchOptions {

bool autoscan(const LaunchContext& context) {
    const auto& args = context.arguments;
    if (std::find(args.begin(), args.end(), "--no-autoscan") != args.end()) return false;
    if (std::find(args.begin(), args.end(), "--autoscan") != args.end()) return true;
    if (auto value = environmentValue(context.environment, "VIRIRADO_AUTOSCAN")) {
        std::string lowered = *value;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return *value == "1" || lowered == "true";
    }
    return true;
}

}  // namespace LaunchOptions

Environment childEnvironment(const Environment& base, const EngineLocator::Command& command) {
    Environment env = base;
    if (command.pythonPath) {
        const auto old = environmentValue(base, "PYTHONPATH");
        env["PYTHONPATH"] =
            old && !old->empty() ? *command.pythonPath + ":" + *old : *command.pythonPath;
    }
    if (!base.contains("VIRIRADO_ENGINE")) env["VIRIRADO_ENGINE"] = "rust";
    return env;
}

}  // namespace virirado
