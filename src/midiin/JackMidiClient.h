#pragma once

#include "audio/SpscRing.h"

#include <jack/types.h>

#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mt {

// A JACK client of ours with one MIDI port, in or out. RtMidi's JACK input joins every event
// after a SysEx start until one ends in F7, so one unfinished SysEx would swallow every later
// message; this input hands each event's bytes over as it came, and the parser ends a SysEx at
// the next status byte as the MIDI standard says. Its output queues short messages in a ring
// of our own and writes them at the next cycle.
class JackMidiClient {
public:
    enum class Direction { In, Out };
    // JACK's process thread, once per event of the cycle, in order. Never blocks.
    using Receive = void (*)(const std::uint8_t* bytes, std::size_t size, void* context);

    // A client `clientName` with the port `portName`, activated; null with the reason in
    // `error` when the server refuses. No server is started. Any thread but the audio thread.
    static std::unique_ptr<JackMidiClient> open(const std::string& clientName,
                                                const std::string& portName, Direction direction,
                                                Receive receive, void* context, std::string& error);
    // Deactivates and closes the client. Never call it once the server has gone (see
    // MidiPorts::abandonPorts): keep the object instead.
    ~JackMidiClient();
    JackMidiClient(const JackMidiClient&) = delete;
    JackMidiClient& operator=(const JackMidiClient&) = delete;

    // Connects the source port `source` (a full JACK name) to our input. False when it is gone.
    bool connectFrom(const std::string& source);
    // The MIDI output ports of every client, ours included, by full name.
    QStringList sourcePorts() const;
    // One serialised caller at a time. Queues a message of 1 to 3 bytes for the next cycle;
    // false when it does not fit or the ring is full (the message is dropped).
    bool send(const std::uint8_t* bytes, std::size_t size);

private:
    struct Message {
        std::uint8_t size = 0;
        std::array<std::uint8_t, 3> bytes{};
    };

    JackMidiClient() = default;
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    Direction m_direction = Direction::In;
    Receive m_receive = nullptr;
    void* m_context = nullptr;
    SpscRing<Message, 256> m_outbox; // Out only: the sender to the process thread
};

} // namespace mt
