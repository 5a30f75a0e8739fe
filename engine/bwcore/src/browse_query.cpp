#include "browse_query.hpp"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <limits>

namespace bwcore::browse {
namespace {

char lower_char(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upper_char(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool all_digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && space_at(s, 0) != 0)
        s.remove_prefix(space_at(s, 0));
    // A white-space character is at most 3 bytes long; test each possible start from the end.
    for (bool cut = true; cut && !s.empty();) {
        cut = false;
        for (std::size_t len = 1; len <= 3 && len <= s.size(); ++len) {
            if (space_at(s, s.size() - len) == len) {
                s.remove_suffix(len);
                cut = true;
                break;
            }
        }
    }
    return s;
}

std::size_t count_digits(std::string_view s, std::size_t i) {
    std::size_t n = 0;
    while (i + n < s.size() && s[i + n] >= '0' && s[i + n] <= '9')
        ++n;
    return n;
}

// The decimal grammar of an upper-cased number: [sign] (INF | INFINITY | NAN | digits with at
// most one "." and at least one digit, then an optional E[sign]digits). No hex, no spaces.
bool float_syntax(std::string_view s) {
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    std::string_view body = s.substr(i);
    if (body == "INF" || body == "INFINITY" || body == "NAN") return true;
    std::size_t whole = count_digits(s, i);
    i += whole;
    std::size_t frac = 0;
    if (i < s.size() && s[i] == '.') {
        frac = count_digits(s, i + 1);
        i += 1 + frac;
    }
    if (whole + frac == 0) return false;
    if (i < s.size() && s[i] == 'E') {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp = count_digits(s, i);
        if (exp == 0) return false;
        i += exp;
    }
    return i == s.size();
}

// strtod in the "C" locale whatever the process has set, so "1.5" never depends on it.
double c_strtod(const std::string& s) {
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    if (c_locale == locale_t{}) return ::strtod(s.c_str(), nullptr);
    return ::strtod_l(s.c_str(), nullptr, c_locale);
}

// Truncation to u64 without undefined behaviour: NaN and anything not above 0 give 0, values
// at or past 2^64 the largest value.
uint64_t saturate_u64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(v);
}

std::optional<int64_t> parse_i64(std::string_view s) {
    bool neg = !s.empty() && s[0] == '-';
    std::string_view digits = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? s.substr(1) : s;
    if (!all_digits(digits)) return std::nullopt;
    std::string_view text = neg ? s : digits;  // from_chars reads "-", never "+"
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
}

std::vector<std::string> split_list(std::string_view s, bool strip_dots) {
    std::vector<std::string> out;
    while (true) {
        std::size_t comma = s.find(',');
        std::string_view piece = s.substr(0, comma);
        if (strip_dots) {
            while (!piece.empty() && piece[0] == '.')
                piece.remove_prefix(1);
        }
        if (!piece.empty()) out.emplace_back(piece);
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return out;
}

std::vector<std::string> tokens(std::string_view text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t sp = space_at(text, i);
        if (sp != 0) {
            i += sp;
            continue;
        }
        std::size_t start = i;
        while (i < text.size() && space_at(text, i) == 0)
            ++i;
        out.push_back(ascii_lower(text.substr(start, i - start)));
    }
    return out;
}

void apply_size(Query& q, std::string_view v) {
    std::optional<uint64_t>* bound = &q.min_size;
    if (!v.empty() && (v[0] == '<' || v[0] == '>')) {
        bound = v[0] == '<' ? &q.max_size : &q.min_size;
        v.remove_prefix(1);
        while (!v.empty() && v[0] == '=')
            v.remove_prefix(1);
    }
    *bound = parse_size(v);
}

void apply_age(Query& q, std::string_view v) {
    if (!v.empty() && v[0] == '<') {
        q.max_age = parse_age(v.substr(1));
        return;
    }
    while (!v.empty() && v[0] == '>')
        v.remove_prefix(1);
    q.min_age = parse_age(v);
}

void apply_token(Query& q, std::string_view t) {
    if (t.starts_with("size:")) {
        apply_size(q, t.substr(5));
    } else if (t.starts_with("ext:")) {
        q.exts = split_list(t.substr(4), true);
    } else if (t.starts_with("kind:")) {
        q.kinds = split_list(t.substr(5), false);
    } else if (t.starts_with("age:")) {
        apply_age(q, t.substr(4));
    } else if (t == "is:file") {
        q.is = "file";
    } else if (t == "is:folder" || t == "is:dir") {
        q.is = "folder";
    } else if (t.starts_with("-")) {
        if (t.size() > 1) q.excluded.emplace_back(t.substr(1));
    } else {
        q.terms.emplace_back(t);
    }
}

// Extensions of up to 16 bytes packed into two words, in an open-addressed table of 256 slots:
// file_kind runs for every recorded file of a search by kind.
struct ExtKey {
    uint64_t lo = 0;
    uint64_t hi = 0;
    std::size_t len = 0;  // so that a stray NUL byte never makes "mov\0" read as "mov"
    bool operator==(const ExtKey&) const = default;
};

constexpr std::size_t EXT_MAX = 16;

// The lowercased extension packed, or none when it is longer than any in the table.
std::optional<ExtKey> pack_ext(std::string_view ext) {
    if (ext.size() > EXT_MAX) return std::nullopt;
    ExtKey k;
    k.len = ext.size();
    for (std::size_t i = 0; i < ext.size(); ++i) {
        uint64_t c = static_cast<uint8_t>(lower_char(ext[i]));
        (i < 8 ? k.lo : k.hi) |= c << (8 * (i % 8));
    }
    return k;
}

class KindTable {
public:
    KindTable() {
        static constexpr std::pair<std::string_view, std::string_view> groups[] = {
            {"video", "mov mp4 m4v mkv avi mts r3d webm braw prproj fcpbundle"},
            {"audio", "mp3 m4a wav aif aac ogg aiff flac logicx"},
            {"image", "jpg png gif tif raw cr2 cr3 nef arw dng psd svg jpeg heic tiff webp"},
            {"archive", "gz xz 7z zip tgz bz2 rar tar zst xip"},
            {"disk-image",
             "dmg iso img vdi utm pvm vmdk vhdx ipsw qcow2 raw-disk sparseimage sparsebundle"},
            {"document", "md pdf doc xls ppt key txt rtf csv docx xlsx pptx epub pages numbers"},
            {"code", "c h rs py js ts go kt rb sh tsx cpp yml css java json yaml toml html swift"},
            {"database", "db realm store sqlite sqlite3"},
            {"binary", "a o so jar pyc rlib wasm dylib class"},
            {"log", "log"},
        };
        for (const auto& [kind, exts] : groups) {
            std::string_view rest = exts;
            while (!rest.empty()) {
                std::size_t sp = rest.find(' ');
                insert(*pack_ext(rest.substr(0, sp)), kind);
                rest = sp == std::string_view::npos ? std::string_view{} : rest.substr(sp + 1);
            }
        }
    }

