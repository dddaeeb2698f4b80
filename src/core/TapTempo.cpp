#include "core/TapTempo.h"

#include "platform/Numbers.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mt {

void TapTempo::start() {
    m_x = 0;
}

void TapTempo::clearTaps() {
    m_x = 0;
    m_taps = 0;
    m_sumXX = m_sumX = m_sumXY = m_sumY = 0.0;
}

bool TapTempo::tap(std::int32_t ms) {
    m_x += 2;
    const double x = m_x;
    const double y = ms;
    ++m_taps;
    m_sumXX += x * x;
    m_sumX += x;
    m_sumXY += x * y;
    m_sumY += y;
    const double n = m_taps;
    const double denominator = m_sumXX * n - m_sumX * m_sumX;
    const double slope = (m_sumXY * n - m_sumY * m_sumX) / denominator;
    const double bar = slope / 1000.0 * 4.0;
    const auto bpm = static_cast<float>(60.0 / bar * 4.0);
    // No line yet, or a flat one: no tempo divided by zero.
    if (!(denominator > 0.0) || !std::isfinite(bar) || !(bar > 0.0) || !std::isfinite(bpm)) {
        return false;
    }
    m_result = {bar, bpm};
    return true;
}

bool TapTempo::enter(const QString& text) {
    QByteArray digits;
    bool point = false;
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' ')) {
        ++i;
    }
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            digits.append(static_cast<char>(c.unicode()));
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
            digits.append('.');
        } else {
            break;
        }
    }
    const double bpm = digits.isEmpty() ? 0.0 : std::strtod(digits.constData(), nullptr);
    if (!(bpm > 0.0) || !std::isfinite(bpm)) {
        return false;
    }
    m_result = {60.0 / bpm * 4.0, static_cast<float>(bpm)};
    return true;
}

TapTempo::Bar TapTempo::handOver(Bar current, double shortest, double longest) const {
    Bar bar = hasResult() ? m_result : current;
    if (bar.seconds < shortest || bar.seconds > longest) {
        bar.seconds = std::clamp(bar.seconds, shortest, longest);
        bar.bpm = static_cast<float>(60.0 / bar.seconds * 4.0);
    }
    bar.bpm = static_cast<float>(RoundHalfUp(bar.bpm, 3));
    return bar;
}

} // namespace mt
