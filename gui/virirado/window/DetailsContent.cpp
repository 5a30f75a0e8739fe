#include "DetailsContent.hpp"

#include <unicode/datefmt.h>
#include <unicode/locid.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "DisplayPath.hpp"
#include "Format.hpp"
#include "ListLooks.hpp"
#include "Numeric.hpp"
#include "Text.hpp"

namespace virirado {

namespace {

constexpr const char* kDash = "\u2014";
constexpr std::size_t kMembersShown = 10;
constexpr std::size_t kGroupRowsShown = 8;

std::string filesText(int64_t count) {
    return count >= 1 ? formatCount(count) : std::string(kDash);
}

RowCard rowCard(const VadeRow& row, const std::string& home) {
    RowCard c;
    c.row = row;
    if (row.path && !row.path->empty()) {
        c.shownPath = displayPath(*row.path, home);
        c.actionPath = cleanPath(row.path, home);
    }
    c.size = finderSize(getsBack(row));
    c.sizeSpoken = "You'll really get back " + c.size;
    c.safety = safetySentence(row);
    c.tip = explanationTip(row);
    c.details = rowDetailLines(row);
    c.members = memberLines(row, home);
    c.toggle = toggleFace(row);
    return c;
}

GroupCard groupCard(const TreeGroup& group) {
    GroupCard c;
    c.title = group.title;
    const int64_t back = group.back();
    c.size = finderSize(back);
    c.summary = tickedSummary(group);
    int64_t listed = 0;
    int64_t files = 0;
    for (const VadeRow* row : group.rows) {
        listed = durozizo::saturatingAdd(listed, row->size);
        files = durozizo::saturatingAdd(files, row->fileCount);
        if (c.rows.size() < kGroupRowsShown) {
            c.rows.push_back({shortName(*row), finderSize(getsBack(*row))});
        }
    }
    if (listed != back) c.details.push_back({"Listed", finderSize(listed)});
    c.details.push_back({"Files", filesText(files)});
    return c;
}

}  // namespace

DetailsContent detailsContent(const DetailsInputs& in) {
    DetailsContent d;
    if (in.selection == "fresh") {
        d.face = DetailsFace::fresh;
        d.subject = "fresh";
        d.title = "Fresh water";
        d.size = finderSize(in.freshBytes);
        d.subtitle = "of " + finderSize(in.totalBytes);
    } else if (in.selection == "other") {
        d.face = DetailsFace::other;
        d.subject = "other";
        d.title = "Everything else";
        d.size = finderSize(in.otherBytes);
    } else if (in.group != nullptr) {
        d.face = DetailsFace::group;
        d.subject = "group:" + in.group->key;
        d.group = groupCard(*in.group);
    } else if (in.row != nullptr) {
        d.face = DetailsFace::row;
        d.subject = "row:" + in.row->id;
        d.row = rowCard(*in.row, in.home);
    } else {
        d.face = DetailsFace::pickRow;
        d.title = "Pick a row.";
    }
    return d;
}

SafetySentence safetySentence(const VadeRow& row) {
    if (!row.blocked.empty()) return {"Blocked \u00B7 " + row.blocked, SafetyInk::secondary};
    if (row.safety == "info" || !row.tickable) return {"Look only", SafetyInk::secondary};
    if (row.safety == "review") {
        return {"Check first \u00B7 " + durozizo::text::lower(row.fate()), SafetyInk::check};
    }
    if (row.safety == "safe") {
        return {"Safe \u00B7 " + durozizo::text::lower(row.fate()), SafetyInk::safe};
    }
    return {row.safety, SafetyInk::text};
}

std::string explanationTip(const VadeRow& row) {
    std::string tip;
    for (const std::string* part : {row.explainWhat.empty() ? &row.why : &row.explainWhat,
                                    &row.explainGone, &row.explainBack}) {
        if (part->empty()) continue;
        if (!tip.empty()) tip += '\n';
        tip += *part;
    }
    return tip;
}

std::vector<DetailLine> rowDetailLines(const VadeRow& row) {
    std::vector<DetailLine> lines;
    if (row.realistic >= 1 && row.realistic != row.size) {
        lines.push_back({"Listed", finderSize(row.size)});
    }
    lines.push_back({"Files", filesText(row.fileCount)});
    lines.push_back({"Modified", modifiedText(row.modified)});
    return lines;
}

std::vector<MemberLine> memberLines(const VadeRow& row, const std::string& home) {
    std::vector<const VadeMember*> members;
    members.reserve(row.members.size());
    for (const VadeMember& m : row.members)
        members.push_back(&m);
    std::stable_sort(members.begin(), members.end(),
                     [](const VadeMember* a, const VadeMember* b) { return a->size > b->size; });
    if (members.size() > kMembersShown) members.resize(kMembersShown);
    std::vector<MemberLine> lines;
    for (const VadeMember* m : members) {
        const bool hasPath = m->path && !m->path->empty();
        lines.push_back({displayPath(hasPath ? *m->path : m->name, home), finderSize(m->size),
                         m->path, m->name});
    }
    return lines;
}

ToggleFace toggleFace(const VadeRow& row) {
    if (!row.tickable) return ToggleFace::lookOnly;
    return row.ticked ? ToggleFace::cleaning : ToggleFace::keep;
}

std::string toggleLabel(ToggleFace face) {
    switch (face) {
        case ToggleFace::lookOnly:
            return "Look only";
        case ToggleFace::cleaning:
            return "Cleaning";
        case ToggleFace::keep:
            break;
    }
    return "Keep";
}

std::string tickedSummary(const TreeGroup& group) {
    return std::to_string(group.tickedCount()) + " of " + std::to_string(group.rows.size()) +
           " ticked \u00B7 " + finderSize(group.tickedBack());
}

std::string modifiedText(std::optional<double> secondsSince1970) {
    // Past about 285,000 years either way no calendar of ours can say it.
    if (!secondsSince1970 || !std::isfinite(*secondsSince1970) ||
        std::fabs(*secondsSince1970) > 9e12) {
        return kDash;
    }
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icu::Locale::getDefault()));
    if (!format) return kDash;
    icu::UnicodeString text;
    format->format(*secondsSince1970 * 1000.0, text);
    if (text.isEmpty()) return kDash;
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace virirado
