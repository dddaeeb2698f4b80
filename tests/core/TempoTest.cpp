#include "core/ReferenceBar.h"
#include "core/TempoControl.h"
#include "core/TempoMath.h"
#include "core/TrackBank.h"
#include "support/RecordingSound.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

struct FixedBar final : ReferenceBar {
    double seconds = 2.0;
    double barSeconds() const override { return seconds; }
};

const QString kRef = QStringLiteral("基準");
using Speeds = std::vector<int>;

class TempoControlTest : public ::testing::Test {
protected:
    // Track i: `seconds` of 44.1 kHz frames (0: empty) with this ratio text.
    void track(int i, double seconds, const QString& ratio) {
        bank.clear(i);
        if (seconds > 0) {
            bank.takeFormat(i, {1, 2, 44100, 0, 0, 16, static_cast<int>(seconds * 44100)},
                            TrackBank::LengthFrom::Rate);
            bank.loadSound(i, "t.wav"); // made at once
        }
        bank.setRatio(i, ratio);
    }
    Speeds speeds() const { return {speed(0), speed(1), speed(2), speed(3)}; }
    int speed(int i) const { return bank.track(i).speed; }

    test::RecordingSound sound;
    TrackBank bank{sound};
    FixedBar cd, midi, clock;
    std::vector<QString> told;
    TempoControl tempo{bank, cd, midi, clock,
                       [this](const QString& text) { told.push_back(text); }};
};

TEST_F(TempoControlTest, MatchesToTheLastReferenceTrackOrElseTheOwnSpeed) {
    track(0, 2, kRef);
    track(1, 1, "*1");
    track(2, 1, "*2");
    tempo.match();
    EXPECT_EQ(speeds(), (Speeds{4410, 2205, 4410, 4410}));
    EXPECT_DOUBLE_EQ(bank.track(1).duration, 2.0); // lasts the reference's two seconds
    track(3, 1, kRef);                             // the later mark wins; both keep their speeds
    bank.setSpeed(0, 3000);
    tempo.match();
    EXPECT_EQ(speeds(), (Speeds{3000, 4410, 8820, 4410}));
    track(3, 0, kRef); // a mark on an empty track is no reference: ratio x 4410
    track(0, 1, "/32");
    track(1, 0, "*4"); // empty: skipped
    bank.setSpeed(1, 100);
    tempo.match();
    EXPECT_EQ(speeds(), (Speeds{138, 100, 8820, 4410}));
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(PlaybackFrequency(8820, static_cast<float>(44100.0 / 48000)), 96000);
    EXPECT_EQ(FrequencyLabel(4411) + FrequencyLabel(9000) + FrequencyLabel(5),
              "44.11kHz90kHz0.05kHz"); // the speed bar's caption
}

TEST_F(TempoControlTest, MatchesToTheChosenBarAndRefusesTargetsOutOfRange) {
    tempo.useReference(TempoReference::Midi, true);
    tempo.useReference(TempoReference::Cd, true); // ticking one unticks the other
    midi.seconds = 1.0;
    track(0, 2, "*1");
    track(2, 2, "/32");
    track(3, 2, "*32");
    tempo.match();
    EXPECT_EQ(speeds(), (Speeds{4410, 4410, 138, 4410}));
    EXPECT_EQ(told, std::vector<QString>{"倍率を下げてください  (4)トラック"});
    cd.seconds = 88200.0 / 10 / 8995.4; // applied as 8995; 8995.5 would round up and be refused
    tempo.match();
    cd.seconds = 88200.0 / 10 / 8995.5;
    tempo.match();
    EXPECT_EQ(speed(0), 8995);
    EXPECT_EQ(told[2], "倍率を下げてください  (1)トラック");
    cd.seconds = 1000.0;
    tempo.match();
    EXPECT_EQ(told.back(), "倍率を上げてください  (3)トラック");
    tempo.useReference(TempoReference::Midi, true);
    tempo.match();
    EXPECT_EQ(speed(0), 8820);
}

