#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mt {

// The time a tick thread runs on. The program uses the steady clock and really sleeps; tests
// inject a clock they move by hand, so a tick thread runs through any span of time at once.
class TickClock {
public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    virtual ~TickClock() = default;

    // Any thread. Never blocks for long.
    virtual TimePoint now() const = 0;

    // Tick thread. Blocks until now() has reached `deadline` or `stop` is set and wake() was
    // called after setting it; returns at once when either holds already.
    virtual void sleepUntil(TimePoint deadline, const std::atomic<bool>& stop) = 0;

    // Any thread. Ends every sleepUntil whose stop flag is set.
    virtual void wake() = 0;

    // UI thread. A tick thread on this clock starts and has ended, told by its owner around
    // the thread's life. A clock moved by hand uses them to know whether to wait for ticks.
    virtual void attach() {}
    virtual void detach() {}
};

// Real time: std::chrono::steady_clock, sleeping on a condition variable.
class SteadyTickClock final : public TickClock {
public:
    TimePoint now() const override;
    void sleepUntil(TimePoint deadline, const std::atomic<bool>& stop) override;
    void wake() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace mt
