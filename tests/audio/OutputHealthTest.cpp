// Underruns, callback load, a dead stream, a block that is a time at every rate; and the
// wrappers: which failures the performer hears about, and the device-opening sequence.
#include "AudioTestKit.h"

#include "audio/CallbackMeter.h"
#include "audio/OfflineOutput.h"
#include "audio/OutputChoice.h"
#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "support/PlatformDoubles.h"
#include "support/WavBytes.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace mt::test {
namespace {

std::int64_t Nanos(double seconds) {
    return static_cast<std::int64_t>(std::llround(seconds * 1e9));
}

// A blocking-write server: a `queue`-second queue draining at (1 + drift) real time; a write
// waits until its block fits; it counts the times the queue really ran dry.
class BlockingWriteServer {
public:
    BlockingWriteServer(CallbackMeter& meter, int rate, int block, double queue, double drift = 0.0)
        : m_meter(meter), m_block(block), m_blockSeconds(static_cast<double>(block) / rate),
          m_queue(queue), m_drift(drift) {
        meter.reset(rate, block, queue, 0);
    }

    // One callback after `away` s, rendering `busy` s, then the write; false when given up.
    bool cycle(double busy, double away = 0.0) {
        pass(away);
        if (!m_meter.enter(Nanos(m_now), false)) {
            return false;
        }
        pass(busy);
        m_meter.leave(Nanos(m_now), static_cast<std::size_t>(m_block));
        if (m_level + m_blockSeconds > m_queue) {
            pass((m_level + m_blockSeconds - m_queue) / (1.0 + m_drift));
        }
        m_level += m_blockSeconds;
        m_filled = true;
        return true;
    }

    // The server holds the stream back (a sink waking up): time passes, nothing plays.
    void hold(double seconds) { m_now += seconds; }

    int dryRuns() const { return m_dryRuns; }
    double now() const { return m_now; }

private:
    void pass(double seconds) {
        m_now += seconds;
        const bool had = m_level > 0.0;
        m_level -= seconds * (1.0 + m_drift);
        if (m_level < 0.0) {
            // One dropout lasts until the next write, however long the server waits for it.
            m_dryRuns += m_filled && had && m_level < -1e-6 ? 1 : 0;
            m_level = 0.0;
        }
    }

    CallbackMeter& m_meter;
    int m_block;
    double m_blockSeconds;
    double m_queue;
    double m_drift;
    double m_now = 1.0;
    double m_level = 0.0;
    bool m_filled = false;
    int m_dryRuns = 0;
};

TEST(CallbackMeter, ABlockingWriteServerRunningDryIsCountedOnceAndOnlyThen) {
    CallbackMeter meter;
    BlockingWriteServer server(meter, 22050, 64, 0.010);
    const auto keepUp = [&server](int cycles) { // callbacks that take 0.4 ms each
        for (int i = 0; i < cycles; ++i) {
            ASSERT_TRUE(server.cycle(0.0004));
        }
    };
    keepUp(3);
    server.hold(2.0);
    keepUp(2000);
    EXPECT_EQ(meter.underruns(), 0u) << "a held start or a callback keeping up never counts";
    ASSERT_TRUE(server.cycle(0.006)); // slow, but the 10 ms queue covers it
    ASSERT_TRUE(server.cycle(0.0004, 0.005));
    keepUp(100);
    EXPECT_EQ(meter.underruns(), 0u) << "a stall the queue covers is no dropout";
    ASSERT_TRUE(server.cycle(0.050)); // a stall in the callback
    keepUp(100);
    ASSERT_TRUE(server.cycle(0.0004, 0.040)); // the thread kept away between callbacks
    keepUp(100);
    EXPECT_EQ(server.dryRuns(), 2);
    EXPECT_EQ(meter.underruns(), 2u);

    // A sound card's clock away from the system's is no dropout, over ten minutes.
    for (const double drift : {-300e-6, 300e-6}) {
        CallbackMeter drifting;
        BlockingWriteServer card(drifting, 44100, 128, 0.010, drift);
        while (card.now() < 600.0) {
            ASSERT_TRUE(card.cycle(0.0005));
        }
        EXPECT_EQ(card.dryRuns(), 0);
        EXPECT_EQ(drifting.underruns(), 0u) << "drift " << drift;
    }
}

TEST(CallbackMeter, LoadIsTheShareOfTheBlockPeriodSpentInTheCallback) {
    CallbackMeter meter;
    const double period = 128.0 / 48000; // 2.67 ms
    meter.reset(48000, 128, 0.0, 0);
    EXPECT_EQ(meter.takePeakLoad(), 0.0f);
    double t = 0.0;
    for (int i = 0; i < 1000; ++i) {
        const bool late = i % 250 == 7; // our cycle came two periods late
        t += late ? 2 * period : period;
        const double busy = i == 40 ? 0.75 * period : 0.25 * period;
        // The device's own flag, also on time: a JACK server's xrun in another client.
        ASSERT_TRUE(meter.enter(Nanos(t), late || i % 100 == 50));
        meter.leave(Nanos(t + busy), 128);
    }
    EXPECT_EQ(meter.underruns(), 4u) << "the device's flag counts where our own cycle came late";
    EXPECT_NEAR(meter.takePeakLoad(), 0.75f, 0.01f) << "the worst block since the last read";
    meter.enter(Nanos(t + period), false);
    meter.leave(Nanos(t + 1.1 * period), 128);
    EXPECT_NEAR(meter.takePeakLoad(), 0.10f, 0.01f) << "a read starts afresh";
}

// A stream whose server has gone calls back in a tight loop: given up within the queue.
TEST(CallbackMeter, AStreamThatNoLongerWaitsIsGivenUpWithinALittleAudio) {
    CallbackMeter meter;
    BlockingWriteServer server(meter, 44100, 128, 0.010);
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(server.cycle(0.0003)) << "filling the queue at the start is no spin";
    }
    EXPECT_FALSE(meter.spinning());
    const double t = server.now();
    int handed = 0;
    while (meter.enter(Nanos(t + handed * 2e-6), false)) {
        meter.leave(Nanos(t + handed * 2e-6 + 1e-6), 128);
        ASSERT_LT(++handed, 100000);
    }
    EXPECT_TRUE(meter.spinning());
    EXPECT_LT(handed * 128.0 / 44100, 0.2) << "audio handed over after the server went";
    EXPECT_FALSE(meter.enter(Nanos(t + 1.0), false)) << "a spinning stream stays given up";
}

