#pragma once

#include "midiin/PerformanceInput.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace mt::test {

// Writes down every call, one line each ("press 1 -600"), from whichever thread makes it.
class RecordingPerformance final : public PerformanceInput {
public:
    void press(int track, int gain) override {
        note(QStringLiteral("press %1 %2").arg(track).arg(gain));
    }
    void release(int track) override { note(QStringLiteral("release %1").arg(track)); }
    void setVolume(int track, int v) override {
        note(QStringLiteral("volume %1 %2").arg(track).arg(v));
    }
    void setPan(int track, int v) override { note(QStringLiteral("pan %1 %2").arg(track).arg(v)); }
    void setSpeed(int track, int v) override {
        note(QStringLiteral("speed %1 %2").arg(track).arg(v));
    }
    void moveVolume(int track, int d) override {
        note(QStringLiteral("volume %1 by %2").arg(track).arg(d));
    }
    void movePan(int track, int d) override {
        note(QStringLiteral("pan %1 by %2").arg(track).arg(d));
    }
    void moveSpeed(int track, int d) override {
        note(QStringLiteral("speed %1 by %2").arg(track).arg(d));
    }
    void panic() override { note(QStringLiteral("panic")); }
    void learned(const MidiAction& action, const MidiTrigger& trigger) override {
        note(QStringLiteral("learned %1 %2")
                 .arg(MidiMapping::actionName(action), MidiMapping::triggerText(trigger)));
    }

    // Takes the calls made so far, waiting up to `ms` for at least `count` of them.
    std::vector<std::string> take(std::size_t count = 0, int ms = 3000) {
        std::unique_lock lock(m_mutex);
        // The system clock: GCC 12's ThreadSanitizer misses the steady clock's wait.
        m_changed.wait_until(lock, std::chrono::system_clock::now() + std::chrono::milliseconds(ms),
                             [&] { return m_calls.size() >= count; });
        std::vector<std::string> calls;
        calls.swap(m_calls);
        return calls;
    }

private:
    void note(const QString& call) {
        {
            const std::lock_guard lock(m_mutex);
            m_calls.push_back(call.toStdString());
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
};

} // namespace mt::test
