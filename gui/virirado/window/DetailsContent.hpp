// Everything the details pane says, as plain values: which card it shows and
// the texts on it. The pane compares one of these with the last and rebuilds
// only when they differ.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RowGroups.hpp"

namespace virirado {

enum class DetailsFace { fresh, other, group, row, pickRow };

enum class SafetyInk { secondary, check, safe, text };

struct SafetySentence {
    std::string text;
    SafetyInk ink = SafetyInk::text;

    bool operator==(const SafetySentence&) const = default;
};

struct DetailLine {
    std::string label;
    std::string value;

    bool operator==(const DetailLine&) const = default;
};

struct MemberLine {
    // The path, or the name without one, with the home written "~".
    std::string shown;
    std::string size;
    std::optional<std::string> path;
    std::string name;

    bool operator==(const MemberLine&) const = default;
};

// A row of the group card: its short name and what it gives back.
struct NameAndSize {
    std::string name;
    std::string size;

    bool operator==(const NameAndSize&) const = default;
};

enum class ToggleFace { lookOnly, cleaning, keep };

struct RowCard {
    // The row as it was passed: what the tick toggle hands back.
    VadeRow row;
    // With the home written "~"; none without a path.
    std::optional<std::string> shownPath;
    // Trimmed and "~" expanded, as the row menu acts on it; none when blank.
    std::optional<std::string> actionPath;
    std::string size;
    std::string sizeSpoken;
    SafetySentence safety;
    // The explanations, one per line; empty when there are none.
    std::string tip;
    std::vector<DetailLine> details;
    std::vector<MemberLine> members;
    ToggleFace toggle = ToggleFace::keep;

    bool operator==(const RowCard&) const = default;
};

struct GroupCard {
    std::string title;
    std::string size;
    std::string summary;
    std::vector<NameAndSize> rows;
    std::vector<DetailLine> details;

    bool operator==(const GroupCard&) const = default;
};

struct DetailsContent {
    DetailsFace face = DetailsFace::pickRow;
    // What the card is about: "fresh", "other", "group:" and its key, "row:" and
    // the row's id; empty for "Pick a row.". New texts about the same subject
    // keep the reader's place in the pane.
    std::string subject;
    // The fresh and other panes: title, big figure, and "of <total>" (fresh).
    std::string title;
    std::string size;
    std::string subtitle;
    std::optional<RowCard> row;
    std::optional<GroupCard> group;

    bool operator==(const DetailsContent&) const = default;
};

struct DetailsInputs {
    std::optional<std::string> selection;
    const VadeRow* row = nullptr;
    const TreeGroup* group = nullptr;
    int64_t freshBytes = 0;
    int64_t totalBytes = 0;
    int64_t otherBytes = 0;
    std::string home;
};

// "fresh" and "other" win over a passed row or group; then the group, then
// the row; "Pick a row." without either.
DetailsContent detailsContent(const DetailsInputs& in);

SafetySentence safetySentence(const VadeRow& row);
// The what (or the why), the gone and the back texts, one per line.
std::string explanationTip(const VadeRow& row);
// "Listed" when the realistic size differs, "Files", "Modified".
std::vector<DetailLine> rowDetailLines(const VadeRow& row);
// The ten largest members, equal sizes in their given order.
std::vector<MemberLine> memberLines(const VadeRow& row, const std::string& home);
ToggleFace toggleFace(const VadeRow& row);
std::string toggleLabel(ToggleFace face);
// "<t> of <n> ticked · <size>".
std::string tickedSummary(const TreeGroup& group);
// The date in the user's language's medium style, without the time; "—" for none.
std::string modifiedText(std::optional<double> secondsSince1970);

}  // namespace virirado
