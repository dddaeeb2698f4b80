// MIDI clock without a server: the bytes as the parser hands them on, what the follower makes
// of senders good and bad at 48 kHz, the reading's way to the UI thread, and our own clock's
// messages in engine frames (where a Start over a running clock, a tempo change and an output
// made anew put the ticks).
#include "midiin/ClockFollower.h"
#include "audio/SeqLock.h"
#include "midiin/ClockTrain.h"
#include "midiin/MidiParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mt::test {
namespace {

using Kind = MidiClockEvent::Kind;
using Fault = ClockFollower::Fault;
constexpr int kRate = 48000;
const int kA = 0; // two sources, by their addresses
const int kB = 0;

// A sender of MIDI clock into a follower, which knows where its own beat is. It plays a script
// of tokens: S, T, C: Start, Stop, Continue; P<n>: Song Position n; b<bpm>: the tempo from
// here on; t<n>: n ticks; j<n>: n ticks each up to 1 ms off its place; l<n>: n ticks lost;
// d: a tick sent twice; w: the reading's tempo watched from here on; B<bpm>: a second source ticks
// at that tempo from here on; q: the first falls silent.
struct Sender {
    double spacing(double tempo) const { return kRate * 60.0 / (tempo * 24.0); }
    void tick(double off, int copies) {
        for (; second > 0.0 && secondNext < next; secondNext += spacing(second)) {
            follower.take({Kind::Tick, 0}, &kB, secondNext, kRate);
        }
        for (int i = 0; i < copies && !silent; ++i) {
            follower.take({Kind::Tick, 0}, &kA, next + off + 10.0 * i, kRate);
        }
        lastFrame = next;
        lastTick = rolling ? position++ : lastTick;
        next += spacing(bpm);
        const ClockReading r = follower.reading();
        if (watching && r.present) {
            worst = std::max(worst, std::abs(r.bpm - bpm));
        }
    }
    void play(const std::string& script) {
        std::istringstream tokens(script);
        std::uniform_real_distribution<double> jitter(-0.001 * kRate, 0.001 * kRate);
        for (std::string t; tokens >> t;) {
            const int n = t.size() > 1 ? std::stoi(t.substr(1)) : 1;
            const char c = t[0];
            if (c == 't' || c == 'j' || c == 'l' || c == 'd') {
                for (int i = 0; i < n; ++i) {
                    tick(c == 'j' ? jitter(random) : 0.0, c == 'l' ? 0 : c == 'd' ? 2 : 1);
                }
            } else if (c == 'b' || c == 'B') {
                (c == 'b' ? bpm : second) = n;
                secondNext = next + 100.0;
            } else if (c == 'q' || c == 'w') {
                (c == 'q' ? silent : watching) = true;
            } else {
                const Kind kind = c == 'S'   ? Kind::Start
                                  : c == 'T' ? Kind::Stop
                                  : c == 'C' ? Kind::Continue
                                             : Kind::SongPosition;
                follower.take({kind, static_cast<std::uint16_t>(n)}, &kA, next - 1.0, kRate);
                position = kind == Kind::Start ? 0
                           : kind == Kind::SongPosition && n < MidiClockEvent::kMaxSongPosition
                               ? std::int64_t{n} * 6
                               : position;
                rolling = kind == Kind::SongPosition ? rolling : kind != Kind::Stop;
            }
        }
    }
    // Its beat at `frame`, from its last tick.
    double beatAt(double frame) const {
        return (static_cast<double>(lastTick) + (frame - lastFrame) / spacing(bpm)) / 24.0;
    }

