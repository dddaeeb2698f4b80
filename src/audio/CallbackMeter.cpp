#include "audio/CallbackMeter.h"

#include <algorithm>
#include <chrono>

namespace mt {
namespace {

constexpr double kNanos = 1e-9;
// Audio handed over beyond the server's queue, with no wait, before a stream counts as spinning.
constexpr double kSpinSeconds = 0.1;

} // namespace

std::int64_t SteadyNanos() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CallbackMeter::reset(int deviceRate, int blockFrames, double queueSeconds,
                          std::int64_t now) noexcept {
    m_rate = std::max(deviceRate, 1);
    m_blockSeconds = static_cast<double>(std::max(blockFrames, 1)) / m_rate;
    m_queueSeconds = std::max(queueSeconds, 0.0);
    m_started = false;
    m_steady = false;
    m_underruns.store(0, std::memory_order_relaxed);
    m_lastCallback.store(now, std::memory_order_relaxed);
    m_peakLoad.store(0.0f, std::memory_order_relaxed);
    m_spinning.store(false, std::memory_order_relaxed);
}

bool CallbackMeter::enter(std::int64_t now, bool deviceUnderflow) noexcept {
    m_lastCallback.store(now, std::memory_order_relaxed);
    if (m_spinning.load(std::memory_order_relaxed)) {
        return false;
    }
    if (deviceUnderflow && m_started) {
        // A JACK server flags every client for any late cycle in its graph (another client's,
        // or the graph changing as clients come and go). Ours lost something only when its own
        // cycle came late, or the last one ran past its period.
        const double since = static_cast<double>(now - m_enteredAt) * kNanos;
        const double ran = static_cast<double>(m_leftAt - m_enteredAt) * kNanos;
        if (since > 1.5 * m_blockSeconds || ran > m_blockSeconds) {
            m_underruns.fetch_add(1, std::memory_order_relaxed);
        }
    }
    m_enteredAt = now;
    if (!m_started) {
        m_started = true;
        m_leftAt = m_anchorAt = m_waitedAt = now;
        m_anchorQueue = 0.0;
        m_sinceAnchor = m_sinceWait = 0;
        return true;
    }
    const double gap = static_cast<double>(now - m_leftAt) * kNanos;
    // A device paces its callbacks by waiting: for room in the server's queue, or for the
    // next period. No wait at all for longer than the queue can hold is a write that fails.
    const bool waited = gap >= 0.25 * m_blockSeconds;
    if (waited) {
        m_waitedAt = now;
        m_sinceWait = 0;
    } else {
        const double ahead = static_cast<double>(m_sinceWait) / m_rate -
                             static_cast<double>(now - m_waitedAt) * kNanos;
        if (ahead > m_queueSeconds + kSpinSeconds) {
            m_spinning.store(true, std::memory_order_relaxed);
            return false;
        }
    }
    if (m_queueSeconds > 0.0) {
        const double queue = m_anchorQueue + static_cast<double>(m_sinceAnchor) / m_rate -
                             static_cast<double>(now - m_anchorAt) * kNanos;
        const double tolerance = std::max(0.001, 0.5 * m_blockSeconds);
        const bool ordinaryWait = waited && gap <= 1.25 * m_blockSeconds;
        double next = std::clamp(queue, 0.0, m_queueSeconds);
        if (queue < -tolerance && m_steady) {
            m_underruns.fetch_add(1, std::memory_order_relaxed);
            next = 0.0; // the server played silence and starts again from empty
        } else if (ordinaryWait) {
            next = m_queueSeconds; // an ordinary wait for room: the queue is full again
            // Until now the server may have held the new stream back (a sink waking up);
            // from here on it plays in real time.
            m_steady = true;
        }
        m_anchorAt = now;
        m_anchorQueue = next;
        m_sinceAnchor = 0;
    }
    return true;
}

void CallbackMeter::leave(std::int64_t now, std::size_t frames) noexcept {
    m_sinceAnchor += frames;
    m_sinceWait += frames;
    m_leftAt = now;
    if (frames == 0) {
        return;
    }
    const double period = static_cast<double>(frames) / m_rate;
    const auto load = static_cast<float>(static_cast<double>(now - m_enteredAt) * kNanos / period);
    float peak = m_peakLoad.load(std::memory_order_relaxed);
    while (load > peak &&
           !m_peakLoad.compare_exchange_weak(peak, load, std::memory_order_relaxed)) {
    }
}

} // namespace mt
