// The rules' JSON form: printed in declaration order, and read from a rules file straight from
// the parser's events, so shapes, repeated keys and depth are checked before anything is built.
#include <nlohmann/json.hpp>

#include <array>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "rules.hpp"

namespace bwcore {

namespace {

using ojson = nlohmann::ordered_json;

// Deeper values are refused before they are built, so a hostile file cannot exhaust the stack.
constexpr std::size_t MAX_DEPTH = 127;

constexpr std::array<std::string_view, 6> FIELDS = {
    "forbidden_components", "deny_prefixes",    "home_deny",
    "report_only",          "devbuild_markers", "devbuild_nested"};

// Walks the text for the parser and records how far it has read, so that shape errors can
// name a line and column as the parser's own syntax errors do.
struct TrackingIter {
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* p = nullptr;
    const char** cursor = nullptr;

    reference operator*() const { return *p; }
    TrackingIter& operator++() {
        *cursor = ++p;
        return *this;
    }
    bool operator==(const TrackingIter& o) const { return p == o.p; }
};

// The shape the next value must have; Skip takes any value (the value of an unknown key).
enum class Shape { Rules, Str, StrList, StrLists, Pairs, Pair, Markers, MarkerPair, Skip };

constexpr std::array<Shape, 6> FIELD_SHAPES = {Shape::StrList, Shape::StrList, Shape::StrLists,
                                               Shape::Pairs,   Shape::Markers, Shape::StrList};

constexpr std::array<std::string_view, 9> SHAPE_TEXT = {"struct Rules",
                                                        "a string",
                                                        "a list of strings",
                                                        "a list of lists of strings",
                                                        "a list of [label, path] pairs",
                                                        "a [label, path] pair",
                                                        "a list of [folder, [marker files]] pairs",
                                                        "a [folder, [marker files]] pair",
                                                        "any value"};

std::string describe(Shape s) {
    return std::string(SHAPE_TEXT[static_cast<std::size_t>(s)]);
}

struct Frame {
    Shape shape = Shape::Skip;
    bool object = false;
    std::size_t count = 0;  // values read so far in this container
    std::vector<std::string>* list = nullptr;
    std::pair<std::string, std::string>* pair = nullptr;
    std::pair<std::string, std::vector<std::string>>* marker = nullptr;
};

// Builds the rules straight from the parser's events, checking shapes, repeated keys and depth.
class RulesSax {
public:
    RulesSax(Rules& out, std::string_view text, const char* const* cursor)
        : m_out(out), m_text(text), m_cursor(cursor) {}

    const std::string& error() const { return m_error; }

    bool null() { return scalar("null"); }
    bool boolean(bool) { return scalar("a boolean"); }
    bool number_integer(nlohmann::json::number_integer_t) { return scalar("a number"); }
    bool number_unsigned(nlohmann::json::number_unsigned_t) { return scalar("a number"); }
    bool number_float(nlohmann::json::number_float_t, const std::string&) {
        return scalar("a number");
    }
    bool binary(nlohmann::json::binary_t&) { return scalar("binary data"); }
    bool string(std::string& s);
    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool key(std::string& k);
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        std::string_view what = ex.what();
        auto end = what.find("] ");
        m_error = what.substr(end == what.npos ? 0 : end + 2);
        return false;
    }

private:
    bool fail(std::string message);
    std::optional<Shape> expected();
    void bind(Frame& f);
    bool scalar(std::string_view what);
    bool open(bool object);
    bool close();
    void after_value();

