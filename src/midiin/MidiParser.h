#pragma once

#include <cstddef>
#include <cstdint>

namespace mt {

// One channel message as a controller sent it: a status's kind and channel with its data.
struct MidiMessage {
    enum class Kind : std::uint8_t { NoteOff, NoteOn, ControlChange, Other };
    Kind kind = Kind::Other;
    std::uint8_t channel = 0; // 0..15 (the performer's channel 1..16)
    std::uint8_t data1 = 0;   // note or controller number, 0..127
    std::uint8_t data2 = 0;   // velocity or controller value, 0..127
};

// A MIDI clock message: a real-time tick (24 a beat) or transport message, or Song Position.
struct MidiClockEvent {
    enum class Kind : std::uint8_t { Tick, Start, Continue, Stop, SongPosition };
    static constexpr std::uint16_t kMaxSongPosition = 0x3FFF;
    Kind kind = Kind::Tick;
    std::uint16_t songPosition = 0; // SongPosition: sixteenths from the song's start
};

// Turns a MIDI byte stream into channel messages, whatever chunks it arrives in. Running
// status is kept across chunks; system exclusive is skipped up to its end or the next status
// byte (one that ends it so, unfinished, is counted as dropped input); real-time bytes (clock,
// active sensing...) may fall anywhere, even inside a message, and change nothing in it; system
// common messages end running status and are skipped; a data byte with no status before it is
// dropped. The clock's real-time messages and Song Position go to a second receiver, when given.
// One stream per instance, one thread at a time.
class MidiParser {
public:
    // Calls deliver(const MidiMessage&) for each complete channel message in `bytes`, and
    // clock(const MidiClockEvent&) for each clock message, in the order they came.
    template <typename Deliver, typename Clock>
    void feed(const std::uint8_t* bytes, std::size_t size, Deliver&& deliver, Clock&& clock) {
        for (std::size_t i = 0; i < size; ++i) {
            switch (take(bytes[i])) {
            case Taken::Nothing:
                break;
            case Taken::Channel:
                deliver(m_message);
                break;
            case Taken::Clock:
                clock(m_clock);
                break;
            }
        }
    }
    template <typename Deliver>
    void feed(const std::uint8_t* bytes, std::size_t size, Deliver&& deliver) {
        feed(bytes, size, deliver, [](const MidiClockEvent&) {});
    }

    // SysEx messages ended by a status byte other than F7: input that was cut off and lost.
    std::uint32_t cutSysex() const { return m_cutSysex; }

private:
    enum class Taken : std::uint8_t { Nothing, Channel, Clock };

    // What `byte` completed: m_message, m_clock or nothing.
    Taken take(std::uint8_t byte);

    MidiMessage m_message;
    MidiClockEvent m_clock;
    std::uint8_t m_status = 0;    // running status, 0 when none
    std::uint8_t m_skip = 0;      // data bytes of a system common message still to skip
    bool m_songPosition = false;  // the system common message under way is Song Position
    std::uint16_t m_position = 0; // its first data byte
    std::uint8_t m_have = 0;      // data bytes of the current channel message so far
    bool m_inSysex = false;
    std::uint32_t m_cutSysex = 0;
};

} // namespace mt
