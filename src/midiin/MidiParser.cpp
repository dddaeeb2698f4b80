#include "midiin/MidiParser.h"

namespace mt {
namespace {

// Data bytes a channel message with this status carries.
int DataLength(std::uint8_t status) {
    const int high = status & 0xF0;
    return high == 0xC0 || high == 0xD0 ? 1 : 2;
}

} // namespace

bool MidiParser::take(std::uint8_t byte) {
    if (byte >= 0xF8) {
        return false; // real-time: neither a message of ours nor a break in one
    }
    if (byte & 0x80) {
        if (m_inSysex && byte != 0xF7) {
            ++m_cutSysex;
        }
        m_inSysex = byte == 0xF0;
        m_have = 0;
        m_skip = 0;
        if (byte < 0xF0) {
            m_status = byte;
            return false;
        }
        // System exclusive and system common end running status.
        m_status = 0;
        if (byte == 0xF1 || byte == 0xF3) {
            m_skip = 1;
        } else if (byte == 0xF2) {
            m_skip = 2;
        }
        return false;
    }
    if (m_inSysex) {
        return false;
    }
    if (m_skip > 0) {
        --m_skip;
        return false;
    }
    if (m_status == 0) {
        return false;
    }
    if (m_have == 0) {
        m_message.data1 = byte;
        m_message.data2 = 0;
    } else {
        m_message.data2 = byte;
    }
    ++m_have;
    if (m_have < DataLength(m_status)) {
        return false;
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
    return true;
}

} // namespace mt
