#pragma once

#include "midiin/ControllerBank.h"
#include "midiin/MidiInput.h"
#include "midiin/PerformanceInput.h"

#include <QObject>

#include <atomic>

namespace mt {

struct AppContext;
class MainWindow;

// MIDI controllers in the running program. What the ports receive on RtMidi's threads is
// done to the bank by the ControllerBank (which also lights the pads from it): straight away
// on the MIDI thread when the UI thread has lent the core out (it is painting or idle, see
// CoreAccess) and no call posted earlier is still waiting, else posted to the UI thread as it
// comes; either way in the order it was played. Panic and a finished learn are always posted.
// The panic key on the performance windows. The ports, mapping and curve are the
// MidiInput's, stored in the program's own settings section. Constructed and used on the UI
// thread.
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

    // Escape on the main or the play-mode window as the panic key.
    void attachWindow(MainWindow& main);

    // UI thread: every track, the preview, the CD and the MIDI song fade out.
    void panicNow();

    // PerformanceInput: RtMidi's threads, posted to the UI thread.
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
    template <typename F> void post(F&& call);
    // The call now when the core can be borrowed and nothing posted is still waiting; else
    // posted.
    template <typename F> void run(F&& call);

    AppContext& m_app;
    MainWindow* m_main = nullptr;
    std::atomic<int> m_posted{0}; // calls posted and not yet run
    MidiInput m_input{*this};     // its ports close (in the destructor) before the rest goes
    ControllerBank m_control;
};

} // namespace mt
