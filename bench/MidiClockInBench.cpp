// The MIDI clock in as the program follows a drum machine on a private JACK server (dummy
// backend, 48 kHz) with the sound at 44.1 kHz converted to it, the reading polled every 10 ms as
// the UI thread does. The drum machine is a JACK client of the bench's own that writes Start and
// 24 ticks a beat at their exact frames, or each up to 1 ms off (uniform, fixed seed).
// Printed against the goals:
//   - the tempo's error two bars after Start (goal within 0.1 BPM), at several tempos;
//   - where the reading puts the Start's beat, on the server's frames, against where the drum
//     machine sent it: at the first reading that rolls, and two bars on (goal within a tick);
//   - with the jittery drum machine, the tempo's furthest from the true one over the run after
//     the first two bars (goal within 0.2 BPM), and the beat's at the reading's own frame;
//   - a tempo change (jittery): the beats until the reading stays within 0.2 BPM of the new.
//
// bench_midi_clock_in [seconds of the jitter run, default 20] [period frames, default 128]
#include "IgnoringInput.h"
#include "JackPads.h"
#include "LibraryFrames.h"
#include "audio/RtAudioOutput.h"
#include "audio/SoundBuffers.h"
#include "core/BeatClock.h"
#include "midiin/MidiInput.h"

#include <QThread>

#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kServerRate = 48000.0;

double FramesPerBeat(double bpm) {
    return kServerRate * 60.0 / bpm;
}

// Start, then ticks at `bpm`, each `jitter` frames off its place at most; Stop when asked. A
// new tempo holds from the next tick.
class DrumMachine {
public:
    DrumMachine() : m_client(jack_client_open("Drum machine", JackNoStartServer, nullptr)) {
        if (m_client == nullptr) {
            return;
        }
        m_port = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_client, &process, this);
        jack_set_xrun_callback(m_client, &lateCycle, this);
        jack_activate(m_client);
        jack_connect(m_client, "Drum machine:out", "Marrowtune in:Marrowtune");
    }
    ~DrumMachine() {
        if (m_client != nullptr) {
            jack_client_close(m_client);
        }
    }
    bool open() const { return m_client != nullptr; }
    // Starts at the next cycle; returns once it has, with the server's frame of the Start and
    // the first tick.
    std::uint32_t start(double bpm, double jitter) {
        m_spacing = FramesPerBeat(bpm) / 24.0;
        m_jitter = jitter;
        m_state = State::Starting;
        while (m_state != State::Running) {
            QThread::usleep(200);
        }
        return m_started;
    }
    void setBpm(double bpm) { m_spacing = FramesPerBeat(bpm) / 24.0; }
    void stop() {
        m_state = State::Stopping;
        while (m_state != State::Stopped) {
            QThread::usleep(200);
        }
    }
    // The server's frame of the tick the tempo set last holds from.
    std::uint32_t changedAt() const { return m_changedAt; }

    std::atomic<int> xruns{0};

