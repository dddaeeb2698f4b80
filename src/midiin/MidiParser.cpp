#include "midiin/MidiParser.h"

namespace mt {
namespace {

// Data bytes a channel message with this status carries.
int DataLength(std::uint8_t status) {
    const int high = status & 0xF0;
    return high == 0xC0 || high == 0xD0 ? 1 : 2;
}

} // namespace

MidiParser::Taken MidiParser::take(std::uint8_t byte) {
    if (byte >= 0xF8) {
        // Real-time: no break in a message. Only the clock's are ours.
        using Kind = MidiClockEvent::Kind;
        switch (byte) {
        case 0xF8:
            m_clock = {Kind::Tick, 0};
            return Taken::Clock;
        case 0xFA:
            m_clock = {Kind::Start, 0};
            return Taken::Clock;
        case 0xFB:
            m_clock = {Kind::Continue, 0};
            return Taken::Clock;
        case 0xFC:
            m_clock = {Kind::Stop, 0};
            return Taken::Clock;
        default:
            return Taken::Nothing;
        }
    }
    if (byte & 0x80) {
        if (m_inSysex && byte != 0xF7) {
            ++m_cutSysex;
        }
        m_inSysex = byte == 0xF0;
        m_have = 0;
        m_skip = 0;
        m_songPosition = false;
        if (byte < 0xF0) {
            m_status = byte;
            return Taken::Nothing;
        }
        // System exclusive and system common end running status.
        m_status = 0;
        if (byte == 0xF1 || byte == 0xF3) {
            m_skip = 1;
        } else if (byte == 0xF2) {
            m_skip = 2;
            m_songPosition = true;
        }
        return Taken::Nothing;
    }
    if (m_inSysex) {
        return Taken::Nothing;
    }
    if (m_skip > 0) {
        --m_skip;
        if (!m_songPosition) {
            return Taken::Nothing;
        }
        // Least significant seven bits first.
        if (m_skip == 1) {
            m_position = byte;
            return Taken::Nothing;
        }
        m_clock = {MidiClockEvent::Kind::SongPosition,
                   static_cast<std::uint16_t>(m_position | byte << 7)};
        return Taken::Clock;
    }
    if (m_status == 0) {
        return Taken::Nothing;
    }
    if (m_have == 0) {
        m_message.data1 = byte;
        m_message.data2 = 0;
    } else {
        m_message.data2 = byte;
    }
    ++m_have;
    if (m_have < DataLength(m_status)) {
        return Taken::Nothing;
    }
    m_have = 0;
    m_message.channel = m_status & 0x0F;
    switch (m_status & 0xF0) {
    case 0x80:
        m_message.kind = MidiMessage::Kind::NoteOff;
        break;
    case 0x90:
        m_message.kind = MidiMessage::Kind::NoteOn;
        break;
    case 0xB0:
        m_message.kind = MidiMessage::Kind::ControlChange;
        break;
    default:
        m_message.kind = MidiMessage::Kind::Other;
        break;
    }
    return Taken::Channel;
}

} // namespace mt
