// End to end through a JACK server of the test's own (the dummy backend: no sound card), which
// runs at 48 kHz whatever the program's output format is.
#include "AudioServers.h"
#include "AudioTestKit.h"

#include "audio/OutputClock.h"
#include "audio/RtAudioOutput.h"
#include "audio/SoundBuffers.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace mt::test {
namespace {

// The status line's reads for `ms` milliseconds.
void PumpHealth(std::int32_t lib, int ms) {
    LibraryHealth health;
    MsUntilHealth(lib, health, ms, [](const LibraryHealth&) { return false; });
}

// Buffer frames the voice of `buffer` plays per second of wall time, over `ms` from when it
// first moves (PulseAudio holds a new stream back until its queue has filled); 0 when it did
// not move within 5 s.
double FramesPerSecond(std::int32_t lib, std::int32_t buffer, int ms) {
    VoiceStatus a;
    VoiceStatus b;
    collectLibrary(lib);
    bufferStatus(buffer, a);
    WaitFor([&] {
        collectLibrary(lib);
        bufferStatus(buffer, b);
        return b.position != a.position;
    });
    QElapsedTimer t;
    t.start();
    PumpLibrary(lib, ms);
    bufferStatus(buffer, a);
    return static_cast<double>(a.position - b.position) * 1000.0 / static_cast<double>(t.elapsed());
}

using JackOutput = JackServerTest;

TEST_F(JackOutput, A48kHzServerIsUsedAtItsRateAndSurvivesARestart) {

    // The default output format, which the server does not run at.
    const std::int32_t lib = openSoundLibraryWith(
        std::make_unique<RtAudioOutput>(std::vector{AudioApi::Jack}), OutputConfig{22050, 2, 64});
    ASSERT_NE(lib, 0) << "the JACK stream was given up";
    LibraryHealth health;
    ASSERT_TRUE(libraryHealth(lib, health));
    // The server's rate and period; the format's own rate.
    EXPECT_EQ(std::make_tuple(health.device.api, health.device.deviceRate,
                              health.device.blockFrames, health.format.sampleRate),
              std::make_tuple(std::string("jack"), 48000, 128, 22050));
    const QString ports = m_jack.ports(true);
    EXPECT_TRUE(ports.contains(QStringLiteral("Marrowtune:"))) << ports.toStdString();
    EXPECT_TRUE(ports.contains(QStringLiteral("   system:playback_1"))) << ports.toStdString();
    // Under PipeWire's libjack the block (64 frames at 22.05 kHz, 139 at 48 kHz) would be the
    // graph's quantum, a power of two; jackd ignores the request.
    EXPECT_STREQ(std::getenv("PIPEWIRE_PROPS"), "{ node.force-quantum = 128 }");
    EXPECT_STREQ(std::getenv("PIPEWIRE_LATENCY"), "128/48000");

    // The performer routes the program elsewhere; a format change keeps that routing.
    ASSERT_TRUE(m_jack.run("jack_disconnect", {"Marrowtune:outport 0", "system:playback_1"}));
    ASSERT_TRUE(m_jack.run("jack_connect", {"Marrowtune:outport 0", "system:playback_2"}));
    ASSERT_NE(setLibraryFormat(lib, 44100, 16, 2), 0);
    EXPECT_EQ(m_jack.connections(QStringLiteral("Marrowtune:outport 0")),
              QStringList{QStringLiteral("system:playback_2")});
    ASSERT_NE(setLibraryFormat(lib, 22050, 16, 2), 0);

    const std::int32_t b = LoadWav(lib, SineWav(22050, 2, 1000, 10 * 22050));
    ASSERT_NE(b, 0);
    playBufferLoopingWith(b, 0, 0, 22050);
    EXPECT_NEAR(FramesPerSecond(lib, b, 1000), 22050.0, 22050.0 * 0.05)
        << "the format's rate in real time on a 48 kHz device";

    // A frame is placed on the host's clock when JACK says it is heard: its cycle's start on the
    // server's clock plus the playback latency of the port it leaves by, which counts that cycle.
    // The median over a second, once the placement's line has forgotten the stream's start.
    {
        const JackClient probe("probe");
        ASSERT_TRUE(probe.open());
        const jack_nframes_t latency = probe.playbackLatency("Marrowtune:outport 0");
        const auto clock = libraryOutputClock(lib);
        // A loaded machine's stall moves the line for a moment (a test beside this one): up to
        // three seconds are measured, the first within the bound counts.
        double median = 0.0;
        for (int attempt = 0; attempt < 3 && (attempt == 0 || std::abs(median) > 1200.0);
             ++attempt) {
            PumpLibrary(lib, 500);
            std::vector<double> errors;
            for (int i = 0; i < 20; ++i, PumpLibrary(lib, 50)) {
                const std::int64_t frame = clock->frames();
                double device = 0.0;
                double placed = 0.0;
                ASSERT_TRUE(clock->deviceFrameOf(frame, device) &&
                            clock->hostTimeOf(frame, placed));
                const auto cycle = static_cast<jack_nframes_t>(std::llround(device));
                const double heard =
                    static_cast<double>(jack_frames_to_time(probe.get(), cycle + latency)) +
                    OutputClock::HostMicros() - static_cast<double>(jack_get_time());
                errors.push_back(placed - heard);
            }
            std::nth_element(errors.begin(), errors.begin() + 10, errors.end());
            median = errors[10];
        }
        EXPECT_NEAR(median, 0.0, 1200.0) << "microseconds; a period is 2667";
    }

    // Another client's late cycles (20 ms when told) are the server's xruns, not ours: nothing
    // of ours was lost.
    {
        std::atomic<bool> stall{false};
        JackClient late("late");
        ASSERT_TRUE(late.open());
        late.activate([&stall](jack_nframes_t) {
            if (stall.exchange(false)) {
                ::usleep(20000);
            }
        });
        ASSERT_TRUE(libraryHealth(lib, health));
        const std::uint32_t before = health.underruns;
        const int xrunsBefore = m_jack.xruns();
        for (int i = 0; i < 5; ++i) {
            stall = true;
            PumpHealth(lib, 200);
        }
        ASSERT_TRUE(libraryHealth(lib, health));
        EXPECT_GE(m_jack.xruns() - xrunsBefore, 5) << "the server saw the late cycles";
        EXPECT_LE(health.underruns, before + 1) << "counted as ours";
    }

    m_jack.kill();
    const qint64 noticed = MsUntilHealth(lib, health, 3000, [](auto& h) { return h.reopening; });
    EXPECT_GE(noticed, 0) << "the server's end went unnoticed";
    EXPECT_LT(noticed, 1000);
    ASSERT_TRUE(m_jack.start()) << "jackd did not start again: " << m_jack.log().toStdString();
    const qint64 back = MsUntilHealth(lib, health, 5000, [](auto& h) { return !h.reopening; });
    EXPECT_GE(back, 0) << "still reopening";
    EXPECT_LT(back, 3000) << "reopened after " << back << " ms";
    EXPECT_NEAR(FramesPerSecond(lib, b, 500), 22050.0, 22050.0 * 0.1) << "the loop plays on";
    closeSoundLibrary(lib);
}

// Records what arrives from ports of ours, each on an input of a client of the test's own,
// until `frames` frames of each have come.
class JackTap {
public:
    JackTap(const std::vector<QString>& sources, std::size_t frames) : m_frames(frames) {
        if (!m_client.open()) {
            return;
        }
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const std::string name = "in " + std::to_string(i);
            m_ports.push_back(
                m_client.port(name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput));
            m_data.emplace_back(frames);
        }
        m_client.activate([this](jack_nframes_t n) { record(n); });
        for (std::size_t i = 0; i < sources.size(); ++i) {
            m_client.connect(sources[i].toStdString(), jack_port_name(m_ports[i]));
        }
    }
    // Each source's frames; empty when they did not all come within 5 s.
    std::vector<std::vector<float>> take() {
        const bool all = WaitFor([this] { return m_done.load() >= m_frames; });
        return all ? m_data : std::vector<std::vector<float>>{};
    }

private:
    void record(jack_nframes_t frames) {
        const std::size_t at = m_done.load();
        // From the first cycle in which every source sounds: a connection takes a cycle or more
        // to reach the graph, longer on a busy machine.
        const auto sounds = [frames](jack_port_t* port) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(port, frames));
            return std::any_of(in, in + frames, [](float v) { return v != 0.0f; });
        };
        if (at == 0 && !std::all_of(m_ports.begin(), m_ports.end(), sounds)) {
            return;
        }
        const std::size_t n = std::min<std::size_t>(frames, m_frames - at);
        for (std::size_t p = 0; p < m_ports.size() && n > 0; ++p) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(m_ports[p], frames));
            std::copy(in, in + n, m_data[p].begin() + static_cast<std::ptrdiff_t>(at));
        }
        m_done.store(at + n);
    }
    std::vector<jack_port_t*> m_ports;
    std::vector<std::vector<float>> m_data;
    std::size_t m_frames;
    std::atomic<std::size_t> m_done{0};
    JackClient m_client{"tap"};
};

