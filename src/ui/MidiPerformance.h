#pragma once

#include "midiin/MidiInput.h"
#include "midiin/PerformanceInput.h"

#include <QObject>

#include <array>
#include <functional>

namespace mt {

struct AppContext;
class MainWindow;

// MIDI controllers playing the track bank. What the ports receive arrives on RtMidi's threads
// and is posted to the UI thread as it comes (a queued call, never waiting for a redraw),
// where it does what the keys and bars do: a pad presses and releases its track as its key
// would, with the velocity's level on top of the Vol bar; a knob moves a bar through the
// bank, so the bar on screen follows; panic fades everything out. The pads are lit from the
// bank's signals. The ports, mapping and curve are the MidiInput's, stored in the program's
// own settings section. Constructed and used on the UI thread.
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
    void lightPad(int track, bool always);

    AppContext& m_app;
    MainWindow* m_main = nullptr;
    std::array<int, 8> m_lit{}; // the state each pad was last lit for, -1 for none
    MidiInput m_input{*this};   // last: its ports close before the rest goes
};

} // namespace mt
