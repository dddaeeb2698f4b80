#include "midiin/MidiClockIn.h"

#include "core/FrameClock.h"

#include <QtGlobal>

#include <cmath>

namespace mt {

void MidiClockIn::attach(const FrameClock& frames) {
    m_frames = &frames;
    followOutput();
}

void MidiClockIn::followOutput() const {
    if (m_frames == nullptr) {
        return;
    }
    std::shared_ptr<const OutputClock> output = m_frames->outputClock();
    if (output.get() != m_output.load(std::memory_order_relaxed)) {
        if (output) {
            m_outputs.push_back(output);
        }
        m_output.store(output.get(), std::memory_order_release);
    }
}

void MidiClockIn::receive(const MidiClockEvent& event, const MidiArrival& arrival,
                          const void* source) noexcept {
    const double now = OutputClock::HostMicros();
    const double micros = arrival.hostMicros > 0.0 ? arrival.hostMicros : now;
    const OutputClock* output = m_output.load(std::memory_order_acquire);
    double frame = micros;
    int rate = 1'000'000;
    if (output != nullptr && output->rate() > 0) {
        rate = output->rate();
        const bool placed = (arrival.onDevice &&
                             output->frameOfDevice(arrival.deviceFrame, output->frames(), frame)) ||
                            output->frameAtHostTime(micros, frame);
        if (!placed) {
            if (output != m_estimated) {
                m_mixTime = {};
                m_estimated = output;
            }
            m_mixTime.observe(std::llround(now * 1000.0), output->frames(), rate);
            frame = static_cast<double>(m_mixTime.frameAt(std::llround(micros * 1000.0)));
        }
    }
    if (m_follower.take(event, source, frame, rate)) {
        m_tickMicros = micros;
    }
    m_published.write({m_follower.reading(), m_tickMicros, m_follower.faults()});
}

ClockReading MidiClockIn::read() const {
    followOutput();
    const Published published = m_published.read();
    ClockReading reading = published.reading;
    if (OutputClock::HostMicros() - published.tickMicros > ClockFollower::kQuietSeconds * 1e6) {
        reading.present = false;
    }
    for (int kind = 0; kind < ClockFollower::kFaultKinds; ++kind) {
        const std::uint32_t bit = 1U << kind;
        if ((published.faults & bit) != 0 && (m_logged & bit) == 0) {
            m_logged |= bit;
            qWarning("%s", ClockFollower::faultText(static_cast<ClockFollower::Fault>(kind)));
        }
    }
    return reading;
}

} // namespace mt
