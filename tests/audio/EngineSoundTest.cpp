// Offline renders through the ds* calls, measured: pitch, level, pan, loop seams, clicks.
#include "AudioTestKit.h"

#include "audio/Engine.h"
#include "audio/OutputChoice.h"
#include "audio/SoundBuffers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>

namespace mt::test {
namespace {

constexpr double kSineRms = 0.5 / std::numbers::sqrt2; // amplitude 0.5

class EngineSound : public ::testing::TestWithParam<int> {
protected:
    int rate() const { return GetParam(); }
    OfflineLibrary lib{GetParam()};
};

TEST_P(EngineSound, PitchFollowsFrequencyInHertz) {
    const std::int32_t b = lib.load(SineWav(44100, 1, 441, 44100));
    ASSERT_NE(b, 0);
    playBufferLoopingWith(b, 0, 0, 44100);
    const auto own = Channel(lib.render(static_cast<std::size_t>(rate())), 0, 2);
    EXPECT_NEAR(MeasureHz(own, rate()), 441.0, 441.0 * 0.005);

    playBufferLoopingWith(b, 0, 0, 88200);
    const auto doubled = Channel(lib.render(static_cast<std::size_t>(rate())), 0, 2);
    EXPECT_NEAR(MeasureHz(doubled, rate()), 882.0, 882.0 * 0.005);

    // A 22.05 kHz file at its own rate keeps its pitch.
    const std::int32_t half = lib.load(SineWav(22050, 2, 441, 22050));
    stopBuffer(b);
    playBufferLoopingWith(half, 0, 0, 22050);
    const auto halfRate = Channel(lib.render(static_cast<std::size_t>(rate())), 1, 2);
    EXPECT_NEAR(MeasureHz(Settled(halfRate, 1), rate()), 441.0, 441.0 * 0.005);

    // A speed change while playing glides to the new pitch without a step.
    setBufferFrequency(half, 11025);
    const auto x = Channel(lib.render(static_cast<std::size_t>(rate())), 0, 2);
    EXPECT_NEAR(MeasureHz(Settled(x, 1), rate()), 220.5, 220.5 * 0.005);
    EXPECT_LT(MaxStep(x), 0.5f * 2 * std::numbers::pi * 441 / rate() * 1.1);
}

TEST_P(EngineSound, VolumeAndPanAreHundredthsOfADecibelAndGlideAcrossTheBlockBoundary) {
    // Steps are measured across render boundaries, each change on a crest of the sine.
    const std::int32_t b = lib.load(SineWav(44100, 1, 441, 44100));
    const float bound = 0.5f * 2 * std::numbers::pi * 441 / rate() + 0.01f;
    std::vector<float> all;
    const auto render = [&](double periods) {
        auto x = lib.render(static_cast<std::size_t>(std::lround(periods * rate() / 441)));
        all.insert(all.end(), x.begin(), x.end());
        return x;
    };
    const auto expectDb = [&](double left, double right) {
        auto y = Settled(render(100), 2);
        EXPECT_NEAR(RmsDb(Channel(y, 0, 2), kSineRms), left, 0.1);
        EXPECT_NEAR(RmsDb(Channel(y, 1, 2), kSineRms), right, 0.1);
        return y;
    };
    playBufferLoopingWith(b, 0, 0, 44100);
    render(10.25);
    setBufferVolume(b, -10000);
    EXPECT_EQ(Peak(Settled(render(100), 2, 512)), 0.0f) << "mute is silence";
    setBufferVolume(b, -12000); // below the mute value is as silent
    EXPECT_EQ(Peak(render(100)), 0.0f);
    setBufferVolume(b, -600);
    const auto x = expectDb(-6.0, -6.0);
    EXPECT_EQ(Channel(x, 0, 2), Channel(x, 1, 2)) << "a mono buffer feeds both sides equally";
    setBufferPan(b, -1000);
    expectDb(-6.0, -16.0);
    setBufferPan(b, 1000);
    expectDb(-16.0, -6.0);
    playBufferLooping(b); // a plain replay keeps the last pan and volume
    expectDb(-16.0, -6.0);
    EXPECT_LT(std::max(MaxStep(Channel(all, 0, 2)), MaxStep(Channel(all, 1, 2))), bound);
}

TEST_P(EngineSound, LoopSeamIsNoStepBeyondTheWaveform) {
    // 100 whole periods of 441 Hz; the seam falls every 10 000 frames of the file.
    const std::int32_t b = lib.load(SineWav(44100, 2, 441, 10000));
    for (const int hz : {44100, 30000, 61000}) {
        stopBuffer(b);
        lib.render(1024);
        playBufferLoopingWith(b, 0, 0, hz);
        const auto x = Channel(lib.render(static_cast<std::size_t>(rate()) / 2), 0, 2);
        const double ownSlope = 0.5 * 2 * std::numbers::pi * 441.0 * hz / 44100.0 / rate();
        EXPECT_LT(MaxStep(x), ownSlope * 1.01) << hz;
        EXPECT_NEAR(Peak(x), 0.5f, 0.01f);
    }
}

TEST_P(EngineSound, StopRetriggerAndFreeNeverClick) {
    const std::int32_t b = lib.load(SineWav(44100, 2, 441, 44100));
    const float bound = 0.5f * 2 * std::numbers::pi * 441 / rate() + 0.01f;
    // Each cut falls on a crest, where a hard cut would jump by the full amplitude.
    const auto crest = static_cast<std::size_t>(std::lround(1025.0 * rate() / 44100));
    std::vector<float> all;
    const auto render = [&](std::size_t frames) {
        auto x = lib.render(frames);
        all.insert(all.end(), x.begin(), x.end());
        return x;
    };
    playBufferWith(b, 0, 0, 44100);
    render(crest);
    stopBuffer(b);
    EXPECT_EQ(Peak(Settled(render(2048), 2, 256)), 0.0f) << "stop fades out within a few ms";
    VoiceStatus s;
    EXPECT_TRUE(bufferStatus(b, s) && !s.playing && s.position == 0);

    playBufferWith(b, 0, 0, 44100);
    render(crest);
    playBufferWith(b, 0, 0, 44100); // retrigger while sounding
    render(crest);
    ASSERT_TRUE(bufferStatus(b, s));
    EXPECT_TRUE(s.playing);
    EXPECT_LT(s.position, 1100) << "a retrigger restarts from the first frame";

    freeSoundBuffer(b);
    EXPECT_EQ(Peak(Settled(render(2048), 2, 256)), 0.0f);
    EXPECT_LT(std::max(MaxStep(Channel(all, 0, 2)), MaxStep(Channel(all, 1, 2))), bound);
}

TEST_P(EngineSound, OneShotSoundsInItsFirstBlockEndsByItselfAndPlaysAgain) {
    const std::int32_t b = lib.load(Pcm16Wav(44100, 1, std::vector<float>(4410, 0.5f)));
    playBufferWith(b, 0, 0, 44100);
    const std::size_t playedFrames = static_cast<std::size_t>(std::ceil(4410.0 * rate() / 44100));
    const auto x = lib.render(playedFrames + 4000);
    EXPECT_GT(x[0], 0.4f) << "the first sound of a trigger is in its first block";
    EXPECT_EQ(Peak(Settled(x, 2, static_cast<int>(playedFrames) + 4)), 0.0f);
    VoiceStatus s;
    EXPECT_TRUE(bufferStatus(b, s) && !s.playing);
    playBuffer(b);
    EXPECT_GT(Peak(lib.render(2000)), 0.4f);
}

TEST_P(EngineSound, ScheduledStartsAndStopsLandOnTheirFrameWhateverTheBlocks) {
    // Constant 0.5: the first frame of a start is already at its level. Rows: the engine's
    // block, the device's pulls.
    const struct {
        int block;
        std::size_t pull;
    } rows[] = {{32, 32}, {64, 37}, {128, 1000}, {256, 4096}, {4096, 333}};
    for (const auto& row : rows) {
        OfflineLibrary l(rate(), 2, row.block);
        const std::int32_t b = l.load(Pcm16Wav(44100, 1, std::vector<float>(44100, 0.5f)));
        const std::int32_t other = l.load(Pcm16Wav(44100, 1, std::vector<float>(44100, 0.5f)));
        l.render(row.pull); // a clock that has run a while
        const std::int64_t origin = l.output().frameCount();
        const std::int64_t start = libraryFrameHorizon(l.handle) + 1234;
        playBufferAt(b, 0, 0, 44100, false, start, 0);
        stopBufferAt(b, start + 3001);
        playBufferAt(other, 0, 0, 44100, false, start + 10, 0);
        cancelBufferSchedule(other); // called off before its frame: never heard
        std::vector<float> x;
        while (static_cast<std::int64_t>(x.size() / 2) < start - origin + 4000) {
            const auto part = l.render(row.pull);
            x.insert(x.end(), part.begin(), part.end());
        }
        const auto at = [&](std::int64_t frame) { return x[2 * (frame - origin)]; };
        SCOPED_TRACE(row.block);
        EXPECT_EQ(at(start - 1), 0.0f);
        EXPECT_NEAR(at(start), 0.5f, 0.01f) << "the start's first frame is the one asked for";
        EXPECT_NEAR(at(start + 3000), 0.5f, 0.01f);
        EXPECT_LT(at(start + 3002), 0.497f) << "the stop's fade begins at its frame";
        EXPECT_EQ(at(start + 3001 + 2 * rate() / 100), 0.0f);
    }
}

TEST_P(EngineSound, EightTracksAndAPreviewAllSoundUnclipped) {
    // Eight tracks at 0.25x..2x of a 400 Hz file sound at 100..800 Hz; the preview at 950 Hz.
    double tones[9];
    std::int32_t speeds[9];
    std::int32_t buffers[9];
    for (int t = 0; t < 9; ++t) {
        const double fileHz = t < 8 ? 400 : 950;
        speeds[t] = t < 8 ? 11025 * (t + 1) : 44100;
        tones[t] = fileHz * speeds[t] / 44100;
        buffers[t] = lib.load(SineWav(44100, 2, fileHz, 44100, 0.1));
        ASSERT_NE(buffers[t], 0);
        playBufferLoopingWith(buffers[t], 0, 0, speeds[t]);
    }
    const auto x = Settled(lib.render(static_cast<std::size_t>(rate())), 2);
    const auto left = Channel(x, 0, 2);
    for (int t = 0; t < 9; ++t) {
        EXPECT_NEAR(ToneAmplitude(left, rate(), tones[t]), 0.1, 0.01) << "voice " << t;
    }
    EXPECT_LT(Peak(left), 0.9f);
}

TEST_P(EngineSound, FormatChangeWhilePlayingKeepsTheVoices) {
    const std::int32_t b = lib.load(SineWav(44100, 2, 441, 44100));
    playBufferLoopingWith(b, 0, -600, 44100);
    lib.render(4096);
    const int other = rate() == 44100 ? 22050 : 44100;
    ASSERT_NE(setLibraryFormat(lib.handle, other, 16, 2), 0);
    auto x = lib.render(static_cast<std::size_t>(other));
    EXPECT_NEAR(MeasureHz(Channel(x, 0, 2), other), 441.0, 441 * 0.005);
    EXPECT_NEAR(RmsDb(Channel(Settled(x, 2), 1, 2), kSineRms), -6.0, 0.1);

    // Mono mixes the two sides; 8 bits leaves only 8-bit steps.
    ASSERT_NE(setLibraryFormat(lib.handle, rate(), 8, 1), 0);
    x = lib.render(static_cast<std::size_t>(rate()));
    EXPECT_EQ(x.size(), static_cast<std::size_t>(rate()));
    EXPECT_NEAR(MeasureHz(x, rate()), 441.0, 441 * 0.005);
    const double mixed = 20 * std::log10((1 + std::pow(10, -0.3)) / 2);
    EXPECT_NEAR(RmsDb(x, kSineRms), mixed, 0.15);
    for (const float v : x) {
        ASSERT_FLOAT_EQ(v * 128, std::round(v * 128));
    }
    EXPECT_NEAR(std::accumulate(x.begin(), x.end(), 0.0) / rate(), 0.0, 1e-3) << "a DC bias";
    EXPECT_EQ(setLibraryFormat(lib.handle, rate(), 16, 6), 0) << "six channels are refused";
    EXPECT_EQ(lib.output().config().channels, 1) << "a refusal keeps the format in use";
}

TEST_P(EngineSound, StaleAndUnknownHandlesDoNothing) {
    const std::int32_t b = lib.load(SineWav(44100, 2, 441, 44100));
    freeSoundBuffer(b);
    for (const std::int32_t h : {0, -1, b, b + 1000, lib.handle}) {
        playBuffer(h);
        playBufferLoopingWith(h, 0, 0, 44100);
        setBufferVolume(h, 0);
        setBufferPan(h, 0);
        setBufferFrequency(h, 1000);
        stopBuffer(h);
        freeSoundBuffer(h);
    }
    EXPECT_EQ(Peak(lib.render(4096)), 0.0f);
    EXPECT_EQ(setLibraryFormat(0, 44100, 16, 2), 0);
    EXPECT_EQ(createSoundBuffer(0, "RIFF", 4, 1), 0);
    closeSoundLibrary(0);
    closeSoundLibrary(lib.handle + 1000);

    // Buffers of a terminated library are stale too.
    OfflineLibrary other(rate());
    const std::int32_t orphan = other.load(SineWav(44100, 2, 441, 4410));
    closeSoundLibrary(other.handle);
    playBuffer(orphan);
    VoiceStatus s;
    EXPECT_FALSE(bufferStatus(orphan, s));
}

TEST_P(EngineSound, TinyBuffersAndExtremeSpeedsStayInBoundsAndSlotsRecycle) {
    // A loop shorter than one step of the read position, and a one-frame one-shot.
    const std::int32_t tiny = lib.load(Pcm16Wav(8000, 2, {0.5f, -0.5f, 0.25f, -0.25f, 0.1f, 0}));
    const std::int32_t single = lib.load(Pcm16Wav(8000, 1, {0.5f}));
    ASSERT_NE(tiny, 0);
    ASSERT_NE(single, 0);
    for (const std::int32_t hz : {1, 7, 8000, 400000, 999999, -5}) {
        playBufferLoopingWith(tiny, 0, 0, hz);
        playBufferWith(single, 0, 0, hz);
        EXPECT_LE(Peak(lib.render(1000)), 1.0f) << hz;
    }
    freeSoundBuffer(tiny);
    freeSoundBuffer(single);

    // More retriggers than there are fading tails: the faintest tail makes room, never a tone
    // just cut at its crest, so nothing clicks.
    const std::int32_t tone = lib.load(SineWav(44100, 2, 441, 44100));
    const std::int32_t hush = lib.load(Pcm16Wav(44100, 1, std::vector<float>(44100, 0.0f)));
    const auto crest = static_cast<std::size_t>(std::lround(1025.0 * rate() / 44100));
    playBufferWith(tone, 0, 0, 44100);
    playBufferWith(hush, 0, 0, 44100);
    std::vector<float> all = lib.render(crest - Engine::kMaxTails + 1);
    for (int i = 1; i < Engine::kMaxTails; ++i) { // tails of silence, each fading a frame longer
        playBufferWith(hush, 0, 0, 44100);
        const auto x = lib.render(1);
        all.insert(all.end(), x.begin(), x.end());
    }
    playBufferWith(tone, 0, 0, 44100); // the last free tail
    playBufferWith(hush, 0, 0, 44100); // and one more
    const auto x = lib.render(2048);
    all.insert(all.end(), x.begin(), x.end());
    EXPECT_LT(MaxStep(Channel(all, 0, 2)), 0.5f * 2 * std::numbers::pi * 441 / rate() + 0.01f);
    freeSoundBuffer(tone);
    freeSoundBuffer(hush);

    // Far more buffers over time than the engine has slots: spent ones come back for reuse.
    const QByteArray wav = SineWav(44100, 1, 441, 500);
    for (int i = 0; i < 1000; ++i) {
        const std::int32_t b = lib.load(wav);
        ASSERT_NE(b, 0) << "buffer " << i << ": " << libraryLastError(lib.handle).toStdString();
        playBufferWith(b, 0, 0, 44100);
        lib.render(64);
        freeSoundBuffer(b);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineSound, ::testing::Values(44100, 48000));

// A device at its own rate (JACK at 48 kHz) hears the format's mix, converted.
TEST(EngineDeviceRate, TheFormatIsRenderedAndConvertedToTheDevicesRate) {
    auto output = OfflineOutput::AtOwnRate(48000);
    OfflineOutput& device = *output;
    const std::int32_t lib = openSoundLibraryWith(std::move(output), OutputConfig{22050, 2, 64});
    ASSERT_NE(lib, 0);
    const std::int32_t b = LoadWav(lib, SineWav(22050, 2, 1000, 2 * 22050));
    ASSERT_NE(b, 0);
    playBufferLoopingWith(b, 0, 0, 22050);
    const auto left = Channel(Settled(device.render(48000), 2, 4800), 0, 2);
    EXPECT_NEAR(MeasureHz(left, 48000), 1000.0, 5.0);
    EXPECT_NEAR(RmsDb(left, kSineRms), 0.0, 0.1);
    EXPECT_LT(MaxStep(left), 0.5f * 2 * 3.1416f * 1000 / 48000 * 1.1f) << "a click or a gap";
    VoiceStatus status;
    ASSERT_TRUE(bufferStatus(b, status));
    EXPECT_NEAR(static_cast<double>(status.position), 22050.0, 100.0)
        << "one second of the device is one second of the format";

    // 11.025 kHz folds a 7 kHz tone to 4025 Hz, and so the device hears it.
    const std::int32_t h = LoadWav(lib, SineWav(44100, 2, 7000, 44100));
    stopBuffer(b);
    playBufferLoopingWith(h, 0, 0, 44100);
    ASSERT_NE(setLibraryFormat(lib, 44100, 16, 2), 0);
    const auto wide = Channel(Settled(device.render(24000), 2, 2400), 0, 2);
    EXPECT_NEAR(ToneAmplitude(wide, 48000, 7000), 0.5, 0.02) << "44.1 kHz carries it";
    EXPECT_LT(ToneAmplitude(wide, 48000, 4025), 0.01);
    ASSERT_NE(setLibraryFormat(lib, 11025, 16, 2), 0);
    const auto narrow = Channel(Settled(device.render(24000), 2, 2400), 0, 2);
    EXPECT_GT(ToneAmplitude(narrow, 48000, 4025), 0.3) << "11.025 kHz sounds as chosen";
    closeSoundLibrary(lib);
}

// With a pair per track, each track's pair carries its sound (and the tail a retrigger cuts
// from it) and nothing else; the preview stays in the main pair, and the main pair is the
// very mix made without them. Rows: the device at the engine's rate, and at 48 kHz.
TEST(EngineTrackOutputs, EachPairCarriesOnlyItsTrackAndTheMainPairIsUnchanged) {
    for (const int deviceRate : {44100, 48000}) {
        std::vector<float> plain;
        for (const bool separate : {false, true}) {
            auto output = OfflineOutput::AtOwnRate(deviceRate);
            OfflineOutput& device = *output;
            const std::int32_t lib =
                openSoundLibraryWith(std::move(output), OutputConfig{44100, 2, 256});
            OutputChoice choice;
            choice.separateOutputs = separate;
            ASSERT_NE(setLibraryOutput(lib, choice), 0);
            const std::int32_t low = LoadWav(lib, SineWav(44100, 2, 441, 44100));
            const std::int32_t high = LoadWav(lib, SineWav(44100, 2, 1000, 44100));
            const std::int32_t preview = LoadWav(lib, SineWav(44100, 2, 3000, 44100));
            routeBufferToTrack(low, 0);
            routeBufferToTrack(high, 5);
            playBufferLoopingWith(low, 0, -600, 44100);
            playBufferLoopingWith(high, 0, 0, 44100);
            playBufferLooping(preview);
            // The retrigger cuts the old sound at a crest, where a tail that went elsewhere
            // would leave a step of its full amplitude.
            const auto crest = static_cast<std::size_t>(std::lround(1025.0 * deviceRate / 44100));
            std::vector<float> x = device.render(crest);
            playBufferLoopingWith(low, 0, -600, 44100);
            const std::vector<float> rest = device.render(static_cast<std::size_t>(deviceRate));
            x.insert(x.end(), rest.begin(), rest.end());
            closeSoundLibrary(lib);
            const int channels = separate ? 2 + 2 * Engine::kTrackOutputs : 2;
            ASSERT_EQ(x.size(), channels * (crest + deviceRate));
            std::vector<float> main;
            for (std::size_t f = 0; f < x.size(); f += static_cast<std::size_t>(channels)) {
                main.insert(main.end(), {x[f], x[f + 1]});
            }
            if (!separate) {
                plain = main;
                continue;
            }
            EXPECT_TRUE(main == plain) << deviceRate << " Hz: the main pair changed";
            for (int c = 2; c < channels; ++c) {
                const std::vector<float> pair = Channel(x, c, channels);
                const int track = (c - 2) / 2;
                const std::vector<float> heard = Settled(pair, 1, 2000);
                const double want = track == 0 ? (c % 2 == 0 ? 0.5 : 0.25) : 0.0;
                EXPECT_NEAR(ToneAmplitude(heard, deviceRate, 441), want, 0.01) << c;
                EXPECT_NEAR(ToneAmplitude(heard, deviceRate, 1000), track == 5 ? 0.5 : 0.0, 0.01)
                    << c;
                EXPECT_LT(ToneAmplitude(heard, deviceRate, 3000), 0.01) << c;
                if (track != 0 && track != 5) {
                    EXPECT_EQ(Peak(pair), 0.0f) << c;
                }
            }
            const std::vector<float> first = Channel(x, 2, channels);
            EXPECT_LT(MaxStep(first), 0.5f * 2 * std::numbers::pi * 441 / deviceRate + 0.01f)
                << "the retrigger's tail left its pair";
        }
    }
}

TEST(EngineDeviceClock, SkippedCyclesAreMixedUnheardAndTheHostTimeIsSmoothed) {
    Engine engine;
    engine.prepare(48000, 2, 16, 256);
    engine.setOutputLatency(0.01);
    std::vector<float> out(512);        // 256 stereo frames
    std::uint32_t device = 4294967000u; // JACK's frame time wraps on the way
    double ideal = 5e9;                 // host microseconds of the callback, before jitter
    for (int i = 0; i < 400; ++i) {
        if (i == 200) {
            device += 512; // the server ran two cycles without us
            ideal += 512 / 0.048;
        }
        engine.setDeviceFrame(device);
        engine.setCallbackTime(ideal + (i % 7 - 3) * 300.0); // woken up to 0.9 ms late or early
        engine.render(out.data(), 256);
        device += 256;
        ideal += 256 / 0.048;
    }
    const OutputClock& clock = *engine.outputClock();
    EXPECT_EQ(engine.frameCount(), 400 * 256 + 512) << "the skipped frames were counted";
    double placed = 0.0;
    ASSERT_TRUE(clock.deviceFrameOf(engine.frameCount(), placed));
    EXPECT_DOUBLE_EQ(placed, static_cast<double>(device));
    double micros = 0.0;
    ASSERT_TRUE(clock.hostTimeOf(static_cast<double>(engine.frameCount()), micros));
    EXPECT_NEAR(micros, ideal + 10000.0, 100.0) << "heard a latency after its callback";
    double frame = 0.0;
    ASSERT_TRUE(clock.frameOfDevice(placed - 48000.0, engine.frameCount(), frame));
    EXPECT_NEAR(frame, static_cast<double>(engine.frameCount() - 48000), 1e-6);
}

} // namespace
} // namespace mt::test
