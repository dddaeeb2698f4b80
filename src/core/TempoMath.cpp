#include "core/TempoMath.h"

#include "platform/Numbers.h"

#include <QCoreApplication>

namespace mt {

double RatioOfComboText(const QString& text) {
    static const struct {
        const char* text;
        double ratio;
    } kRatios[] = {{"*1", 1.0},   {"*2", 2.0},       {"*4", 4.0},      {"*8", 8.0},
                   {"*16", 16.0}, {"*32", 32.0},     {"/2", 0.5},      {"/4", 0.25},
                   {"/8", 0.125}, {"/16", 1.0 / 16}, {"/32", 1.0 / 32}};
    for (const auto& r : kRatios) {
        if (text == QLatin1String(r.text)) {
            return r.ratio;
        }
    }
    return 0.0;
}

std::int32_t PlaybackFrequency(int speed, float rateRatio) {
    // The bar value is taken as a 32-bit float before the division, as it always was.
    const float value = static_cast<float>(speed);
    return RoundHalfEvenToInt(static_cast<double>(value / rateRatio) * 10.0);
}

SpeedTarget JudgeSpeedTarget(double target) {
    const double t = RoundHalfUp(target, 0);
    if (t < 5) {
        return {SpeedTarget::Verdict::RaiseRatio, 0};
    }
    if (t > 8995) {
        return {SpeedTarget::Verdict::LowerRatio, 0};
    }
    return {SpeedTarget::Verdict::Apply, static_cast<int>(t)};
}

QString RefusedTargetMessage(SpeedTarget::Verdict verdict, int index) {
    const QString head =
        verdict == SpeedTarget::Verdict::RaiseRatio
            ? QCoreApplication::translate("mt::TempoMath", "倍率を上げてください  (%1)トラック")
            : QCoreApplication::translate("mt::TempoMath", "倍率を下げてください  (%1)トラック");
    return head.arg(index + 1);
}

QString FrequencyLabel(int speed) {
    return ShortestDecimal(speed * 0.01) + QStringLiteral("kHz");
}

} // namespace mt
