#include "Text.hpp"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <locale.h>
#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <memory>

namespace durozizo::text {
namespace {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

icu::UnicodeString toUnicode(std::string_view s) {
    // fromUTF8 turns every ill-formed sequence into U+FFFD.
    return icu::UnicodeString::fromUTF8(icu::StringPiece(
        s.data(), static_cast<int32_t>(std::min<std::size_t>(s.size(), INT32_MAX))));
}

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

icu::UnicodeString composed(const icu::UnicodeString& u) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* norm = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || norm == nullptr) return u;
    icu::UnicodeString out = norm->normalize(u, status);
    return U_FAILURE(status) ? u : out;
}

// One character break iterator per thread: ICU iterators carry their text and
// position, so sharing one would race.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iter = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> bi(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) bi.reset();
        return bi;
    }();
    return iter.get();
}

// Runs `body` with a character iterator positioned over the UTF-8 text `s`;
// the iterator's offsets are byte offsets into `s`. Returns false when ICU
// could not provide one.
template <typename Body>
bool withBreaks(std::string_view s, Body&& body) {
    icu::BreakIterator* bi = characterIterator();
    if (bi == nullptr) return false;
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    if (U_FAILURE(status)) return false;
    bi->setText(ut, status);
    if (U_SUCCESS(status)) body(*bi);
    utext_close(ut);
    return U_SUCCESS(status);
}

// Falls back to one cluster per code point when ICU has no break data.
std::vector<std::string_view> codePoints(std::string_view s) {
    std::vector<std::string_view> out;
    int32_t i = 0;
    const auto len = static_cast<int32_t>(s.size());
    while (i < len) {
        int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(s.data(), i, len, c);
        out.push_back(
            s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
    return out;
}

icu::Collator* localeCollator() {
    thread_local std::unique_ptr<icu::Collator> coll = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C/POSIX locale maps to en_US_POSIX, whose collation orders by
        // code unit and so tells letter case apart; the root order does not.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getVariant()) == "POSIX") locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !c) return std::unique_ptr<icu::Collator>();
        // Secondary strength: letters and accents count, letter case does not.
        c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    return coll.get();
}

// The value of a well-formed number that from_chars found out of range: what
// strtod gives (infinity or a zero), read in the C locale, never the user's.
double outOfRange(std::string_view digits, std::chars_format format) {
    std::string text = format == std::chars_format::hex ? "0x" : "";
    text.append(digits);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    if (cLocale == locale_t{}) return 0.0;
    return strtod_l(text.c_str(), nullptr, cLocale);
}

}  // namespace

std::string lower(std::string_view s) {
    if (isAscii(s)) return asciiLower(s);
    icu::UnicodeString u = toUnicode(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string nfc(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    return toUtf8(composed(toUnicode(s)));
}

std::string searchForm(std::string_view s) {
    if (isAscii(s)) return asciiLower(s);
    icu::UnicodeString u = toUnicode(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(composed(u));
}

bool isSearchForm(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80 && !(c >= 'A' && c <= 'Z');
    });
}

bool occursIn(std::string_view fragment, std::string_view text) {
    return !fragment.empty() && text.find(fragment) != std::string_view::npos;
}

bool isWhiteSpace(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0;
}

bool isHorizontalSpace(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

char32_t firstScalar(std::string_view s) {
    if (s.empty()) return 0;
    int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(s.data(), i, static_cast<int32_t>(std::min<std::size_t>(s.size(), 4)), c);
    return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

std::string_view trimHorizontal(std::string_view s) {
    const auto len = static_cast<int32_t>(std::min<std::size_t>(s.size(), INT32_MAX));
    int32_t begin = 0;
    while (begin < len) {
        int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(s.data(), next, len, c);
        if (c < 0 || !isHorizontalSpace(static_cast<char32_t>(c))) break;
        begin = next;
    }
    int32_t end = len;
    while (end > begin) {
        int32_t prev = end;
        UChar32 c = 0;
        U8_PREV(s.data(), begin, prev, c);
        if (c < 0 || !isHorizontalSpace(static_cast<char32_t>(c))) break;
        end = prev;
    }
    return s.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::vector<std::string_view> graphemes(std::string_view s) {
    if (isAscii(s) && s.find('\r') == std::string_view::npos) {
        // Every ASCII character but CR LF is a cluster of its own.
        std::vector<std::string_view> out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            out.push_back(s.substr(i, 1));
        return out;
    }
    std::vector<std::string_view> out;
    bool ok = withBreaks(s, [&](icu::BreakIterator& bi) {
        int32_t start = bi.first();
        for (int32_t end = bi.next(); end != icu::BreakIterator::DONE; end = bi.next()) {
            out.push_back(
                s.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
            start = end;
        }
    });
    return ok ? out : codePoints(s);
}

std::size_t graphemeCount(std::string_view s) {
    return graphemes(s).size();
}

std::string_view lastGraphemes(std::string_view s, std::size_t n) {
    std::size_t from = 0;
    bool ok = withBreaks(s, [&](icu::BreakIterator& bi) {
        int32_t pos = bi.last();
        for (std::size_t k = 0; k < n && pos > 0; ++k)
            pos = bi.previous();
        from = static_cast<std::size_t>(std::max<int32_t>(pos, 0));
    });
    if (!ok) {
        auto parts = codePoints(s);
        if (parts.size() <= n) return s;
        from = static_cast<std::size_t>(parts[parts.size() - n].data() - s.data());
    }
    return s.substr(from);
}

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
    if (icu::Collator* coll = localeCollator()) {
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult r =
            coll->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
    }
    return lower(a).compare(lower(b));
}

std::optional<std::string> localizedCaseInsensitiveKey(std::string_view s) {
    // Without a collator the comparison above falls back to lower-cased text.
    icu::Collator* coll = localeCollator();
    if (coll == nullptr) return lower(s);
    if (s.size() > INT32_MAX / 8) return std::nullopt;
    // A sort key ends in a zero byte, which std::string keeps as an ordinary
    // byte; it orders before every other byte, as it must. Most keys fit the
    // buffer on the stack; a longer one is made again at its measured length.
    const icu::UnicodeString u = toUnicode(s);
    std::array<uint8_t, 256> buffer{};
    const int32_t need = coll->getSortKey(u, buffer.data(), static_cast<int32_t>(buffer.size()));
    if (need <= 0) return std::nullopt;
    const auto length = static_cast<std::size_t>(need);
    if (length <= buffer.size()) return std::string(buffer.begin(), buffer.begin() + need);
    std::string key(length, '\0');
    const int32_t again = coll->getSortKey(u, reinterpret_cast<uint8_t*>(key.data()), need);
    if (again != need) return std::nullopt;
    return key;
}

std::optional<double> parseDouble(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.front() == '+' || s.front() == '-') return std::nullopt;
    auto format = std::chars_format::general;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        format = std::chars_format::hex;
        s.remove_prefix(2);
    }
    double value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, format);
    if (ptr != s.data() + s.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        value = outOfRange(s, format);
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace durozizo::text
