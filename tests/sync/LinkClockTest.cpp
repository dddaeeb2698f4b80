// LinkClock in a session with a Link peer of the test's own, over loopback in a private network
// namespace; renders are driven from a thread of the test's with the output placed on the host
// clock as the engine places it.
#include "sync/LinkClock.h"
#include "audio/OutputClock.h"
#include "core/FrameClock.h"
#include "support/PrivateNetwork.h"

#include <ableton/Link.hpp>

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace mt::test {
namespace {

constexpr int kRate = 48000;

// The output: a frame is heard 5 ms after the host time it is reached; a thread renders every
// millisecond once started.
class Output final : public FrameClock {
public:
    Output() { m_clock->setHostPlace(0.0, m_start + 5000.0, kRate / 1e6); }
    ~Output() override { stopRendering(); }
    int frameRate() const override { return kRate; }
    std::int64_t frameHorizon() const override { return m_clock->frames() + 256; }
    std::shared_ptr<const OutputClock> outputClock() const override { return m_clock; }

    void startRendering(BlockListener& listener) {
        m_thread = std::thread([this, &listener] {
            for (; !m_stop.load(); std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
                const auto frame =
                    std::llround((OutputClock::HostMicros() - m_start) * kRate / 1e6);
                m_clock->setFrames(frame);
                listener.renderStarts(frame, kRate, *m_clock);
            }
        });
    }
    void stopRendering() {
        m_stop.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // How far apart in beats the reading's beat and `peer`'s are now, modulo the bar.
    double phaseGap(const ClockReading& r, ableton::Link& peer) const {
        const double now = OutputClock::HostMicros();
        double frame = 0.0;
        m_clock->frameAtHostTime(now, frame);
        const double ours = r.beat + (frame - static_cast<double>(r.frame)) * r.bpm / 60.0 / kRate;
        const double theirs = peer.captureAppSessionState().beatAtTime(
            std::chrono::microseconds(std::llround(now)), r.beatsPerBar);
        return std::fabs(std::remainder(ours - theirs, r.beatsPerBar));
    }

private:
    std::shared_ptr<OutputClock> m_clock = std::make_shared<OutputClock>();
    double m_start = OutputClock::HostMicros();
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void SetTempo(ableton::Link& link, double bpm) {
    auto state = link.captureAppSessionState();
    state.setTempo(bpm, link.clock().micros());
    link.commitAppSessionState(state);
}

template <typename F> bool WaitFor(F done) {
    for (int i = 0; i < 2500 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// Qt's warnings while the handler below is in; LinkClock logs on the thread that reads it.
QStringList g_warnings;

class LinkClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = NoPrivateNetwork(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        m_clock = std::make_unique<LinkClock>(m_output, 120.0);
        m_peer = std::make_unique<ableton::Link>(100.0);
        m_clock->setBeatsPerBar(4);
        m_clock->setEnabled(true);
        m_peer->enable(true);
        ASSERT_TRUE(WaitFor([this] { return m_clock->read().present; }))
            << "the peer was not found over loopback";
    }
    // The renders end before the clock goes.
    void TearDown() override { m_output.stopRendering(); }

    Output m_output;
    // Made only in a private network: Link is never so much as made on the machine's.
    std::unique_ptr<LinkClock> m_clock;
    std::unique_ptr<ableton::Link> m_peer;
};

// Tempo both ways and the beat's phase, read from the session (nothing renders) and from the
// renders; the peer leaving keeps the tempo.
TEST_F(LinkClockTest, SharesTempoAndPhaseWithAPeer) {
    EXPECT_EQ(m_clock->read().peers, 1);
    for (const bool rendering : {false, true}) {
        if (rendering) {
            m_output.startRendering(*m_clock);
        }
        const double bpm = rendering ? 133.0 : 87.5;
        SetTempo(*m_peer, bpm);
        ASSERT_TRUE(WaitFor([&] { return std::fabs(m_clock->read().bpm - bpm) < 1e-3; }))
            << m_clock->read().bpm;
        // Link's clocks converge over its first measurements.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const ClockReading r = m_clock->read();
        EXPECT_TRUE(r.present && r.rolling);
        EXPECT_EQ(r.beatsPerBar, 4);
        EXPECT_LT(m_output.phaseGap(r, *m_peer), 0.002) << "rendering " << rendering;
    }
    m_clock->offerTempo(141.0);
    EXPECT_TRUE(WaitFor(
        [&] { return std::fabs(m_peer->captureAppSessionState().tempo() - 141.0) < 1e-3; }));

    m_peer->enable(false);
    ASSERT_TRUE(WaitFor([&] { return !m_clock->read().present; }));
    EXPECT_EQ(m_clock->read().peers, 0);
    EXPECT_NEAR(m_clock->read().bpm, 141.0, 1e-3);
}

// With start/stop sync on both sides the reading rolls only while the session plays, and our
// Start reaches the peer.
TEST_F(LinkClockTest, FollowsTheSessionsTransport) {
    m_output.startRendering(*m_clock);
    m_peer->enableStartStopSync(true);
    m_clock->setStartStopSync(true);
    EXPECT_TRUE(WaitFor([&] { return !m_clock->read().rolling; }));
    m_clock->setPlaying(true);
    EXPECT_TRUE(WaitFor([&] { return m_peer->captureAppSessionState().isPlaying(); }));
    EXPECT_TRUE(m_clock->read().rolling);
    auto state = m_peer->captureAppSessionState();
    state.setIsPlaying(false, m_peer->clock().micros());
    m_peer->commitAppSessionState(state);
    EXPECT_TRUE(WaitFor([&] { return !m_clock->read().rolling; }));
}

// A peer whose tempo climbs every 10 ms, past the top of our range: each reading is within
// range, a tempo read and offered back never reaches the session (it would pull the peer's
// tempo back down), and each kind of trouble is logged once.
TEST_F(LinkClockTest, RestlessOrWildTempoIsFollowedNotEchoed) {
    g_warnings.clear();
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& line) { g_warnings << line; });
    m_output.startRendering(*m_clock);
    double bpm = 201.0;
    double beat = -1e9;
    for (int step = 0; step < 150; ++step, bpm += 2.0) {
        // An echo would have pulled the peer's session back below what it set last.
        EXPECT_TRUE(step == 0 || m_peer->captureAppSessionState().tempo() > bpm - 2.001);
        SetTempo(*m_peer, bpm);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const ClockReading r = m_clock->read();
        ASSERT_GE(r.bpm, LinkClock::kMinBpm);
        ASSERT_LE(r.bpm, LinkClock::kMaxBpm);
        EXPECT_EQ(r.rolling, r.bpm < LinkClock::kMaxBpm) << r.bpm;
        EXPECT_GE(r.beat, beat);
        beat = r.beat;
        m_clock->offerTempo(r.bpm);
    }
    ASSERT_TRUE(WaitFor([&] { return m_clock->read().bpm == LinkClock::kMaxBpm; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(m_peer->captureAppSessionState().tempo(), bpm - 2.0, 1e-3);
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(g_warnings.filter(QStringLiteral("outside")).size(), 1);
    EXPECT_EQ(g_warnings.filter(QStringLiteral("within a second")).size(), 1);
}

} // namespace
} // namespace mt::test