    std::string_view find(const ExtKey& k) const {
        for (std::size_t i = slot(k);; i = (i + 1) % SLOTS) {
            if (m_kinds[i].empty()) return "other";
            if (m_keys[i] == k) return m_kinds[i];
        }
    }

private:
    static constexpr std::size_t SLOTS = 256;  // under half full: probes stay short
    static std::size_t slot(const ExtKey& k) {
        return static_cast<std::size_t>(((k.lo ^ (k.hi * 31) ^ k.len) * 0x9e3779b97f4a7c15ull) >>
                                        56);
    }
    void insert(const ExtKey& k, std::string_view kind) {
        std::size_t i = slot(k);
        while (!m_kinds[i].empty())
            i = (i + 1) % SLOTS;
        m_keys[i] = k;
        m_kinds[i] = kind;
    }
    std::array<ExtKey, SLOTS> m_keys{};
    std::array<std::string_view, SLOTS> m_kinds{};
};

// The extension's start within `name`, or npos when the name has none.
std::size_t ext_start(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string_view::npos;
    return dot + 1;
}

bool contains(std::string_view hay, std::string_view needle) {
    return hay.find(needle) != std::string_view::npos;
}

}  // namespace

std::size_t space_at(std::string_view s, std::size_t i) {
    auto b = [&](std::size_t k) { return i + k < s.size() ? static_cast<uint8_t>(s[i + k]) : 0; };
    uint8_t c = b(0);
    if (c == ' ' || (c >= 0x09 && c <= 0x0d)) return 1;
    if (c == 0xc2) return (b(1) == 0x85 || b(1) == 0xa0) ? 2 : 0;  // U+0085, U+00A0
    if (c == 0xe1) return (b(1) == 0x9a && b(2) == 0x80) ? 3 : 0;  // U+1680
    if (c == 0xe3) return (b(1) == 0x80 && b(2) == 0x80) ? 3 : 0;  // U+3000
    if (c != 0xe2) return 0;
    uint8_t c1 = b(1), c2 = b(2);
    if (c1 == 0x80) {
        // U+2000..U+200A, U+2028, U+2029, U+202F
        bool hit = (c2 >= 0x80 && c2 <= 0x8a) || c2 == 0xa8 || c2 == 0xa9 || c2 == 0xaf;
        return hit ? 3 : 0;
    }
    return (c1 == 0x81 && c2 == 0x9f) ? 3 : 0;  // U+205F
}

