#pragma once

#include "core/TapClock.h"
#include "media/mmt/TapTimer.h"

namespace mt {

// The tap counter's clock on the program's periodic timer.
class TimerTapClock final : public TapClock {
public:
    static constexpr std::int32_t kTickMs = 20;

    explicit TimerTapClock(TapTimer& mmt) : m_mmt(mmt) {}

    void start() override {
        if (!m_mmt.tapTimerRunning) {
            m_mmt.tapClock = 0;
            m_mmt.StartTapTimer(kTickMs);
        }
    }
    void stop() override {
        m_mmt.StopTapTimer();
        m_mmt.tapClock = 0; // only while stopped
    }
    bool running() const override { return m_mmt.tapTimerRunning; }
    std::int32_t elapsedMs() const override { return m_mmt.tapClock.load(); }

private:
    TapTimer& m_mmt;
};

} // namespace mt
