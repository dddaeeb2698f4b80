// The band's gear for bench/sync_e2e.py: a JACK client that keeps the time a program under
// test should follow, and says when each of its bars begins.
//
//   sync_reference master BPM BEATS         the JACK transport's timebase master: rolls from
//                                           frame 0, a bar every BEATS beats at BPM
//   sync_reference clock TARGET BPM [JITTER_MS]
//                                           MIDI clock to the port TARGET: 2 s of ticks, then
//                                           Start and ticks on; each tick early or late by up
//                                           to JITTER_MS at random (the bars stay where the
//                                           steady ticks would put them)
//
// Stdout: "ready", then "bar <seconds>" for each bar's first frame as it leaves the server:
// its frame time plus one period (a cycle's buffers go out as the next one begins), on
// CLOCK_MONOTONIC, as bench/jack_recorder.cpp reports onsets. Runs until SIGINT or SIGTERM;
// the clock sends Stop then.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr std::size_t kRing = 4096;

jack_client_t* g_client = nullptr;
jack_port_t* g_out = nullptr;
bool g_master = false;
double g_bpm = 120.0;
int g_beats = 4;
double g_jitterFrames = 0.0;
double g_rate = 48000.0;
std::atomic<bool> g_quit{false};
std::atomic<bool> g_stopSent{false};

// Bars on the server's clock (microseconds), from the process thread to the main thread.
std::array<std::atomic<std::int64_t>, kRing> g_bars{};
std::atomic<std::size_t> g_barCount{0};

// The clock sender's state, process thread only.
double g_nextTick = -1.0; // the steady frame of the next tick (the server's frames, unwrapped)
double g_jittered = 0.0;  // where that tick goes out
std::int64_t g_ticks = 0; // ticks since Start; negative before it
std::uint32_t g_lastCycle = 0;
std::int64_t g_unwrapped = 0; // the cycle's first frame, counted on past the 32-bit wrap
std::mt19937 g_random{12345};

std::int64_t MonotonicMicros() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

void keepBar(jack_nframes_t frame, jack_nframes_t nframes) {
    const auto period = static_cast<std::int64_t>(std::llround(nframes * 1e6 / g_rate));
    const std::size_t k = g_barCount.load(std::memory_order_relaxed);
    g_bars[k % kRing].store(static_cast<std::int64_t>(jack_frames_to_time(g_client, frame)) +
                                period,
                            std::memory_order_relaxed);
    g_barCount.store(k + 1, std::memory_order_release);
}

void timebase(jack_transport_state_t /*state*/, jack_nframes_t /*nframes*/, jack_position_t* pos,
              int /*newPos*/, void* /*arg*/) {
    const double beat = pos->frame / (g_rate * 60.0 / g_bpm);
    const double bar = std::floor(beat / g_beats);
    pos->valid = JackPositionBBT;
    pos->bar = static_cast<std::int32_t>(bar) + 1;
    pos->beat = static_cast<std::int32_t>(std::floor(beat - bar * g_beats)) + 1;
    pos->ticks_per_beat = 1920.0;
    pos->tick = static_cast<std::int32_t>((beat - std::floor(beat)) * 1920.0);
    pos->bar_start_tick = bar * g_beats * 1920.0;
    pos->beats_per_bar = static_cast<float>(g_beats);
    pos->beat_type = 4.0f;
    pos->beats_per_minute = g_bpm;
}

void master(jack_nframes_t nframes) {
    jack_position_t pos{};
    if (jack_transport_query(g_client, &pos) != JackTransportRolling) {
        return;
    }
    const double perBar = g_rate * 60.0 / g_bpm * g_beats;
    const jack_nframes_t cycle = jack_last_frame_time(g_client);
    for (double b = std::ceil(pos.frame / perBar) * perBar; b < pos.frame + nframes; b += perBar) {
        keepBar(cycle + static_cast<jack_nframes_t>(std::llround(b - pos.frame)), nframes);
    }
}

