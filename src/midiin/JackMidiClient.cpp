#include "midiin/JackMidiClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>

namespace mt {

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
        error = "JACKサーバーに接続できません (status " + std::to_string(status) + ")";
        return nullptr;
    }
    const unsigned long flags = direction == Direction::In ? JackPortIsInput : JackPortIsOutput;
    client->m_port =
        jack_port_register(client->m_client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
    if (client->m_port == nullptr ||
        jack_set_process_callback(client->m_client, &JackMidiClient::process, client.get()) != 0 ||
        jack_activate(client->m_client) != 0) {
        error = "JACKのMIDIポート " + portName + " を作れません";
        return nullptr; // the destructor closes the client
    }
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

int JackMidiClient::process(jack_nframes_t frames, void* self) {
    auto* client = static_cast<JackMidiClient*>(self);
    void* buffer = jack_port_get_buffer(client->m_port, frames);
    if (client->m_direction == Direction::In) {
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0) {
                client->m_receive(event.buffer, event.size, client->m_context);
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
    return 0;
}

} // namespace mt
