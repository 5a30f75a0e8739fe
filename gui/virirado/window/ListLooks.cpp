#include "ListLooks.hpp"

#include <algorithm>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "Format.hpp"

namespace virirado {

namespace {

constexpr TintPair kQuietText{{"#4F6B82"}, {"#9DB7CC"}};

}  // namespace

std::string upperCased(std::string_view text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    u.toUpper(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

Badge badgeOf(const VadeRow& row) {
    Badge b;
    b.tip = row.blocked.empty() ? row.fate() : row.blocked;
    if (!row.blocked.empty()) {
        b.word = "Blocked";
        b.tone = BadgeTone::blocked;
    } else if (!row.tickable) {
        b.word = "Look only";
        b.tone = BadgeTone::lookOnly;
    } else if (row.safety == "review") {
        b.word = "Check";
        b.tone = BadgeTone::check;
    } else if (row.safety == "safe") {
        b.word = "Safe";
        b.tone = BadgeTone::safe;
    } else {
        b.word = row.safety == "info" ? std::string("Info") : row.safety;
        b.tone = BadgeTone::neutral;
    }
    b.spoken = b.word;
    b.word = upperCased(b.word);
    return b;
}

TintPair badgeText(BadgeTone tone) {
    switch (tone) {
        case BadgeTone::blocked:
            return {{"#FFFFFF"}, {"#E6F1F8"}};
        case BadgeTone::check:
            return {{"#B8440C"}, {"#FFD2B3"}};
        case BadgeTone::safe:
            return {{"#0E7F90"}, {"#BFEEF4"}};
        case BadgeTone::lookOnly:
        case BadgeTone::neutral:
            break;
    }
    return kQuietText;
}

TintPair badgeFill(BadgeTone tone) {
    switch (tone) {
        case BadgeTone::blocked:
            return {{"#0F2A47"}, {"#1C3D5E"}};
        case BadgeTone::check:
            return {{"#FFE3D1"}, {"#FF7A2F", 0.24}};
        case BadgeTone::safe:
            return {{"#BFEEF4"}, {"#19B5C9", 0.22}};
        case BadgeTone::lookOnly:
        case BadgeTone::neutral:
            break;
    }
    return {{kQuietText.light.hex, 0.16}, {kQuietText.dark.hex, 0.16}};
}

Figure rowFigure(const VadeRow& row) {
    if (row.realistic <= 0 && row.size < 1) return {"\u2014", true};
    return {finderSize(getsBack(row)), false};
}

Figure groupFigure(const TreeGroup& group) {
    const int64_t back = group.back();
    if (back < 1) return {"\u2014", false};
    return {finderSize(back), false};
}

TickLook rowTick(const VadeRow& row) {
    TickLook t;
    t.on = row.ticked;
    t.enabled = row.tickable;
    t.spoken = row.ticked ? "Clean it" : "Keep it";
    if (row.tickable) {
        t.tip = row.ticked ? "Clean" : "Keep";
    } else {
        t.tip = row.blocked.empty() ? std::string("Look only") : row.blocked;
    }
    return t;
}

TickLook groupTick(const TreeGroup& group) {
    TickLook t;
    const TreeGroup::State state = group.state();
    t.on = state == TreeGroup::State::all;
    t.partial = state == TreeGroup::State::partial;
    t.enabled = !group.tickable().empty();
    switch (state) {
        case TreeGroup::State::all:
            t.spoken = "All ticked";
            break;
        case TreeGroup::State::partial:
            t.spoken = "Some ticked";
            break;
        case TreeGroup::State::none:
            t.spoken = "None ticked";
            break;
    }
    t.tip = state == TreeGroup::State::none ? "Tick the Safe ones" : "Untick all";
    return t;
}

std::string groupLineSpoken(const TreeGroup& group, bool open) {
    return group.title + ", " + std::to_string(group.rows.size()) + " items, gets back " +
           finderSize(group.back()) + ", " + (open ? "open" : "closed");
}

std::string childLineSpoken(const VadeRow& row) {
    return row.name + ", gets back " + finderSize(getsBack(row)) + ", " +
           (row.ticked ? "Clean it" : "Keep it");
}

bool spokenAlike(const VadeRow& a, const VadeRow& b) {
    return a.ticked == b.ticked && a.tickable == b.tickable && getsBack(a) == getsBack(b) &&
           a.name == b.name && a.safety == b.safety && a.blocked == b.blocked;
}

bool spokenAlike(const TreeGroup& a, bool aOpen, const TreeGroup& b, bool bOpen) {
    auto anyTickable = [](const TreeGroup& g) {
        return std::any_of(g.rows.begin(), g.rows.end(),
                           [](const VadeRow* r) { return r->tickable; });
    };
    return aOpen == bOpen && a.rows.size() == b.rows.size() && a.state() == b.state() &&
           a.back() == b.back() && anyTickable(a) == anyTickable(b) && a.title == b.title;
}

}  // namespace virirado
