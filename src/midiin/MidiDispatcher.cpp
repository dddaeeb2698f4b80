#include "midiin/MidiDispatcher.h"

#include "midiin/MidiClockIn.h"
#include "midiin/PerformanceInput.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

using Kind = MidiAction::Kind;

// Steps an endless encoder turned, from one control change value.
int EncoderSteps(CcMode mode, int value) {
    switch (mode) {
    case CcMode::RelativeTwosComplement:
        return value < 64 ? value : value - 128;
    case CcMode::RelativeBinaryOffset:
        return value - 64;
    case CcMode::RelativeSignMagnitude:
        return value < 64 ? value : -(value - 64);
    case CcMode::Absolute:
        break;
    }
    return 0;
}

// A knob's position 0..127 as a bar value: volume evenly over -70..0 dB; pan with 64 at the
// centre; speed one octave either side of the file's own pace, 64 at the pace itself.
int VolumeOf(int value) {
    return static_cast<int>(std::lround(-70.0 + 70.0 * value / 127.0));
}
int PanOf(int value) {
    return value < 64 ? static_cast<int>(std::lround(-40.0 + 40.0 * value / 64.0))
                      : static_cast<int>(std::lround((value - 64) * 40.0 / 63.0));
}
int SpeedOf(int value) {
    const double speed = 4410.0 * std::exp2((value - 64) / 64.0);
    return std::clamp(static_cast<int>(std::lround(speed)), 5, 9000);
}

} // namespace

MidiDispatcher::MidiDispatcher(PerformanceInput& sink, MidiClockIn* clock)
    : m_sink(sink), m_clock(clock) {}

void MidiDispatcher::feed(MidiParser& parser, const std::uint8_t* bytes, std::size_t size,
                          const MidiArrival& arrival) {
    const std::lock_guard lock(m_mutex);
    const std::uint32_t cutBefore = parser.cutSysex();
    parser.feed(
        bytes, size, [this](const MidiMessage& m) { dispatch(m); },
        [&](const MidiClockEvent& clock) {
            if (m_clock != nullptr) {
                m_clock->receive(clock, arrival, &parser);
            }
        });
    if (parser.cutSysex() != cutBefore) {
        m_dropped.fetch_add(parser.cutSysex() - cutBefore, std::memory_order_relaxed);
    }
}

void MidiDispatcher::dispatch(const MidiMessage& message) {
    using MKind = MidiMessage::Kind;
    m_received.fetch_add(1, std::memory_order_relaxed);
    if (m_learning && takeForLearn(message)) {
        return;
    }
    const bool noteOn = message.kind == MKind::NoteOn && message.data2 > 0;
    const bool noteOff =
        message.kind == MKind::NoteOff || (message.kind == MKind::NoteOn && message.data2 == 0);
    if (noteOn || noteOff) {
        const auto match = m_mapping.match(MidiTrigger::Kind::Note, message.channel, message.data1);
        if (!match) {
            return;
        }
        if (match->action.kind == Kind::Press) {
            const int track = match->action.track;
            if (noteOff) {
                m_sink.release(track);
                return;
            }
            m_lastChannel[track].store(message.channel, std::memory_order_relaxed);
            m_sink.press(track, VelocityGainCentiDb(m_curve, message.data2));
        } else if (match->action.kind == Kind::Panic && noteOn) {
            m_sink.panic();
        }
        return;
    }
    if (message.kind == MKind::ControlChange) {
        const auto match =
            m_mapping.match(MidiTrigger::Kind::ControlChange, message.channel, message.data1);
        if (match) {
            control(*match, message.data2);
        }
    }
}

void MidiDispatcher::control(const MidiMapping::Match& match, int value) {
    const int track = match.action.track;
    const Kind kind = match.action.kind;
    if (kind == Kind::Press) {
        // A pad sending control changes: its value is the velocity, 0 the release.
        if (value > 0) {
            m_sink.press(track, VelocityGainCentiDb(m_curve, value));
        } else {
            m_sink.release(track);
        }
        return;
    }
    if (kind == Kind::Panic) {
        // A button fires on its press; All Sound Off (controller 120) always carries 0.
        if (value > 0 || match.trigger.number == 120) {
            m_sink.panic();
        }
        return;
    }
    if (match.trigger.mode == CcMode::Absolute) {
        if (kind == Kind::Volume) {
            m_sink.setVolume(track, VolumeOf(value));
        } else if (kind == Kind::Pan) {
            m_sink.setPan(track, PanOf(value));
        } else {
            m_sink.setSpeed(track, SpeedOf(value));
        }
        return;
    }
    const int steps = EncoderSteps(match.trigger.mode, value);
    if (steps == 0) {
        return;
    }
    if (kind == Kind::Volume) {
        m_sink.moveVolume(track, steps);
    } else if (kind == Kind::Pan) {
        m_sink.movePan(track, steps);
    } else {
        m_sink.moveSpeed(track, 10 * steps);
    }
}

bool MidiDispatcher::takeForLearn(const MidiMessage& message) {
    const MidiAction action = *m_learning;
    const bool mix = action.kind != Kind::Press && action.kind != Kind::Panic;
    MidiTrigger trigger;
    trigger.channel = message.channel;
    trigger.number = message.data1;
    if (message.kind == MidiMessage::Kind::ControlChange) {
        trigger.kind = MidiTrigger::Kind::ControlChange;
        trigger.mode = mix ? m_learnMode : CcMode::Absolute;
    } else if (message.kind == MidiMessage::Kind::NoteOn && message.data2 > 0 && !mix) {
        trigger.kind = MidiTrigger::Kind::Note;
    } else {
        return false;
    }
    m_mapping.bind(action, trigger);
    m_learning.reset();
    m_sink.learned(action, trigger);
    return true;
}

MidiMapping MidiDispatcher::mapping() const {
    const std::lock_guard lock(m_mutex);
    return m_mapping;
}

void MidiDispatcher::setMapping(const MidiMapping& mapping) {
    const std::lock_guard lock(m_mutex);
    m_mapping = mapping;
}

VelocityCurve MidiDispatcher::curve() const {
    const std::lock_guard lock(m_mutex);
    return m_curve;
}

void MidiDispatcher::setCurve(const VelocityCurve& curve) {
    const std::lock_guard lock(m_mutex);
    m_curve = curve;
}

void MidiDispatcher::learn(const MidiAction& action, CcMode mode) {
    const std::lock_guard lock(m_mutex);
    m_learning = action;
    m_learnMode = mode;
}

void MidiDispatcher::cancelLearn() {
    const std::lock_guard lock(m_mutex);
    m_learning.reset();
}

std::optional<MidiAction> MidiDispatcher::learning() const {
    const std::lock_guard lock(m_mutex);
    return m_learning;
}

int MidiDispatcher::lastChannel(int track) const {
    return m_lastChannel[static_cast<std::size_t>(std::clamp(track, 0, 7))].load(
        std::memory_order_relaxed);
}

} // namespace mt
