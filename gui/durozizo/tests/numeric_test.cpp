#include "Numeric.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace durozizo {
namespace {

TEST(Numeric, SaturatingArithmeticClampsBothWays) {
    EXPECT_EQ(saturatingAdd(2, 3), 5);
    EXPECT_EQ(saturatingAdd(kInt64Max, 1), kInt64Max);
    EXPECT_EQ(saturatingAdd(kInt64Max - 5, kInt64Max), kInt64Max);
    EXPECT_EQ(saturatingAdd(kInt64Min, -1), kInt64Min);
    EXPECT_EQ(saturatingAdd(kInt64Max, kInt64Min), -1);
    EXPECT_EQ(saturatingSub(kInt64Min, 1), kInt64Min);
    EXPECT_EQ(saturatingSub(kInt64Max, -1), kInt64Max);
    EXPECT_EQ(saturatingSub(0, kInt64Min), kInt64Max);
    EXPECT_EQ(saturatingMul(kInt64Max, 2), kInt64Max);
    EXPECT_EQ(saturatingMul(kInt64Max, -2), kInt64Min);
    EXPECT_EQ(saturatingMul(-3, 4), -12);
}

TEST(Numeric, DoubleConversionNeverLeavesTheRange) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(clampToInt64(std::nan("")), 0);
    EXPECT_EQ(clampToInt64(std::nan(""), 7), 7);
    EXPECT_EQ(clampToInt64(inf), kInt64Max);
    EXPECT_EQ(clampToInt64(-inf), kInt64Min);
    EXPECT_EQ(clampToInt64(1e300), kInt64Max);
    EXPECT_EQ(clampToInt64(-1e300), kInt64Min);
    EXPECT_EQ(clampToInt64(9223372036854775808.0), kInt64Max);  // 2^63
    EXPECT_EQ(clampToInt64(-9223372036854775808.0), kInt64Min);
    EXPECT_EQ(clampToInt64(9223372036854774784.0), 9223372036854774784);  // largest below 2^63
    EXPECT_EQ(clampToInt64(-2.9), -2);
    EXPECT_EQ(clampToInt64(2.9), 2);
    EXPECT_EQ(roundToInt64(2.5), 3);
    EXPECT_EQ(roundToInt64(-inf), kInt64Min);
    EXPECT_EQ(clampToInt64(std::numeric_limits<uint64_t>::max()), kInt64Max);
    EXPECT_EQ(clampToInt64(uint64_t{42}), 42);
}

}  // namespace
}  // namespace durozizo
