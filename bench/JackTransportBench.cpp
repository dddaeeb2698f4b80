// Where our reading of the JACK transport puts a timebase master's bars, on a private JACK
// server (dummy backend, 48 kHz). The master is a client of the bench's own: bar 1 at
// transport frame 0, a tempo that is no whole number of frames a beat, BBT from the frame JACK
// asks for, as sequencers give it. Two of our clocks follow it, read every 10 ms as the UI
// does: one on the sound library's output playing on that server at 44.1 kHz (placed by JACK's
// frame time, through the engine's own output clock), one on an output that plays elsewhere
// at 48 kHz on the host's raw monotonic clock (placed by JACK's clock). Each reading's next bar
// is taken to the server's frames and compared with the master's, over the run.
//
// bench_jack_transport [seconds, default 60] [BPM, default 123] [period frames, default 128]
//
// Prints, per path, the median, p99 and largest distance in frames against one period.
#include "JackPads.h"
#include "LibraryFrames.h"
#include "audio/OutputChoice.h"
#include "audio/OutputClock.h"
#include "audio/SoundBuffers.h"
#include "core/FrameClock.h"
#include "sync/JackTransportClock.h"

#include <QThread>

#include <jack/jack.h>
#include <jack/transport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr double kServerRate = 48000.0;
constexpr int kBeatsPerBar = 4;

// The master: BBT at `bpm` from transport frame 0, and JACK's frame at transport frame 0.
struct Master {
    jack_client_t* client = nullptr;
    double bpm = 123.0;
    std::atomic<std::int64_t> zero{-1};
    std::atomic<int> xruns{0};

    static void timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* p, int,
                         void* self) {
        const double bpm = static_cast<Master*>(self)->bpm;
        const double beat = p->frame * bpm / 60.0 / p->frame_rate;
        const double bar = std::floor(beat / kBeatsPerBar);
        const double inBar = beat - bar * kBeatsPerBar;
        p->valid = JackPositionBBT;
        p->bar = static_cast<std::int32_t>(bar) + 1;
        p->beat = static_cast<std::int32_t>(inBar) + 1;
        p->tick = static_cast<std::int32_t>((inBar - std::floor(inBar)) * 1920.0);
        p->bar_start_tick = bar * kBeatsPerBar * 1920.0;
        p->beats_per_bar = kBeatsPerBar;
        p->beat_type = 4;
        p->ticks_per_beat = 1920.0;
        p->beats_per_minute = bpm;
    }
    static int process(jack_nframes_t, void* self) {
        auto* m = static_cast<Master*>(self);
        jack_position_t p{};
        if (jack_transport_query(m->client, &p) == JackTransportRolling) {
            m->zero.store(static_cast<std::int64_t>(jack_last_frame_time(m->client)) - p.frame);
        }
        return 0;
    }
    static int late(void* self) {
        ++static_cast<Master*>(self)->xruns;
        return 0;
    }
};

// An output elsewhere: frame 0 heard at host time `start`, 48000 frames a second after it.
class HostFrames : public mt::FrameClock {
public:
    explicit HostFrames(double start) {
        m_output->setRate(static_cast<int>(kServerRate));
        m_output->setHostPlace(0.0, start, kServerRate / 1e6);
    }
    int frameRate() const override { return static_cast<int>(kServerRate); }
    std::int64_t frameHorizon() const override { return 0; }
    std::shared_ptr<const mt::OutputClock> outputClock() const override { return m_output; }

private:
    std::shared_ptr<mt::OutputClock> m_output = std::make_shared<mt::OutputClock>();
};

// The output frame (at `rate`) where the bar after `r`'s beat starts.
double NextBar(const mt::ClockReading& r, int rate) {
    const double bar = std::ceil(r.beat / kBeatsPerBar) * kBeatsPerBar;
    return static_cast<double>(r.frame) + (bar - r.beat) * 60.0 / r.bpm * rate;
}

// The master's frame (JACK's frame time) of the bar that starts at our beat `beat`.
double MasterBar(const Master& m, double beat) {
    return static_cast<double>(m.zero.load()) + beat * 60.0 / m.bpm * kServerRate;
}