    ClockFollower follower;
    std::mt19937 random{7};
    double bpm = 120.0;
    double next = 1000.0; // the next tick's frame
    double lastFrame = 0.0;
    std::int64_t position = 0;
    std::int64_t lastTick = 0;
    bool rolling = false;
    bool watching = false;
    bool silent = false;
    double worst = 0.0;  // the reading's tempo furthest from ours while watched
    double second = 0.0; // the second source's tempo; 0: none
    double secondNext = 0.0;
};

std::uint32_t Bits(std::initializer_list<Fault> faults) {
    std::uint32_t bits = 0;
    for (const Fault f : faults) {
        bits |= 1U << static_cast<unsigned>(f);
    }
    return bits;
}

TEST(MidiParser, HandsOnClockMessagesWhereverTheyFall) {
    // Ticks inside a note and inside Song Position, which is split across chunks; active
    // sensing and a SysEx between.
    const std::vector<std::vector<std::uint8_t>> chunks{{0xF8, 0x90, 0xFA, 36},
                                                        {100, 0xF2, 0x10, 0xF8},
                                                        {0x01, 0xFE, 0xFC, 0xF0, 1, 0xFB, 0xF7},
                                                        {0xF2, 0x7F, 0x7F, 0xF8}};
    MidiParser parser;
    std::string heard;
    for (const auto& chunk : chunks) {
        parser.feed(
            chunk.data(), chunk.size(),
            [&](const MidiMessage& m) { heard += "note " + std::to_string(m.data1) + " "; },
            [&](const MidiClockEvent& e) {
                heard += "FSCTP"[static_cast<int>(e.kind)];
                heard += e.kind == Kind::SongPosition ? std::to_string(e.songPosition) + " " : " ";
            });
    }
    EXPECT_EQ(heard, "F S note 36 F P144 T C P16383 F ");
}

TEST(ClockFollower, FollowsTempoBeatAndTransportAndShrugsOffBadInput) {
    using enum ClockFollower::Fault;
    const struct {
        std::string script;
        double bpm; // at the end, and while watched
        double bpmTolerance;
        bool present;
        bool rolling;
        double beatTicks; // the line's beat from the sender's, in ticks at most; < 0: not checked
        std::uint32_t faults;
    } cases[] = {
        {"S t192", 120, 1e-6, true, true, 1e-3, 0},
        {"S j192 w j960", 120, 0.2, true, true, 0.1, 0}, // steady to 0.2 BPM after 2 bars
        {"b300 S j192 w j960", 300, 0.2, true, true, 0.2, 0},
        {"S t100 T t30 P32 C t1", 120, 1e-6, true, true, 1e-3, 0}, // the tick is beat 8
        {"S t100 T t50", 120, 1e-6, true, false, -1, 0},
        {"t100", 120, 1e-6, true, false, -1, Bits({NoStart})},
        {"S t50 l t20 d t20 l3 t9", 120, 1e-6, true, true, 1e-3, Bits({LostTick, DoubledTick})},
        {"S t192 b60 t48", 60, 1e-6, true, true, 1e-3, 0}, // followed within two beats
        {"b140 S j192 b150 j48", 150, 0.5, true, true, 0.3, 0},
        {"S t96 b5000 t2000 b120 t48", 120, 1e-6, true, true, -1, Bits({DoubledTick, TickStorm})},
        {"t96 b400 t200", 120, 1e-6, false, false, -1, Bits({NoStart, TempoOutOfRange})},
        {"S t100 T P16383 C t20", 120, 1e-6, true, true, 1e-3, Bits({SongPositionAtMaximum})},
        {"S t96 B90 t96 q t120", 90, 1e-6, true, false, -1, Bits({SecondSource, NoStart})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        Sender s;
        s.play(c.script);
        const ClockReading r = s.follower.reading();
        EXPECT_NEAR(r.bpm, c.bpm, c.bpmTolerance);
        EXPECT_LE(s.worst, c.bpmTolerance);
        EXPECT_EQ(r.present, c.present);
        EXPECT_EQ(r.rolling, c.rolling);
        if (c.beatTicks >= 0) {
            EXPECT_NEAR(r.beat * 24, s.beatAt(static_cast<double>(r.frame)) * 24, c.beatTicks);
        }
        EXPECT_EQ(s.follower.faults(), c.faults);
        EXPECT_FALSE(s.follower.quiet(s.next));
        EXPECT_TRUE(s.follower.quiet(s.next + 0.5 * kRate));
    }
}

// Runs of ticks at any tempo (10 to 1000 BPM) and jitter (to 5 ms), from either source, with
// one message in ten lost to transport and Song Position anywhere, and timelines begun again:
// every reading's tempo is in range, and after two clean bars (and a second) each run is
// followed if it is in range and not present if it is not.
TEST(ClockFollower, NoStreamTakesTheTempoOutOfRange) {
    ClockFollower follower;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double frame = 0.0;
    for (int run = 0; run < 1000; ++run) {
        const double bpm = 10.0 * std::pow(100.0, unit(random));
        const double jitter = unit(random) * 0.005 * kRate;
        const void* source = unit(random) < 0.1 ? &kB : &kA;
        frame = unit(random) < 0.02 ? 0.0 : frame;
        const int clean = std::max(192, static_cast<int>(bpm * 24 / 60)); // and over a second
        for (int i = 0; i < 200 + clean; ++i) {
            const bool dirty = i < 200;
            frame += kRate * 60.0 / (bpm * 24) + (dirty ? jitter * (unit(random) - 0.5) : 0.0);
            const auto kind = static_cast<Kind>(!dirty || unit(random) < 0.9 ? 0 : random() % 5);
            follower.take({kind, static_cast<std::uint16_t>(random() % 0x4000)}, source, frame,
                          kRate);
            const ClockReading r = follower.reading();
            ASSERT_TRUE(r.bpm == 0.0 || (r.bpm >= 20.0 && r.bpm <= 300.0)) << run << " " << r.bpm;
            ASSERT_TRUE(std::isfinite(r.beat)) << run;
        }
        const ClockReading r = follower.reading();
        const bool present = r.present && !follower.quiet(frame);
        if (bpm > 20 && bpm < 300) {
            EXPECT_TRUE(present) << run;
            EXPECT_NEAR(r.bpm, bpm, bpm * 1e-6) << run;
        } else if (bpm < 19 || bpm > 315) { // between: a sender at the end with jitter
            EXPECT_FALSE(present) << run << " " << bpm;
        }
    }
}

// One thread writes readings whose fields all say the same number; the reader never sees two.
TEST(ClockReadingSeqLock, ReadersNeverSeeAHalfWrittenReading) {
    SeqLock<ClockReading> published;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (std::int64_t i = 1; i <= 200000; ++i) {
            published.write({true, true, static_cast<double>(i), i, static_cast<double>(i), 4, 1});
        }
        done = true;
    });
    std::int64_t last = 0;
    while (!done) {
        const ClockReading r = published.read();
        ASSERT_TRUE(r.bpm == static_cast<double>(r.frame) && r.beat == r.bpm && r.frame >= last);
        last = r.frame;
    }
    writer.join();
    EXPECT_EQ(published.read().frame, 200000);
}

