#pragma once

#include "core/ExternalClock.h"
#include "midiin/ClockFollower.h"
#include "midiin/MidiArrival.h"
#include "midiin/MidiParser.h"
#include "midiin/MixTimeEstimate.h"
#include "audio/SeqLock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace mt {

class FrameClock;
class OutputClock;

// MIDI clock from any input port (ours and the sources connected to it) as a clock the beat
// clock follows. Each message is placed on the output's frames as it arrived: on JACK by the
// server's frame of the event, elsewhere by the host time of its arrival; where the output
// places neither (it has not said yet), by the frames it had mixed at that time. While no
// output runs they are timed on the host's clock (`frame` then counts its microseconds: there
// is no grid to follow then). The reading leaves the MIDI threads through a seqlock, so a
// reader never holds them up. Each kind of bad input is logged once, from the UI thread.
class MidiClockIn final : public ExternalClock {
public:
    // UI thread: the output's frames the ticks are placed on; `frames` outlives this.
    void attach(const FrameClock& frames);

    // The MIDI threads, one at a time (the dispatcher's lock). Never blocks or allocates.
    // `source` tells the ports apart.
    void receive(const MidiClockEvent& event, const MidiArrival& arrival,
                 const void* source) noexcept;

    // UI thread. Not present once no tick came for ClockFollower::kQuietSeconds. Also hands
    // the MIDI threads the output as it is now, should it have been made again.
    ClockReading read() const override;

private:
    struct Published {
        ClockReading reading;
        double tickMicros = 0.0; // host time of the last tick taken
        std::uint32_t faults = 0;
    };

    void followOutput() const;

    const FrameClock* m_frames = nullptr;
    // The output the MIDI threads place by, and every one handed to them, kept while they may
    // still read it (the UI thread's).
    mutable std::atomic<const OutputClock*> m_output{nullptr};
    mutable std::vector<std::shared_ptr<const OutputClock>> m_outputs;
    mutable std::uint32_t m_logged = 0;

    // The MIDI threads'.
    ClockFollower m_follower;
    MixTimeEstimate m_mixTime; // where neither place works
    const OutputClock* m_estimated = nullptr;
    double m_tickMicros = 0.0;

    SeqLock<Published> m_published;
};

} // namespace mt
