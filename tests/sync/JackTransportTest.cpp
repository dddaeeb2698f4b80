// The JACK transport followed and led through a private server (dummy backend, 48 kHz, periods
// of 128) with clients of the test's own: a timebase master whose BBT says what a row says,
// and a client that reads the transport as any other program does.
#include "support/PrivateJack.h"

#include "audio/OutputClock.h"
#include "core/FrameClock.h"
#include "sync/JackTransportClock.h"

#include <jack/jack.h>
#include <jack/transport.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace mt::test {
namespace {

constexpr double kRate = 48000.0;
constexpr std::int64_t kOffset = 1000; // the output's frame 0 plays at JACK's frame 1000

// An output playing on the server: its frame f is JACK's frame f + kOffset.
class JackFrames : public FrameClock {
public:
    JackFrames() {
        output->setRate(static_cast<int>(kRate));
        output->setDevicePlace(kOffset, 0.0, 1.0);
    }
    int frameRate() const override { return static_cast<int>(kRate); }
    std::int64_t frameHorizon() const override { return output->frames(); }
    std::shared_ptr<const OutputClock> outputClock() const override { return output; }

    std::shared_ptr<OutputClock> output = std::make_shared<OutputClock>();
};

struct BbtRow {
    double bpm = 120.0;
    float beatsPerBar = 4.0f;
    double ticksPerBeat = 1e6;
    bool jumps = false; // every other cycle 1.5 beats ahead
};

// What a client read from the transport in its last cycle.
struct Seen {
    bool bbt = false;
    bool rolling = false;
    double beat = 0.0; // from the BBT, at JACK's frame `frame`
    double bpm = 0.0;
    float beatsPerBar = 0.0f;
    std::int64_t frame = 0;
    std::int64_t zero = 0; // JACK's frame at transport frame 0
};

// A client of the test's own; the timebase master (unconditionally) when asked. Its BBT puts
// bar 1 beat 1 at transport frame 0, the beats at the row's tempo (120 when that is not a
// positive number) and four to a bar, and then writes the row's fields over it.
class TestClient {
public:
    explicit TestClient(bool master) : m_client(master ? "Test master" : "Test reader") {
        m_client.activate([this](jack_nframes_t) { read(); });
        if (master) {
            jack_set_timebase_callback(m_client.get(), 0, &TestClient::giveTestBbt, this);
        }
    }
    void roll(bool on) {
        on ? jack_transport_start(m_client.get()) : jack_transport_stop(m_client.get());
    }
    void setRow(const BbtRow& row) { m_row.write(row); }
    Seen seen() const { return m_seen.read(); }

private:
    void read() {
        jack_position_t p{};
        const bool rolling = jack_transport_query(m_client.get(), &p) == JackTransportRolling;
        const std::int64_t frame = jack_last_frame_time(m_client.get());
        m_seen.write({(p.valid & JackPositionBBT) != 0, rolling,
                      (p.bar - 1.0) * p.beats_per_bar + p.beat - 1 + p.tick / p.ticks_per_beat +
                          ((p.valid & JackBBTFrameOffset) != 0
                               ? p.bbt_offset * p.beats_per_minute / 60 / kRate
                               : 0.0),
                      p.beats_per_minute, p.beats_per_bar, frame, frame - p.frame});
    }
    static void giveTestBbt(jack_transport_state_t, jack_nframes_t, jack_position_t* p, int,
                            void* self) {
        auto& c = *static_cast<TestClient*>(self);
        c.m_row.tryRead(c.m_now);
        const BbtRow& row = c.m_now;
        const double bpm = std::isfinite(row.bpm) && row.bpm > 0 ? row.bpm : 120.0;
        double beat = p->frame * bpm / 60.0 / kRate + (row.jumps && ++c.m_cycles % 2 ? 1.5 : 0);
        p->valid = JackPositionBBT;
        p->bar = static_cast<int>(std::floor(beat / 4)) + 1;
        beat -= (p->bar - 1) * 4;
        p->beat = static_cast<int>(beat) + 1;
        p->tick = static_cast<int>((beat - p->beat + 1) * 1e6);
        p->beats_per_minute = row.bpm;
        p->beats_per_bar = row.beatsPerBar;
        p->ticks_per_beat = row.ticksPerBeat;
    }

