#include "core/CdBar.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace mt {

QString ShortestFloatText(float x) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return QString::fromLatin1(text, static_cast<qsizetype>(end - text));
}

QString CdBar::secondsText() const {
    return FormatNumber(m_seconds, "#,###0.000");
}

QString CdBar::bpmText() const {
    return ShortestFloatText(m_bpm);
}

void CdBar::setWholeMs(int ms) {
    m_wholeMs = std::clamp(ms, kShortestMs, kLongestMs);
    m_seconds = m_wholeMs / 1000.0 + m_remainder;
    m_bpm = static_cast<float>(RoundHalfUp(60.0 / m_seconds * 4.0, 3));
    emit changed();
    emit moved();
}

void CdBar::take(double seconds, float bpm) {
    const bool differs = seconds != m_seconds;
    // A hair above the product keeps 2.001 s from reading as 2000.9999... ms.
    const double wholeMs = std::floor(seconds * 1000.0 + 1e-7);
    m_remainder = seconds - wholeMs / 1000.0;
    const int ms = std::clamp(RoundHalfEvenToInt(wholeMs), kShortestMs, kLongestMs);
    if (differs || ms != m_wholeMs) {
        setWholeMs(ms);
    }
    m_bpm = bpm;
    emit changed();
}

} // namespace mt
