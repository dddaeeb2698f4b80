#include "ManualTickClock.h"
#include "media/mmt/ModuleMMT.h"
#include "media/mmt/TickThread.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace mt {
namespace {

using namespace std::chrono_literals;
using test::ManualTickClock;

// A timer that cannot start, as when no thread can be made.
class RefusingTimer final : public PeriodicTimer {
public:
    bool start(Duration, std::function<void()>) override {
        ++attempts;
        return false;
    }
    void stop() override { ++stops; }
    int attempts = 0;
    int stops = 0;
};

class TapTimerTest : public ::testing::Test {
protected:
    TapTimerTest() { m_mmt.useTimer(std::make_unique<TickThread>(m_clock)); }

    ManualTickClock m_clock; // outlives the module and its thread
    std::vector<QString> m_messages;
    ModuleMMT m_mmt{[this](const QString& text) { m_messages.push_back(text); }};
};

TEST_F(TapTimerTest, CountsTwentyPerTickAtAbsoluteDeadlines) {
    m_mmt.StartTapTimer(20);
    ASSERT_TRUE(m_mmt.tapTimerRunning);
    m_clock.advance(19ms);
    EXPECT_EQ(m_mmt.tapClock.load(), 0);
    m_clock.advance(1ms);
    EXPECT_EQ(m_mmt.tapClock.load(), 20);

    // Woken late, the thread makes up every deadline it missed; the next one stays on the
    // grid start + n x 20 ms rather than moving to the late wake-up.
    m_clock.advance(45ms); // now 65
    EXPECT_EQ(m_mmt.tapClock.load(), 60);
    m_clock.advance(14ms); // now 79
    EXPECT_EQ(m_mmt.tapClock.load(), 60);
    m_clock.advance(1ms); // now 80
    EXPECT_EQ(m_mmt.tapClock.load(), 80);

    // Read at odd moments for a minute, the count never falls behind the time.
    m_clock.advanceInSteps(59'920ms, 8560); // 7 ms apart, now 60 000
    EXPECT_EQ(m_mmt.tapClock.load(), 60'000);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(TapTimerTest, StoppedTimerCountsNothingAndRestartsOnAFreshGrid) {
    m_mmt.StartTapTimer(20);
    m_clock.advance(50ms);
    m_mmt.StopTapTimer();
    EXPECT_FALSE(m_mmt.tapTimerRunning);
    EXPECT_EQ(m_mmt.tapClock.load(), 40);
    m_clock.advance(1s);
    EXPECT_EQ(m_mmt.tapClock.load(), 40);
    m_mmt.StopTapTimer(); // a second stop is harmless

    m_mmt.tapClock = 0;
    m_mmt.StartTapTimer(20); // at 1 050 ms: ticks due at 1 070, 1 090 ...
    m_clock.advance(19ms);
    EXPECT_EQ(m_mmt.tapClock.load(), 0);
    m_clock.advance(1ms);
    EXPECT_EQ(m_mmt.tapClock.load(), 20);
}

TEST_F(TapTimerTest, TimerThatCannotStartIsReportedAndLeavesTheCounterIdle) {
    auto refusing = std::make_unique<RefusingTimer>();
    RefusingTimer& timer = *refusing;
    m_mmt.useTimer(std::move(refusing));

    m_mmt.StartTapTimer(20);
    EXPECT_FALSE(m_mmt.tapTimerRunning);
    EXPECT_EQ(timer.attempts, 1);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], QStringLiteral("すいません。ＣＤカウンターでエラーでちゃいました(^^;)"
                                            "このメッセージ見た人はメールください"));
    m_mmt.StopTapTimer();
    EXPECT_EQ(timer.stops, 0); // nothing was running

    m_mmt.StartTapTimer(0); // no period at all never reaches the timer
    EXPECT_EQ(timer.attempts, 1);
    EXPECT_EQ(m_messages.size(), 2u);
}

TEST(TickThreadTest, RefusesAStartWhileRunningAndStopsWithoutTicking) {
    ManualTickClock clock;
    TickThread thread(clock);
    int ticks = 0;
    ASSERT_TRUE(thread.start(20ms, [&ticks] { ++ticks; }));
    EXPECT_FALSE(thread.start(20ms, [] {}));
    clock.advance(100ms);
    thread.stop();
    EXPECT_FALSE(thread.running());
    clock.advance(100ms);
    EXPECT_EQ(ticks, 5);
    EXPECT_FALSE(thread.start(0ms, [] {}));
}

// The one test on real time. Bounds are loose: a shared build machine may delay any thread,
// and a delayed thread still catches up, so the count only stays near elapsed / 20 ms.
TEST(TapTimerRealTime, CountsAboutFiftyTicksASecondOnTheSteadyClock) {
    ModuleMMT mmt([](const QString&) {});
    const auto begin = std::chrono::steady_clock::now();
    mmt.StartTapTimer(20);
    ASSERT_TRUE(mmt.tapTimerRunning);
    std::this_thread::sleep_for(1s);
    mmt.StopTapTimer();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - begin);
    const std::int32_t counted = mmt.tapClock.load();
    EXPECT_EQ(counted % 20, 0);
    EXPECT_LE(counted, elapsed.count());
    EXPECT_GE(counted, 500) << "elapsed " << elapsed.count() << " ms";

    // Starting and stopping in quick succession never hangs or ticks after the stop.
    for (int i = 0; i < 50; ++i) {
        mmt.StartTapTimer(20);
        mmt.StopTapTimer();
    }
    const std::int32_t afterStops = mmt.tapClock.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(mmt.tapClock.load(), afterStops);
}

} // namespace
} // namespace mt
