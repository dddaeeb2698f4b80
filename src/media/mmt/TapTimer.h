#pragma once

#include "media/mmt/PeriodicTimer.h"
#include "media/mmt/TickClock.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace mt {

// The tap counter's clock: tapClock counts milliseconds in steps of 20 from a periodic timer
// that runs on a thread of its own only while a measurement is under way. tapClock is the one
// datum shared with that thread; it is reset only while the timer is stopped.
class TapTimer {
public:
    static constexpr std::int32_t kTapStepMs = 20; // added per tick, whatever the period
    static const char* const kTimerFailedMessage;  // shown translated

    // `showMessage` tells the user that the timer could not start (OK only, program title).
    explicit TapTimer(std::function<void(const QString&)> showMessage);
    ~TapTimer();
    TapTimer(const TapTimer&) = delete;
    TapTimer& operator=(const TapTimer&) = delete;

    // UI thread. Starts the tick every `resolution` ms unless it runs already. When the timer
    // cannot start: the message, and tapTimerRunning stays false.
    void StartTapTimer(std::int32_t resolution);

    // UI thread. Stops the tick; when it returns no tick runs any more. Harmless when stopped.
    void StopTapTimer();

    // Tick thread: one tick of the timer. Adds the constant step, not the time measured.
    void TapTimerProc() noexcept { tapClock.fetch_add(kTapStepMs, std::memory_order_relaxed); }

    // UI thread, while stopped. Replaces the timer the ticks run on (tests: a clock moved by
    // hand, or a timer that cannot start).
    void useTimer(std::unique_ptr<PeriodicTimer> timer);

    // Milliseconds since the measurement started. Written by the tick thread while running;
    // read by the UI thread at any time, set by it only while stopped. Wraps past 2^31.
    std::atomic<std::int32_t> tapClock{0};

    bool tapTimerRunning = false;        // UI thread
    std::int32_t tapTimerResolution = 0; // the period in ms of the running timer

private:
    std::function<void(const QString&)> m_showMessage;
    SteadyTickClock m_steadyClock;
    std::unique_ptr<PeriodicTimer> m_timer;
};

} // namespace mt
