#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mt {

// Where the engine's frames fall on a clock in nanoseconds, for a device with no frame clock
// of its own, from how many frames the engine had mixed when it was looked at. The count runs
// ahead of time and jumps a block at a time, so the earliest placing seen is kept: the moment
// a block is mixed. It rises by kDriftPerSecond while nothing earlier is seen, so a device
// whose clock runs slower than this one is followed. One thread only.
class MixTimeEstimate {
public:
    static constexpr double kDriftPerSecond = 1e-3;

    // At `now`, the engine had mixed `mixed` frames at `rate` frames per second.
    void observe(std::int64_t now, std::int64_t mixed, int rate) noexcept {
        if (rate <= 0) {
            m_rate = 0;
            return;
        }
        const double zero = static_cast<double>(now) - static_cast<double>(mixed) * 1e9 / rate;
        m_zero = rate != m_rate
                     ? zero
                     : std::min(zero, m_zero + kDriftPerSecond * static_cast<double>(now - m_seen));
        m_rate = rate;
        m_seen = now;
    }
    // Nothing is known before the first observe() with a rate.
    bool known() const noexcept { return m_rate > 0; }
    std::int64_t nanosOf(std::int64_t frame) const noexcept {
        return std::llround(m_zero + static_cast<double>(frame) * 1e9 / m_rate);
    }
    std::int64_t frameAt(std::int64_t nanos) const noexcept {
        return std::llround((static_cast<double>(nanos) - m_zero) * m_rate / 1e9);
    }

private:
    double m_zero = 0.0; // when frame 0 was mixed, on the caller's clock
    std::int64_t m_seen = 0;
    int m_rate = 0;
};

} // namespace mt
