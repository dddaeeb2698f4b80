#include "media/mmt/TapClock.h"

#include "media/mmt/TickThread.h"

namespace mt {

const QString TapClock::kTimerFailedMessage = QStringLiteral(
    "すいません。ＣＤカウンターでエラーでちゃいました(^^;)このメッセージ見た人はメールください");

TapClock::TapClock(std::function<void(const QString&)> showMessage)
    : m_showMessage(std::move(showMessage)), m_timer(std::make_unique<TickThread>(m_steadyClock)) {}

TapClock::~TapClock() {
    StopTapTimer();
}

void TapClock::StartTapTimer(std::int32_t resolution) {
    if (tapTimerRunning) {
        return;
    }
    tapTimerResolution = resolution;
    const bool started = resolution > 0 && m_timer->start(std::chrono::milliseconds(resolution),
                                                          [this] { TapTimerProc(); });
    if (!started) {
        if (m_showMessage) {
            m_showMessage(kTimerFailedMessage);
        }
        return;
    }
    tapTimerRunning = true;
}

void TapClock::StopTapTimer() {
    if (!tapTimerRunning) {
        return;
    }
    m_timer->stop();
    tapTimerRunning = false;
}

void TapClock::useTimer(std::unique_ptr<PeriodicTimer> timer) {
    StopTapTimer();
    m_timer = std::move(timer);
}

} // namespace mt
