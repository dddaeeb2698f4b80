#include "midiin/JackMidiClient.h"

#include "audio/OutputClock.h"
#include "midiin/ClockTrain.h"

#include <QCoreApplication>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

namespace mt {

namespace {

// Copies an event's bytes out of the port buffer the sending client wrote earlier in this
// cycle. JACK hands that buffer on through futexes in shared memory, which ThreadSanitizer
// cannot follow; its suppressions name this one copy, not the parsing behind it.
[[gnu::noinline]] void CopyOutOfPortBuffer(const jack_midi_data_t* from, std::size_t size,
                                           unsigned char* to) {
    std::memcpy(to, from, size);
}

} // namespace

std::unique_ptr<JackMidiClient> JackMidiClient::open(const std::string& clientName,
                                                     const std::string& portName,
                                                     Direction direction, Receive receive,
                                                     void* context, std::string& error) {
    std::unique_ptr<JackMidiClient> client(new JackMidiClient);
    client->m_direction = direction;
    client->m_receive = receive;
    client->m_context = context;
    jack_status_t status{};
    client->m_client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client->m_client == nullptr) {
        error = QCoreApplication::translate("mt::JackMidiClient",
                                            "JACKサーバーに接続できません (status %1)")
                    .arg(static_cast<int>(status))
                    .toStdString();
        return nullptr;
    }
    const unsigned long flags = direction == Direction::In ? JackPortIsInput : JackPortIsOutput;
    client->m_port =
        jack_port_register(client->m_client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
    if (client->m_port == nullptr ||
        jack_set_process_callback(client->m_client, &JackMidiClient::process, client.get()) != 0 ||
        jack_activate(client->m_client) != 0) {
        error =
            QCoreApplication::translate("mt::JackMidiClient", "JACKのMIDIポート %1 を作れません")
                .arg(QString::fromStdString(portName))
                .toStdString();
        return nullptr; // the destructor closes the client
    }
    client->m_rate = jack_get_sample_rate(client->m_client);
    return client;
}

JackMidiClient::~JackMidiClient() {
    if (m_client != nullptr) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

bool JackMidiClient::connectFrom(const std::string& source) {
    const int result = jack_connect(m_client, source.c_str(), jack_port_name(m_port));
    return result == 0 || result == EEXIST;
}

QStringList JackMidiClient::sourcePorts() const {
    QStringList names;
    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    if (ports != nullptr) {
        for (const char** p = ports; *p != nullptr; ++p) {
            names << QString::fromUtf8(*p);
        }
        jack_free(static_cast<void*>(ports));
    }
    return names;
}

bool JackMidiClient::send(const std::uint8_t* bytes, std::size_t size) {
    if (m_direction != Direction::Out || size == 0 || size > Message{}.bytes.size()) {
        return false;
    }
    Message message;
    message.size = static_cast<std::uint8_t>(size);
    std::copy(bytes, bytes + size, message.bytes.begin());
    return m_outbox.push(message);
}

void JackMidiClient::setClock(ClockTrain* train) noexcept {
    m_clock.store(train, std::memory_order_seq_cst);
    // With the process thread's store-then-load (sequentially consistent): either its cycle
    // read the new pointer, or this sees the cycle under way and waits it out.
    while (m_inProcess.load(std::memory_order_seq_cst)) {
        std::this_thread::yield(); // a fraction of one cycle
    }
}

bool JackMidiClient::placeInCycle(const OutputClock& output, std::int64_t frame,
                                  jack_nframes_t cycleStart, double& offset) noexcept {
    double device = 0.0;
    if (output.deviceFrameOf(frame, device)) {
        offset = std::remainder(device - cycleStart, OutputClock::kDeviceWrap);
        return true;
    }
    // The output plays elsewhere (or has not told us yet): its frames by the wall clock, which
    // JACK's microseconds count too.
    if (&output != m_estimated) {
        m_estimate = {};
        m_estimated = &output;
    }
    m_estimate.observe(static_cast<std::int64_t>(jack_get_time()) * 1000, output.frames(),
                       output.rate());
    if (!m_estimate.known()) {
        return false;
    }
    const std::int64_t micros = m_estimate.nanosOf(frame) / 1000;
    if (micros <= 0) {
        offset = -1e9; // long due
        return true;
    }
    const jack_nframes_t at = jack_time_to_frames(m_client, static_cast<jack_time_t>(micros));
    offset = static_cast<double>(static_cast<std::int32_t>(at - cycleStart));
    return true;
}

void JackMidiClient::writeClock(ClockTrain& train, void* buffer, jack_nframes_t frames) noexcept {
    train.take();
    const OutputClock* output = train.output();
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    jack_nframes_t last = 0; // events go in the buffer in the order of their frames
    bool checked = false;
    ClockMessage message;
    while (train.peek(message)) {
        double offset = 0.0;
        if (message.frame != ClockMessage::kAtOnce) {
            if (output == nullptr || !placeInCycle(*output, message.frame, cycleStart, offset)) {
                break;
            }
            if (!checked && output->rate() > 0) {
                checked = true; // the engine's frame at the cycle's start, from this one's place
                const double ahead = offset / m_rate * output->rate();
                if (train.resync(message.frame - std::llround(ahead))) {
                    continue;
                }
            }
        }
        const long at = std::lround(offset);
        if (at >= static_cast<long>(frames)) {
            break; // a later cycle's
        }
        const auto frame = std::max(last, static_cast<jack_nframes_t>(std::max(at, 0L)));
        if (jack_midi_event_write(buffer, frame, message.bytes.data(), message.size) != 0) {
            break; // the port's buffer is full: the rest goes next cycle, late
        }
        last = frame;
        train.pop();
    }
}

int JackMidiClient::process(jack_nframes_t frames, void* self) {
    auto* client = static_cast<JackMidiClient*>(self);
    void* buffer = jack_port_get_buffer(client->m_port, frames);
    if (client->m_direction == Direction::In) {
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        if (count == 0) {
            return 0;
        }
        const jack_nframes_t cycleStart = jack_last_frame_time(client->m_client);
        // JACK counts microseconds on a clock of its own: the raw monotonic one is this far on.
        const double hostAhead = OutputClock::HostMicros() - static_cast<double>(jack_get_time());
        std::array<unsigned char, 256> bytes{};
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0) {
                MidiArrival arrival;
                arrival.onDevice = true;
                arrival.deviceFrame = cycleStart + event.time;
                arrival.hostMicros = static_cast<double>(jack_frames_to_time(client->m_client,
                                                                             arrival.deviceFrame)) +
                                     hostAhead;
                // A long SysEx goes to the parser in pieces; it carries the dump across them.
                for (std::size_t at = 0; at < event.size; at += bytes.size()) {
                    const std::size_t piece = std::min(bytes.size(), event.size - at);
                    CopyOutOfPortBuffer(event.buffer + at, piece, bytes.data());
                    client->m_receive(bytes.data(), piece, arrival, client->m_context);
                }
            }
        }
        return 0;
    }
    jack_midi_clear_buffer(buffer);
    Message message;
    while (client->m_outbox.pop(message)) {
        // A full port buffer drops the rest of this cycle's lights; the next state sends again.
        jack_midi_event_write(buffer, 0, message.bytes.data(), message.size);
    }
    client->m_inProcess.store(true, std::memory_order_seq_cst);
    if (ClockTrain* train = client->m_clock.load(std::memory_order_seq_cst)) {
        client->writeClock(*train, buffer, frames);
    }
    client->m_inProcess.store(false, std::memory_order_release);
    return 0;
}

} // namespace mt
