#pragma once

#include "midiin/MidiArrival.h"
#include "midiin/MidiMapping.h"
#include "midiin/MidiParser.h"
#include "midiin/VelocityCurve.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

namespace mt {

class MidiClockIn;
class PerformanceInput;

// Turns what the ports receive into calls on the performance: the mapping picks the action,
// the velocity curve the gain, and a learn in progress takes the next note or controller for
// its action instead; MIDI clock goes to the clock in, when there is one. Any thread may call
// any method; a short lock serializes them, so the calls on the PerformanceInput never overlap
// (see its threading contract).
class MidiDispatcher {
public:
    // `clock` (may be null) outlives this.
    explicit MidiDispatcher(PerformanceInput& sink, MidiClockIn* clock = nullptr);

    // The ports' threads. Parses one chunk from a port with that port's own parser and makes
    // the calls; blocks only while another port's chunk or a setter is under way. `arrival`:
    // when the chunk came, for its clock messages.
    void feed(MidiParser& parser, const std::uint8_t* bytes, std::size_t size,
              const MidiArrival& arrival = {});

    MidiMapping mapping() const;
    void setMapping(const MidiMapping& mapping);
    VelocityCurve curve() const;
    void setCurve(const VelocityCurve& curve);

    // The next note-on or control change binds `action` (for the mix bars, only a control
    // change, read in `mode`) and is not played. A second learn replaces the first.
    void learn(const MidiAction& action, CcMode mode = CcMode::Absolute);
    void cancelLearn();
    std::optional<MidiAction> learning() const;

    // Any thread: the channel messages received so far, whatever they did.
    std::uint32_t received() const { return m_received.load(std::memory_order_relaxed); }
    // Any thread: the messages lost so far (a SysEx that another status byte cut off).
    std::uint32_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

    // The channel the track's pad last played on (0 before any), to light it on that channel.
    int lastChannel(int track) const;

private:
    void dispatch(const MidiMessage& message);
    bool takeForLearn(const MidiMessage& message);
    void control(const MidiMapping::Match& match, int value);

    PerformanceInput& m_sink;
    MidiClockIn* m_clock;
    mutable std::mutex m_mutex;
    MidiMapping m_mapping = MidiMapping::defaults();
    VelocityCurve m_curve;
    std::optional<MidiAction> m_learning;
    CcMode m_learnMode = CcMode::Absolute;
    std::array<std::atomic<int>, 8> m_lastChannel{};
    std::atomic<std::uint32_t> m_dropped{0};
    std::atomic<std::uint32_t> m_received{0};
};

} // namespace mt