// Separate outputs: the main pair and a pair per track, named for the performer's mixer, only
// the main pair joined to the playback ports; two tracks each on their own pair, both in the
// main one. The mix at 44.1 kHz on the 48 kHz server, so the pairs go through the conversion.
TEST_F(JackOutput, SeparateOutputsGiveEachTrackItsOwnNamedPairBesideTheMainPair) {
    auto output = std::make_unique<RtAudioOutput>(std::vector{AudioApi::Jack});
    OutputChoice choice;
    choice.system = AudioSystem::Jack;
    choice.separateOutputs = true;
    output->choose(choice);
    const std::int32_t lib = openSoundLibraryWith(std::move(output), OutputConfig{44100, 2, 128});
    ASSERT_NE(lib, 0);
    const QString ports = m_jack.ports(false);
    for (const char* name :
         {"main L", "main R", "track 1 L", "track 1 R", "track 8 L", "track 8 R"}) {
        EXPECT_TRUE(ports.contains(QStringLiteral("Marrowtune:") + QLatin1String(name)))
            << name << " in\n"
            << ports.toStdString();
    }
    EXPECT_EQ(ports.count(QStringLiteral("Marrowtune:")), 18);
    EXPECT_EQ(m_jack.connections(QStringLiteral("Marrowtune:main L")),
              QStringList{QStringLiteral("system:playback_1")});
    EXPECT_EQ(m_jack.connections(QStringLiteral("Marrowtune:main R")),
              QStringList{QStringLiteral("system:playback_2")});
    EXPECT_TRUE(m_jack.connections(QStringLiteral("Marrowtune:track 1 L")).isEmpty());

    const std::int32_t low = LoadWav(lib, SineWav(44100, 2, 441, 44100));
    const std::int32_t high = LoadWav(lib, SineWav(44100, 2, 1000, 44100));
    routeBufferToTrack(low, 0);
    routeBufferToTrack(high, 1);
    playBufferLoopingWith(low, 0, 0, 44100);
    playBufferLoopingWith(high, 0, 0, 44100);
    PumpLibrary(lib, 100);
    // A late cycle on a loaded machine drops a period from the recording: taken again then.
    UnlessLate(m_jack, 3, [] {
        JackTap tap({QStringLiteral("Marrowtune:main R"), QStringLiteral("Marrowtune:track 1 L"),
                     QStringLiteral("Marrowtune:track 2 R")},
                    24000);
        const std::vector<std::vector<float>> heard = tap.take();
        if (heard.size() != 3U) {
            return std::string("the tap heard nothing within 5 s");
        }
        const double want[3][2] = {{0.5, 0.5}, {0.5, 0.0}, {0.0, 0.5}}; // 441 Hz, 1000 Hz
        std::ostringstream faults;
        for (std::size_t p = 0; p < 3; ++p) {
            const std::vector<float> x = Settled(heard[p], 1, 2400);
            const double got[2] = {ToneAmplitude(x, 48000, 441), ToneAmplitude(x, 48000, 1000)};
            for (int f = 0; f < 2; ++f) {
                if (std::abs(got[f] - want[p][f]) > 0.01) {
                    faults << "port " << p << ", tone " << f << ": " << got[f] << " for "
                           << want[p][f] << "; ";
                }
            }
        }
        return faults.str();
    });

    // A reopen keeps the names, and the performer's connection of a track pair.
    ASSERT_TRUE(m_jack.run("jack_connect", {"Marrowtune:track 1 L", "system:playback_2"}));
    ASSERT_NE(setLibraryFormat(lib, 22050, 16, 2), 0);
    EXPECT_EQ(m_jack.connections(QStringLiteral("Marrowtune:track 1 L")),
              QStringList{QStringLiteral("system:playback_2")});
    closeSoundLibrary(lib);
}