    SeqLock<BbtRow> m_row;
    SeqLock<Seen> m_seen;
    BbtRow m_now;      // the timebase's
    long m_cycles = 0; // the timebase's
    JackClient m_client;
};

// Frames between where the clock puts its beat and where `master`'s BBT, at `bpm`, has it. An
// xrun on a loaded machine moves JACK's frame against the transport's by a period: the reading is
// taken again until the master's zero is the same on both sides of it.
double FramesOff(const JackTransportClock& clock, const TestClient& master, double bpm) {
    for (int attempt = 0;; ++attempt) {
        const std::int64_t zero = master.seen().zero;
        QThread::msleep(10); // a few periods: the clock's reading is from after `zero` was seen
        const ClockReading r = clock.read();
        if (master.seen().zero == zero || attempt == 20) {
            return r.beat * 60.0 / bpm * kRate - static_cast<double>(r.frame + kOffset - zero);
        }
    }
}

using JackTransport = JackServerTest;

TEST_F(JackTransport, FollowsAMastersBeatAndKeepsItsTempoWhenItQuits) {
    JackFrames frames;
    JackTransportClock clock(frames);
    auto master = std::make_unique<TestClient>(true);
    master->setRow({90.0, 3.0f});
    master->roll(true);
    ASSERT_TRUE(WaitFor([&] { return clock.read().rolling; }));
    QThread::msleep(100);
    ClockReading r = clock.read();
    EXPECT_EQ(std::make_tuple(r.present, r.bpm, r.beatsPerBar), std::make_tuple(true, 90.0, 3));
    EXPECT_NEAR(FramesOff(clock, *master, 90.0), 0.0, 1.0);

    // The output on another device, heard when JACK's frame f + kOffset is: by the host's clock.
    {
        const JackClient probe("Test probe");
        const std::int64_t now = jack_frame_time(probe.get());
        frames.output->clearDevicePlace();
        frames.output->setHostPlace(static_cast<double>(now - kOffset),
                                    static_cast<double>(jack_frames_to_time(probe.get(), now)) +
                                        probe.playbackLatency("system:playback_1") * 1e6 / kRate +
                                        OutputClock::HostMicros() -
                                        static_cast<double>(jack_get_time()),
                                    kRate / 1e6);
    }
    // The server's playback latency is looked up a look after connecting.
    EXPECT_TRUE(WaitFor([&] { return std::abs(FramesOff(clock, *master, 90.0)) <= 128.0; }));

    master->roll(false);
    ASSERT_TRUE(WaitFor([&] { return !clock.read().rolling; }));
    EXPECT_TRUE(clock.read().present);
    master.reset();
    ASSERT_TRUE(WaitFor([&] { return !clock.read().present; }));
    r = clock.read();
    EXPECT_DOUBLE_EQ(r.bpm, 90.0);
    EXPECT_EQ(r.beatsPerBar, 3);
}

TEST_F(JackTransport, IgnoresOrClampsWhatAMasterSendsAmiss) {
    static std::mutex logMutex;
    static std::vector<std::string> log;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        const std::lock_guard lock(logMutex);
        log.push_back(message.toStdString());
    });
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        BbtRow row;
        double bpm;     // the reading's
        double lineBpm; // the master's beat goes at
    };
    const Case cases[] = {
        {{120.0}, 120.0, 120.0},
        {{0.0}, 120.0, 120.0},
        {{kNaN}, 120.0, 120.0},
        {{120.0, 0.0f}, 120.0, 120.0},
        {{120.0, 1000.0f}, 120.0, 120.0},
        {{120.0, 4.0f, 0.0}, 120.0, 120.0},
        {{120.0, 4.0f, 1e6, true}, 120.0, 120.0},
        {{10000.0}, 300.0, 10000.0},
        {{5.0}, 20.0, 5.0},
    };
    JackFrames frames;
    JackTransportClock clock(frames);
    TestClient master(true);
    master.roll(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row.bpm << " BPM, " << c.row.beatsPerBar << " a bar, "
                                        << c.row.ticksPerBeat << " ticks");
        master.setRow(c.row);
        QThread::msleep(150);
        const ClockReading r = clock.read();
        EXPECT_EQ(std::make_tuple(r.present, r.bpm, r.beatsPerBar),
                  std::make_tuple(true, c.bpm, 4));
        EXPECT_NEAR(FramesOff(clock, master, c.lineBpm), 0.0, 2.0);
    }
    // Once for each kind: no tempo, one out of range, beats per bar, ticks, jumps.
    EXPECT_TRUE(WaitFor([] {
        const std::lock_guard lock(logMutex);
        return log.size() >= 5;
    }));
    QThread::msleep(1200);
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(log.size(), 5U);
}

