// The MIDI clock out as a drum machine would hear it, on a private JACK server (dummy backend,
// 48 kHz) with the sound at 44.1 kHz converted to it, as the program plays: the spacing of the
// ticks (jitter: how far each one is from a 24th of a beat after the one before; target p99
// <= 0.2 ms) and where every bar's first tick lands (drift; target within 1 ms after the whole
// run), against the frame the beat grid gives it and against the sound: a one-bar loop with a
// click on its first frame, started on the Start's bar line (when a bar is a whole number of
// frames: 120 BPM in 4/4 is). Recorded by a JACK client of the bench's own. Beside it, the
// named baseline: the same ticks written at the start of their cycle, as a sender that is not
// sample-accurate writes them, and our p99 as a ratio of its p99.
//
// bench_midi_clock [seconds, default 30] [BPM, default 120] [period frames, default 128]
#include "IgnoringInput.h"
#include "JackPads.h"
#include "LibraryFrames.h"
#include "audio/RtAudioOutput.h"
#include "audio/SampleBuffer.h"
#include "audio/SoundBuffers.h"
#include "core/BeatClock.h"
#include "midiin/MidiInput.h"

#include <QCoreApplication>
#include <QThread>

#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using mt::bench::Percentile;

constexpr int kEngineRate = 44100;
constexpr double kServerRate = 48000.0;

// Every MIDI message our output sends: the server's frame of it and of its cycle's start.
class Recorder {
public:
    struct Event {
        std::uint32_t frame = 0;
        std::uint32_t cycle = 0;
        std::uint8_t status = 0;
    };

    explicit Recorder(std::size_t capacity) : m_events(capacity) {
        m_client = jack_client_open("Clock recorder", JackNoStartServer, nullptr);
        if (m_client == nullptr) {
            return;
        }
        m_port = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        m_audio =
            jack_port_register(m_client, "sound", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &process, this);
        jack_set_xrun_callback(m_client, &Recorder::lateCycle, this);
        jack_activate(m_client);
        jack_connect(m_client, "Marrowtune out:Marrowtune", "Clock recorder:in");
        jack_connect(m_client, "Marrowtune:outport 0", "Clock recorder:sound");
    }
    ~Recorder() {
        if (m_client != nullptr) {
            jack_client_close(m_client);
        }
    }
    bool open() const { return m_client != nullptr; }
    std::vector<Event> events() const {
        return {m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(m_count.load())};
    }
    // The server's frame of every click: the sound rising over a quarter of full scale.
    std::vector<std::uint32_t> clicks() const {
        return {m_clicks.begin(), m_clicks.begin() + static_cast<std::ptrdiff_t>(m_heard.load())};
    }

