// Small integer-safety helpers shared by the app core: byte counts come from
// another process and must never overflow, whatever it sends.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace durozizo {

// A 128-bit integer for exact differences and comparisons of 64-bit counts.
__extension__ typedef __int128 Int128;

inline constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
inline constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

// a + b, clamped to the int64 range instead of wrapping.
constexpr int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t out = 0;
    if (!__builtin_add_overflow(a, b, &out)) return out;
    return b > 0 ? kInt64Max : kInt64Min;
}

// a - b, clamped to the int64 range instead of wrapping.
constexpr int64_t saturatingSub(int64_t a, int64_t b) {
    int64_t out = 0;
    if (!__builtin_sub_overflow(a, b, &out)) return out;
    return b < 0 ? kInt64Max : kInt64Min;
}

// a * b, clamped to the int64 range instead of wrapping.
constexpr int64_t saturatingMul(int64_t a, int64_t b) {
    int64_t out = 0;
    if (!__builtin_mul_overflow(a, b, &out)) return out;
    return ((a < 0) != (b < 0)) ? kInt64Min : kInt64Max;
}

// Truncates toward zero like a plain cast, but never leaves the int64 range:
// NaN gives `nanValue`, +inf and anything >= 2^63 the largest value, -inf and
// anything below -2^63 the smallest.
inline int64_t clampToInt64(double v, int64_t nanValue = 0) {
    if (std::isnan(v)) return nanValue;
    // 2^63 is exactly representable; every double below it converts safely.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (v >= kTwo63) return kInt64Max;
    if (v < -kTwo63) return kInt64Min;
    return static_cast<int64_t>(v);
}

// The same for a conversion that rounds to the nearest integer first.
inline int64_t roundToInt64(double v, int64_t nanValue = 0) {
    if (std::isnan(v)) return nanValue;
    return clampToInt64(std::round(v), nanValue);
}

// Clamps an unsigned count into the signed range (JSON readers hand these over).
constexpr int64_t clampToInt64(uint64_t v) {
    return v > static_cast<uint64_t>(kInt64Max) ? kInt64Max : static_cast<int64_t>(v);
}

}  // namespace durozizo
