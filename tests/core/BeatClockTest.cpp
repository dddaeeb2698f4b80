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

struct HandClock final : ExternalClock {
    ClockReading read() const override { return reading; }
    void offerTempo(double bpm) override { offered = bpm; }
    ClockReading reading;
    double offered = 0.0;
};

TEST(BeatClockTest, FollowsAnOutsideClocksTempoAndBeatWithinItsToleranceAndRunsFreeWithout) {
    HandFrames frames;
    frames.horizon = 48000;
    BeatClock clock(frames);
    HandClock midi;
    clock.attach(TempoSource::MidiClock, &midi);
    clock.setSource(TempoSource::MidiClock);
    int moves = 0;
    QObject::connect(&clock, &BeatClock::changed, [&moves] { ++moves; });
    // Each row is read in turn: present, rolling, bpm, frame, beat, beats per bar; then the
    // clock's state, tempo, beats per bar and beat at the horizon, and whether the grid moved.
    using enum FollowState;
    const double first = 10.0 + 128 / 120.0, shifted = 10.0 + 23952 / 22500.0;
    const struct {
        ClockReading in;
        FollowState state;
        double bpm;
        int beatsPerBar;
        double beatAtHorizon;
        bool moved;
    } rows[] = {
        {{true, true, 128.0, 24000, 10.0, 0}, Following, 128.0, 4, first, true},
        // 0.2 ms and 0.005 BPM apart: within the tolerance, nothing moves.
        {{true, true, 128.005, 24010, 10.0, 0}, Following, 128.0, 4, first, false},
        // 1 ms apart: the beat moves to the source's.
        {{true, true, 128.0, 24048, 10.0, 3}, Following, 128.0, 3, shifted, true},
        // Stopped: the tempo is followed, the beat at the horizon stays.
        {{true, false, 64.0, 0, 0.0, 0}, Following, 64.0, 3, shifted, true},
        // Gone, and absurd tempos: the last tempo runs on.
        {{false, false, 0.0, 0, 0.0, 0}, FreeRunning, 64.0, 3, shifted, false},
        {{true, true, 10000.0, 0, 0.0, 4}, FreeRunning, 64.0, 3, shifted, false},
        {{true, true, std::nan(""), 0, 0.0, 4}, FreeRunning, 64.0, 3, shifted, false},
    };
    for (const auto& row : rows) {
        const int before = moves;
        clock.follow(row.in);
        SCOPED_TRACE(row.in.bpm);
        EXPECT_EQ(clock.followState(), row.state);
        EXPECT_DOUBLE_EQ(clock.bpm(), row.bpm);
        EXPECT_EQ(clock.beatsPerBar(), row.beatsPerBar);
        EXPECT_NEAR(clock.beatAt(frames.horizon), row.beatAtHorizon, 1e-9);
        EXPECT_EQ(moves > before, row.moved);
    }

    // A typed tempo leaves a MIDI clock for the Typed source; Link takes it to the session.
    HandClock link;
    clock.attach(TempoSource::Link, &link);
    clock.setSource(TempoSource::Link);
    EXPECT_EQ(clock.followState(), FollowState::FreeRunning) << "no peer yet";
    EXPECT_TRUE(clock.setTypedBpm(98.0));
    EXPECT_EQ(std::make_pair(link.offered, clock.source()),
              std::make_pair(98.0, TempoSource::Link));
    clock.setSource(TempoSource::MidiClock);
    EXPECT_TRUE(!clock.setTypedBpm(400.0) && clock.setTypedBpm(99.0));
    EXPECT_EQ(std::make_pair(clock.source(), clock.followState()),
              std::make_pair(TempoSource::Typed, FollowState::Own));
    clock.attach(TempoSource::JackTransport, nullptr);
    clock.setSource(TempoSource::JackTransport);
    EXPECT_EQ(clock.followState(), FollowState::FreeRunning) << "none in this program";
}

} // namespace
} // namespace mt
