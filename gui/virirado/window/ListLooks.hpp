// What each part of a cleanup-list line says and in which colours: the safety
// badge, the gets-back figures, the tick controls with their tips, and the
// texts a screen reader hears for a line.
#pragma once

#include <string>
#include <string_view>

#include "RowGroups.hpp"

namespace virirado {

// A colour of one scheme: six hex digits and an opacity.
struct Tint {
    std::string_view hex;
    double opacity = 1;

    bool operator==(const Tint&) const = default;
};

// The light and the dark variant of one colour.
struct TintPair {
    Tint light;
    Tint dark;

    const Tint& of(bool darkScheme) const { return darkScheme ? dark : light; }
    bool operator==(const TintPair&) const = default;
};

enum class BadgeTone { blocked, lookOnly, check, safe, neutral };

struct Badge {
    // Already upper-cased, as it is drawn.
    std::string word;
    // The word as written, before upper-casing: what a screen reader says, as
    // a voice may spell out a short word in capitals.
    std::string spoken;
    BadgeTone tone = BadgeTone::neutral;
    // The blocked reason, else what cleaning does to the row.
    std::string tip;

    bool operator==(const Badge&) const = default;
};

Badge badgeOf(const VadeRow& row);
TintPair badgeText(BadgeTone tone);
TintPair badgeFill(BadgeTone tone);

// A gets-back figure; `quiet` ones are drawn in the secondary colour.
struct Figure {
    std::string text;
    bool quiet = false;

    bool operator==(const Figure&) const = default;
};

// "—" (quiet) when the row has neither a realistic size nor a size.
Figure rowFigure(const VadeRow& row);
// "—" when the group gives back nothing; never quiet.
Figure groupFigure(const TreeGroup& group);

// A tick circle and what it says.
struct TickLook {
    bool on = false;
    bool partial = false;
    bool enabled = false;
    std::string spoken;
    std::string tip;

    bool operator==(const TickLook&) const = default;
};

TickLook rowTick(const VadeRow& row);
TickLook groupTick(const TreeGroup& group);

// What a screen reader says for a whole line.
std::string groupLineSpoken(const TreeGroup& group, bool open);
std::string childLineSpoken(const VadeRow& row);

// Two rows, or two groups, that are alike give a screen reader the same words
// for their line, its badge and its tick, and the same tick states: what a refresh
// checks before it builds any words. Sizes that differ but read the same
// are not alike; the words decide then.
bool spokenAlike(const VadeRow& a, const VadeRow& b);
bool spokenAlike(const TreeGroup& a, bool aOpen, const TreeGroup& b, bool bOpen);

// The text upper-cased, Unicode-aware and independent of the user's language.
std::string upperCased(std::string_view text);

}  // namespace virirado
