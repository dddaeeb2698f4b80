#include "platform/Numbers.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

// Half up goes towards plus infinity, half even to the even neighbour.
TEST(Rounding, HalfUpAndHalfEven) {
    EXPECT_EQ(RoundHalfUp(2.5, 0), 3.0);
    EXPECT_EQ(RoundHalfUp(-2.5, 0), -2.0);
    EXPECT_EQ(RoundHalfUp(2.4999, 0), 2.0);
    EXPECT_DOUBLE_EQ(RoundHalfUp(117.6470588, 3), 117.647);
    EXPECT_DOUBLE_EQ(RoundHalfUp(0.0005, 3), 0.001);
    EXPECT_EQ(RoundHalfUp(1234.0, -2), 1200.0);
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
    EXPECT_EQ(RoundHalfEven(2.51), 3.0);
    EXPECT_EQ(RoundHalfEven(0.4999), 0.0);
    EXPECT_EQ(RoundHalfEvenToInt(1e12), 2147483647);
    EXPECT_EQ(RoundHalfEvenToInt(-1e12), -2147483647 - 1);
}

TEST(NumberPattern, DecimalsThousandsAndHalvesAwayFromZero) {
    EXPECT_EQ(FormatNumber(2.5, "#,###0.000"), QStringLiteral("2.500"));
    EXPECT_EQ(FormatNumber(1234.567, "#,###0.000"), QStringLiteral("1,234.567"));
    EXPECT_EQ(FormatNumber(0.0, "#,###0.000"), QStringLiteral("0.000"));
    EXPECT_EQ(FormatNumber(2.2675737, "#,###0.000"), QStringLiteral("2.268"));
    EXPECT_EQ(FormatNumber(1234567.0005, "#,###0.000"), QStringLiteral("1,234,567.001"));
    EXPECT_EQ(FormatNumber(999.9996, "#,###0.000"), QStringLiteral("1,000.000"));
    EXPECT_EQ(FormatNumber(-1234.5, "#,###0.000"), QStringLiteral("-1,234.500"));
    EXPECT_EQ(FormatNumber(-0.0001, "#,###0.000"), QStringLiteral("0.000"));
    // 1234.5675 is 1234.56749999... in binary; the shown value is still rounded up.
    EXPECT_EQ(FormatNumber(1234.5675, "#,###0.000"), QStringLiteral("1,234.568"));
    EXPECT_EQ(FormatNumber(2.5, "#,##0"), QStringLiteral("3"));
    EXPECT_EQ(FormatNumber(2.4999, "#,##0"), QStringLiteral("2"));
    // Whole numbers and the counter's pattern.
    EXPECT_EQ(FormatNumber(2000.0, "#,##0"), QStringLiteral("2,000"));
    EXPECT_EQ(FormatNumber(0.0, "#,##0"), QStringLiteral("0"));
    EXPECT_EQ(FormatNumber(999.0, "#,##0"), QStringLiteral("999"));
    EXPECT_EQ(FormatNumber(1000000.0, "#,##0"), QStringLiteral("1,000,000"));
    EXPECT_EQ(FormatNumber(120.0, "#,#0.000"), QStringLiteral("120.000"));
    EXPECT_EQ(FormatNumber(1234.5, "#,#0.000"), QStringLiteral("1,234.500"));
}

TEST(NumberPattern, ShortestDecimalForm) {
    EXPECT_EQ(ShortestDecimal(120.0), QStringLiteral("120"));
    EXPECT_EQ(ShortestDecimal(RoundHalfUp(240.0 / 2.04, 3)), QStringLiteral("117.647"));
    EXPECT_EQ(ShortestDecimal(44.1), QStringLiteral("44.1"));
    EXPECT_EQ(ShortestDecimal(0.05), QStringLiteral("0.05"));
    EXPECT_EQ(ShortestDecimal(22.05), QStringLiteral("22.05"));
    EXPECT_EQ(ShortestDecimal(-3.0), QStringLiteral("-3"));
    EXPECT_EQ(ShortestDecimal(0.0), QStringLiteral("0"));
}

} // namespace
} // namespace mt