private:
    enum class State { Stopped, Starting, Running, Stopping };

    static int lateCycle(void* self) {
        ++static_cast<DrumMachine*>(self)->xruns;
        return 0;
    }
    static int process(jack_nframes_t frames, void* self) {
        auto* d = static_cast<DrumMachine*>(self);
        void* buffer = jack_port_get_buffer(d->m_port, frames);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t cycle = jack_last_frame_time(d->m_client);
        const std::uint8_t start = 0xFA;
        const std::uint8_t tick = 0xF8;
        const std::uint8_t stop = 0xFC;
        if (d->m_state == State::Starting) {
            d->m_started = cycle;
            d->m_next = 0.0;
            d->m_used = d->m_spacing;
            d->m_at = 0;
            jack_midi_event_write(buffer, 0, &start, 1);
            d->m_state = State::Running;
        } else if (d->m_state == State::Stopping) {
            jack_midi_event_write(buffer, 0, &stop, 1);
            d->m_state = State::Stopped;
        }
        // Each tick's frame after the Start, drawn once; written in the cycle it falls in.
        while (d->m_state == State::Running) {
            const long offset = d->m_at - static_cast<std::int32_t>(cycle - d->m_started);
            if (offset >= static_cast<long>(frames)) {
                break;
            }
            jack_midi_event_write(buffer, static_cast<jack_nframes_t>(std::max(offset, 0L)), &tick,
                                  1);
            const double spacing = d->m_spacing;
            if (spacing != d->m_used) { // the new tempo holds from this tick on
                d->m_used = spacing;
                d->m_changedAt = d->m_started + static_cast<std::uint32_t>(d->m_next);
            }
            d->m_next += spacing;
            std::uniform_real_distribution<double> off(-d->m_jitter, d->m_jitter);
            d->m_at = std::max(d->m_at + 1, std::lround(d->m_next + off(d->m_random)));
        }
        return 0;
    }

    jack_client_t* m_client;
    jack_port_t* m_port = nullptr;
    std::atomic<State> m_state{State::Stopped};
    std::atomic<double> m_spacing{1000.0};
    std::atomic<std::uint32_t> m_started{0};
    std::atomic<std::uint32_t> m_changedAt{0};
    double m_jitter = 0.0;
    // The process thread's.
    double m_used = 0.0;
    double m_next = 0.0;
    long m_at = 0;
    std::mt19937 m_random{1};
};

// Where `reading` puts beat 0, on the server's frames.
double StartOnServer(const mt::ClockReading& reading, const mt::OutputClock& output) {
    double device = 0.0;
    output.deviceFrameOf(reading.frame, device);
    return reading.beat == 0.0 ? device : device - reading.beat * FramesPerBeat(reading.bpm);
}

// Frames from `a` to `b` on the server's clock, which wraps.
double Between(double a, double b) {
    return std::remainder(b - a, mt::OutputClock::kDeviceWrap);
}

