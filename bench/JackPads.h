#pragma once

#include <jack/jack.h>

#include <QProcess>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

namespace mt::bench {

// Steady-clock nanoseconds, the one clock every latency here is measured on.
inline std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The value below which a share `p` (0..1] of `v` lies.
double Percentile(std::vector<double> v, double p);

// A pad controller as a JACK client on a private server of its own (dummy backend, 48 kHz):
// writes a note-on or note-off of note 36 at frame 0 of the next cycle when asked, and notes
// when the note-on was written.
class JackPads {
public:
    JackPads() = default;
    ~JackPads();
    JackPads(const JackPads&) = delete;
    JackPads& operator=(const JackPads&) = delete;

    // Starts the server named `server` with `period` frames and makes it the default for
    // this process, then opens the client "Bench pads" with its port "out". False, with the
    // reason on stderr under `program`'s name, when either does not come up.
    bool start(const char* program, const std::string& server, const QString& period);

    std::atomic<int> pending{0}; // 1: note-on, 2: note-off
    std::atomic<std::int64_t> writtenAt{0};

private:
    static int process(jack_nframes_t frames, void* self);

    QProcess m_jackd;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
};

} // namespace mt::bench
