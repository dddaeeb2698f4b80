// A hostile MIDI controller for bench/midi_flood.py: a JACK client whose output port is joined
// to a program's MIDI input, playing what a broken or runaway controller sends.
//
//   midi_sender TARGET_PORT lone-f0          an unfinished SysEx (F0 7E 7F), then 0.2 s later
//                                            a note-on of note 36 on channel 10, its note-off
//   midi_sender TARGET_PORT flood RATE SECS  RATE messages a second for SECS seconds: note-ons
//                                            and note-offs of notes 36..43 in turn
//   midi_sender TARGET_PORT pads             a pad pressed for each note number read from
//                                            stdin, one a line: its note-on on channel 10,
//                                            30 ms later its note-off; "note <seconds>" each
//
// Stdout: "ready" once connected; "note <seconds>" when the note-on of lone-f0 was written
// (CLOCK_MONOTONIC at the start of its cycle); "end sent <n>" when done.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <thread>

namespace {

jack_port_t* g_port = nullptr;
std::atomic<bool> g_flood{false};
double g_perFrame = 0.0; // messages per frame while flooding
double g_owed = 0.0;     // process thread only
std::atomic<long> g_sent{0};
std::atomic<int> g_oneShot{0}; // bytes of one message to write at the next cycle
unsigned char g_message[3];
std::atomic<double> g_writtenAt{0.0};

double Monotonic() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int Process(jack_nframes_t frames, void* /*arg*/) {
    void* buffer = jack_port_get_buffer(g_port, frames);
    jack_midi_clear_buffer(buffer);
    if (const int size = g_oneShot.exchange(0); size > 0) {
        jack_midi_event_write(buffer, 0, g_message, static_cast<std::size_t>(size));
        g_writtenAt.store(Monotonic());
    }
    if (!g_flood.load()) {
        return 0;
    }
    g_owed += g_perFrame * frames;
    const auto count = static_cast<long>(g_owed);
    g_owed -= static_cast<double>(count);
    for (long i = 0; i < count; ++i) {
        const long n = g_sent.load(std::memory_order_relaxed);
        const unsigned char note = static_cast<unsigned char>(36 + (n / 2) % 8);
        const unsigned char bytes[3] = {static_cast<unsigned char>(n % 2 == 0 ? 0x99 : 0x89), note,
                                        static_cast<unsigned char>(n % 2 == 0 ? 100 : 0)};
        const auto at = static_cast<jack_nframes_t>(i * frames / count);
        if (jack_midi_event_write(buffer, at, bytes, 3) != 0) {
            break; // the port's buffer is full this cycle
        }
        g_sent.store(n + 1, std::memory_order_relaxed);
    }
    return 0;
}

void Send(std::initializer_list<unsigned char> bytes) {
    std::memcpy(g_message, bytes.begin(), bytes.size());
    g_oneShot.store(static_cast<int>(bytes.size()));
    while (g_oneShot.load() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: midi_sender TARGET_PORT lone-f0 | flood RATE SECONDS | pads\n");
        return 2;
    }
    jack_client_t* client = jack_client_open("Bench sender", JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "midi_sender: no JACK server\n");
        return 1;
    }
    g_port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, Process, nullptr);
    if (g_port == nullptr || jack_activate(client) != 0 ||
        jack_connect(client, jack_port_name(g_port), argv[1]) != 0) {
        std::fprintf(stderr, "midi_sender: cannot connect to %s\n", argv[1]);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const std::string mode = argv[2];
    if (mode == "lone-f0") {
        Send({0xF0, 0x7E, 0x7F});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Send({0x99, 36, 127});
        std::printf("note %.6f\n", g_writtenAt.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Send({0x89, 36, 0});
    } else if (mode == "pads") {
        for (int note = 0; std::scanf("%d", &note) == 1;) {
            const auto n = static_cast<unsigned char>(note & 0x7f);
            Send({0x99, n, 100});
            std::printf("note %.6f\n", g_writtenAt.load());
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            Send({0x89, n, 0});
        }
    } else if (mode == "flood" && argc == 5) {
        g_perFrame = std::atof(argv[3]) / jack_get_sample_rate(client);
        g_flood.store(true);
        std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[4])));
        g_flood.store(false);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("end sent %ld\n", g_sent.load());
    jack_client_close(client);
    return 0;
}
