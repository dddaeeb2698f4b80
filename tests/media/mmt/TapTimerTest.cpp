#include "media/mmt/TapTimer.h"
#include "media/mmt/TickThread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace mt {
namespace {

using namespace std::chrono_literals;

// A TickClock moved by the test; advance() returns once the thread made every due tick.
struct ManualTickClock final : TickClock {
    TimePoint now() const override {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }
    void sleepUntil(TimePoint deadline, const std::atomic<bool>& stop) override {
        std::unique_lock lock(m_mutex);
        m_deadline = deadline;
        m_sleeping = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return stop.load() || m_now >= deadline; });
        m_sleeping = false;
    }
    void wake() override { change(0); }
    void attach() override { change(1); }
    void detach() override { change(-1); }
    void advance(Duration step) {
        std::unique_lock lock(m_mutex);
        m_now += step;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_threads == 0 || (m_sleeping && m_deadline > m_now); });
    }
    void change(int threads) {
        const std::lock_guard lock(m_mutex);
        m_threads += threads;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TimePoint m_now{};
    TimePoint m_deadline{};
    bool m_sleeping = false;
    int m_threads = 0;
};

// Twenty per tick on a 20 ms grid from the start: a late wake-up makes up what it missed.
TEST(TapTimer, CountsTwentyPerTickOnAGridFromItsStart) {
    ManualTickClock clock; // outlives the module and its thread
    TapTimer mmt([](const QString&) { FAIL(); });
    mmt.useTimer(std::make_unique<TickThread>(clock));
    const auto after = [&](std::chrono::milliseconds step) {
        clock.advance(step);
        return mmt.tapClock.load();
    };
    mmt.StartTapTimer(20);
    EXPECT_EQ(after(19ms), 0);
    EXPECT_EQ(after(1ms), 20);
    EXPECT_EQ(after(45ms), 60); // now 65
    EXPECT_EQ(after(14ms), 60);
    EXPECT_EQ(after(1ms), 80);
    mmt.StopTapTimer();
    EXPECT_EQ(after(1s), 80);
    mmt.tapClock = 0;
    mmt.StartTapTimer(20);
    EXPECT_EQ(after(19ms), 0);
    EXPECT_EQ(after(1ms), 20);
}

// The one test on real time, with loose bounds: the steady clock is slept on and woken.
TEST(TapTimer, CountsOnTheSteadyClockAndNeverTicksAfterAStop) {
    TapTimer mmt([](const QString&) {});
    mmt.StartTapTimer(20);
    std::this_thread::sleep_for(300ms);
    mmt.StopTapTimer();
    EXPECT_GE(mmt.tapClock.load(), 100) << "a late thread catches up: about 300 are due";
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
