// A JACK client for the end-to-end scripts: one input port joined to a program's output port,
// reporting what arrives there on the monotonic clock.
//
//   jack_recorder SOURCE_PORT [THRESHOLD]
//
// Stdout, one line each:
//   onset <seconds>   the first sample above THRESHOLD (default 0.1) after at least 100 ms below
//                     it: when that frame leaves the port, on the server's clock converted to
//                     CLOCK_MONOTONIC. A cycle's buffers go out as the next cycle begins, so a
//                     frame leaves one period after its frame time
//   xrun <seconds>    the server reported an xrun (its notice reached this client then, on
//                     CLOCK_MONOTONIC)
//   end xruns <n> gaps <n> longest_ms <ms> frames <n> period <n>
//                     on SIGINT/SIGTERM or when the server goes: the server's xruns while this
//                     client ran, and stretches of digital silence of 0.5 ms or more that
//                     follow sound (a render that missed its period leaves zeros); the last
//                     cycle's length (PipeWire's graph changes it as clients come and go)
//
// The frame times come from jack_frames_to_time() (microseconds on the server's clock); the
// offset to CLOCK_MONOTONIC is sampled by the main thread (the smallest bracketing interval of
// many samples wins), so the script can compare them with key presses it timestamped itself.
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int /*sig*/) {
    g_stop.store(true);
}

std::int64_t MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

struct Recorder {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    float threshold = 0.1f;
    jack_nframes_t rate = 48000;

    // Process thread only.
    std::uint64_t quietFrames = 0; // frames below the threshold since the last loud one
    std::uint64_t zeroRun = 0;     // exact zeros in a row
    bool heardSound = false;

    // Written by the process thread, read by the main thread.
    static constexpr std::size_t kRing = 1024;
    std::array<std::atomic<jack_time_t>, kRing> onsets{};
    std::atomic<std::uint64_t> onsetCount{0};
    std::atomic<std::uint64_t> gaps{0};
    std::atomic<std::uint64_t> longestGap{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint32_t> xruns{0};
    std::atomic<jack_nframes_t> period{0};
    std::array<std::atomic<std::int64_t>, kRing> xrunAt{}; // CLOCK_MONOTONIC microseconds
    std::atomic<bool> gone{false};

    void endGap() {
        if (heardSound && zeroRun >= rate / 2000) {
            gaps.fetch_add(1, std::memory_order_relaxed);
            if (zeroRun > longestGap.load(std::memory_order_relaxed)) {
                longestGap.store(zeroRun, std::memory_order_relaxed);
            }
        }
        zeroRun = 0;
    }

    int process(jack_nframes_t n) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(port, n));
        const jack_nframes_t first = jack_last_frame_time(client);
        for (jack_nframes_t i = 0; i < n; ++i) {
            const float v = in[i];
            if (v == 0.0f) {
                ++zeroRun;
            } else {
                endGap();
                heardSound = true;
            }
            if (std::fabs(v) > threshold) {
                if (quietFrames >= rate / 10) {
                    const std::uint64_t k = onsetCount.load(std::memory_order_relaxed);
                    onsets[k % kRing].store(jack_frames_to_time(client, first + n + i),
                                            std::memory_order_relaxed);
                    onsetCount.store(k + 1, std::memory_order_release);
                }
                quietFrames = 0;
            } else {
                ++quietFrames;
            }
        }
        frames.fetch_add(n, std::memory_order_relaxed);
        period.store(n, std::memory_order_relaxed);
        return 0;
    }
};

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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: jack_recorder SOURCE_PORT [THRESHOLD]\n");
        return 2;
    }
    static Recorder rec;
    if (argc > 2) {
        rec.threshold = std::strtof(argv[2], nullptr);
    }
    jack_status_t status{};
    rec.client = jack_client_open("e2e-recorder", JackNoStartServer, &status);
    if (rec.client == nullptr) {
        std::fprintf(stderr, "jack_recorder: no JACK server (status 0x%x)\n",
                     static_cast<unsigned>(status));
        return 1;
    }
    rec.rate = jack_get_sample_rate(rec.client);
    rec.port = jack_port_register(rec.client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(
        rec.client, [](jack_nframes_t n, void* r) { return static_cast<Recorder*>(r)->process(n); },
        &rec);
    jack_set_xrun_callback(
        rec.client,
        [](void* r) {
            auto* self = static_cast<Recorder*>(r);
            const std::uint32_t k = self->xruns.load(std::memory_order_relaxed);
            self->xrunAt[k % Recorder::kRing].store(MonotonicMicros(), std::memory_order_relaxed);
            self->xruns.store(k + 1, std::memory_order_release);
            return 0;
        },
        &rec);
    jack_on_shutdown(
        rec.client, [](void* r) { static_cast<Recorder*>(r)->gone.store(true); }, &rec);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (jack_activate(rec.client) != 0 ||
        jack_connect(rec.client, argv[1], jack_port_name(rec.port)) != 0) {
        std::fprintf(stderr, "jack_recorder: cannot listen to %s\n", argv[1]);
        jack_client_close(rec.client);
        return 1;
    }
    std::printf("ready rate %u period %u\n", rec.rate, jack_get_buffer_size(rec.client));
    std::fflush(stdout);

    std::int64_t offset = ClockOffset();
    std::uint64_t printed = 0;
    std::uint32_t xrunsPrinted = 0;
    int ticks = 0;
    while (!g_stop.load() && !rec.gone.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (++ticks % 50 == 0) {
            offset = ClockOffset(); // the two clocks may drift apart over a long run
        }
        const std::uint64_t count = rec.onsetCount.load(std::memory_order_acquire);
        for (; printed < count; ++printed) {
            const auto at = static_cast<std::int64_t>(
                rec.onsets[printed % Recorder::kRing].load(std::memory_order_relaxed));
            std::printf("onset %.6f\n", static_cast<double>(at + offset) * 1e-6);
        }
        for (const std::uint32_t n = rec.xruns.load(std::memory_order_acquire); xrunsPrinted < n;
             ++xrunsPrinted) {
            std::printf("xrun %.6f\n",
                        static_cast<double>(rec.xrunAt[xrunsPrinted % Recorder::kRing].load(
                            std::memory_order_relaxed)) *
                            1e-6);
        }
        std::fflush(stdout);
    }
    jack_deactivate(rec.client);
    std::printf("end xruns %u gaps %llu longest_ms %.1f frames %llu period %u\n", rec.xruns.load(),
                static_cast<unsigned long long>(rec.gaps.load()),
                1000.0 * static_cast<double>(rec.longestGap.load()) / rec.rate,
                static_cast<unsigned long long>(rec.frames.load()), rec.period.load());
    std::fflush(stdout);
    jack_client_close(rec.client);
    return 0;
}
