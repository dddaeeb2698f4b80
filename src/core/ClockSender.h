#pragma once

namespace mt {

// A way the beat clock goes out to other gear (a drum machine following our MIDI clock).
// UI thread only; never waits for the gear.
class ClockSender {
public:
    virtual ~ClockSender() = default;

    // From the top: the song's position 0 and Start on the next bar line, then the clock.
    virtual void start() = 0;
    // Stop at once; the clock's ticks end with it.
    virtual void stop() = 0;
    // Where it stopped: the song's position (the clock's bars since the last start) and
    // Continue on the next sixteenth, then the clock.
    virtual void resume() = 0;
    virtual bool sending() const = 0;
};

} // namespace mt
