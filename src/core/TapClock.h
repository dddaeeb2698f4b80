#pragma once

#include <cstdint>

namespace mt {

// The clock a tap measurement reads: milliseconds since it started, counted by a tick of its
// own while it runs. UI thread only.
class TapClock {
public:
    virtual ~TapClock() = default;

    // From 0, ticking, unless it runs already. A tick that cannot start is told to the
    // performer, and the clock stays stopped.
    virtual void start() = 0;
    // Stopped (no tick runs when it returns) and back at 0. Harmless when stopped.
    virtual void stop() = 0;
    virtual bool running() const = 0;
    virtual std::int32_t elapsedMs() const = 0;
};

} // namespace mt