TEST_F(TempoControlTest, TheLockIsAvailableWhileAReferenceExistsAndKeepsItsSpeed) {
    tempo.toggleLock();
    EXPECT_FALSE(tempo.lockAvailable() || tempo.lockOn());
    tempo.useReference(TempoReference::Midi, true);
    tempo.toggleLock();
    EXPECT_TRUE(tempo.lockOn());
    tempo.useReference(TempoReference::Midi, false);
    EXPECT_FALSE(tempo.lockAvailable() || tempo.lockOn()) << "the last reference went";
    track(0, 2, "");
    tempo.chooseRatio(0, kRef);
    EXPECT_TRUE(bank.changed());
    bank.setSpeed(0, 3000);
    tempo.toggleLock();
    bank.setSpeed(0, 5000);
    bank.setSpeed(1, 5000);
    tempo.resetSpeed(0);
    tempo.resetSpeed(1);
    EXPECT_EQ(speeds(), (Speeds{3000, 4410, 4410, 4410})) << "the reference to its kept speed";
    tempo.toggleLock();
    tempo.resetSpeed(0);
    EXPECT_EQ(speed(0), 4410);
}

TEST_F(TempoControlTest, UnderTheLockAMovedReferenceRematchesOrEverySpeedReturns) {
    track(0, 2, kRef);
    track(1, 1, "*1");
    track(2, 2, "*2");
    tempo.match();
    tempo.updateLockAvailability();
    tempo.toggleLock();
    tempo.captureSpeeds();
    tempo.moveSpeed(0, 4000); // followers in range: they follow, silently
    tempo.moveSpeed(1, 2100); // after a good re-match a follower moves freely
    EXPECT_EQ(speeds(), (Speeds{4000, 2100, 8000, 4410}));
    tempo.moveSpeed(0, 4500); // track 3 would pass 8990: all back to the capture
    EXPECT_EQ(speeds(), (Speeds{4410, 2205, 8820, 4410}));
    tempo.moveSpeed(0, 11); // track 2 would fall to 5.5, below 6: back to the capture too
    EXPECT_EQ(speeds(), (Speeds{4410, 2205, 8820, 4410}));
    tempo.moveSpeed(1, 3000); // and, until a re-match succeeds, so does a follower
    EXPECT_EQ(speed(1), 2205);
    bank.setRatio(2, "*1");
    tempo.match(); // but matching sets its speeds
    EXPECT_EQ(speed(2), 4410);
    bank.setRatio(2, "*2");
    // With a box as the reference nothing returns, and a failed re-match sets no follower.
    tempo.useReference(TempoReference::Cd, true);
    tempo.moveSpeed(0, 4600);
    EXPECT_EQ(speeds(), (Speeds{4600, 2205, 4410, 4410}));
    // An earlier mark moved while the last one is empty: ratio x 4410 up to 8790.
    track(5, 0, kRef);
    tempo.useReference(TempoReference::Cd, false);
    tempo.moveSpeed(0, 4000);
    EXPECT_EQ(speeds(), (Speeds{4410, 2205, 8820, 4410})) << "8820 > 8790";
    track(2, 2, "*1");
    tempo.moveSpeed(0, 4000);
    EXPECT_EQ(speeds(), (Speeds{4000, 4410, 4410, 4410}));
    // A new bank forgets the capture: a failed re-match returns every speed to the file's own.
    tempo.switchLockOff();
    tempo.updateLockAvailability();
    tempo.toggleLock();
    track(2, 2, "*2");
    tempo.moveSpeed(0, 4600); // against the empty last mark: 8820 > 8790
    EXPECT_EQ(speeds(), (Speeds{4410, 4410, 4410, 4410}));
    EXPECT_TRUE(told.empty());
}

} // namespace
} // namespace mt