// What the train sends before engine frame `until`, one "status@frame" each (frame "now" for
// what goes at once).
std::vector<std::string> Drain(ClockTrain& train, std::int64_t until) {
    train.take();
    std::vector<std::string> sent;
    ClockMessage m;
    while (train.peek(m) && m.frame < until) {
        const bool now = m.frame == ClockMessage::kAtOnce;
        sent.push_back(std::to_string(m.bytes[0]) + "@" +
                       (now ? std::string("now") : std::to_string(m.frame)));
        train.pop();
    }
    return sent;
}

std::vector<std::string> Ticks(std::int64_t from, std::int64_t to, std::int64_t step) {
    std::vector<std::string> ticks;
    for (std::int64_t f = from; f < to; f += step) {
        ticks.push_back("248@" + std::to_string(f));
    }
    return ticks;
}

using Transport = ClockPlan::Transport;

TEST(ClockTrain, TicksAreCountedThroughARestartATempoChangeAndAnOutputMadeAnew) {
    ClockTrain train;
    const BeatGrid grid{0, 0.0, 960.0, 4}; // a tick every 40 frames
    ASSERT_TRUE(train.post({grid, nullptr, Transport::Start, 4.0, 0}));
    std::vector<std::string> expected{"242@now", "250@3840"};
    auto ticks = Ticks(3840, 3960, 40);
    expected.insert(expected.end(), ticks.begin(), ticks.end());
    EXPECT_EQ(Drain(train, 3960), expected);

    // Start again on the next bar while running: no Song Position, the bar's tick once.
    train.post({grid, nullptr, Transport::Start, 8.0, 0});
    expected = Ticks(3960, 7680, 40);
    expected.insert(expected.end(), {"250@7680", "248@7680", "248@7720"});
    EXPECT_EQ(Drain(train, 7721), expected);

    // Twice as fast from beat 9 (frame 8640) on: the ticks before it keep their frames.
    train.post({{8640, 9.0, 480.0, 4}, nullptr, Transport::Follow, 0.0, 0});
    expected = Ticks(7760, 8640, 40);
    ticks = Ticks(8640, 8760, 20);
    expected.insert(expected.end(), ticks.begin(), ticks.end());
    EXPECT_EQ(Drain(train, 8760), expected);

    // An output made anew counts from 0 while the grid still says beat 9 is at 8640: the
    // ticks go on from the first not yet due rather than wait a beat or burst.
    EXPECT_FALSE(train.resync(8760));
    EXPECT_TRUE(train.resync(100));
    EXPECT_EQ(Drain(train, 121), Ticks(100, 121, 20));

    train.post({grid, nullptr, Transport::Stop, 0.0, 0});
    EXPECT_EQ(Drain(train, 1'000'000), std::vector<std::string>{"252@now"});
}

} // namespace
} // namespace mt::test
