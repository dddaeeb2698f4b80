#include "RecordingPerformance.h"

#include "midiin/InputBacklog.h"
#include "midiin/MidiDispatcher.h"
#include "midiin/VelocityCurve.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace mt::test {
namespace {

using Calls = std::vector<std::string>;

class Controller {
public:
    explicit Controller(MidiDispatcher& d) : m_dispatcher(d) {}
    // One chunk as a port delivers it.
    void send(std::initializer_list<int> bytes) {
        std::vector<std::uint8_t> chunk(bytes.begin(), bytes.end());
        m_dispatcher.feed(m_parser, chunk.data(), chunk.size());
    }

private:
    MidiDispatcher& m_dispatcher;
    MidiParser m_parser;
};

TEST(MidiDispatcher, PadsPlayThroughRunningStatusSysexAndRealTimeBytes) {
    RecordingPerformance sink;
    MidiDispatcher midi(sink);
    Controller pads(midi);
    pads.send({0x99, 36, 127}); // channel 10: any channel plays
    pads.send({37, 64});        // running status
    pads.send({0x90});          // a message split across chunks...
    pads.send({0xF8, 38});      // ...with a clock tick inside
    pads.send({100});
    pads.send({0xF0, 0x7E, 39, 100, 0xF7});    // SysEx: its bytes are no note
    pads.send({40, 100});                      // SysEx ended running status: dropped
    pads.send({0x89, 36, 0x40});               // note-off
    pads.send({0x99, 37, 0});                  // note-on at velocity 0
    pads.send({0xF2, 41, 1, 42, 100});         // song position: its bytes are no note either
    pads.send({0x90, 44, 100, 0xB0, 64, 127}); // unmapped note and controller
    pads.send({0xF0, 0x7E});                   // a SysEx never finished (a cable pulled)...
    pads.send({0x99, 39, 127});                // ...ends at the next status byte
    pads.send({0xF0, 1, 0xF8, 2, 0xF7, 0x99, 40, 127}); // clock inside a whole one
    EXPECT_EQ(sink.take(), (Calls{"press 0 0", "press 1 -600", "press 2 -257", "release 0",
                                  "release 1", "press 3 0", "press 4 0"}));
    EXPECT_EQ(midi.dropped(), 1U);
}

// A flood the window cannot take at once keeps the latest state per track and per bar.
TEST(InputBacklog, KeepsTheLatestStatePerTrackAndBarInArrivalOrder) {
    using Op = InputBacklog::Op;
    using C = InputBacklog::Call;
    const C p0{Op::Press, 0, -600}, r0{Op::Release, 0, 0}, p1{Op::Press, 1, 0};
    const struct {
        std::vector<C> added;
        std::vector<C> taken;
    } cases[] = {
        {{r0, p0, r0}, {r0, p0, r0}}, // a release from before, then a whole hit
        {{p0, r0, {Op::Press, 0, -100}, r0, r0}, {{Op::Press, 0, -100}, r0}}, // the last hit
        {{p0, p1, {Op::Press, 0, 0}}, {p1, {Op::Press, 0, 0}}},
        {{{Op::SetVolume, 2, -10}, {Op::MoveVolume, 2, 3}, {Op::MoveVolume, 2, 2}},
         {{Op::SetVolume, 2, -5}}},
        {{{Op::MovePan, 2, 3}, {Op::MovePan, 2, -1}, {Op::SetPan, 2, 4}, {Op::SetSpeed, 2, 9}},
         {{Op::SetPan, 2, 4}, {Op::SetSpeed, 2, 9}}},
        {{p0, {Op::Panic, 0, 0}, r0, p1, {Op::Panic, 0, 0}}, {r0, {Op::Panic, 0, 0}}},
    };
    for (const auto& c : cases) {
        InputBacklog backlog;
        EXPECT_TRUE(backlog.add(c.added.front()));
        for (std::size_t i = 1; i < c.added.size(); ++i) {
            EXPECT_FALSE(backlog.add(c.added[i]));
        }
        EXPECT_EQ(backlog.take(), c.taken);
        EXPECT_TRUE(backlog.empty());
    }
    InputBacklog flood; // 100,000 calls on every track and bar stay within the capacity
    for (int i = 0; i < 100000; ++i) {
        flood.add({static_cast<Op>(i / 8 % 8), i % 8, 1});
    }
    EXPECT_LE(flood.take().size(), InputBacklog::kCapacity);
}

TEST(MidiDispatcher, LearnBindsControllersAndNotesThatMoveBarsAndPress) {
    RecordingPerformance sink;
    MidiDispatcher midi(sink);
    Controller knobs(midi);
    midi.learn({MidiAction::Kind::Volume, 0});
    knobs.send({0x90, 50, 100}); // a note cannot be a volume knob
    knobs.send({0xB3, 7, 100});  // learnt, not played
    knobs.send({0xB3, 7, 0, 7, 127});
    knobs.send({0xB0, 7, 127}); // another channel
    midi.learn({MidiAction::Kind::Pan, 1}, CcMode::RelativeTwosComplement);
    knobs.send({0xB0, 16, 1, 16, 1, 16, 127});
    midi.learn({MidiAction::Kind::Speed, 7});
    knobs.send({0xB0, 17, 0, 17, 0, 17, 64, 17, 127});
    midi.learn({MidiAction::Kind::Press, 2}); // takes note 36 on channel 2 from track 1
    knobs.send({0x91, 36, 90, 0x81, 36, 0, 0x90, 36, 90});
    knobs.send({0xB5, 120, 0}); // All Sound Off
    EXPECT_EQ(sink.take(),
              (Calls{"learned volume1 cc 4 7 absolute", "volume 0 -70", "volume 0 0",
                     "learned pan2 cc 1 16 relative-twos", "pan 1 by 1", "pan 1 by -1",
                     "learned speed8 cc 1 17 absolute", "speed 7 2205", "speed 7 4410",
                     "speed 7 8725", "learned press3 note 2 36", "release 2", "panic"}));
    EXPECT_FALSE(midi.learning());
    EXPECT_EQ(MidiMapping::triggerText(midi.mapping().trigger({MidiAction::Kind::Press, 0})),
              "none");
}

// Every bar's knob reaches both ends and its middle, and every encoder mode turns both ways.
TEST(MidiDispatcher, KnobsReachBothEndsAndEncodersTurnBothWays) {
    using K = MidiAction::Kind;
    const struct {
        K kind;
        CcMode mode;
        std::initializer_list<int> values;
        Calls calls;
    } rows[] = {
        {K::Volume, CcMode::Absolute, {0, 64, 127}, {"volume 3 -70", "volume 3 -35", "volume 3 0"}},
        {K::Pan, CcMode::Absolute, {0, 64, 127}, {"pan 3 -40", "pan 3 0", "pan 3 40"}},
        {K::Speed,
         CcMode::Absolute,
         {0, 64, 127},
         {"speed 3 2205", "speed 3 4410", "speed 3 8725"}},
        {K::Volume, CcMode::RelativeTwosComplement, {2, 126}, {"volume 3 by 2", "volume 3 by -2"}},
        {K::Pan, CcMode::RelativeBinaryOffset, {66, 62}, {"pan 3 by 2", "pan 3 by -2"}},
        {K::Speed, CcMode::RelativeSignMagnitude, {2, 66}, {"speed 3 by 20", "speed 3 by -20"}}};
    for (const auto& r : rows) {
        RecordingPerformance sink;
        MidiDispatcher midi(sink);
        Controller knob(midi);
        midi.learn({r.kind, 3}, r.mode);
        knob.send({0xB0, 20, 0});
        sink.take();
        for (int value : r.values) {
            knob.send({0xB0, 20, value});
        }
        EXPECT_EQ(sink.take(), r.calls) << static_cast<int>(r.kind) << static_cast<int>(r.mode);
    }
}

TEST(VelocityCurve, GainsInHundredthsOfADb) {
    const VelocityCurve linear;
    EXPECT_EQ(VelocityGainCentiDb(linear, 127), 0);
    EXPECT_EQ(VelocityGainCentiDb(linear, 64), -600);
    EXPECT_EQ(VelocityGainCentiDb(linear, 1), -1200);
    EXPECT_EQ(VelocityGainCentiDb({VelocityCurve::Kind::Linear, 4000, 0}, 0), -4000);
    EXPECT_EQ(VelocityGainCentiDb({VelocityCurve::Kind::Soft, 1200, 0}, 64), -300);
    EXPECT_EQ(VelocityGainCentiDb({VelocityCurve::Kind::Fixed, 1200, -350}, 1), -350);
    EXPECT_EQ(VelocityGainCentiDb({VelocityCurve::Kind::Fixed, 0, 500}, 1), 0);
    EXPECT_EQ(VelocityGainCentiDb({VelocityCurve::Kind::Linear, 99999, 0}, 1), -7000);
}

} // namespace
} // namespace mt::test
