// The core of Link following for bench/link_phase.py: the sound library on the JACK server
// JACK_DEFAULT_SERVER (44.1 kHz mix converted to the server's rate, as the program plays), eight
// quiet tracks looping, a LinkClock on its renders, and a click scheduled on every beat of the
// clock's reading, as the beat clock places quantised starts. A Link peer of its own (one that
// never changes the session) gives the session's beat for comparison, and a JACK client of its
// own records our output and a peer's (LinkHut's) beside each other.
//
//   link_phase SECONDS [PEER_PORT]      (PEER_PORT: default LinkHut:out_1)
//
// Runs only where loopback is the sole network interface (a private namespace): Link announces
// itself on every interface it finds. Stdout, one line each:
//   ready                         in the session, recording; SECONDS start now
//   tempo <seconds> <bpm>         the reading's tempo changed (CLOCK_MONOTONIC seconds)
//   clock_phase_ms ...            our beat against the session's at the same host time, polled
//                                 every 10 ms as the UI polls
//   heard_phase_ms ...            our click's onset less the peer's nearest one at the ports,
//                                 on the server's frame clock
//   ours_off_beat_ms, peer_off_beat_ms ...
//                                 each one's clicks against the session's beats where they are
//                                 heard (the frame at the port plus its playback latency)
//                                 (each: the signed median, then median, p99, max of |gap|; then
//                                 the same, *_away_from_xruns, without those within a second of
//                                 one of the server's xruns)
//   onsets ours <n> peer <n> paired <n>
//   xruns <n>
#include "JackPads.h"
#include "LibraryFrames.h"
#include "audio/OutputClock.h"
#include "audio/SoundBuffers.h"
#include "core/FrameClock.h"
#include "sync/LinkClock.h"

#include <ableton/Link.hpp>

#include <QByteArray>

#include <jack/jack.h>
#include <net/if.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMixRate = 44100;

bool OnlyLoopback() {
    bool only = true;
    if (struct if_nameindex* interfaces = if_nameindex()) {
        for (const struct if_nameindex* i = interfaces; i->if_index != 0; ++i) {
            only = only && std::strcmp(i->if_name, "lo") == 0;
        }
        if_freenameindex(interfaces);
        return only;
    }
    return false;
}

// Onsets on two ports: the server's frame of the first sample above 0.3 after 50 ms below it.
struct Recorder {
    static constexpr std::size_t kMax = 1 << 16;
    struct Port {
        jack_port_t* port = nullptr;
        std::vector<std::int64_t> onsets = std::vector<std::int64_t>(kMax);
        std::atomic<std::size_t> count{0};
        std::int64_t quiet = 0;
        bool recording = false;
    };
    jack_client_t* client = nullptr;
    std::array<Port, 2> ports; // ours, the peer's
    std::atomic<bool> recording{false};
    std::atomic<int> xruns{0};
    std::array<std::atomic<double>, 1 << 14> xrunTimes{}; // host microseconds
    std::int64_t unwrapped = 0;
    std::uint32_t last = 0;

    static int process(jack_nframes_t frames, void* self) {
        auto* r = static_cast<Recorder*>(self);
        const jack_nframes_t start = jack_last_frame_time(r->client);
        r->unwrapped += static_cast<std::uint32_t>(start - r->last);
        r->last = start;
        const bool on = r->recording.load(std::memory_order_relaxed);
        for (Port& p : r->ports) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(p.port, frames));
            for (jack_nframes_t i = 0; i < frames; ++i) {
                if (std::fabs(in[i]) <= 0.3f) {
                    ++p.quiet;
                    continue;
                }
                const std::size_t n = p.count.load(std::memory_order_relaxed);
                if (on && p.quiet >= 2400 && n < kMax) {
                    p.onsets[n] = r->unwrapped + i;
                    p.count.store(n + 1, std::memory_order_release);
                }
                p.quiet = 0;
            }
        }
        return 0;
    }
    static int late(void* self) {
        auto* r = static_cast<Recorder*>(self);
        const int n = r->xruns.fetch_add(1);
        if (n < static_cast<int>(r->xrunTimes.size())) {
            r->xrunTimes[static_cast<std::size_t>(n)].store(mt::OutputClock::HostMicros());
        }
        return 0;
    }
};

double Seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Gap {
    double micros; // host time
    double ms;
};

