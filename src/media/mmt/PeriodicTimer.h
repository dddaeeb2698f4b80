#pragma once

#include <chrono>
#include <functional>

namespace mt {

// A periodic timer that calls a function on a thread of its own until stopped: what the tap
// counter's clock runs on. The program's is a TickThread; tests may pass one that cannot start.
class PeriodicTimer {
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~PeriodicTimer() = default;

    // UI thread. Starts calling `tick` every `period`, the first time one period from now;
    // `tick` must not throw. False when the timer could not start (nothing runs then).
    virtual bool start(Duration period, std::function<void()> tick) = 0;

    // UI thread. Returns once no call of `tick` runs or will run. Does nothing when stopped.
    virtual void stop() = 0;
};

} // namespace mt