// Latency must not follow the output format: the block keeps its length in time.
TEST(OutputBlock, TheBlockIsATimeAtEveryRate) {
    auto output = std::make_unique<OfflineOutput>();
    OfflineOutput& device = *output;
    const std::int32_t lib = openSoundLibraryWith(std::move(output));
    ASSERT_NE(lib, 0);
    EXPECT_EQ(device.config().blockFrames, 128) << "opened at 44.1 kHz";
    for (const auto& [rate, frames] :
         {std::pair{22050, 64}, {48000, 128}, {11025, 32}, {96000, 256}, {44100, 128}}) {
        ASSERT_NE(setLibraryFormat(lib, rate, 16, 2), 0);
        EXPECT_EQ(device.config().blockFrames, frames) << rate << " Hz";
    }
    ASSERT_NE(setLibraryBlockFrames(lib, 512), 0); // ~11.6 ms at 44.1 kHz
    ASSERT_NE(setLibraryFormat(lib, 22050, 16, 2), 0);
    EXPECT_EQ(device.config().blockFrames, 256) << "a chosen block keeps its time too";
    LibraryHealth health;
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_EQ(health.device.blockFrames, 256);
    EXPECT_NEAR(health.device.latencySeconds, 256.0 / 22050, 1e-9);
    closeSoundLibrary(lib);
    // A PulseAudio server is asked for three blocks, at least 10 ms; PipeWire's takes 12 ms
    // blocks or longer.
    for (const auto& [block, pipewire, ms] : {std::tuple{0.0029, false, 13.0},
                                              {0.006, false, 24.0},
                                              {0.0029, true, 48.0},
                                              {0.024, true, 96.0}}) {
        EXPECT_NEAR(ExpectedLatency(AudioSystem::Pulse, block, pipewire) * 1000, ms, 0.1)
            << block << (pipewire ? " PipeWire" : "");
    }
    EXPECT_EQ(PlayedBlockSeconds(AudioSystem::Jack, 0.003, true), 0.003);
}

// A format the device refuses leaves the previous one playing, and the library says so.
TEST(OutputBlock, ARefusedFormatKeepsThePreviousOneAndIsReported) {
    auto output = std::make_unique<OfflineOutput>(
        [](const OutputConfig& c) { return c.sampleRate == 44100 || c.sampleRate == 22050; });
    OfflineOutput& device = *output;
    const std::int32_t lib = openSoundLibraryWith(std::move(output), OutputConfig{22050, 2, 64});
    ASSERT_NE(lib, 0);
    EXPECT_EQ(setLibraryFormat(lib, 11025, 8, 1), 0);
    EXPECT_TRUE(device.isOpen() && device.config().sampleRate == 22050);
    LibraryHealth health;
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_EQ(std::make_tuple(health.formatRefused, health.refused.sampleRate, health.refusedBits,
                              health.format.sampleRate),
              std::make_tuple(true, 11025, 8, 22050));
    ASSERT_NE(setLibraryFormat(lib, 44100, 16, 2), 0);
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_FALSE(health.formatRefused) << "a format that opens clears the note";
    closeSoundLibrary(lib);
}

