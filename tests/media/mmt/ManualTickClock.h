#pragma once

#include "media/mmt/TickClock.h"

#include <condition_variable>
#include <mutex>

namespace mt::test {

// A TickClock that stands still until the test moves it. advance() returns once the tick
// thread on it has made every tick now due and sleeps again, so a span of time passes at once.
class ManualTickClock final : public TickClock {
public:
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

private:
    void change(int threads) {
        const std::lock_guard lock(m_mutex);
        m_threads += threads;
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TimePoint m_now{};
    TimePoint m_deadline{};
    bool m_sleeping = false;
    int m_threads = 0;
};

} // namespace mt::test
