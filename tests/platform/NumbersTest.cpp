#include "platform/Numbers.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <tuple>

namespace mt {
namespace {

// Half up goes towards plus infinity, half even to the even neighbour.
TEST(Rounding, HalfUpAndHalfEven) {
    const std::tuple<double, int, double> halfUp[] = {{2.5, 0, 3.0},      {-2.5, 0, -2.0},
                                                      {2.4999, 0, 2.0},   {117.6470588, 3, 117.647},
                                                      {0.0005, 3, 0.001}, {1234.0, -2, 1200.0}};
    for (const auto& [value, digits, rounded] : halfUp) {
        EXPECT_DOUBLE_EQ(RoundHalfUp(value, digits), rounded) << value;
    }
    const std::pair<double, double> halfEven[] = {{2.5, 2.0},   {3.5, 4.0},  {-2.5, -2.0},
                                                  {-3.5, -4.0}, {2.51, 3.0}, {0.4999, 0.0}};
    for (const auto& [value, rounded] : halfEven) {
        EXPECT_EQ(RoundHalfEven(value), rounded) << value;
    }
    EXPECT_EQ(RoundHalfEvenToInt(1e12), 2147483647);
    EXPECT_EQ(RoundHalfEvenToInt(-1e12), -2147483647 - 1);
}

// Each value in the pattern, side by side.
QString Shown(const char* pattern, std::initializer_list<double> values) {
    QStringList shown;
    for (const double value : values) {
        shown << (pattern != nullptr ? FormatNumber(value, pattern) : ShortestDecimal(value));
    }
    return shown.join(' ');
}

// 1234.5675 is 1234.56749999... in binary; the shown value is still rounded up. "#,#0.000" is
// the counter's pattern; no pattern: the shortest decimal form.
TEST(NumberPattern, DecimalsThousandsHalvesAwayFromZeroAndTheShortestForm) {
    EXPECT_EQ(Shown("#,###0.000", {2.5, 1234.567, 0.0, 2.2675737, 999.9996, 1234567.0005, -1234.5,
                                   -0.0001, 1234.5675}),
              "2.500 1,234.567 0.000 2.268 1,000.000 1,234,567.001 -1,234.500 0.000 1,234.568");
    EXPECT_EQ(Shown("#,##0", {2.5, 2.4999, 2000.0, 0.0, 999.0, 1000000.0}),
              "3 2 2,000 0 999 1,000,000");
    EXPECT_EQ(Shown("#,#0.000", {120.0, 1234.5}), "120.000 1,234.500");
    EXPECT_EQ(Shown(nullptr, {120.0, RoundHalfUp(240.0 / 2.04, 3), 44.1, 0.05, 22.05, -3.0, 0.0}),
              "120 117.647 44.1 0.05 22.05 -3 0");
}

} // namespace
} // namespace mt
