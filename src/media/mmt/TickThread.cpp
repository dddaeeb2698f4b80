#include "media/mmt/TickThread.h"

#include <system_error>

namespace mt {

TickThread::~TickThread() {
    stop();
}

bool TickThread::start(Duration period, std::function<void()> tick) {
    if (running() || period <= Duration::zero() || !tick) {
        return false;
    }
    m_tick = std::move(tick);
    m_stop.store(false);
    // Read here rather than on the new thread, so the first deadline does not move by however
    // long the thread takes to start.
    const TickClock::TimePoint start = m_clock.now();
    m_clock.attach();
    try {
        m_thread = std::thread([this, start, period] { run(start, period); });
    } catch (const std::system_error&) {
        m_clock.detach();
        m_tick = nullptr;
        return false;
    }
    return true;
}

void TickThread::stop() {
    if (!running()) {
        return;
    }
    m_stop.store(true);
    m_clock.wake();
    m_thread.join();
    m_clock.detach();
    m_tick = nullptr;
}

void TickThread::run(TickClock::TimePoint start, Duration period) {
    TickClock::TimePoint deadline = start + period;
    while (!m_stop.load()) {
        m_clock.sleepUntil(deadline, m_stop);
        const TickClock::TimePoint now = m_clock.now();
        while (deadline <= now && !m_stop.load()) {
            m_tick();
            deadline += period;
        }
    }
}

} // namespace mt
