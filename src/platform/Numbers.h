#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// The largest integer not above x * 10^n + 0.5, divided by 10^n: a half goes up (2.5 -> 3,
// -2.5 -> -2). Used where a shown value is rounded to n decimals.
double RoundHalfUp(double x, std::int16_t n);

// Nearest integer with halves to even (2.5 -> 2, 3.5 -> 4): the rounding of hertz, whole
// speed values and times.
double RoundHalfEven(double x);

// RoundHalfEven clamped into a 32-bit integer.
std::int32_t RoundHalfEvenToInt(double x);

// A number written after a pattern of the forms "#,###0.000", "#,##0" and "#,#0.000": a comma
// among the integer places asks for thousands separators, the zeros before the point give
// the least number of integer digits and the places after it the fixed number of decimals.
// Rounds halves away from zero, as such patterns always have. "#,###0.000": 2.5 -> "2.500",
// 1234.567 -> "1,234.567".
QString FormatNumber(double x, const char* pattern);

// The shortest decimal form of x with at most 15 significant digits and no trailing zeros:
// 120 -> "120", 117.647 -> "117.647", 44.1 -> "44.1", 0.05 -> "0.05".
QString ShortestDecimal(double x);

} // namespace mt
