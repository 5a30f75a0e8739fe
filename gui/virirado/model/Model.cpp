#include "Model.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "Protocol.hpp"

namespace virirado {

namespace {

// Only one level of members is ever shown; the cap keeps a hostile engine from
// exhausting the stack with deeply nested members.
constexpr int kMaxMemberDepth = 64;

std::string stringOr(const Json& object, const char* key, std::string fallback) {
    auto s = jsonString(jsonField(object, key));
    return s ? std::move(*s) : std::move(fallback);
}

// A text only ever shown, made safe to show.
std::string textOr(const Json& object, const char* key, const std::string& fallback) {
    return displaySafe(stringOr(object, key, fallback));
}

bool rooted(const std::string& s) {
    return s.starts_with("/") || s.starts_with("~/");
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> out;
    if (path.starts_with("/")) out.emplace_back("/");
    size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty() && out != "/") out += '/';
        out += part;
    }
    return out;
}

std::optional<std::string> commonAncestorPath(const std::vector<std::string>& paths,
                                              const std::string& home) {
    if (paths.empty()) return std::nullopt;
    std::vector<std::vector<std::string>> split;
    for (const auto& p : paths)
        split.push_back(components(expandTilde(p, home)));
    size_t common = 0;
    for (; common < split.front().size(); ++common) {
        bool same = true;
        for (const auto& parts : split) {
            if (parts.size() <= common || parts[common] != split.front()[common]) same = false;
        }
        if (!same) break;
    }
    if (common < 2) return std::nullopt;
    return joined({split.front().begin(), split.front().begin() + common});
}

std::optional<std::string> pathFromNote(const std::string& note, const std::string& home) {
    // The same white space as the engine's lines are trimmed of: a note may well
    // begin with a no-break space or a line separator.
    const std::string text(protocol::trimmed(note));
    if (!rooted(text)) return std::nullopt;
    const std::string head = text.substr(0, text.find(". "));
    if (!rooted(head)) return std::nullopt;
    return expandTilde(head, home);
}

std::optional<std::string> resolveDisplayPath(const std::optional<std::string>& explicitPath,
                                              const std::vector<ItemRecord>& members,
                                              const std::string& note, const std::string& home) {
    if (explicitPath && !explicitPath->empty()) return explicitPath;
    std::vector<std::string> memberPaths;
    for (const auto& m : members) {
        if (m.path && !m.path->empty()) memberPaths.push_back(*m.path);
    }
    if (memberPaths.empty()) return pathFromNote(note, home);
    if (memberPaths.size() == 1) return memberPaths.front();
    auto ancestor = commonAncestorPath(memberPaths, home);
    return ancestor ? ancestor : memberPaths.front();
}

std::optional<ItemRecord> parseAt(const Json& object, const std::string& home, int depth);

std::vector<ItemRecord> parseMembers(const Json& object, const std::string& home, int depth) {
    std::vector<ItemRecord> members;
    const Json* list = jsonField(object, "members");
    if (list == nullptr || !list->is_array() || depth >= kMaxMemberDepth) return members;
    for (const auto& element : *list) {
        if (!element.is_object()) return {};
    }
    for (const auto& element : *list) {
        if (auto member = parseAt(element, home, depth + 1)) members.push_back(std::move(*member));
    }
    return members;
}

void readExplanation(const Json& object, ItemRecord& r) {
    static const Json kEmpty = Json::object();
    const Json* found = jsonField(object, "explain");
    const Json& explain = (found != nullptr && found->is_object()) ? *found : kEmpty;
    r.explainWhat = textOr(explain, "what", "");
    r.explainGone = textOr(explain, "if_gone", "");
    auto back = jsonText(jsonField(explain, "comes_back"));
    if (!back) back = jsonText(jsonField(object, "how_back"));
    r.explainBack = back.value_or("");
}

std::optional<ItemRecord> parseAt(const Json& object, const std::string& home, int depth) {
    auto id = jsonString(jsonField(object, "id"));
    if (!id) return std::nullopt;
    ItemRecord r;
    r.id = *id;
    r.members = parseMembers(object, home, depth);
    r.note = stringOr(object, "note", "");
    r.path = resolveDisplayPath(jsonString(jsonField(object, "path")), r.members, r.note, home);
    // The note was read for a path; from here on it is only shown.
    r.note = displaySafe(r.note);
    r.category = textOr(object, "category", "");
    r.label = textOr(object, "label", r.id);
    // A size or count below zero is no size: it reads as none, so no total and
    // no bar can be pulled below what the other items hold.
    r.size = std::max<int64_t>(0, jsonInt(jsonField(object, "size")));
    r.realisticSize = jsonInt(jsonField(object, "realistic_size"));
    const Json* count = jsonField(object, "fileCount");
    r.fileCount =
        std::max<int64_t>(0, jsonInt(count != nullptr ? count : jsonField(object, "file_count")));
    r.kind = stringOr(object, "kind", "");
    r.safety = stringOr(object, "safety", "review");
    r.ticked = jsonBool(jsonField(object, "ticked"), false);
    r.modified = jsonDate(jsonField(object, "modified"));
    r.ext = stringOr(object, "extension", "");
    r.deletable = jsonBool(jsonField(object, "deletable"), true);
    r.blocked = textOr(object, "blocked", "");
    r.why = textOr(object, "why", "");
    r.action = stringOr(object, "action", "rm");
    readExplanation(object, r);
    r.sharedBlocks = jsonBool(jsonField(object, "shared_blocks"), false);
    r.estimating = jsonBool(jsonField(object, "estimating"), false);
    return r;
}

}  // namespace

std::string homeFolder() {
    if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') return env;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/";
}

std::string expandTilde(const std::string& path, const std::string& home) {
    if (path == "~") return home;
    if (!path.starts_with("~/")) return path;
    if (home.ends_with("/")) return home + path.substr(2);
    return home + path.substr(1);
}

std::optional<ItemRecord> ItemRecord::parse(const Json& object) {
    return parse(object, homeFolder());
}

std::optional<ItemRecord> ItemRecord::parse(const Json& object, const std::string& home) {
    return parseAt(object, home, 0);
}

bool ItemRecord::tickable() const {
    return deletable && safety != "info" && blocked.empty() && action != "info";
}

std::vector<PreviewRow> PreviewPayload::deletableRows() const {
    std::vector<PreviewRow> out;
    for (const auto& row : rows) {
        if (row.safety != "info") out.push_back(row);
    }
    return out;
}

}  // namespace virirado