const QString kTitle = QStringLiteral("VbDSnd.Dll");

// An offline library whose pretend device takes only the rates listed.
SoundDevice::Initializer OfflineDevice(const std::vector<int>& rates,
                                       OfflineOutput** output = nullptr) {
    return [rates, output](std::intptr_t, std::int32_t level) {
        EXPECT_EQ(level, 2);
        auto o = std::make_unique<OfflineOutput>([rates](const OutputConfig& c) {
            return std::find(rates.begin(), rates.end(), c.sampleRate) != rates.end() &&
                   c.channels >= 1 && c.channels <= 2;
        });
        if (output != nullptr) {
            *output = o.get();
        }
        return openSoundLibraryWith(std::move(o));
    };
}

TEST(SoundDevice, OpeningTheDeviceAppliesTheStoredFormatOrSaysWhyNot) {
    RecordingMessageBoxes messages;
    OfflineOutput* output = nullptr;
    SoundDevice sound(messages, OfflineDevice({44100, 22050, 11025}, &output));
    sound.OpenSoundDevice(0, OutputFormat{11025, 8, 1});
    ASSERT_NE(sound.soundLibHandle, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::pair(output->config().sampleRate, output->config().channels),
              std::pair(11025, 1));
    sound.TerminateSoundLibrary();
    EXPECT_EQ(sound.soundLibHandle, 0);
    sound.TerminateSoundLibrary(); // a second time does nothing

    SoundDevice none(messages, [](std::intptr_t, std::int32_t) { return 0; });
    none.OpenSoundDevice(0, OutputFormat{});
    SoundDevice picky(messages, OfflineDevice({44100}));
    picky.OpenSoundDevice(0, OutputFormat{48000, 16, 2});
    ASSERT_EQ(messages.shown.size(), 2u) << "no format message without a library";
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Direct Soundインターフェースが作成できません。"));
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("フォーマットを設定できません。"));
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, kTitle);
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    EXPECT_NE(picky.soundLibHandle, 0) << "the library stays open in its previous format";
    picky.TerminateSoundLibrary();
}

TEST(SoundDevice, CreateTrackBufferReportsOnlyWhatThePerformerCanAct) {
    RecordingMessageBoxes messages;
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("tone.wav"));
    const QString bad = dir.filePath(QStringLiteral("noise.wav"));
    ASSERT_TRUE(WriteFile(good, SineWav(44100, 2, 441, 4410)));
    ASSERT_TRUE(WriteFile(bad, QByteArray(3000, 'x')));

    SoundDevice sound(messages, OfflineDevice({44100}));
    EXPECT_EQ(sound.CreateTrackBuffer(good, 1), 0) << "no library yet";
    sound.InitSoundLibrary(0, 2);
    ASSERT_NE(sound.soundLibHandle, 0);
    EXPECT_EQ(sound.CreateTrackBuffer(dir.filePath(QStringLiteral("missing.wav")), 1), 0);
    EXPECT_EQ(sound.CreateTrackBuffer(dir.path(), 1), 0) << "a folder is no file";
    EXPECT_TRUE(messages.shown.empty());

    const std::int32_t b = sound.CreateTrackBuffer(good, 1);
    EXPECT_NE(b, 0);
    EXPECT_EQ(sound.CreateTrackBuffer(bad, 1), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    const ShownMessage& told = messages.shown[0];
    EXPECT_TRUE(!told.text.isEmpty() && told.title == kTitle &&
                told.icon == MessageIcon::Exclamation);

    // The library's termination takes the buffer with it.
    sound.TerminateSoundLibrary();
    VoiceStatus s;
    EXPECT_FALSE(bufferStatus(b, s));
    EXPECT_EQ(sound.CreateTrackBuffer(good, 1), 0);
    EXPECT_EQ(messages.shown.size(), 1u);

    // A read error shows the system's text: the kernel refuses to read address 0 of a
    // process's memory file.
    sound.InitSoundLibrary(0, 2);
    if (QFileInfo(QStringLiteral("/proc/self/mem")).isFile()) {
        EXPECT_EQ(sound.CreateTrackBuffer(QStringLiteral("/proc/self/mem"), 1), 0);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_FALSE(messages.shown[1].text.isEmpty());
    }
    sound.TerminateSoundLibrary();
}

} // namespace
} // namespace mt::test
