#pragma once

#include "core/ThreadWake.h"
#include "midiin/ControllerBank.h"
#include "midiin/InputBacklog.h"
#include "midiin/MidiInput.h"
#include "midiin/PerformanceInput.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

class QLabel;

namespace mt {

struct AppContext;
class MainWindow;

// MIDI controllers in the running program. What the ports receive on the MIDI threads is
// done to the bank by the ControllerBank (which also lights the pads from it): straight away
// on the MIDI thread when the UI thread has lent the core out (it is painting or idle, see
// CoreAccess) and nothing is waiting in the backlog, else into the backlog, which keeps the
// latest state per track and per bar and is taken whole by one call posted to the UI thread;
// so a flood can neither grow memory nor queue work for the window. Panic always goes through
// the backlog, a finished learn is posted. The panic key works on every window of ours. The ports,
// mapping and curve are the MidiInput's, stored in the program's own settings section. Constructed
// and used on the UI thread.
class MidiPerformance final : public QObject, public PerformanceInput {
    Q_OBJECT

public:
    explicit MidiPerformance(AppContext& app, QObject* parent = nullptr);
    ~MidiPerformance() override;
    MidiPerformance(const MidiPerformance&) = delete;
    MidiPerformance& operator=(const MidiPerformance&) = delete;

    // The stored settings, then the ports. False when MIDI cannot be used: the reason is in
    // input().status() and on stderr, nothing is shown.
    bool start();
    // The mapping, curve and ports as they are now, into the program's own section.
    void saveSettings();
    MidiInput& input() { return m_input; }
    // The beat clock as MIDI clock on the output port, for the sync window.
    ClockSender& clockSender() { return *m_input.clockSender(); }

    // Escape on any window of ours as the panic key.
    void attachWindow(MainWindow& main);

    // UI thread: every track, the preview, the CD and the MIDI song fade out.
    void panicNow();
    // Pad presses that reached the bank, on whichever thread ran them. Any thread.
    std::uint64_t pressesApplied() const {
        return m_pressesApplied.load(std::memory_order_acquire);
    }
    // When the last of those reached the bank: steady_clock's count, for the latency bench.
    std::int64_t lastPressApplied() const {
        return m_lastPressApplied.load(std::memory_order_relaxed);
    }

    // PerformanceInput: the MIDI threads.
    void press(int track, int velocityGainCentiDb) override;
    void release(int track) override;
    void setVolume(int track, int volumeDb) override;
    void setPan(int track, int pan) override;
    void setSpeed(int track, int speed) override;
    void moveVolume(int track, int deltaDb) override;
    void movePan(int track, int delta) override;
    void moveSpeed(int track, int delta) override;
    void panic() override;
    void learned(const MidiAction& action, const MidiTrigger& trigger) override;

signals:
    // On the UI thread, after the binding was stored.
    void learnFinished(mt::MidiAction action, mt::MidiTrigger trigger);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The call now when the core can be borrowed and the backlog is empty; else into it.
    void run(const InputBacklog::Call& call);
    // Core holder's thread.
    void apply(const InputBacklog::Call& call);
    // UI thread: everything in the backlog, the windows told once at the end.
    void drain();

    // UI thread: shows lost input for a while after it grew.
    void showDropped();

    static constexpr int kDroppedCheckMs = 250;
    static constexpr int kDroppedShownMs = 5000;

    AppContext& m_app;
    MainWindow* m_main = nullptr;
    QLabel* m_droppedNotice = nullptr;
    std::uint32_t m_droppedShown = 0;
    int m_droppedFor = 0; // checks left before the notice goes
    InputBacklog m_backlog;
    std::atomic<std::uint64_t> m_pressesApplied{0};
    std::atomic<std::int64_t> m_lastPressApplied{0};
    ThreadWake m_wake; // from the MIDI threads to drain() on the UI thread
    std::mutex m_learnedMutex;
    std::optional<std::pair<MidiAction, MidiTrigger>> m_learned; // a learn to store and tell
    MidiInput m_input{*this}; // its ports close (in the destructor) before the rest goes
    ControllerBank m_control;
};

} // namespace mt