// Signed median, then the median, p99 and largest of the magnitudes.
void Print(const std::string& name, std::vector<double> gaps) {
    if (gaps.empty()) {
        std::printf("%s none\n", name.c_str());
        return;
    }
    const double signedMedian = mt::bench::Percentile(gaps, 0.5);
    for (double& g : gaps) {
        g = std::fabs(g);
    }
    std::printf("%s signed_median %.3f median %.3f p99 %.3f max %.3f n %zu\n", name.c_str(),
                signedMedian, mt::bench::Percentile(gaps, 0.5), mt::bench::Percentile(gaps, 0.99),
                *std::max_element(gaps.begin(), gaps.end()), gaps.size());
}

// All the gaps, then those with no xrun of the server's within a second of them.
void Report(const char* name, const std::vector<Gap>& gaps, const std::vector<double>& xruns) {
    std::vector<double> all;
    std::vector<double> quiet;
    for (const Gap& g : gaps) {
        all.push_back(g.ms);
        const auto near = std::lower_bound(xruns.begin(), xruns.end(), g.micros - 1e6);
        if (near == xruns.end() || *near > g.micros + 1e6) {
            quiet.push_back(g.ms);
        }
    }
    Print(name, all);
    Print(std::string(name) + "_away_from_xruns", quiet);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: link_phase SECONDS [PEER_PORT]\n");
        return 2;
    }
    if (!OnlyLoopback()) {
        std::fprintf(stderr,
                     "link_phase: run it in a private network namespace (bench/link_phase.py "
                     "does): Link would announce itself on this machine's network\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const char* peerPort = argc > 2 ? argv[2] : "LinkHut:out_1";

    const std::int32_t lib = mt::bench::OpenJackLibrary("link_phase", kMixRate);
    if (lib == 0) {
        return 1;
    }
    for (int t = 0; t < 8; ++t) {
        const double hz = 110.0 * (t + 2);
        const QByteArray loop = mt::bench::MonoWav(kMixRate, kMixRate + 9000 * t, [hz](int i) {
            return 300.0 * std::sin(2.0 * M_PI * hz * i / kMixRate);
        });
        const std::int32_t b = mt::createSoundBuffer(lib, loop.constData(), loop.size(), 0);
        mt::playBufferLoopingWith(b, 0, 0, kMixRate);
    }
    const QByteArray burst = mt::bench::MonoWav(kMixRate, 2000, [](int) { return 20000.0; });
    const std::array<std::int32_t, 2> clicks = {
        mt::createSoundBuffer(lib, burst.constData(), burst.size(), 0),
        mt::createSoundBuffer(lib, burst.constData(), burst.size(), 0)};

    const mt::bench::LibraryFrames frames(lib);
    mt::LinkClock link(frames, 120.0);
    link.setBeatsPerBar(4);
    mt::setLibraryBlockListener(lib, &link);
    link.setEnabled(true);
    ableton::Link session(120.0);
    session.enable(true);

    Recorder rec;
    rec.client = jack_client_open("Link phase", JackNoStartServer, nullptr);
    if (rec.client == nullptr) {
        std::fprintf(stderr, "link_phase: no JACK server\n");
        return 1;
    }
    const char* names[] = {"ours", "peer"};
    for (std::size_t i = 0; i < 2; ++i) {
        rec.ports[i].port =
            jack_port_register(rec.client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    jack_set_process_callback(rec.client, &Recorder::process, &rec);
    jack_set_xrun_callback(rec.client, &Recorder::late, &rec);
    jack_activate(rec.client);
    jack_connect(rec.client, "Marrowtune:outport 0", "Link phase:ours");
    const auto until = [](double s) {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::llround(s * 1e3));
    };
    for (auto give = until(10.0); std::chrono::steady_clock::now() < give;) {
        if (link.read().present && jack_connect(rec.client, peerPort, "Link phase:peer") == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!link.read().present) {
        std::fprintf(stderr, "link_phase: no Link peer within 10 s\n");
        return 1;
    }
    // The peers' phases settle over Link's first measurements (LinkHut's first clicks in the
    // session land up to 175 ms off).
    std::this_thread::sleep_for(std::chrono::seconds(2));
    rec.recording.store(true);
    rec.xruns.store(0);
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Gap> clockGaps;
    // Each click against the session's nearest beat where it is heard: its frame at the port on
    // the server's clock plus the port's playback latency, on the host's clock.
    std::array<std::vector<Gap>, 2> offBeat;
    std::array<std::size_t, 2> judged = {0, 0};
    std::array<jack_latency_range_t, 2> latency{};
    for (std::size_t i = 0; i < 2; ++i) {
        jack_port_get_latency_range(
            jack_port_by_name(rec.client, i == 0 ? "Marrowtune:outport 0" : peerPort),
            JackPlaybackLatency, &latency[i]);
    }
    double bpm = 0.0;
    std::int64_t lastClick = 0;
    int next = 0;
    const auto output = mt::libraryOutputClock(lib);
    for (const auto end = until(seconds); std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        mt::collectLibrary(lib);
        const mt::ClockReading r = link.read();
        if (r.bpm != bpm) {
            bpm = r.bpm;
            std::printf("tempo %.6f %.3f\n", Seconds(), bpm);
            std::fflush(stdout);
        }
        const double framesPerBeat = kMixRate * 60.0 / r.bpm;
        const double now = mt::OutputClock::HostMicros();
        double frame = 0.0;
        if (!r.present || !output->frameAtHostTime(now, frame)) {
            continue;
        }
        const double ours = r.beat + (frame - static_cast<double>(r.frame)) / framesPerBeat;
        const double theirs = session.captureAppSessionState().beatAtTime(
            std::chrono::microseconds(std::llround(now)), r.beatsPerBar);
        clockGaps.push_back({now, std::remainder(ours - theirs, r.beatsPerBar) * 60000.0 / r.bpm});
        const auto state = session.captureAppSessionState();
        const double jackToHost = now - static_cast<double>(jack_get_time());
        for (std::size_t i = 0; i < 2; ++i) {
            const std::size_t count = rec.ports[i].count.load(std::memory_order_acquire);
            for (; judged[i] < count; ++judged[i]) {
                const auto onset = static_cast<jack_nframes_t>(rec.ports[i].onsets[judged[i]]);
                const double heard =
                    static_cast<double>(jack_frames_to_time(rec.client, onset + latency[i].max)) +
                    jackToHost;
                const double beat =
                    state.beatAtTime(std::chrono::microseconds(std::llround(heard)), 1.0);
                offBeat[i].push_back({heard, std::remainder(beat, 1.0) * 60000.0 / state.tempo()});
            }
        }
        // The beats whose frames the next 50 ms bring, each once.
        const std::int64_t horizon = mt::libraryFrameHorizon(lib);
        for (double beat =
                 std::ceil(r.beat + static_cast<double>(horizon - r.frame) / framesPerBeat);
             ; ++beat) {
            const std::int64_t at = r.frame + std::llround((beat - r.beat) * framesPerBeat);
            if (at > horizon + kMixRate / 20) {
                break;
            }
            if (at > lastClick + std::llround(framesPerBeat / 2)) {
                mt::playBufferAt(clicks[static_cast<std::size_t>(next++ % 2)], 0, 0, kMixRate,
                                 false, at, 0);
                lastClick = at;
            }
        }
    }
    rec.recording.store(false);
    mt::setLibraryBlockListener(lib, nullptr);

    // Each peer click against our nearest within 100 ms, in ms at the server's rate.
    const double serverRate = jack_get_sample_rate(rec.client);
    const std::size_t ourCount = rec.ports[0].count.load(std::memory_order_acquire);
    const std::size_t peerCount = rec.ports[1].count.load(std::memory_order_acquire);
    const std::vector<std::int64_t> ours(rec.ports[0].onsets.begin(),
                                         rec.ports[0].onsets.begin() +
                                             static_cast<std::ptrdiff_t>(ourCount));
    std::vector<Gap> heardGaps;
    for (std::size_t i = 0; i < std::min(peerCount, offBeat[1].size()); ++i) {
        const std::int64_t peer = rec.ports[1].onsets[i];
        const auto after = std::lower_bound(ours.begin(), ours.end(), peer);
        double best = 1e9;
        if (after != ours.end()) {
            best = static_cast<double>(*after - peer);
        }
        if (after != ours.begin() &&
            std::fabs(static_cast<double>(*(after - 1) - peer)) < std::fabs(best)) {
            best = static_cast<double>(*(after - 1) - peer);
        }
        if (std::fabs(best) < 0.1 * serverRate) {
            heardGaps.push_back({offBeat[1][i].micros, best * 1000.0 / serverRate});
        }
    }
    std::vector<double> xruns;
    for (int i = 0; i < std::min<int>(rec.xruns.load(), rec.xrunTimes.size()); ++i) {
        xruns.push_back(rec.xrunTimes[static_cast<std::size_t>(i)].load());
    }
    std::sort(xruns.begin(), xruns.end());
    Report("clock_phase_ms", clockGaps, xruns);
    Report("heard_phase_ms", heardGaps, xruns);
    Report("ours_off_beat_ms", offBeat[0], xruns);
    Report("peer_off_beat_ms", offBeat[1], xruns);
    std::printf("onsets ours %zu peer %zu paired %zu\n", ourCount, peerCount, heardGaps.size());
    std::printf("xruns %d\n", rec.xruns.load());
    jack_deactivate(rec.client);
    jack_client_close(rec.client);
    mt::closeSoundLibrary(lib);
    return 0;
}