void ascii_lower_append(std::string& out, std::string_view s) {
    std::size_t at = out.size();
    out.append(s);
    for (std::size_t i = at; i < out.size(); ++i)
        out[i] = lower_char(out[i]);
}

std::string ascii_lower(std::string_view s) {
    std::string out;
    ascii_lower_append(out, s);
    return out;
}

bool is_app_name(std::string_view name) {
    if (name.size() < 4) return false;
    std::string_view tail = name.substr(name.size() - 4);
    return tail[0] == '.' && lower_char(tail[1]) == 'a' && lower_char(tail[2]) == 'p' &&
           lower_char(tail[3]) == 'p';
}

std::string extension(std::string_view name) {
    std::size_t at = ext_start(name);
    return at == std::string_view::npos ? std::string{} : ascii_lower(name.substr(at));
}

std::string_view file_kind(std::string_view name) {
    if (is_app_name(name)) return "app";
    std::size_t at = ext_start(name);
    if (at == std::string_view::npos || at == name.size()) return "other";
    std::optional<ExtKey> key = pack_ext(name.substr(at));
    if (!key) return "other";
    static const KindTable table;
    return table.find(*key);
}

std::optional<uint64_t> parse_size(std::string_view text) {
    std::string s(trim(text));
    for (char& c : s)
        c = upper_char(c);
    while (!s.empty() && s.back() == 'B')
        s.pop_back();
    if (s.empty()) return std::nullopt;
    while (!s.empty() && s.back() == 'I')
        s.pop_back();
    double mult = 1;
    if (!s.empty()) {
        switch (s.back()) {
            case 'K':
                mult = 1024.0;
                break;
            case 'M':
                mult = 1048576.0;
                break;
            case 'G':
                mult = 1073741824.0;
                break;
            case 'T':
                mult = 1099511627776.0;
                break;
            default:
                break;
        }
        if (mult != 1) s.pop_back();
    }
    if (!float_syntax(s)) return std::nullopt;
    return saturate_u64(c_strtod(s) * mult);
}

std::optional<int64_t> parse_age(std::string_view text) {
    std::string s = ascii_lower(trim(text));
    if (s.empty()) return std::nullopt;
    int64_t unit = 86400;
    switch (s.back()) {
        case 'd':
            unit = 86400;
            break;
        case 'w':
            unit = 604800;
            break;
        case 'm':
            unit = 2592000;
            break;
        case 'y':
            unit = 31536000;
            break;
        default:
            unit = 0;
            break;
    }
    if (unit != 0) {
        s.pop_back();
        if (s.empty()) return std::nullopt;
    } else {
        unit = 86400;
    }
    std::optional<int64_t> n = parse_i64(s);
    int64_t seconds = 0;
    if (!n || __builtin_mul_overflow(*n, unit, &seconds)) return std::nullopt;
    return seconds;
}

int64_t now_seconds() {
    using namespace std::chrono;
    int64_t s = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return std::max<int64_t>(s, 0);
}

Query Query::parse(std::string_view text) {
    Query q;
    for (const std::string& t : tokens(text))
        apply_token(q, t);
    return q;
}

bool Query::size_ok(uint64_t size) const {
    if (min_size && size < *min_size) return false;
    return !(max_size && size > *max_size);
}

bool Query::ext_ok(std::optional<std::string_view> ext) const {
    if (exts.empty()) return true;
    return ext && std::find(exts.begin(), exts.end(), *ext) != exts.end();
}

bool Query::kind_ok(std::string_view kind, std::string_view name) const {
    if (kinds.empty()) return true;
    std::string_view eff = (kind == "folder" && is_app_name(name)) ? std::string_view("app") : kind;
    return std::find(kinds.begin(), kinds.end(), eff) != kinds.end();
}

bool Query::age_ok(int64_t mtime, int64_t now_s) const {
    if (!min_age && !max_age) return true;
    int64_t age = now_s - mtime / 1000000000;  // both fit far from the i64 edges
    if (min_age && age < *min_age) return false;
    return !(max_age && age > *max_age);
}

bool Query::text_ok(std::string_view lower_path) const {
    for (const std::string& t : terms)
        if (!contains(lower_path, t)) return false;
    for (const std::string& t : excluded)
        if (contains(lower_path, t)) return false;
    return true;
}

bool Query::matches(std::string_view path, std::string_view name, uint64_t size, int64_t mtime,
                    std::string_view kind, std::optional<std::string_view> ext) const {
    if (!size_ok(size) || !ext_ok(ext) || !kind_ok(kind, name)) return false;
    if (!age_ok(mtime, now_seconds())) return false;
    return text_ok(ascii_lower(path));
}

}  // namespace bwcore::browse
