#include "media/mmt/TickClock.h"

namespace mt {

TickClock::TimePoint SteadyTickClock::now() const {
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SteadyTickClock::sleepUntil(TimePoint deadline, const std::atomic<bool>& stop) {
    std::unique_lock lock(m_mutex);
    // The flag is read under the mutex that wake() takes, so a stop set just before the wait
    // begins is never missed.
    m_wake.wait_until(lock, deadline, [&stop] { return stop.load(); });
}

void SteadyTickClock::wake() {
    const std::lock_guard lock(m_mutex);
    m_wake.notify_all();
}

} // namespace mt
