#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace mt {

double RoundHalfUp(double x, std::int16_t n) {
    const double scale = std::pow(10.0, n);
    return std::floor(x * scale + 0.5) / scale;
}

double RoundHalfEven(double x) {
    const double below = std::floor(x);
    const double rest = x - below;
    if (rest > 0.5) {
        return below + 1.0;
    }
    if (rest < 0.5) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::int32_t RoundHalfEvenToInt(double x) {
    const double r = RoundHalfEven(x);
    if (std::isnan(r)) {
        return 0;
    }
    if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(r);
}

QString FormatNumber(double x, const char* pattern) {
    if (!std::isfinite(x)) {
        x = 0.0; // nothing sensible to show; never read past the digits below
    }
    bool thousands = false;
    bool afterPoint = false;
    int minDigits = 0;
    int decimals = 0;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (afterPoint && (*p == '0' || *p == '#')) {
            ++decimals;
        } else if (!afterPoint && *p == ',') {
            thousands = true;
        } else if (!afterPoint && *p == '0') {
            ++minDigits;
        }
    }

    // Round in the decimal domain: print with spare places, then round the text, so that
    // 1234.5675 is not lost to its binary neighbour 1234.56749999999.
    constexpr int kSpare = 6;
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals + kSpare, std::fabs(x));
    QString digits = QString::fromLatin1(buffer);
    digits.remove(QLatin1Char('.'));
    const bool roundUp = digits[digits.size() - kSpare] >= QLatin1Char('5');
    digits.chop(kSpare);
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0 && digits[i] == QLatin1Char('9')) {
            digits[i] = QLatin1Char('0');
            --i;
        }
        if (i < 0) {
            digits.prepend(QLatin1Char('1'));
        } else {
            digits[i] = QChar(digits[i].unicode() + 1);
        }
    }

    QString integer = digits.left(digits.size() - decimals);
    const QString fraction = digits.right(decimals);
    while (integer.size() > 1 && integer.startsWith(QLatin1Char('0'))) {
        integer.remove(0, 1);
    }
    if (integer == QLatin1String("0") && minDigits == 0) {
        integer.clear();
    }
    while (integer.size() < minDigits) {
        integer.prepend(QLatin1Char('0'));
    }
    if (thousands) {
        for (qsizetype i = integer.size() - 3; i > 0; i -= 3) {
            integer.insert(i, QLatin1Char(','));
        }
    }

    QString text = integer;
    if (decimals > 0) {
        text += QLatin1Char('.') + fraction;
    }
    const bool isZero =
        std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c == QLatin1Char('0'); });
    if (x < 0 && !isZero) {
        text.prepend(QLatin1Char('-'));
    }
    return text;
}

QString ShortestDecimal(double x) {
    if (x == 0.0) {
        return QStringLiteral("0");
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", x);
    return QString::fromLatin1(buffer).toUpper();
}

} // namespace mt
