#include "Format.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <array>
#include <charconv>
#include <cmath>
#include <memory>

#include "Numeric.hpp"

namespace virirado {

namespace {

std::string fixed(double v, int precision) {
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                                   std::chars_format::fixed, precision);
    if (ec != std::errc()) return "0";
    return std::string(buffer.data(), end);
}

// One formatter per thread, made again when the default locale changes.
const icu::NumberFormat* countFormatter() {
    thread_local std::unique_ptr<icu::NumberFormat> formatter;
    thread_local std::string localeName;
    const icu::Locale& locale = icu::Locale::getDefault();
    if (!formatter || localeName != locale.getName()) {
        UErrorCode status = U_ZERO_ERROR;
        formatter.reset(icu::NumberFormat::createInstance(locale, status));
        if (U_FAILURE(status)) formatter.reset();
        localeName = locale.getName();
    }
    return formatter.get();
}

}  // namespace

std::string finderSize(int64_t bytes) {
    if (bytes < 0) return "0 B";
    if (bytes < 1000) return std::to_string(bytes) + " B";
    static constexpr std::array<const char*, 4> kUnits{"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes) / 1000.0;
    size_t unit = 0;
    while (v >= 1000.0 && unit + 1 < kUnits.size()) {
        v /= 1000.0;
        ++unit;
    }
    const int precision = (unit <= 1 && v >= 100.0) ? 0 : 1;
    return fixed(v, precision) + " " + kUnits[unit];
}

std::string formatCount(int64_t n) {
    if (const icu::NumberFormat* formatter = countFormatter()) {
        icu::UnicodeString text;
        formatter->format(static_cast<int64_t>(n), text);
        std::string out;
        text.toUTF8String(out);
        if (!out.empty()) return out;
    }
    return std::to_string(n);
}

std::string vadeEta(std::optional<double> seconds) {
    // The engine's figure is unchecked: no number, infinity or anything beyond a
    // billion seconds either way is no estimate, and never reaches a conversion.
    if (!seconds || !std::isfinite(*seconds) || std::fabs(*seconds) > 1e9) return "estimating";
    if (*seconds <= 0) return "almost done";
    if (*seconds < 90) {
        return "about " + std::to_string(std::max<int64_t>(durozizo::roundToInt64(*seconds), 1)) +
               "s left";
    }
    const int64_t minutes = std::max<int64_t>(durozizo::roundToInt64(*seconds / 60.0), 1);
    return "about " + std::to_string(minutes) + " min left";
}

}  // namespace virirado
