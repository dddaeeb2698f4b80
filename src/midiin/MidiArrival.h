#pragma once

#include <cstdint>

namespace mt {

// When a chunk of MIDI arrived, as its port can tell, for what keeps time by it (the MIDI
// clock in): on JACK, the server's frame of the event (its frame time, modulo 2^32), at which
// the output's frames can be placed; on every system, the host time of its arrival in
// microseconds of the raw monotonic clock (OutputClock::HostMicros), 0 when the port does not
// say (the receiver takes the time it is handed the chunk).
struct MidiArrival {
    bool onDevice = false;
    std::uint32_t deviceFrame = 0;
    double hostMicros = 0.0;
};

} // namespace mt
