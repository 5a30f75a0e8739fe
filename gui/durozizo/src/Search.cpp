#include "Search.hpp"

#include <array>
#include <cmath>

#include "Numeric.hpp"
#include "Text.hpp"

namespace durozizo {
namespace {

enum class Key { size, kind, ext, path, name, age, flag };

struct KeyName {
    std::string_view word;
    Key key;
};

constexpr std::array<KeyName, 14> kKeys{{{"size", Key::size},
                                         {"s", Key::size},
                                         {"kind", Key::kind},
                                         {"k", Key::kind},
                                         {"type", Key::kind},
                                         {"ext", Key::ext},
                                         {"e", Key::ext},
                                         {"path", Key::path},
                                         {"in", Key::path},
                                         {"name", Key::name},
                                         {"age", Key::age},
                                         {"old", Key::age},
                                         {"modified", Key::age},
                                         {"is", Key::flag}}};

std::optional<Key> keyOf(std::string_view word) {
    if (word == "safety") return Key::flag;
    for (const KeyName& k : kKeys) {
        if (k.word == word) return k.key;
    }
    return std::nullopt;
}

// A comparison sign in front of a size or age value. `lower` tells whether the
// value is a lower limit (">", ">=" and no sign) or an upper one.
struct Sign {
    bool lower = true;
    std::string_view rest;
};

Sign readSign(std::string_view text) {
    constexpr std::array<std::pair<std::string_view, bool>, 4> kSigns{
        {{">=", true}, {"<=", false}, {">", true}, {"<", false}}};
    for (const auto& [sign, lower] : kSigns) {
        if (hasCharPrefix(text, sign)) return {lower, text.substr(sign.size())};
    }
    return {true, text};
}

std::optional<int> unitPower(std::string_view unit) {
    if (unit.empty()) return 0;
    if (unit == "k") return 1;
    if (unit == "m") return 2;
    if (unit == "g") return 3;
    if (unit == "t") return 4;
    return std::nullopt;
}

}  // namespace

SearchItem::SearchItem(std::string id_, std::string name_, std::string path_, int64_t size_,
                       std::optional<int64_t> realistic_, std::string kind_, std::string category_,
                       std::string ext_, std::optional<Seconds> modified_, std::string safety_,
                       std::string action_, bool ticked_, bool tickable_, std::string memberText_)
    : id(std::move(id_)),
      name(std::move(name_)),
      path(std::move(path_)),
      size(size_),
      realistic(realistic_.value_or(size_)),
      kind(std::move(kind_)),
      category(std::move(category_)),
      ext(text::searchForm(ext_)),
      modified(modified_),
      safety(std::move(safety_)),
      action(std::move(action_)),
      ticked(ticked_),
      tickable(tickable_),
      memberText(std::move(memberText_)) {
    std::string joined;
    joined.reserve(name.size() + path.size() + memberText.size() + 2);
    joined.append(name).append("\n").append(path).append("\n").append(memberText);
    m_haystack = text::searchForm(joined);
}

VadeQuery VadeQuery::parse(std::string_view text) {
    VadeQuery q;
    for (const std::string& token : tokenize(text))
        q.add(token);
    return q;
}

void VadeQuery::add(std::string_view token) {
    if (token.empty()) return;
    const std::vector<std::string_view> chars = text::graphemes(token);
    std::size_t colon = 0;  // byte offset of the first ":" character
    for (std::string_view c : chars) {
        if (c == ":") break;
        colon += c.size();
    }
    if (colon > 0 && colon < token.size()) {
        const std::string key = text::lower(token.substr(0, colon));
        const std::string_view value = token.substr(colon + 1);
        if (auto k = keyOf(key)) {
            switch (*k) {
                case Key::size:
                    if (auto bound = parseSizeBound(value)) {
                        size = *bound;
                    } else {
                        problems.push_back("size:" + std::string(value));
                    }
                    return;
                case Key::kind:
                    for (std::string& part : splitList(value))
                        kinds.push_back(std::move(part));
                    return;
                case Key::ext:
                    for (std::string& part : splitList(value)) {
                        if (hasCharPrefix(part, ".")) part.erase(0, 1);
                        exts.push_back(std::move(part));
                    }
                    return;
                case Key::path:
                    paths.push_back(text::searchForm(value));
                    return;
                case Key::name:
                    names.push_back(text::searchForm(value));
                    return;
                case Key::age:
                    if (!parseAge(value)) problems.push_back("age:" + std::string(value));
                    return;
                case Key::flag:
                    for (std::string& part : splitList(value))
                        flags.push_back(std::move(part));
                    return;
            }
        }
    }
    if (chars.size() >= 2 && chars.front() == "-") {
        excluded.push_back(text::searchForm(token.substr(1)));
    } else {
        terms.push_back(text::searchForm(token));
    }
}

bool VadeQuery::isEmpty() const {
    return terms.empty() && excluded.empty() && kinds.empty() && exts.empty() && paths.empty() &&
           names.empty() && flags.empty() && !size.min && !size.max && !olderThanDays &&
           !newerThanDays;
}

bool VadeQuery::parseAge(std::string_view value) {
    const Sign sign = readSign(value);
    const std::optional<double> days = parseDays(sign.rest);
    if (!days) return false;
    (sign.lower ? olderThanDays : newerThanDays) = *days;
    return true;
}

std::vector<std::string> tokenize(std::string_view text) {
    std::vector<std::string> tokens;
    std::string current;
    bool quoted = false;
    for (std::string_view c : text::graphemes(text)) {
        if (c == "\"") {
            quoted = !quoted;
        } else if (!quoted && text::isWhiteSpace(text::firstScalar(c))) {
            if (!current.empty()) tokens.push_back(std::move(current));
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.empty()) tokens.push_back(std::move(current));
    return tokens;
}

std::vector<std::string> splitList(std::string_view text) {
    const std::string lowered = text::searchForm(text);
    std::vector<std::string> parts;
    std::string piece;
    auto flush = [&] {
        std::string_view trimmed = text::trimHorizontal(piece);
        if (!trimmed.empty()) parts.emplace_back(trimmed);
        piece.clear();
    };
    for (std::string_view c : text::graphemes(lowered)) {
        if (c == ",") {
            flush();
        } else {
            piece.append(c);
        }
    }
    flush();
    return parts;
}

std::optional<SizeBound> parseSizeBound(std::string_view text) {
    if (const std::size_t cut = text.find(".."); cut != std::string_view::npos) {
        SizeBound bound{parseBytes(text.substr(0, cut)), parseBytes(text.substr(cut + 2))};
        if (!bound.min && !bound.max) return std::nullopt;
        return bound;
    }
    const Sign sign = readSign(text);
    const std::optional<int64_t> bytes = parseBytes(sign.rest);
    if (!bytes) return std::nullopt;
    SizeBound bound;
    (sign.lower ? bound.min : bound.max) = bytes;
    return bound;
}

std::optional<int64_t> parseBytes(std::string_view text) {
    const std::string t = text::lower(text::trimHorizontal(text));
    if (t.empty()) return std::nullopt;
    // Non-ASCII digits never read as a number: in the number part they fail the
    // decimal conversion, in the unit part the unit check, so ASCII suffices.
    std::size_t split = 0;
    while (split < t.size() && ((t[split] >= '0' && t[split] <= '9') || t[split] == '.'))
        ++split;
    const std::string_view number = std::string_view(t).substr(0, split);
    if (number.empty()) return std::nullopt;
    const std::optional<double> num = text::parseDouble(number);
    if (!num) return std::nullopt;
    std::string unit = t.substr(split);
    const bool binary = unit.find('i') != std::string::npos;
    std::erase_if(unit, [](char c) { return c == 'i' || c == 'b'; });
    const std::optional<int> power = unitPower(unit);
    if (!power) return std::nullopt;
    const double value = *num * std::pow(binary ? 1024.0 : 1000.0, *power);
    if (!std::isfinite(value) || value >= 9223372036854775808.0) return std::nullopt;
    return clampToInt64(value);
}

std::optional<double> parseDays(std::string_view text) {
    const std::string t = text::lower(text);
    if (t.empty()) return std::nullopt;
    double unitDays = 0;
    switch (t.back()) {
        case 'd':
            unitDays = 1;
            break;
        case 'w':
            unitDays = 7;
            break;
        case 'm':
            unitDays = 30;
            break;
        case 'y':
            unitDays = 365;
            break;
        default:
            break;
    }
    if (unitDays > 0) {
        if (auto n = text::parseDouble(std::string_view(t).substr(0, t.size() - 1))) {
            return *n * unitDays;
        }
    }
    return text::parseDouble(t);
}

bool hasCharPrefix(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    if (text.size() == prefix.size()) return true;
    // The prefix must end on a character boundary of `text`.
    std::size_t at = 0;
    for (std::string_view c : text::graphemes(text)) {
        at += c.size();
        if (at >= prefix.size()) break;
    }
    return at == prefix.size();
}

}  // namespace durozizo

using durozizo::detail::hashAdd;

std::size_t std::hash<durozizo::SizeBound>::operator()(
    const durozizo::SizeBound& b) const noexcept {
    std::size_t seed = 0;
    hashAdd(seed, b.min);
    hashAdd(seed, b.max);
    return seed;
}

std::size_t std::hash<durozizo::SearchItem>::operator()(
    const durozizo::SearchItem& i) const noexcept {
    std::size_t seed = 0;
    hashAdd(seed, i.id);
    hashAdd(seed, i.name);
    hashAdd(seed, i.path);
    hashAdd(seed, i.size);
    hashAdd(seed, i.realistic);
    hashAdd(seed, i.kind);
    hashAdd(seed, i.category);
    hashAdd(seed, i.ext);
    hashAdd(seed, i.modified);
    hashAdd(seed, i.safety);
    hashAdd(seed, i.action);
    hashAdd(seed, i.ticked);
    hashAdd(seed, i.tickable);
    hashAdd(seed, i.memberText);
    hashAdd(seed, i.haystack());
    return seed;
}

std::size_t std::hash<durozizo::VadeQuery>::operator()(
    const durozizo::VadeQuery& q) const noexcept {
    std::size_t seed = 0;
    hashAdd(seed, q.terms);
    hashAdd(seed, q.excluded);
    hashAdd(seed, std::hash<durozizo::SizeBound>{}(q.size));
    hashAdd(seed, q.kinds);
    hashAdd(seed, q.exts);
    hashAdd(seed, q.paths);
    hashAdd(seed, q.names);
    hashAdd(seed, q.olderThanDays);
    hashAdd(seed, q.newerThanDays);
    hashAdd(seed, q.flags);
    hashAdd(seed, q.problems);
    return seed;
}
