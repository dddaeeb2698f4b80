#include "JackPads.h"

#include <jack/midiport.h>

#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mt::bench {

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

JackPads::~JackPads() {
    if (m_client != nullptr) {
        jack_client_close(m_client);
    }
    m_jackd.terminate();
    m_jackd.waitForFinished(5000);
}

bool JackPads::start(const char* program, const std::string& server, const QString& period) {
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    m_jackd.setStandardOutputFile(QProcess::nullDevice());
    m_jackd.setStandardErrorFile(QProcess::nullDevice());
    m_jackd.start(QStringLiteral("jackd"),
                  {QStringLiteral("-n"), QString::fromStdString(server), QStringLiteral("-d"),
                   QStringLiteral("dummy"), QStringLiteral("-r"), QStringLiteral("48000"),
                   QStringLiteral("-p"), period});
    if (!m_jackd.waitForStarted(5000)) {
        std::fprintf(stderr, "%s: jackd (package jackd2) did not start\n", program);
        return false;
    }
    jack_set_error_function([](const char*) {}); // "cannot connect" while the server starts
    for (int i = 0; i < 100 && m_client == nullptr; ++i) {
        QThread::msleep(50);
        m_client = jack_client_open("Bench pads", JackNoStartServer, nullptr);
    }
    if (m_client == nullptr) {
        std::fprintf(stderr, "%s: the private JACK server did not answer\n", program);
        return false;
    }
    m_port = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(m_client, &JackPads::process, this);
    jack_activate(m_client);
    return true;
}

int JackPads::process(jack_nframes_t frames, void* self) {
    auto* pads = static_cast<JackPads*>(self);
    void* buffer = jack_port_get_buffer(pads->m_port, frames);
    jack_midi_clear_buffer(buffer);
    const int what = pads->pending.exchange(0);
    if (what != 0) {
        const jack_midi_data_t note[] = {static_cast<jack_midi_data_t>(what == 1 ? 0x90 : 0x80), 36,
                                         100};
        if (what == 1) {
            pads->writtenAt.store(Now());
        }
        jack_midi_event_write(buffer, 0, note, sizeof note);
    }
    return 0;
}

} // namespace mt::bench