    Rules& m_out;
    std::string_view m_text;
    const char* const* m_cursor;
    std::vector<Frame> m_stack;
    int m_field = -1;  // the known key whose value comes next in the top object, -1 for others
    unsigned m_seen = 0;
    std::string m_error;
};

bool RulesSax::fail(std::string message) {
    std::size_t offset = static_cast<std::size_t>(*m_cursor - m_text.data());
    offset = std::min(offset, m_text.size());
    std::size_t line = 1, line_start = 0;
    for (std::size_t i = 0; i < offset; ++i)
        if (m_text[i] == '\n') ++line, line_start = i + 1;
    m_error = std::move(message) + " at line " + std::to_string(line) + " column " +
              std::to_string(offset - line_start);
    return false;
}

std::optional<Shape> RulesSax::expected() {
    if (m_stack.empty()) return Shape::Rules;
    const Frame& top = m_stack.back();
    switch (top.shape) {
        case Shape::Rules:
            if (top.object) return m_field < 0 ? Shape::Skip : FIELD_SHAPES[m_field];
            if (top.count < FIELD_SHAPES.size()) return FIELD_SHAPES[top.count];
            fail("invalid length: more than 6 elements, expected struct Rules");
            return std::nullopt;
        case Shape::StrList:
            return Shape::Str;
        case Shape::StrLists:
            return Shape::StrList;
        case Shape::Pairs:
            return Shape::Pair;
        case Shape::Markers:
            return Shape::MarkerPair;
        case Shape::Pair:
            if (top.count < 2) return Shape::Str;
            break;
        case Shape::MarkerPair:
            if (top.count < 2) return top.count == 0 ? Shape::Str : Shape::StrList;
            break;
        case Shape::Str:
        case Shape::Skip:
            return Shape::Skip;
    }
    fail("invalid length: more than 2 elements, expected " + describe(top.shape));
    return std::nullopt;
}

// Points a new list or pair at the place in the rules where its strings go.
void RulesSax::bind(Frame& f) {
    Frame& parent = m_stack.back();
    switch (parent.shape) {
        case Shape::Rules: {
            std::size_t field = parent.object ? static_cast<std::size_t>(m_field) : parent.count;
            std::vector<std::string>* lists[] = {
                &m_out.forbidden_components, &m_out.deny_prefixes, nullptr, nullptr, nullptr,
                &m_out.devbuild_nested};
            if (lists[field]) lists[field]->clear();
            if (field == 2) m_out.home_deny.clear();
            if (field == 3) m_out.report_only.clear();
            if (field == 4) m_out.devbuild_markers.clear();
            f.list = lists[field];
            break;
        }
        case Shape::StrLists:
            f.list = &m_out.home_deny.emplace_back();
            break;
        case Shape::Pairs:
            f.pair = &m_out.report_only.emplace_back();
            break;
        case Shape::Markers:
            f.marker = &m_out.devbuild_markers.emplace_back();
            break;
        case Shape::MarkerPair:
            f.list = &parent.marker->second;
            break;
        default:
            break;
    }
}

bool RulesSax::scalar(std::string_view what) {
    auto want = expected();
    if (!want) return false;
    if (*want != Shape::Skip)
        return fail("invalid type: " + std::string(what) + ", expected " + describe(*want));
    after_value();
    return true;
}

bool RulesSax::string(std::string& s) {
    auto want = expected();
    if (!want) return false;
    if (*want != Shape::Skip && *want != Shape::Str)
        return fail("invalid type: a string, expected " + describe(*want));
    if (*want == Shape::Str) {
        Frame& top = m_stack.back();
        if (top.list)
            top.list->push_back(std::move(s));
        else if (top.pair)
            (top.count == 0 ? top.pair->first : top.pair->second) = std::move(s);
        else if (top.marker)
            top.marker->first = std::move(s);
    }
    after_value();
    return true;
}

bool RulesSax::open(bool object) {
    auto want = expected();
    if (!want) return false;
    if (m_stack.size() + 1 > MAX_DEPTH) return fail("recursion limit exceeded");
    Frame f{*want, object};
    if (*want == Shape::Skip || *want == Shape::Rules) {
        m_stack.push_back(f);
        return true;
    }
    if (object || *want == Shape::Str)
        return fail(std::string("invalid type: ") + (object ? "an object" : "a list") +
                    ", expected " + describe(*want));
    bind(f);
    m_stack.push_back(f);
    return true;
}

bool RulesSax::key(std::string& k) {
    Frame& top = m_stack.back();
    if (top.shape != Shape::Rules) return true;
    auto it = std::find(FIELDS.begin(), FIELDS.end(), k);
    m_field = it == FIELDS.end() ? -1 : static_cast<int>(it - FIELDS.begin());
    if (m_field < 0) return true;
    if (m_seen & (1u << m_field)) return fail("duplicate field `" + k + "`");
    m_seen |= 1u << m_field;
    return true;
}

bool RulesSax::close() {
    Frame f = m_stack.back();
    m_stack.pop_back();
    if ((f.shape == Shape::Pair || f.shape == Shape::MarkerPair) && f.count != 2)
        return fail("invalid length " + std::to_string(f.count) + ", expected " +
                    describe(f.shape));
    after_value();
    return true;
}

void RulesSax::after_value() {
    if (m_stack.empty()) return;
    ++m_stack.back().count;
    if (m_stack.back().shape == Shape::Rules) m_field = -1;
}

ojson string_list(const std::vector<std::string>& list) {
    ojson a = ojson::array();
    for (const auto& s : list)
        a.push_back(s);
    return a;
}

}  // namespace

namespace rules {

nlohmann::ordered_json to_json(const Rules& r) {
    ojson j = ojson::object();
    j["forbidden_components"] = string_list(r.forbidden_components);
    j["deny_prefixes"] = string_list(r.deny_prefixes);
    ojson home = ojson::array();
    for (const auto& e : r.home_deny)
        home.push_back(string_list(e));
    j["home_deny"] = std::move(home);
    ojson report = ojson::array();
    for (const auto& [label, rel] : r.report_only)
        report.push_back(ojson::array({label, rel}));
    j["report_only"] = std::move(report);
    ojson markers = ojson::array();
    for (const auto& [folder, files] : r.devbuild_markers)
        markers.push_back(ojson::array({ojson(folder), string_list(files)}));
    j["devbuild_markers"] = std::move(markers);
    j["devbuild_nested"] = string_list(r.devbuild_nested);
    return j;
}

Result<Rules> parse_json(std::string_view text) {
    try {
        Rules out = Rules::defaults();
        const char* cursor = text.data();
        RulesSax sax(out, text, &cursor);
        TrackingIter first{text.data(), &cursor};
        TrackingIter last{text.data() + text.size(), &cursor};
        if (!nlohmann::json::sax_parse(first, last, &sax)) return Error::text(sax.error());
        return out;
    } catch (const std::exception& e) {
        // Out of memory, or a parser failure that did not come through the handler.
        return Error::text(std::string("cannot read the rules: ") + e.what());
    }
}

}  // namespace rules

}  // namespace bwcore
