#pragma once

#include "core/ClockSender.h"
#include "midiin/ClockTrain.h"
#include "midiin/MidiPorts.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

namespace mt {

class BeatClock;
class FrameClock;

// The beat clock as MIDI clock on the program's output port, for gear that follows us (a drum
// machine): 24 ticks a beat, Start, Continue, Stop and Song Position. Nothing goes out until
// the performer starts it. On JACK each message is written at its own frame of the server's
// cycle, placed through the output's frame clock; on the ALSA sequencer a thread of its own
// sleeps until each one is due by the wall clock and sends it at once (as timely as the
// system's timers). The beat clock's grid goes to the sender whenever it changes; the ticks
// follow it without a gap or a tick twice.
// UI thread only; none of it waits on the MIDI system, but detach() for a moment.
class MidiClockOut final : public QObject, public ClockSender {
    Q_OBJECT

public:
    // `clock`'s grid counts `frames`' output frames. All three outlive this.
    MidiClockOut(MidiPorts& ports, const BeatClock& clock, const FrameClock& frames);
    ~MidiClockOut() override;
    MidiClockOut(const MidiClockOut&) = delete;
    MidiClockOut& operator=(const MidiClockOut&) = delete;

    // Nothing while the ports are closed, or before the output has ever run (no grid).
    void start() override;
    void stop() override;
    void resume() override;
    bool sending() const override { return m_sending; }

    // The ports have opened: the clock goes out through them from now on.
    void attach();
    // The ports are about to close: a clock that is sending stops (the Stop goes out first,
    // waited for at most a few cycles) and nothing more is sent through them.
    void detach();

private:
    // The grid changed: the ticks to come follow it.
    void follow();
    // Timer: resends the grid when the output was made anew or changed its rate (the beat
    // clock moves its grid for that only when asked), and posts what a full ring refused.
    void poll();
    // The plan with the grid and output as they are now, to the sender.
    void post(ClockPlan::Transport transport, double beat = 0.0, std::uint16_t songPosition = 0);
    void flush();
    // JACK: until the sender has taken every plan and finished the cycle that wrote them, or
    // kStopWait at most (a server that went runs no cycle).
    void waitSent() const;
    // The first beat at or after the output's horizon that is a multiple of `step` beats.
    double nextBeat(const BeatGrid& grid, double step) const;
    void runAlsa(); // the ALSA sender's thread

    MidiPorts& m_ports;
    const BeatClock& m_clock;
    const FrameClock& m_frames;
    ClockTrain m_train;
    bool m_attached = false;
    bool m_sending = false;
    bool m_started = false;   // a Start has gone since the ports opened
    double m_startBeat = 0.0; // where it went
    BeatGrid m_sentGrid;
    const OutputClock* m_sentOutput = nullptr;
    // Every output clock handed to a sender, kept while one may read it.
    std::vector<std::shared_ptr<const OutputClock>> m_outputs;
    std::deque<ClockPlan> m_unposted; // refused by a full ring, posted by poll()
    std::uint64_t m_posted = 0;       // plans the ring took
    QTimer m_poll;

    // The ALSA sender, which sleeps until the next message is due or kAlsaIdleNs has gone.
    std::thread m_alsa;
    std::atomic<bool> m_quit{false};
};

} // namespace mt
