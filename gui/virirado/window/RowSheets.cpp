#include "RowSheets.hpp"

#include "Json.hpp"

#include "DisplayPath.hpp"
#include "Format.hpp"

namespace virirado {

std::string checkFirstExplanation(bool dryRun, const std::string& name) {
    if (dryRun) {
        return "Nothing is deleted from this sheet. These are what Clean the tank would remove "
               "if you leave " +
               name + " ticked. This preview stays a dry run.";
    }
    return "Nothing is deleted from this sheet. If you tick Clean it, Clean the tank can remove "
           "exactly this list, after the same guards.";
}

std::vector<CheckLine> checkFirstLines(const VadeRow& row, const std::string& home) {
    std::vector<CheckLine> lines;
    lines.reserve(row.members.size() + 1);
    lines.push_back({row.name, row.path ? displayPath(*row.path, home) : displaySafe(row.why),
                     finderSize(row.realistic)});
    for (const VadeMember& m : row.members) {
        lines.push_back(
            {m.name, m.path ? displayPath(*m.path, home) : std::string(), finderSize(m.size)});
    }
    return lines;
}

std::string quickDeleteSize(const VadeRow& row) {
    return finderSize(row.realistic >= 1 ? row.realistic : row.size);
}

std::optional<std::string> quickDeletePath(const VadeRow& row, const std::string& home) {
    if (!row.path || row.path->empty()) return std::nullopt;
    return displayPath(*row.path, home);
}

}  // namespace virirado