void Report(const char* path, std::vector<double> off, double period) {
    if (off.empty()) {
        std::printf("  %s: no reading placed\n", path);
        return;
    }
    std::vector<double> size(off.size());
    std::transform(off.begin(), off.end(), size.begin(), [](double d) { return std::fabs(d); });
    std::printf("  %s: %zu readings; off by median %.2f, p99 %.2f, max %.2f frames "
                "(signed median %+.2f); one period %.0f frames: %s\n",
                path, off.size(), mt::bench::Percentile(size, 0.5),
                mt::bench::Percentile(size, 0.99), mt::bench::Percentile(size, 1.0),
                mt::bench::Percentile(off, 0.5), period,
                mt::bench::Percentile(size, 1.0) <= period ? "within" : "NOT within");
}

} // namespace

int main(int argc, char* argv[]) {
    const int seconds = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 3600) : 60;
    Master master;
    master.bpm = argc > 2 ? std::clamp(std::atof(argv[2]), 20.0, 300.0) : 123.0;
    const int period = argc > 3 ? std::clamp(std::atoi(argv[3]), 16, 4096) : 128;
    mt::bench::JackPads server;
    const std::string name = "jack-transport-" + std::to_string(::getpid());
    if (!server.start("bench_jack_transport", name, QString::number(period))) {
        return 1;
    }
    const std::int32_t lib = mt::bench::OpenJackLibrary("bench_jack_transport", 44100);
    if (lib == 0) {
        return 1;
    }
    master.client = jack_client_open("Bench master", JackNoStartServer, nullptr);
    jack_set_process_callback(master.client, &Master::process, &master);
    jack_set_xrun_callback(master.client, &Master::late, &master);
    jack_activate(master.client);
    jack_set_timebase_callback(master.client, 0, &Master::timebase, &master);
    jack_latency_range_t latency{};
    jack_port_get_latency_range(jack_port_by_name(master.client, "system:playback_1"),
                                JackPlaybackLatency, &latency);

    mt::bench::LibraryFrames onJack(lib);
    HostFrames elsewhere(mt::OutputClock::HostMicros());
    const auto hostClock = elsewhere.outputClock();
    {
        mt::JackTransportClock followJack(onJack);
        mt::JackTransportClock followHost(elsewhere);
        jack_transport_locate(master.client, 0);
        jack_transport_start(master.client);
        std::vector<double> jackOff;
        std::vector<double> hostOff;
        // The first second: the server settles after the library joined it.
        for (int i = 0; i < 100; ++i) {
            QThread::msleep(10);
            mt::collectLibrary(lib);
        }
        const int xrunsBefore = master.xruns.load();
        for (int i = 0; i < seconds * 100; ++i) {
            QThread::msleep(10);
            mt::collectLibrary(lib);
            const mt::ClockReading a = followJack.read();
            const std::shared_ptr<const mt::OutputClock> output = onJack.outputClock();
            double device = 0.0;
            if (a.present && a.rolling && output != nullptr &&
                output->deviceFrameOf(std::llround(NextBar(a, output->rate())), device)) {
                const double bar = std::ceil(a.beat / kBeatsPerBar) * kBeatsPerBar;
                jackOff.push_back(
                    std::remainder(device - MasterBar(master, bar), mt::OutputClock::kDeviceWrap));
            }
            const mt::ClockReading b = followHost.read();
            if (b.present && b.rolling) {
                // The master's bar, heard on the host clock, as the other output's frame.
                const double bar = std::ceil(b.beat / kBeatsPerBar) * kBeatsPerBar;
                const auto frame =
                    static_cast<jack_nframes_t>(std::llround(MasterBar(master, bar)));
                const double heard =
                    static_cast<double>(jack_frames_to_time(master.client, frame)) +
                    latency.max * 1e6 / kServerRate + mt::OutputClock::HostMicros() -
                    static_cast<double>(jack_get_time());
                double expected = 0.0;
                hostClock->frameAtHostTime(heard, expected);
                hostOff.push_back(NextBar(b, static_cast<int>(kServerRate)) - expected);
            }
        }
        std::printf("JACK transport followed: master at %.2f BPM in %d/4, server 48 kHz, "
                    "periods of %d, %d s, read every 10 ms\n",
                    master.bpm, kBeatsPerBar, period, seconds);
        std::printf("  late cycles (xruns) meanwhile: %d\n", master.xruns.load() - xrunsBefore);
        Report("output on JACK (44.1 kHz, by frame time)", jackOff, period);
        Report("output elsewhere (48 kHz, by host time)", hostOff, period);
    }
    jack_client_close(master.client);
    mt::closeSoundLibrary(lib);
    return 0;
}
