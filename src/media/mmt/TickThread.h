#pragma once

#include "media/mmt/PeriodicTimer.h"
#include "media/mmt/TickClock.h"

#include <atomic>
#include <functional>
#include <thread>

namespace mt {

// Calls a function periodically on a thread of its own, at the absolute deadlines
// start + n x period of a TickClock. A late wake-up (a busy machine) makes one call for every
// deadline passed, so the number of calls keeps pace with the clock instead of drifting
// behind it by the lateness of each sleep.
class TickThread final : public PeriodicTimer {
public:
    explicit TickThread(TickClock& clock) : m_clock(clock) {}
    ~TickThread() override;
    TickThread(const TickThread&) = delete;
    TickThread& operator=(const TickThread&) = delete;

    // False also when the thread could not be made, or ticks already run.
    bool start(Duration period, std::function<void()> tick) override;
    // Returns once the thread has ended.
    void stop() override;

    bool running() const { return m_thread.joinable(); }

private:
    void run(TickClock::TimePoint start, Duration period);

    TickClock& m_clock;
    std::function<void()> m_tick;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace mt