// The system first in the order goes away (JACK by the automatic choice, or PulseAudio chosen
// while a JACK server runs): the output moves to the other, and when the first is back the
// program plays through it again, the loop where it was.
class JackAndPulseOutput : public PulseServerTest {
protected:
    void SetUp() override {
        PulseServerTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            StartJack(jack);
        }
    }
    PrivatePulse& pulse = m_pulse;
    PrivateJack jack;
};

TEST_F(JackAndPulseOutput, TheSystemFirstInTheOrderIsTakenBackWhenItsServerReturns) {
    for (const bool jackFirst : {true, false}) {
        SCOPED_TRACE(jackFirst ? "JACK first" : "PulseAudio first");
        const std::string first = jackFirst ? "jack" : "pulse";
        const std::string other = jackFirst ? "pulse" : "jack";
        const std::int32_t lib = openSoundLibraryWith(
            std::make_unique<RtAudioOutput>(
                jackFirst ? std::vector{AudioApi::Jack, AudioApi::Pulse, AudioApi::Alsa}
                          : std::vector{AudioApi::Pulse, AudioApi::Jack, AudioApi::Alsa}),
            OutputConfig{22050, 2, 64});
        ASSERT_NE(lib, 0);
        LibraryHealth health;
        ASSERT_TRUE(libraryHealth(lib, health));
        ASSERT_EQ(health.device.api, first);
        const std::int32_t b = LoadWav(lib, SineWav(22050, 2, 1000, 10 * 22050));
        ASSERT_NE(b, 0);
        playBufferLoopingWith(b, 0, 0, 22050);

        if (jackFirst) {
            jack.kill();
        } else {
            ASSERT_TRUE(pulse.kill());
        }
        EXPECT_GE(MsUntilHealth(lib, health, 5000,
                                [&](auto& h) { return !h.reopening && h.device.api == other; }),
                  0)
            << "still on '" << health.device.api << "'";
        EXPECT_NEAR(FramesPerSecond(lib, b, 500), 22050.0, 22050.0 * 0.1) << "on " << other;

        if (jackFirst) {
            ASSERT_TRUE(jack.start()) << "jackd did not start again: " << jack.log().toStdString();
        } else {
            ASSERT_TRUE(pulse.start()) << "pulseaudio did not start again";
        }
        const qint64 back = MsUntilHealth(
            lib, health, 8000, [&](auto& h) { return !h.reopening && h.device.api == first; });
        EXPECT_GE(back, 0) << "still on '" << health.device.api << "'";
        EXPECT_LT(back, 5000) << "back on " << first << " after " << back;
        EXPECT_NEAR(FramesPerSecond(lib, b, 500), 22050.0, 22050.0 * 0.1) << "the loop plays on";
        if (jackFirst) {
            EXPECT_EQ(jack.connections(QStringLiteral("Marrowtune:outport 0")),
                      QStringList{QStringLiteral("system:playback_1")});
        }

        // Staying there: no second move.
        PumpHealth(lib, 2500);
        ASSERT_TRUE(libraryHealth(lib, health));
        EXPECT_TRUE(health.device.api == first && !health.reopening) << health.device.api;
        closeSoundLibrary(lib);
    }
}

} // namespace
} // namespace mt::test