    std::atomic<int> xruns{0};

private:
    static int lateCycle(void* self) {
        ++static_cast<Recorder*>(self)->xruns;
        return 0;
    }
    static int process(jack_nframes_t frames, void* self) {
        auto* r = static_cast<Recorder*>(self);
        const jack_nframes_t start = jack_last_frame_time(r->m_client);
        void* buffer = jack_port_get_buffer(r->m_port, frames);
        for (jack_nframes_t i = 0; i < jack_midi_get_event_count(buffer); ++i) {
            jack_midi_event_t e;
            const std::size_t n = r->m_count.load(std::memory_order_relaxed);
            if (jack_midi_event_get(&e, buffer, i) == 0 && e.size > 0 && n < r->m_events.size()) {
                r->m_events[n] = {start + e.time, start, e.buffer[0]};
                r->m_count.store(n + 1, std::memory_order_release);
            }
        }
        const auto* sound = static_cast<const float*>(jack_port_get_buffer(r->m_audio, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const std::size_t n = r->m_heard.load(std::memory_order_relaxed);
            if (sound[i] > 0.25f && !r->m_loud && n < r->m_clicks.size()) {
                r->m_clicks[n] = start + i;
                r->m_heard.store(n + 1, std::memory_order_release);
            }
            r->m_loud = sound[i] > 0.1f;
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    jack_port_t* m_audio = nullptr;
    std::vector<Event> m_events;
    std::atomic<std::size_t> m_count{0};
    std::vector<std::uint32_t> m_clicks = std::vector<std::uint32_t>(m_events.size());
    std::atomic<std::size_t> m_heard{0};
    bool m_loud = false;
};

// Frames from `a` to `b` on the server's clock, which wraps.
double Between(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(b - a);
}

// Each tick's distance from a tick's spacing after the one before, in ms.
std::vector<double> JitterMs(const std::vector<std::uint32_t>& ticks, double spacing) {
    std::vector<double> ms;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        ms.push_back(std::abs(Between(ticks[i - 1], ticks[i]) - spacing) * 1000.0 / kServerRate);
    }
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const double bpm = argc > 2 ? std::atof(argv[2]) : 120.0;
    const QString period = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("128");
    mt::bench::JackPads server; // the server; its pad client stays silent
    if (!server.start("bench_midi_clock", "marrowtune-clock-" + std::to_string(::getpid()),
                      period)) {
        return 1;
    }
    const std::int32_t lib = mt::openSoundLibraryWith(
        std::make_unique<mt::RtAudioOutput>(std::vector{mt::AudioApi::Jack}),
        mt::OutputConfig{kEngineRate, 2, 64});
    if (lib == 0) {
        std::fprintf(stderr, "bench_midi_clock: no sound output on the private server\n");
        return 1;
    }
    const mt::bench::LibraryFrames frames(lib);
    mt::BeatClock clock(frames);
    if (!clock.setBpm(bpm)) {
        std::fprintf(stderr, "bench_midi_clock: %g BPM is out of range\n", bpm);
        return 1;
    }
    mt::bench::IgnoringInput sink;
    mt::MidiInput midi(sink);
    midi.setConnectHardware(false);
    midi.attachClock(clock, frames);
    if (!midi.start(mt::MidiSystem::Jack)) {
        std::fprintf(stderr, "bench_midi_clock: %s\n", qPrintable(midi.status()));
        return 1;
    }
    // One bar of sound: a click, then silence.
    const double barFrames = clock.framesPerBeat() * clock.beatsPerBar();
    const bool wholeBar = barFrames == std::round(barFrames);
    auto samples =
        std::make_unique<mt::SampleBuffer>(static_cast<std::int64_t>(barFrames), 1, kEngineRate);
    std::fill(samples->data(), samples->data() + samples->frames(), 0.0f);
    std::fill(samples->data(), samples->data() + 100, 0.5f);
    const std::int32_t loop = mt::adoptSoundBuffer(lib, std::move(samples), QString());
    const auto capacity = static_cast<std::size_t>(seconds * bpm / 60.0 * 24.0) + 1000;
    Recorder recorder(capacity);
    if (!recorder.open()) {
        std::fprintf(stderr, "bench_midi_clock: the recorder did not open\n");
        return 1;
    }
    QThread::msleep(300);

    midi.clockSender()->start();
    mt::playBufferAt(loop, 0, 0, kEngineRate, true,
                     clock.nextGridFrame(frames.frameHorizon(), mt::Quantise::Bar), 0);
    const mt::BeatGrid grid = clock.grid(); // no tempo change from here on
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    midi.clockSender()->stop();
    QThread::msleep(100);
    midi.stop();
    mt::closeSoundLibrary(lib);

    // The ticks from the Start on, and the same ticks at the start of their cycles.
    std::vector<std::uint32_t> ticks;
    std::vector<std::uint32_t> atCycleStart;
    bool started = false;
    for (const Recorder::Event& e : recorder.events()) {
        started = started || e.status == 0xFA;
        if (started && e.status == 0xF8) {
            ticks.push_back(e.frame);
            atCycleStart.push_back(e.cycle);
        }
    }
    if (ticks.size() < 100) {
        std::fprintf(stderr, "bench_midi_clock: only %zu ticks came\n", ticks.size());
        return 1;
    }
    const double ratio = kServerRate / kEngineRate;
    const double spacing = grid.framesPerBeat * ratio / 24.0;
    const std::vector<double> ours = JitterMs(ticks, spacing);
    const std::vector<double> baseline = JitterMs(atCycleStart, spacing);

    // JACK hands a late cycle's MIDI to nobody: a gap of n spacings hid n - 1 ticks.
    long lost = 0;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        lost += std::max(0L, std::lround(Between(ticks[i - 1], ticks[i]) / spacing) - 1);
    }
    // Each bar's first tick: by its count from the Start's (the 24 x beats-per-bar x N-th,
    // which every lost tick moves by a spacing) against where the grid puts the bar; and by
    // its place, the tick nearest to the grid's bar line and to the bar's click.
    std::vector<double> at; // frames after the Start's tick
    at.reserve(ticks.size());
    for (const std::uint32_t t : ticks) {
        at.push_back(Between(ticks[0], t));
    }
    const auto nearest = [&](double frame) {
        const auto i = std::lower_bound(at.begin(), at.end(), frame);
        const double after = i == at.end() ? 1e12 : *i - frame;
        const double before = i == at.begin() ? -1e12 : *(i - 1) - frame;
        return (after < -before ? after : before) * 1000.0 / kServerRate;
    };
    const std::vector<std::uint32_t> clicks = recorder.clicks();
    const std::size_t perBar = 24U * static_cast<std::size_t>(grid.beatsPerBar);
    const double barOnServer = grid.framesPerBeat * grid.beatsPerBar * ratio;
    const std::size_t bars = (ticks.size() - 1) / perBar;
    const double byCount =
        (at[bars * perBar] - static_cast<double>(bars) * barOnServer) * 1000.0 / kServerRate;
    double worstToGrid = 0.0;
    double worstToSound = 0.0;
    for (std::size_t bar = 0; bar <= bars; ++bar) {
        worstToGrid =
            std::max(worstToGrid, std::abs(nearest(static_cast<double>(bar) * barOnServer)));
        if (bar < clicks.size()) {
            worstToSound =
                std::max(worstToSound, std::abs(nearest(Between(ticks[0], clicks[bar]))));
        }
    }
    std::printf("MIDI clock out, JACK period %s frames at 48 kHz, sound at 44.1 kHz converted, "
                "%.0f BPM, %.0f s: %zu ticks, %ld lost by JACK in %d late cycles (xruns)\n",
                qPrintable(period), bpm, seconds, ticks.size(), lost, recorder.xruns.load());
    std::printf("  tick jitter: p99 %.4f ms, max %.4f ms (target p99 <= 0.2 ms)\n",
                Percentile(ours, 0.99), Percentile(ours, 1.0));
    std::printf("  baseline (each tick at its cycle's start): p99 %.4f ms, max %.4f ms; "
                "ratio %.3f\n",
                Percentile(baseline, 0.99), Percentile(baseline, 1.0),
                Percentile(ours, 0.99) / Percentile(baseline, 0.99));
    std::printf("  drift over %zu bars (target within 1 ms): the %zu-th tick %+.4f ms from the "
                "grid's frame; by place, the tick nearest each bar line of the grid at most "
                "%.4f ms away\n",
                bars, bars * perBar, byCount, worstToGrid);
    if (wholeBar && bars < clicks.size()) {
        std::printf("  against the sound: the %zu-th tick %+.4f ms from bar %zu's click; by "
                    "place, the tick nearest each bar's click at most %.4f ms away (%zu clicks)\n",
                    bars * perBar,
                    Between(clicks[bars], ticks[bars * perBar]) * 1000.0 / kServerRate, bars,
                    worstToSound, clicks.size());
    }
    return 0;
}
