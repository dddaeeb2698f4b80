#include "media/mmt/TapTimer.h"

#include "media/mmt/TickThread.h"

#include <QCoreApplication>

namespace mt {

const char* const TapTimer::kTimerFailedMessage = QT_TRANSLATE_NOOP(
    "mt::TapTimer",
    "すいません。ＣＤカウンターでエラーでちゃいました(^^;)このメッセージ見た人はメールください");

TapTimer::TapTimer(std::function<void(const QString&)> showMessage)
    : m_showMessage(std::move(showMessage)), m_timer(std::make_unique<TickThread>(m_steadyClock)) {}

TapTimer::~TapTimer() {
    StopTapTimer();
}

void TapTimer::StartTapTimer(std::int32_t resolution) {
    if (tapTimerRunning) {
        return;
    }
    tapTimerResolution = resolution;
    const bool started = resolution > 0 && m_timer->start(std::chrono::milliseconds(resolution),
                                                          [this] { TapTimerProc(); });
    if (!started) {
        if (m_showMessage) {
            m_showMessage(QCoreApplication::translate("mt::TapTimer", kTimerFailedMessage));
        }
        return;
    }
    tapTimerRunning = true;
}

void TapTimer::StopTapTimer() {
    if (!tapTimerRunning) {
        return;
    }
    m_timer->stop();
    tapTimerRunning = false;
}

void TapTimer::useTimer(std::unique_ptr<PeriodicTimer> timer) {
    StopTapTimer();
    m_timer = std::move(timer);
}

} // namespace mt