// Polls the reading every 10 ms for `seconds`; the readings while present.
std::vector<mt::ClockReading> Poll(mt::ExternalClock& clock, double seconds) {
    std::vector<mt::ClockReading> readings;
    for (int i = 0; i < seconds * 100; ++i) {
        QThread::msleep(10);
        if (const mt::ClockReading r = clock.read(); r.present) {
            readings.push_back(r);
        }
    }
    return readings;
}

} // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const QString period = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("128");
    mt::bench::JackPads server; // the server; its pad client stays silent
    if (!server.start("bench_midi_clock_in", "marrowtune-clock-in-" + std::to_string(::getpid()),
                      period)) {
        return 1;
    }
    const std::int32_t lib = mt::openSoundLibraryWith(
        std::make_unique<mt::RtAudioOutput>(std::vector{mt::AudioApi::Jack}),
        mt::OutputConfig{44100, 2, 64});
    if (lib == 0) {
        std::fprintf(stderr, "bench_midi_clock_in: no sound output on the private server\n");
        return 1;
    }
    const mt::bench::LibraryFrames frames(lib);
    mt::BeatClock beatClock(frames);
    mt::bench::IgnoringInput sink;
    mt::MidiInput midi(sink);
    midi.setConnectHardware(false);
    midi.attachClock(beatClock, frames);
    if (!midi.start(mt::MidiSystem::Jack)) {
        std::fprintf(stderr, "bench_midi_clock_in: %s\n", qPrintable(midi.status()));
        return 1;
    }
    DrumMachine drums;
    if (!drums.open()) {
        std::fprintf(stderr, "bench_midi_clock_in: the drum machine did not open\n");
        return 1;
    }
    QThread::msleep(300);
    mt::ExternalClock& clock = midi.clockIn();
    const auto output = frames.outputClock();
    std::printf("MIDI clock in, JACK period %s frames at 48 kHz, sound at 44.1 kHz converted\n",
                qPrintable(period));

    // Exact ticks: the tempo two bars after Start, and where the Start's beat is put.
    double worstBpm = 0.0;
    double worstFirst = 0.0;
    double worstLater = 0.0;
    for (const double bpm : {60.0, 90.0, 123.0, 174.0, 240.0}) {
        const double tick = FramesPerBeat(bpm) / 24.0;
        const std::uint32_t started = drums.start(bpm, 0.0);
        mt::ClockReading r = clock.read();
        while (!r.rolling || r.bpm == 0.0) { // the first run waits for a tempo too
            QThread::usleep(500);
            r = clock.read();
        }
        const double first = Between(started, StartOnServer(r, *output)) / tick;
        QThread::msleep(static_cast<unsigned long>(8 * 60000.0 / bpm));
        r = clock.read();
        const double later = Between(started, StartOnServer(r, *output)) / tick;
        std::printf("  %5.1f BPM: after 2 bars %.6f BPM (error %+.6f); Start placed %+.4f ticks "
                    "off at the first rolling reading, %+.4f ticks 2 bars on\n",
                    bpm, r.bpm, r.bpm - bpm, first, later);
        worstBpm = std::max(worstBpm, std::abs(r.bpm - bpm));
        worstFirst = std::max(worstFirst, std::abs(first));
        worstLater = std::max(worstLater, std::abs(later));
        drums.stop();
        QThread::msleep(700); // gone
    }
    std::printf("  tempo error after 2 bars: at most %.6f BPM (goal within 0.1)\n", worstBpm);
    std::printf("  Start's placement: at most %.4f ticks at the first rolling reading, %.4f ticks "
                "2 bars on (goal within 1)\n",
                worstFirst, worstLater);

    // Each tick up to 1 ms off: the tempo's steadiness after the first two bars.
    const double bpm = 123.0;
    const std::uint32_t started = drums.start(bpm, kServerRate / 1000.0);
    QThread::msleep(static_cast<unsigned long>(8 * 60000.0 / bpm));
    const std::vector<mt::ClockReading> readings = Poll(clock, seconds);
    double furthest = 0.0;
    double beatOff = 0.0; // the reading's beat at its own frame against the drum machine's, frames
    for (const mt::ClockReading& r : readings) {
        furthest = std::max(furthest, std::abs(r.bpm - bpm));
        double device = 0.0;
        output->deviceFrameOf(r.frame, device);
        beatOff =
            std::max(beatOff, std::abs(Between(started, device) - r.beat * FramesPerBeat(bpm)));
    }
    std::printf("  ticks up to 1 ms off at %.0f BPM, %zu readings over %.0f s: tempo at most "
                "%.4f BPM off (goal within 0.2); the beat at the reading's frame at most %.3f ms "
                "from the drum machine's\n",
                bpm, readings.size(), seconds, furthest, beatOff * 1000.0 / kServerRate);

    // A tempo change, still jittery: beats from it until the reading holds within 0.2 BPM.
    const double faster = 140.0;
    drums.setBpm(faster);
    QThread::msleep(20);
    std::vector<std::pair<double, double>> after; // server frames since the change, BPM
    for (int i = 0; i < 300; ++i) {
        QThread::msleep(10);
        const mt::ClockReading r = clock.read();
        double device = 0.0;
        output->deviceFrameOf(r.frame, device);
        after.emplace_back(Between(drums.changedAt(), device), r.bpm);
    }
    double settled = 0.0;
    for (const auto& [frame, reading] : after) {
        if (std::abs(reading - faster) > 0.2) {
            settled = frame;
        }
    }
    std::printf("  %.0f to %.0f BPM: within 0.2 BPM from %.2f beats after the change on (goal "
                "within a beat or two)\n",
                bpm, faster, settled / FramesPerBeat(faster));
    drums.stop();
    std::printf("  late cycles (xruns) during the run: %d\n", drums.xruns.load());
    midi.stop();
    mt::closeSoundLibrary(lib);
    return 0;
}
