// MIDI in without a server: the bytes a controller sends as calls on the performance, the
// backlog the window takes them from, what those calls do to the bank and how its pads are
// lit, and the names of the ports it comes by.
#include "RecordingPerformance.h"
#include "support/RecordingSound.h"
#include "support/StuckJack.h"
#include "support/WavBytes.h"

#include "audio/WavReader.h"
#include "core/TrackBank.h"
#include "midiin/ControllerBank.h"

#include "midiin/InputBacklog.h"
#include "midiin/MidiDispatcher.h"
#include "midiin/MidiInput.h"
#include "midiin/MidiPorts.h"
#include "midiin/VelocityCurve.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <initializer_list>
#include <utility>
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

TEST(MidiPortNames, HardwareIsToldFromProgramsAndNamesOutliveTheMachine) {
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Alsa, "LPD8:LPD8 MIDI 1 24:0"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Alsa, "Midi Through:Midi Through Port-0 14:0"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Alsa, "VMPK Output:out 128:0"));
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Jack, "system:midi_capture_1"));
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Jack, "a2j:LPD8 [24] (capture): LPD8 MIDI 1"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Jack, "a2j:Midi Through [14] (capture): x"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Jack, "Test pads:pads"));
    // ALSA numbers the clients as they come: a pad plugged in elsewhere is the same pad.
    EXPECT_EQ(MidiPorts::stableName("LPD8:LPD8 MIDI 1 24:0"), "LPD8:LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("LPD8:LPD8 MIDI 1 28:0"), "LPD8:LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("a2j:LPD8 [24] (capture): LPD8 MIDI 1"),
              "a2j:LPD8 (capture): LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("Test pads:pads"), "Test pads:pads");
}

// A libjack stuck on a dead client's lock turns JACK MIDI off with the lock named, and is asked
// once: a second open would only wait behind the first.
TEST(MidiPorts, AStuckJackLibraryTurnsJackMidiOffAndNamesTheLock) {
    StuckJack jack;
    RecordingPerformance sink;
    MidiInput midi(sink);
    EXPECT_FALSE(midi.start(MidiSystem::Jack));
    EXPECT_TRUE(
        midi.status().contains(QStringLiteral("JACKのライブラリが応答しません（/dev/shm/jack_db-")))
        << midi.status().toStdString();
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0) {
        EXPECT_FALSE(midi.start(MidiSystem::Auto));
        EXPECT_TRUE(midi.status().contains(
            QStringLiteral("JACKのライブラリが応答せず、ALSAシーケンサーもありません")))
            << midi.status().toStdString();
    }
    EXPECT_EQ(jack.opens(), 1);
}

using Lit = std::vector<std::pair<int, PadState>>;

class ControllerBankTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = m_dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(WriteFile(path, PcmWav(2, 44100, 16, 4410 * 4)));
        ASSERT_EQ(bank.assign(0, path), TrackBank::Assigned::Ok);
        lit.clear();
    }

    QTemporaryDir m_dir;
    RecordingSound sound{ReadWavInfo};
    TrackBank bank{sound};
    Lit lit;
    ControllerBank control{bank, [this](int t, PadState s) { lit.emplace_back(t, s); }};
};

TEST_F(ControllerBankTest, KnobsAndEncodersStayWithinTheBars) {
    control.moveVolume(0, -100);
    EXPECT_EQ(bank.track(0).volume, -70);
    control.moveVolume(0, 5);
    EXPECT_EQ(bank.track(0).volume, -65);
    control.setVolume(0, 3);
    EXPECT_EQ(bank.track(0).volume, 0);
    control.movePan(0, 100);
    EXPECT_EQ(bank.track(0).pan, 40);
    control.setPan(0, -99);
    EXPECT_EQ(bank.track(0).pan, -40);
    control.moveSpeed(0, -10000);
    EXPECT_EQ(bank.track(0).speed, 5);
    control.setSpeed(0, 20000);
    EXPECT_EQ(bank.track(0).speed, 9000);

    // A controller's track number outside the bank changes nothing.
    control.press(8, 0);
    control.moveVolume(-1, 10);
    for (int i = 1; i < kTrackCount; ++i) {
        EXPECT_EQ(bank.track(i).volume, 0);
    }
}

TEST_F(ControllerBankTest, PadsAreLitForEachChangeOfStateWhoeverMadeIt) {
    control.relightAll();
    ASSERT_EQ(lit.size(), 8U);
    EXPECT_EQ(lit[0], std::pair(0, PadState::Loaded));
    EXPECT_EQ(lit[1], std::pair(1, PadState::Empty));
    lit.clear();

    // The bars moving change no pad; the key, the button and the velocity's press do.
    control.setVolume(0, -10);
    EXPECT_TRUE(lit.empty());
    bank.press(0); // the computer key
    bank.setPan(0, 5);
    bank.release(0);
    bank.toggle(0); // the button stops it
    control.press(0, -600);
    EXPECT_EQ(lit, (Lit{{0, PadState::Held},
                        {0, PadState::Playing},
                        {0, PadState::Loaded},
                        {0, PadState::Held}}));
    EXPECT_EQ(sound.started.back().volume, -1000 - 600);

    // Cleared under the held pad: dark, and lit again when asked whatever it showed.
    lit.clear();
    bank.clear(0);
    control.relight(0);
    EXPECT_EQ(lit, (Lit{{0, PadState::Empty}, {0, PadState::Empty}}));
}

} // namespace
} // namespace mt::test
