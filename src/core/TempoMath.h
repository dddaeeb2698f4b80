#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// The tempo ratio a track's ratio box stands for: "*1".."*32" give 1..32, "/2".."/32" give
// 1/2..1/32; the reference mark "基準", the empty item and anything else give 0 (not matched).
double RatioOfComboText(const QString& text);

inline const QString kReferenceMark = QStringLiteral("基準");

// Hz handed to the sound library for speed-bar value `speed` (tens of Hz at the 44.1 kHz
// scale) on a file whose rate ratio is 44100 / its rate: speed / ratio * 10, halves to even.
std::int32_t PlaybackFrequency(int speed, float rateRatio);

// What a matcher does with a computed speed: rounded half up, below 5 is refused as too slow,
// above 8995 as too fast.
struct SpeedTarget {
    enum class Verdict { Apply, RaiseRatio, LowerRatio } verdict;
    int speed; // the rounded value, meaningful with Apply
};
SpeedTarget JudgeSpeedTarget(double target);

// "倍率を上げてください  (3)トラック" / "倍率を下げてください  (3)トラック" for a refused target.
QString RefusedTargetMessage(SpeedTarget::Verdict verdict, int index);

// The speed-bar label: value / 100 in its shortest decimal form + "kHz" ("44.1kHz").
QString FrequencyLabel(int speed);

} // namespace mt
