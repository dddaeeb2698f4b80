#pragma once

#include "midiin/MidiClockIn.h"
#include "midiin/MidiClockOut.h"
#include "midiin/MidiDispatcher.h"
#include "midiin/MidiMapping.h"
#include "midiin/MidiPorts.h"
#include "midiin/VelocityCurve.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace mt {

class BeatClock;
class FrameClock;
class PerformanceInput;
class SettingsStore;

// What a pad's light shows: a track's state, sent as a note-on of this state's velocity.
// Armed: its start or stop waits for the beat clock's grid.
enum class PadState { Empty, Loaded, Playing, Held, Armed };

// MIDI controllers playing the performance: the ports, the mapping with its learn, the
// velocity curve and the pads' lights, kept in the program's own settings section.
// Everything received becomes calls on the PerformanceInput given (on RtMidi's threads, see
// its threading contract). Every method here is for the UI thread; none of them waits on the
// MIDI system beyond opening and closing the ports.
class MidiInput {
public:
    explicit MidiInput(PerformanceInput& sink);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Once, before start(): the MIDI clock out follows `clock`, whose grid counts `frames`'
    // output frames, and the clock in places its ticks on those frames; both outlive this.
    // Until then there is no clock out, and the clock in times its ticks on the host's clock.
    void attachClock(const BeatClock& clock, const FrameClock& frames);
    // The MIDI clock out on the output port; null before attachClock.
    ClockSender* clockSender() { return m_clockOut.get(); }
    // The MIDI clock any input port receives, as a clock to follow.
    MidiClockIn& clockIn() { return m_clockIn; }

    // The stored mapping, curve, pad velocities, chosen source and hardware choice; what is
    // missing or unreadable keeps its default.
    void loadSettings(const SettingsStore& store, const QString& app);
    void saveSettings(SettingsStore& store, const QString& app) const;

    // Opens the ports on the stored system (or `system` when given). False when MIDI cannot
    // be used; status() says why.
    bool start(std::optional<MidiSystem> system = std::nullopt);
    // Closes the ports; a MIDI clock that is sending stops first.
    void stop();
    QString status() const { return m_ports.message(); }
    // Any thread: the channel messages received so far.
    std::uint32_t received() const { return m_dispatcher.received(); }
    // Any thread: the messages lost on the way in so far (see MidiDispatcher::dropped).
    std::uint32_t dropped() const { return m_dispatcher.dropped(); }

    QStringList sources() const { return m_ports.sources(); }
    QStringList connectedSources() const { return m_ports.connectedSources(); }
    QString chosenSource() const { return m_chosen; }
    void chooseSource(const QString& name);
    bool connectsHardware() const { return m_connectHardware; }
    void setConnectHardware(bool connect);

    MidiMapping mapping() const { return m_dispatcher.mapping(); }
    void setMapping(const MidiMapping& mapping) { m_dispatcher.setMapping(mapping); }
    VelocityCurve curve() const { return m_dispatcher.curve(); }
    void setCurve(const VelocityCurve& curve) { m_dispatcher.setCurve(curve); }
    void learn(const MidiAction& action, CcMode mode = CcMode::Absolute) {
        m_dispatcher.learn(action, mode);
    }
    void cancelLearn() { m_dispatcher.cancelLearn(); }

    // The velocity a pad is lit with in each state (0 = dark).
    void setPadVelocities(const std::array<int, 5>& velocities) { m_padVelocities = velocities; }
    // Lights the track's pad (the note or controller that presses it) for its new state.
    void trackStateChanged(int track, PadState state);

private:
    MidiClockIn m_clockIn; // first: the ports' threads feed it until they close
    MidiDispatcher m_dispatcher;
    MidiPorts m_ports;
    MidiSystem m_system = MidiSystem::Auto;
    QString m_chosen;
    bool m_connectHardware = true;
    std::array<int, 5> m_padVelocities{0, 20, 127, 80, 50};
    std::unique_ptr<MidiClockOut> m_clockOut; // sends through m_ports, so goes before them
};

} // namespace mt
