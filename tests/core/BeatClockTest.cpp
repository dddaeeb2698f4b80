// The beat clock's grid over a frame clock moved by hand: grid points of every size, a tempo
// change that keeps the beat where it happens, an output that reopens at another rate, and
// the tempos it refuses. Starts landing on it through the real engine: TrackBankSoundTest.
#include "core/BeatClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace mt {
namespace {

struct HandFrames final : FrameClock {
    int frameRate() const override { return rate; }
    std::int64_t frameHorizon() const override { return horizon; }
    int rate = 48000;
    std::int64_t horizon = 0;
};

TEST(BeatClockTest, GridPointsOfEverySizeAndTheTempoChangesThatMoveThem) {
    HandFrames frames;
    BeatClock clock(frames);
    ASSERT_TRUE(clock.setBpm(120.0)); // 24000 frames a beat
    const struct {
        Quantise q;
        std::int64_t notBefore, expected;
    } rows[] = {
        {Quantise::Off, 12345, 12345},      {Quantise::Sixteenth, 1, 6000},
        {Quantise::Sixteenth, 6000, 6000},  {Quantise::Eighth, 12001, 24000},
        {Quantise::Beat, 24001, 48000},     {Quantise::Bar, 1, 96000},
        {Quantise::TwoBars, 96001, 192000}, {Quantise::FourBars, 1, 384000},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(clock.nextGridFrame(row.notBefore, row.q), row.expected)
            << static_cast<int>(row.q) << " from " << row.notBefore;
    }
    clock.setBeatsPerBar(3);
    EXPECT_EQ(clock.nextGridFrame(1, Quantise::Bar), 72000);
    EXPECT_DOUBLE_EQ(clock.barSeconds(), 1.5);

    // At frame 36000 (beat 1.5) the tempo halves: the beat there stays, the next ones are
    // twice as far apart.
    frames.horizon = 36000;
    ASSERT_TRUE(clock.setBpm(60.0));
    EXPECT_DOUBLE_EQ(clock.beatAt(36000), 1.5);
    EXPECT_EQ(clock.nextGridFrame(36001, Quantise::Beat), 60000);
    EXPECT_EQ(clock.beatInBar(), 1);

    // Reopened at 44.1 kHz at frame 60000 (beat 2): beats count at the new rate from there.
    frames.horizon = 60000;
    frames.rate = 44100;
    EXPECT_EQ(clock.nextGridFrame(60001, Quantise::Beat), 60000 + 44100);
    EXPECT_EQ(clock.bar(), 0);
    // A new output counts from 0: beat 2 (where the old one was) falls on its frame 0.
    frames.horizon = 0;
    EXPECT_EQ(clock.nextGridFrame(1, Quantise::Beat), 44100);

    for (const double refused : {19.99, 300.01, 0.0, -120.0, std::nan("")}) {
        EXPECT_FALSE(clock.setBpm(refused)) << refused;
    }
    EXPECT_EQ(clock.bpm(), 60.0);
    clock.setSource(TempoSource::Tap);
    clock.offer(TempoSource::Typed, 90.0); // not the source: ignored
    clock.offer(TempoSource::Tap, 100.0);
    EXPECT_EQ(clock.bpm(), 100.0);
    frames.rate = 0; // no output: nothing is quantised
    EXPECT_EQ(clock.nextGridFrame(5, Quantise::Bar), 5);
}

} // namespace
} // namespace mt
