#pragma once

#include <array>
#include <cstddef>

namespace mt {

// The host time of an audio stream's frames, from the times its callbacks began: a least
// squares line through the last kPoints (device frame, host microseconds) pairs, so the
// scheduler's jitter in waking the callback averages out while a drift between the device's
// clock and the host's is followed. Fixed storage; realtime-safe.
class HostTimeFilter {
public:
    static constexpr std::size_t kPoints = 512;

    void reset() noexcept { m_count = 0; }
    // A callback for the block starting at device frame `frame` began at host time `micros`.
    void add(double frame, double micros) noexcept {
        m_points[m_next] = {frame, micros};
        m_next = (m_next + 1) % kPoints;
        if (m_count < kPoints) {
            ++m_count;
        }
    }
    // The host time of device frame `frame` on the line, and the microseconds per device frame
    // along it; `nominal` (microseconds per frame) until two points make a line.
    void place(double frame, double nominal, double& micros, double& perFrame) const noexcept {
        if (m_count < 2) {
            perFrame = nominal;
            micros = m_count == 0 ? 0.0 : latest().micros + (frame - latest().frame) * nominal;
            return;
        }
        // Centred on the latest point: the sums stay small where frames and microseconds are
        // large.
        const Point origin = latest();
        double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
        for (std::size_t i = 0; i < m_count; ++i) {
            const double x = m_points[i].frame - origin.frame;
            const double y = m_points[i].micros - origin.micros;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        const double n = static_cast<double>(m_count);
        const double spread = n * sxx - sx * sx;
        perFrame = spread > 0.0 ? (n * sxy - sx * sy) / spread : nominal;
        if (!(perFrame > 0.5 * nominal && perFrame < 2.0 * nominal)) {
            perFrame = nominal; // a line bent by a stall: trust the rate
        }
        const double intercept = (sy - perFrame * sx) / n;
        micros = origin.micros + intercept + (frame - origin.frame) * perFrame;
    }

private:
    struct Point {
        double frame;
        double micros;
    };
    const Point& latest() const noexcept { return m_points[(m_next + kPoints - 1) % kPoints]; }

    std::array<Point, kPoints> m_points{};
    std::size_t m_next = 0;
    std::size_t m_count = 0;
};

} // namespace mt
