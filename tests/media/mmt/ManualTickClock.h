#pragma once

#include "media/mmt/TickClock.h"

#include <condition_variable>
#include <mutex>

namespace mt::test {

// A TickClock that stands still until the test moves it. advance() returns only once the
// tick thread attached to it has made every tick now due and sleeps again, so a test reads
// the result of a span of time at once and without sleeping.
class ManualTickClock final : public TickClock {
public:
    TimePoint now() const override {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }

    void sleepUntil(TimePoint deadline, const std::atomic<bool>& stop) override {
        std::unique_lock lock(m_mutex);
        m_sleeping = true;
        m_deadline = deadline;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return stop.load() || m_now >= deadline; });
        m_sleeping = false;
    }

    void wake() override {
        const std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    void attach() override {
        const std::lock_guard lock(m_mutex);
        ++m_threads;
    }
    void detach() override {
        const std::lock_guard lock(m_mutex);
        --m_threads;
    }

    // Moves the time on by `step` and waits for the ticks it makes due.
    void advance(Duration step) {
        std::unique_lock lock(m_mutex);
        m_now += step;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_threads == 0 || (m_sleeping && m_deadline > m_now); });
    }

    // Moves the time on in `steps` equal parts, as a clock read at those moments would.
    void advanceInSteps(Duration total, int steps) {
        for (int i = 0; i < steps; ++i) {
            advance(total / steps);
        }
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TimePoint m_now{};
    TimePoint m_deadline{};
    bool m_sleeping = false;
    int m_threads = 0;
};

} // namespace mt::test