TEST_F(JackTransport, LeadsTheTimebaseOnlyWhereNoOtherClientDoes) {
    JackFrames frames;
    JackTransportClock clock(frames);
    const BeatGrid grid{5000, 2.25, kRate * 60.0 / 150.0, 7};
    clock.followGrid(grid);
    using enum JackTransportClock::Mastery;
    const auto becomes = [&clock](JackTransportClock::Mastery m) {
        return WaitFor([&] { return clock.mastery() == m; });
    };
    auto other = std::make_unique<TestClient>(true);
    clock.setMaster(true);
    ASSERT_TRUE(becomes(OtherMaster));
    other.reset();
    ASSERT_TRUE(becomes(Master));

    TestClient reader(false);
    reader.roll(true);
    // A cycle whose master was late (an xrun) keeps the BBT before it: the next one is on time.
    const auto off = [&](const Seen& s) {
        return (s.beat - grid.beatAt(s.frame - kOffset)) * grid.framesPerBeat;
    };
    ASSERT_TRUE(WaitFor([&] {
        const Seen s = reader.seen();
        return s.bbt && s.rolling && std::fabs(off(s)) <= 1.0;
    })) << off(reader.seen())
        << " frames off";
    const Seen s = reader.seen();
    EXPECT_NEAR(s.bpm, 150.0, 1e-9);
    EXPECT_EQ(s.beatsPerBar, 7.0f);
    EXPECT_FALSE(clock.read().present);         // no master but us
    other = std::make_unique<TestClient>(true); // takes it from us, unconditionally
    ASSERT_TRUE(becomes(OtherMaster));
    EXPECT_TRUE(WaitFor([&] { return clock.read().present; }));
    other.reset();
    ASSERT_TRUE(becomes(Master));

    clock.setMaster(false);
    ASSERT_TRUE(becomes(Off));
    EXPECT_TRUE(WaitFor([&] { return !reader.seen().bbt; }));
}

TEST_F(JackTransport, FollowsAgainOnceARestartedServerAnswers) {
    JackFrames frames;
    JackTransportClock clock(frames);
    auto master = std::make_unique<TestClient>(true);
    master->roll(true);
    ASSERT_TRUE(WaitFor([&] { return clock.read().present; }));

    m_jack.kill();
    Abandon(std::move(master));
    ASSERT_TRUE(WaitFor([&] { return !clock.connected() && !clock.read().present; }));
    EXPECT_EQ(clock.read().bpm, 120.0);
    ASSERT_TRUE(m_jack.start());
    master = std::make_unique<TestClient>(true);
    master->setRow({100.0});
    master->roll(true);
    EXPECT_TRUE(WaitFor([&] { return clock.read().rolling && clock.read().bpm == 100.0; }));
}

} // namespace
} // namespace mt::test
