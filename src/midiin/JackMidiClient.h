#pragma once

#include "audio/SpscRing.h"
#include "midiin/MidiArrival.h"
#include "midiin/MixTimeEstimate.h"

#include <jack/types.h>

#include <QStringList>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mt {

class ClockTrain;
class OutputClock;

// A JACK client of ours with one MIDI port, in or out. RtMidi's JACK input joins every event
// after a SysEx start until one ends in F7, so one unfinished SysEx would swallow every later
// message; this input hands each event's bytes over as it came, and the parser ends a SysEx at
// the next status byte as the MIDI standard says. Its output queues short messages in a ring
// of our own and writes them at the next cycle.
class JackMidiClient {
public:
    enum class Direction { In, Out };
    // JACK's process thread, once per event of the cycle, in order, with the server's frame of
    // it. Never blocks.
    using Receive = void (*)(const std::uint8_t* bytes, std::size_t size,
                             const MidiArrival& arrival, void* context);

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
    // The same caller as send(). The MIDI clock this output sends from the next cycle on; null
    // for none. `train` outlives the client, or is replaced first; the process thread reads it
    // until this call returns, and its plans are taken on that thread.
    void setClock(ClockTrain* train) noexcept;

private:
    struct Message {
        std::uint8_t size = 0;
        std::array<std::uint8_t, 3> bytes{};
    };

    JackMidiClient() = default;
    static int process(jack_nframes_t frames, void* self);
    // Process thread: the clock's messages due in this cycle, each at its frame in it.
    void writeClock(ClockTrain& train, void* buffer, jack_nframes_t frames) noexcept;
    // Process thread: where the engine's frame `frame` falls in this cycle, in the cycle's
    // frames from its start (negative: due before it); false when it cannot be placed yet.
    bool placeInCycle(const OutputClock& output, std::int64_t frame, jack_nframes_t cycleStart,
                      double& offset) noexcept;

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    Direction m_direction = Direction::In;
    Receive m_receive = nullptr;
    void* m_context = nullptr;
    SpscRing<Message, 256> m_outbox; // Out only: the sender to the process thread
    std::atomic<ClockTrain*> m_clock{nullptr};
    std::atomic<bool> m_inProcess{false}; // a cycle may be reading m_clock (see setClock)
    // Process thread only: the engine's frames on JACK's microseconds, for an output that is
    // not on this server, and the output it was made for.
    MixTimeEstimate m_estimate;
    const OutputClock* m_estimated = nullptr;
    jack_nframes_t m_rate = 48000; // the server's frames per second
};

} // namespace mt