void clock(jack_nframes_t nframes) {
    void* buffer = jack_port_get_buffer(g_out, nframes);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t cycle = jack_last_frame_time(g_client);
    g_unwrapped += g_nextTick < 0.0 ? 0 : static_cast<std::int32_t>(cycle - g_lastCycle);
    g_lastCycle = cycle;
    const double perTick = g_rate * 60.0 / g_bpm / 24.0;
    if (g_nextTick < 0.0) {
        g_nextTick = g_jittered = static_cast<double>(g_unwrapped);
        g_ticks = -static_cast<std::int64_t>(std::llround(2.0 * g_rate / perTick));
    }
    const double end = static_cast<double>(g_unwrapped + nframes);
    if (g_quit.load(std::memory_order_relaxed)) {
        if (!g_stopSent.load(std::memory_order_relaxed)) {
            const unsigned char stop = 0xFC;
            jack_midi_event_write(buffer, 0, &stop, 1);
            g_stopSent.store(true, std::memory_order_release);
        }
        return;
    }
    std::uniform_real_distribution<double> jitter(-g_jitterFrames, g_jitterFrames);
    while (g_jittered < end) {
        const auto offset = static_cast<jack_nframes_t>(
            std::clamp(std::floor(g_jittered - static_cast<double>(g_unwrapped)), 0.0,
                       static_cast<double>(nframes - 1)));
        if (g_ticks == 0) {
            const unsigned char start = 0xFA;
            jack_midi_event_write(buffer, offset, &start, 1);
        }
        const unsigned char tick = 0xF8;
        jack_midi_event_write(buffer, offset, &tick, 1);
        if (g_ticks >= 0 && g_ticks % (24 * g_beats) == 0) {
            keepBar(cycle + static_cast<jack_nframes_t>(std::llround(g_nextTick - g_unwrapped)),
                    nframes);
        }
        ++g_ticks;
        g_nextTick += perTick;
        g_jittered = std::max(g_nextTick + jitter(g_random), g_jittered);
    }
}

int process(jack_nframes_t nframes, void* /*arg*/) {
    if (g_master) {
        master(nframes);
    } else {
        clock(nframes);
    }
    return 0;
}

// The server clock's offset to CLOCK_MONOTONIC in microseconds, from the tightest of many
// bracketed reads.
std::int64_t ClockOffset() {
    std::int64_t best = INT64_MAX;
    std::int64_t offset = 0;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t before = MonotonicMicros();
        const auto server = static_cast<std::int64_t>(jack_get_time());
        const std::int64_t after = MonotonicMicros();
        if (after - before < best) {
            best = after - before;
            offset = (before + after) / 2 - server;
        }
    }
    return offset;
}

void quit(int /*signal*/) {
    g_quit.store(true);
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "master" && argc == 4) || (mode == "clock" && (argc == 4 || argc == 5)))) {
        std::fprintf(stderr, "usage: sync_reference master BPM BEATS | clock TARGET BPM "
                             "[JITTER_MS]\n");
        return 2;
    }
    g_master = mode == "master";
    g_bpm = std::atof(argv[g_master ? 2 : 3]);
    g_beats = g_master ? std::atoi(argv[3]) : 4;
    g_client =
        jack_client_open(g_master ? "sync master" : "sync clock", JackNoStartServer, nullptr);
    if (g_client == nullptr) {
        std::fprintf(stderr, "sync_reference: no JACK server\n");
        return 1;
    }
    g_rate = jack_get_sample_rate(g_client);
    g_jitterFrames = argc == 5 ? std::atof(argv[4]) * g_rate / 1000.0 : 0.0;
    if (!g_master) {
        g_out = jack_port_register(g_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    }
    jack_set_process_callback(g_client, process, nullptr);
    if (g_master && jack_set_timebase_callback(g_client, 0, timebase, nullptr) != 0) {
        std::fprintf(stderr, "sync_reference: cannot be the timebase master\n");
        return 1;
    }
    jack_activate(g_client);
    if (!g_master && jack_connect(g_client, jack_port_name(g_out), argv[2]) != 0) {
        std::fprintf(stderr, "sync_reference: cannot connect to %s\n", argv[2]);
        return 1;
    }
    if (g_master) {
        jack_transport_locate(g_client, 0);
        jack_transport_start(g_client);
    }
    std::signal(SIGINT, quit);
    std::signal(SIGTERM, quit);
    const std::int64_t offset = ClockOffset();
    std::printf("ready\n");
    std::fflush(stdout);
    std::size_t shown = 0;
    while (!g_quit.load() || (!g_master && !g_stopSent.load())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const std::size_t n = g_barCount.load(std::memory_order_acquire); shown < n; ++shown) {
            const std::int64_t at = g_bars[shown % kRing].load(std::memory_order_relaxed) + offset;
            std::printf("bar %.6f\n", static_cast<double>(at) / 1e6);
        }
        std::fflush(stdout);
    }
    if (g_master) {
        jack_transport_stop(g_client);
        jack_release_timebase(g_client);
    }
    jack_client_close(g_client);
    return 0;
}
