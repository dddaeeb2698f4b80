// A controller played into our ports through a JACK server of the test's own (the dummy
// backend: no sound card), and the ALSA sequencer where the machine has one; our MIDI clock
// out on that server beside our sound, and a drum machine's clock in.
#include "RecordingPerformance.h"
#include "audio/AudioTestKit.h"
#include "support/PrivateJack.h"

#include "audio/RtAudioOutput.h"
#include "audio/SoundBuffers.h"
#include "core/BeatClock.h"
#include "core/ClockSender.h"
#include "midiin/MidiInput.h"
#include "platform/IniSettingsStore.h"

#include <jack/midiport.h>

#include <RtMidi.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mt::test {
namespace {

using Calls = std::vector<std::string>;

const QString kApp = QStringLiteral("marrowtune");

// A controller's output port, "Test pads:pads", as a device or another program shows it.
std::unique_ptr<RtMidiOut> Pads() {
    auto pads = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Test pads");
    pads->openVirtualPort("pads");
    return pads;
}

// The light messages `lights` receives, waiting up to 5 s for `bytes` of them.
std::vector<unsigned char> Lights(RtMidiIn& lights, std::size_t bytes) {
    std::vector<unsigned char> lit;
    WaitFor([&] {
        std::vector<unsigned char> m;
        lights.getMessage(&m);
        lit.insert(lit.end(), m.begin(), m.end());
        return lit.size() >= bytes;
    });
    return lit;
}

void Send(RtMidiOut& port, const std::vector<unsigned char>& bytes) {
    port.sendMessage(&bytes);
}

std::string Joined(const Calls& calls) {
    std::string all;
    for (const std::string& call : calls) {
        all += call + "; ";
    }
    return all;
}

using MidiJack = JackServerTest;

TEST_F(MidiJack, AControllerPlaysLightsItsPadsAndComesBack) {
    PrivateJack& jack = m_jack;
    QTemporaryDir dir;
    IniSettingsStore store(dir.path());
    store.setValue(kApp, QStringLiteral("Marrowtune"), QStringLiteral("MidiSource"),
                   QStringLiteral("Test pads:pads"));

    RecordingPerformance sink;
    auto midi = std::make_unique<MidiInput>(sink);
    midi->loadSettings(store, kApp);
    ASSERT_TRUE(midi->start(MidiSystem::Jack)) << midi->status().toStdString();
    auto pads = Pads();
    // The chosen source connected to our input, and heard through it.
    const auto padsHeard = [&] {
        return WaitFor([&] { return midi->connectedSources().contains("Test pads:pads"); }) &&
               UntilHeard(*midi, [&](const auto& bytes) { Send(*pads, bytes); });
    };
    ASSERT_TRUE(padsHeard()) << midi->status().toStdString();

    // Another program connects to our input by its name.
    auto other = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Other program");
    ASSERT_TRUE(OpenByName(*other, "Marrowtune in:Marrowtune"));

    UnlessLate(jack, 3, [&] {
        const auto droppedBefore = midi->dropped();
        Send(*pads, {0x99, 36, 127});
        Send(*pads, {37, 64}); // running status across messages
        Send(*pads, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
        Send(*pads, {0x89, 36, 0});
        Send(*pads, {0xB0, 120, 0});
        Send(*pads, {0xF0, 0x7E, 0x7F}); // a dump cut short: the next status byte ends it
        Send(*pads, {0x99, 38, 127});
        const std::string calls = Joined(sink.take(5));
        if (calls == "press 0 0; press 1 -600; release 0; panic; press 2 0; " &&
            midi->dropped() - droppedBefore == 1U) {
            return std::string();
        }
        Send(*pads, {0xB0, 120, 0}); // ends a dump a lost cycle left open
        sink.take(1, 1000);
        sink.take(0, 200);
        return calls + "dropped " + std::to_string(midi->dropped() - droppedBefore);
    });
    Send(*other, {0x90, 43, 1});
    EXPECT_EQ(sink.take(1), Calls{"press 7 -1200"});

    // Lights: the pad's note on the channel it was played on.
    auto lights = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "Test lights");
    ASSERT_TRUE(OpenByName(*lights, "Marrowtune out:Marrowtune"));
    QThread::msleep(100);
    midi->trackStateChanged(0, PadState::Playing);
    midi->trackStateChanged(1, PadState::Empty);
    EXPECT_EQ(Lights(*lights, 6), (std::vector<unsigned char>{0x99, 36, 127, 0x99, 37, 0}));

    // 10,000 messages a second: nothing is lost while the server runs its cycles on time.
    UnlessLate(jack, 5, [&] {
        QElapsedTimer clock;
        clock.start();
        for (int sent = 2; sent <= 5000; sent += 2) {
            Send(*pads, {0x90, 38, 100});
            Send(*pads, {0x80, 38, 0});
            while (clock.nsecsElapsed() < sent * 100000LL) {
                QThread::usleep(50);
            }
        }
        const Calls stream = sink.take(5000, 2000);
        const auto presses = std::count(stream.begin(), stream.end(), "press 2 -257");
        EXPECT_EQ(presses + std::count(stream.begin(), stream.end(), "release 2"),
                  std::ssize(stream));
        return stream.size() == 5000U && presses == 2500
                   ? std::string()
                   : std::to_string(stream.size()) + " of 5000 arrived";
    });

    // The controller pulled out while it plays, and plugged in again.
    for (int i = 0; i < 200; ++i) {
        Send(*pads, {0x90, 38, 100});
    }
    pads.reset();
    ASSERT_TRUE(WaitFor([&] { return midi->connectedSources().isEmpty(); }));
    sink.take(0, 0);
    pads = Pads();
    ASSERT_TRUE(padsHeard());
    Send(*pads, {0x90, 39, 127});
    EXPECT_EQ(sink.take(1), Calls{"press 3 0"});

    // The server dies and comes back: our ports come back with it, the chosen source is
    // connected again and the lights go out on the new output port.
    pads.reset();
    jack.stop();
    ASSERT_TRUE(WaitFor([&] { return midi->status().contains(QStringLiteral("止まりました")); }))
        << midi->status().toStdString();
    Abandon(std::move(other)); // the test's own clients died with it
    Abandon(std::move(lights));
    ASSERT_TRUE(jack.start()) << "jackd did not start again";
    pads = Pads();
    ASSERT_TRUE(padsHeard()) << midi->status().toStdString();
    EXPECT_EQ(midi->status(), QStringLiteral("JACK"));
    Send(*pads, {0x90, 40, 127});
    EXPECT_EQ(sink.take(1), Calls{"press 4 0"});
    lights = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "Test lights");
    ASSERT_TRUE(OpenByName(*lights, "Marrowtune out:Marrowtune"));
    QThread::msleep(100);
    midi->trackStateChanged(4, PadState::Loaded);
    EXPECT_EQ(Lights(*lights, 3), (std::vector<unsigned char>{0x90, 40, 20}));
}

