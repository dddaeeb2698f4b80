#include "core/TempoMath.h"
#include "core/TrackBank.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

TEST(TempoMath, RatiosOfTheBoxTexts) {
    EXPECT_EQ(RatioOfComboText("*1"), 1.0);
    EXPECT_EQ(RatioOfComboText("*32"), 32.0);
    EXPECT_EQ(RatioOfComboText("/2"), 0.5);
    EXPECT_EQ(RatioOfComboText("/32"), 1.0 / 32);
    EXPECT_EQ(RatioOfComboText("基準"), 0.0);
    EXPECT_EQ(RatioOfComboText(""), 0.0);
    EXPECT_EQ(RatioOfComboText("*3"), 0.0);
}

TEST(TempoMath, FrequencyFromTheSpeedBar) {
    EXPECT_EQ(PlaybackFrequency(4410, 1.0f), 44100);
    EXPECT_EQ(PlaybackFrequency(4410, 2.0f), 22050);
    EXPECT_EQ(PlaybackFrequency(8820, 2.0f), 44100);
    EXPECT_EQ(PlaybackFrequency(8820, 1.0f), 88200);
    EXPECT_EQ(PlaybackFrequency(8820, static_cast<float>(44100.0 / 48000)), 96000);
    EXPECT_EQ(PlaybackFrequency(5, 1.0f), 50);
    // 22.05 kHz file at 5: 25 Hz; 96 kHz file at 9000: about 196 kHz.
    EXPECT_EQ(PlaybackFrequency(5, 2.0f), 25);
    EXPECT_NEAR(PlaybackFrequency(9000, static_cast<float>(44100.0 / 96000)), 195918, 1);
}

TEST(TempoMath, TargetsRoundHalfUpAndStayInRange) {
    EXPECT_EQ(JudgeSpeedTarget(137.8125).speed, 138);
    EXPECT_EQ(JudgeSpeedTarget(8995.4).verdict, SpeedTarget::Verdict::Apply);
    EXPECT_EQ(JudgeSpeedTarget(8995.4).speed, 8995);
    EXPECT_EQ(JudgeSpeedTarget(8995.5).verdict, SpeedTarget::Verdict::LowerRatio);
    EXPECT_EQ(JudgeSpeedTarget(4.5).verdict, SpeedTarget::Verdict::Apply);
    EXPECT_EQ(JudgeSpeedTarget(4.49).verdict, SpeedTarget::Verdict::RaiseRatio);
    EXPECT_EQ(RefusedTargetMessage(SpeedTarget::Verdict::RaiseRatio, 2),
              QStringLiteral("倍率を上げてください  (3)トラック"));
    EXPECT_EQ(FrequencyLabel(4410), QStringLiteral("44.1kHz"));
}

TEST(TrackBank, Duration) {
    EXPECT_DOUBLE_EQ(TrackDurationSeconds(100000.0f, 4410), 2.268);
    EXPECT_DOUBLE_EQ(TrackDurationSeconds(44100.0f, 2205), 2.0);
}

} // namespace
} // namespace mt