// The library's frames, as the program's track sound hands them to the beat clock.
struct LibraryFrames final : FrameClock {
    explicit LibraryFrames(std::int32_t library) : lib(library) {}
    int frameRate() const override { return libraryFrameRate(lib); }
    std::int64_t frameHorizon() const override { return libraryFrameHorizon(lib); }
    std::shared_ptr<const OutputClock> outputClock() const override {
        return libraryOutputClock(lib);
    }
    std::int32_t lib;
};

using Bytes = std::array<std::uint8_t, 3>;

// A client of the test's own hearing our MIDI out and our sound: the server's frame of every
// MIDI message, and of the first sample of the sound over a quarter of full scale.
class ClockRecorder {
public:
    struct Event {
        std::uint32_t frame = 0;
        Bytes bytes{};
    };

    ClockRecorder() {
        jack_port_t* midi = m_client.port("midi", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
        jack_port_t* audio = m_client.port("audio", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        m_client.activate(
            [this, midi, audio](jack_nframes_t frames) { hear(frames, midi, audio); });
        m_client.connect("Marrowtune out:Marrowtune", "Clock recorder:midi");
        m_client.connect("Marrowtune:outport 0", "Clock recorder:audio");
    }

    // The events from the `from`-th on, once there are `count` of those or 5 s have gone.
    std::vector<Event> events(std::size_t from, std::size_t count = 0) const {
        WaitFor([&] { return m_count.load() >= static_cast<int>(from + count); });
        return {m_events.begin() + static_cast<std::ptrdiff_t>(from),
                m_events.begin() + m_count.load(std::memory_order_acquire)};
    }
    std::size_t size() const { return static_cast<std::size_t>(m_count.load()); }
    // The first loud sample since rearm(); 0 for none.
    std::uint32_t onset() const { return m_heard.load() ? m_onset : 0; }
    void rearm() { m_heard.store(false); }

private:
    void hear(jack_nframes_t frames, jack_port_t* midiPort, jack_port_t* audioPort) {
        const jack_nframes_t start = jack_last_frame_time(m_client.get());
        void* midi = jack_port_get_buffer(midiPort, frames);
        for (jack_nframes_t i = 0; i < jack_midi_get_event_count(midi); ++i) {
            jack_midi_event_t e;
            const int n = m_count.load(std::memory_order_relaxed);
            if (jack_midi_event_get(&e, midi, i) == 0 && n < std::ssize(m_events)) {
                Event& out = m_events[static_cast<std::size_t>(n)];
                out.frame = start + e.time;
                std::copy_n(e.buffer, std::min<std::size_t>(e.size, 3), out.bytes.begin());
                m_count.store(n + 1, std::memory_order_release);
            }
        }
        const auto* sound = static_cast<const float*>(jack_port_get_buffer(audioPort, frames));
        for (jack_nframes_t i = 0; i < frames && !m_heard.load(); ++i) {
            if (sound[i] > 0.25f) {
                m_onset = start + i;
                m_heard.store(true, std::memory_order_release);
            }
        }
    }

    std::vector<Event> m_events = std::vector<Event>(50000);
    std::atomic<int> m_count{0};
    std::uint32_t m_onset = 0;
    std::atomic<bool> m_heard{false};
    JackClient m_client{"Clock recorder"};
};

// Frames from `a` to `b` on the server's clock, which wraps.
long Between(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(b - a);
}

// What a run of the clock got wrong, each with where.
struct Faults {
    void check(bool ok, const std::string& what) { found += ok ? std::string() : what + "\n"; }
    // Every event of `heard` from `first` on is a tick, the k-th where `grid` puts beat
    // `origin` + k/24, on the server's clock (`ratio` of its frames to the engine's) counted
    // from the first: within a frame, both being rounded to the server's whole frames.
    void ticks(const std::vector<ClockRecorder::Event>& heard, std::size_t first,
               const BeatGrid& grid, double origin, double ratio) {
        for (std::size_t i = first; i < heard.size(); ++i) {
            const double k = static_cast<double>(i - first);
            const double expected = ratio * static_cast<double>(grid.frameOfBeat(origin + k / 24) -
                                                                grid.frameOfBeat(origin));
            const long at = Between(heard[first].frame, heard[i].frame);
            check(heard[i].bytes[0] == 0xF8 && std::abs(at - expected) <= 1.0,
                  "tick " + std::to_string(i - first) + " at " + std::to_string(at) + ", not " +
                      std::to_string(expected));
        }
    }
    std::string found;
};

// Start, Stop, Continue and a tempo change as `recorder` hears them, with a track started on
// the Start's bar line.
std::string PlayTheClock(ClockSender& sender, BeatClock& clock, const FrameClock& frames,
                         std::int32_t track, ClockRecorder& recorder) {
    const double ratio = 48000.0 / 44100.0;
    Faults faults;
    clock.setBpm(117);
    recorder.rearm();
    const std::size_t first = recorder.size();

    // Start on the next bar line, where the track is heard, then a tick every 24th of a beat.
    sender.start();
    const std::int64_t barFrame = clock.nextGridFrame(frames.frameHorizon(), Quantise::Bar);
    playBufferAt(track, 0, 0, 44100, false, barFrame, 0);
    const BeatGrid grid = clock.grid();
    const double bar = std::round(grid.beatAt(barFrame));
    std::vector<ClockRecorder::Event> heard = recorder.events(first, 2 + 48);
    if (heard.size() < 50) {
        return "only " + std::to_string(heard.size()) + " messages after the start";
    }
    faults.check(heard[0].bytes == Bytes{0xF2, 0, 0}, "Song Position 0 first");
    faults.check(heard[1].bytes[0] == 0xFA, "then Start");
    faults.check(std::abs(Between(recorder.onset(), heard[1].frame)) <= 1,
                 "Start at " + std::to_string(heard[1].frame) + ", the bar heard at " +
                     std::to_string(recorder.onset()));
    faults.check(heard[2].frame == heard[1].frame, "the first tick with the Start");
    faults.ticks(heard, 2, grid, bar, ratio);

    // Stopped at once; resumed at the next sixteenth, Song Position saying which.
    sender.stop();
    WaitFor([&] { return recorder.events(first).back().bytes[0] == 0xFC; });
    QThread::msleep(100);
    heard = recorder.events(first);
    faults.check(heard.back().bytes[0] == 0xFC, "Stop, and no tick after it");
    const std::size_t stopped = heard.size();
    sender.resume();
    heard = recorder.events(first, stopped + 2 + 24);
    if (heard.size() < stopped + 2 + 24) {
        return faults.found + "too few messages after Continue";
    }
    faults.check(heard[stopped].bytes[0] == 0xF2 && heard[stopped + 1].bytes[0] == 0xFB,
                 "Song Position, then Continue");
    const int sixteenths = heard[stopped].bytes[1] | heard[stopped].bytes[2] << 7;
    const double resumedAt = bar + sixteenths / 4.0;
    const double expected = ratio * static_cast<double>(grid.frameOfBeat(resumedAt) - barFrame);
    const long continued = Between(heard[1].frame, heard[stopped + 1].frame);
    faults.check(std::abs(continued - expected) <= 1.0,
                 "Continue at " + std::to_string(continued) + ", Song Position " +
                     std::to_string(sixteenths) + " at " + std::to_string(expected));
    faults.check(heard[stopped + 2].frame == heard[stopped + 1].frame, "a tick with Continue");
    faults.ticks(heard, stopped + 2, grid, resumedAt, ratio);

    // A tempo change: the ticks go on at the new spacing, none lost, none twice (each within
    // the two roundings of a frame at both ends).
    const double spacing = clock.framesPerBeat() * ratio / 24;
    clock.setBpm(140);
    const double faster = clock.framesPerBeat() * ratio / 24;
    heard = recorder.events(first, heard.size() + 72);
    for (std::size_t i = stopped + 3; i < heard.size(); ++i) {
        const long d = Between(heard[i - 1].frame, heard[i].frame);
        faults.check(heard[i].bytes[0] == 0xF8 && d > faster - 2.1 && d < spacing + 2.1,
                     "tick " + std::to_string(i) + " " + std::to_string(d) + " frames after");
    }
    faults.check(std::abs(Between(heard[heard.size() - 2].frame, heard.back().frame) - faster) <
                     2.1,
                 "the new tempo's spacing");
    sender.stop();
    faults.check(WaitFor([&] { return recorder.events(first).back().bytes[0] == 0xFC; }),
                 "Stop at the end");
    QThread::msleep(100);
    return faults.found;
}

// Our sound at 44.1 kHz on the server's 48 and our MIDI ports on it, the beat clock on the
// engine's frames.
class MidiJackClock : public JackServerTest {
protected:
    void SetUp() override {
        JackServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        lib = openSoundLibraryWith(std::make_unique<RtAudioOutput>(std::vector{AudioApi::Jack}),
                                   OutputConfig{44100, 2, 64});
        ASSERT_NE(lib, 0);
        frames = std::make_unique<LibraryFrames>(lib);
        clock = std::make_unique<BeatClock>(*frames);
        midi.setConnectHardware(false);
        midi.attachClock(*clock, *frames);
        ASSERT_TRUE(midi.start(MidiSystem::Jack)) << midi.status().toStdString();
    }
    void TearDown() override {
        midi.stop();
        closeSoundLibrary(lib);
    }

    std::int32_t lib = 0;
    std::unique_ptr<LibraryFrames> frames;
    std::unique_ptr<BeatClock> clock;
    RecordingPerformance sink;
    MidiInput midi{sink};
};

TEST_F(MidiJackClock, TheBeatClockGoesOutAsMidiClockInTimeWithTheSound) {
    clock->setBeatsPerBar(2);
    ClockRecorder recorder;
    const std::int32_t step = LoadWav(lib, Pcm16Wav(44100, 1, std::vector<float>(44100, 0.5f)));
    ASSERT_NE(step, 0);
    QThread::msleep(200);
    EXPECT_EQ(recorder.size(), 0U) << "sent before the performer started it";

    // In a late cycle JACK moves or drops the sound with the MIDI.
    UnlessLate(m_jack, 3,
               [&] { return PlayTheClock(*midi.clockSender(), *clock, *frames, step, recorder); });
}

// A drum machine on the server: Start, then 24 ticks a beat, each at its exact frame (rounded to
// the server's whole frames); Stop when asked.
class DrumMachine {
public:
    explicit DrumMachine(double framesPerTick) : m_spacing(framesPerTick) {
        jack_port_t* port = m_client.port("out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
        m_client.activate([this, port](jack_nframes_t frames) { play(frames, port); });
        m_client.connect("Drum machine:out", "Marrowtune in:Marrowtune");
    }
    std::atomic<int> state{0};             // 1: start at the next cycle; 2: running; 3: stop
    std::atomic<std::uint32_t> started{0}; // the server's frame of Start and the first tick

private:
    void play(jack_nframes_t frames, jack_port_t* port) {
        void* buffer = jack_port_get_buffer(port, frames);
        jack_midi_clear_buffer(buffer);
        const jack_nframes_t start = jack_last_frame_time(m_client.get());
        const std::uint8_t startByte = 0xFA, tick = 0xF8, stopByte = 0xFC;
        if (state == 1) {
            started = start;
            m_ticks = 0;
            jack_midi_event_write(buffer, 0, &startByte, 1);
            state = 2;
        } else if (state == 3) {
            jack_midi_event_write(buffer, 0, &stopByte, 1);
            state = 0;
        }
        for (long at = 0; state == 2; ++m_ticks) {
            at = std::lround(static_cast<double>(m_ticks) * m_spacing) -
                 static_cast<std::int32_t>(start - started);
            if (at >= static_cast<long>(frames)) {
                break;
            }
            jack_midi_event_write(buffer, static_cast<jack_nframes_t>(at), &tick, 1);
        }
    }

    double m_spacing;
    std::int64_t m_ticks = 0;
    JackClient m_client{"Drum machine"};
};

TEST_F(MidiJackClock, FollowsAClockSentAtExactFrames) {
    const double bpm = 123.0; // 975.6 server frames a tick
    const double framesPerBeat = 48000.0 * 60.0 / bpm;
    DrumMachine drums(framesPerBeat / 24);
    QThread::msleep(200);
    // A cycle our input misses loses its events: a lost Start is sent again until one arrives,
    // and five bars with a late cycle in them are played again.
    UnlessLate(m_jack, 3, [&] {
        for (int attempt = 0; attempt < 5 && !midi.clockIn().read().rolling; ++attempt) {
            drums.state = 1;
            WaitFor([&] { return drums.state == 2; });
            QThread::msleep(300);
        }
        QThread::msleep(2500); // five bars
        const ClockReading r = midi.clockIn().read();
        // Where the reading puts its beat on the server's frames, against the drum machine's.
        double device = 0.0;
        const bool placed = frames->outputClock()->deviceFrameOf(r.frame, device);
        const double after = std::remainder(device - drums.started, OutputClock::kDeviceWrap);
        std::string faults;
        if (!r.present || !r.rolling || !placed) {
            faults = "not rolling on the server's frames";
        } else if (std::abs(r.bpm - bpm) > 0.01) {
            faults = "tempo " + std::to_string(r.bpm);
        } else if (std::abs(r.beat * framesPerBeat - after) > 2.0) {
            faults = "beat at " + std::to_string(r.beat * framesPerBeat) + " frames after Start, " +
                     "not " + std::to_string(after);
        }
        if (!faults.empty()) {
            drums.state = 3;
            WaitFor([&] { return !midi.clockIn().read().rolling; });
        }
        return faults;
    });

    drums.state = 3;
    EXPECT_TRUE(WaitFor([&] { return !midi.clockIn().read().rolling; }));
}

TEST(MidiAlsa, OpensTheSequencerOrSaysWhyNot) {
    RecordingPerformance sink;
    MidiInput midi(sink);
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0) {
        EXPECT_FALSE(midi.start(MidiSystem::Alsa));
        EXPECT_TRUE(midi.status().contains("/dev/snd/seq がありません"))
            << midi.status().toStdString();
        GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq is missing): "
                     << midi.status().toStdString();
    }
    ASSERT_TRUE(midi.start(MidiSystem::Alsa)) << midi.status().toStdString();
    RtMidiOut scanner(RtMidi::LINUX_ALSA, "Test scanner");
    bool found = false;
    for (unsigned i = 0; i < scanner.getPortCount(); ++i) {
        found = found || scanner.getPortName(i).starts_with("Marrowtune in:Marrowtune");
    }
    EXPECT_TRUE(found);
}

} // namespace
} // namespace mt::test
