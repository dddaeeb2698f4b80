// The cdaudio device through the engine: tones, mute, glides, byte order, underruns, threads.
#include "CdTestRig.h"

#include "audio/SoundBuffers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace mt::test {
namespace {

const std::vector<ToneTrack> kDisc = {{2.0, 441.0}, {3.0, 882.0}, {4.0, 1323.0}};

// A rig at the parameter's rate with kDisc open.
class CdSound : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        rig.writeDisc(kDisc);
        rig.ok("open cdaudio Shareable");
    }
    CdTestRig rig{GetParam()};
};

TEST_P(CdSound, PlayingTrackTwoSoundsTrackTwosTone) {
    rig.ok("play cdaudio from " + rig.ok("status cdaudio position track 2"));
    const std::vector<float> out = Settled(rig.advance(1.0), 2, rig.rate() / 10);
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<float> x = Channel(out, ch, 2);
        EXPECT_NEAR(MeasureHz(x, rig.rate()), 882.0, 882.0 * 0.005);
        EXPECT_NEAR(ToneAmplitude(x, rig.rate(), 882.0), 0.5, 0.01);
        EXPECT_LT(ToneAmplitude(x, rig.rate(), 441.0), 0.005);
    }
    EXPECT_EQ(rig.ok("status cdaudio current track"), "2");
    EXPECT_EQ(rig.device.underruns(), 0u);
}

TEST_P(CdSound, MutingTheLeftChannelSilencesItAloneWithoutAClick) {
    rig.ok("play cdaudio");
    rig.advance(0.2);
    rig.ok("set cdaudio audio left off");
    const std::vector<float> out = rig.advance(0.4);
    const std::vector<float> left = Channel(out, 0, 2);
    const double toneStep = 0.5 * 2 * 3.14159265 * 441.0 / rig.rate();
    EXPECT_LT(MaxStep(left), toneStep * 1.3);
    EXPECT_LT(Peak(Settled(left, 1, rig.rate() / 50)), 1e-6f);
    EXPECT_NEAR(ToneAmplitude(Channel(out, 1, 2), rig.rate(), 441.0), 0.5, 0.01);

    rig.ok("set cdaudio audio left on");
    const std::vector<float> back = Channel(rig.advance(0.2), 0, 2);
    EXPECT_LT(MaxStep(back), toneStep * 1.3);
    EXPECT_NEAR(ToneAmplitude(back, rig.rate(), 441.0), 0.5, 0.05);
}

TEST_P(CdSound, PauseResumeAndJumpsGlideInsteadOfClicking) {
    rig.ok("play cdaudio from 500");
    std::vector<float> all = rig.advance(0.3);
    auto append = [&all](const std::vector<float>& x) {
        all.insert(all.end(), x.begin(), x.end());
    };
    rig.ok("pause cdaudio");
    append(rig.advance(0.1));
    rig.ok("play cdaudio");
    append(rig.advance(0.2));
    rig.ok("play cdaudio from 6000"); // a jump while playing: out, then in
    append(rig.advance(0.2));
    rig.ok("stop cdaudio");
    append(rig.advance(0.1));
    const double fastestTone = 0.5 * 2 * 3.14159265 * 1323.0 / rig.rate();
    EXPECT_LT(MaxStep(Channel(all, 0, 2)), fastestTone * 1.3);
    EXPECT_EQ(rig.device.underruns(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, CdSound, ::testing::Values(44100, 48000));

// On a big-endian (Motorola) image, swapped to the same tone.
TEST(CdSoundImages, AMotorolaImageIsSwappedAndAnUnderrunIsSilenceThatHoldsThePlace) {
    CdTestRig rig;
    rig.writeDisc(kDisc, {.motorola = true});
    rig.ok("open cdaudio Shareable");
    rig.ok("play cdaudio from 5000");
    const std::vector<float> left = Channel(Settled(rig.advance(0.2), 2, 2205), 0, 2);
    EXPECT_NEAR(MeasureHz(left, 44100), 1323.0, 1323.0 * 0.005);
    EXPECT_NEAR(ToneAmplitude(left, 44100, 1323.0), 0.5, 0.01);
    // The reader stalls: the ring's 1.7 s play out, then silence.
    const std::vector<float> starved = rig.library.render(static_cast<std::size_t>(2.5 * 44100));
    EXPECT_GT(rig.device.underruns(), 0u);
    EXPECT_LT(Peak(Settled(starved, 2, 83790)), 1e-6f);
    const std::int64_t held = rig.number("status cdaudio position");
    EXPECT_NEAR(held, 5200 + 1000.0 * 128 * 588 / 44100, 30);
    EXPECT_EQ(rig.ok("status cdaudio mode"), "playing");
    // Reading again, it goes on from where the sound stopped.
    const std::vector<float> again = Settled(rig.advance(0.3), 2, 2205);
    EXPECT_NEAR(MeasureHz(Channel(again, 0, 2), 44100), 1323.0, 1323.0 * 0.005);
    EXPECT_NEAR(rig.number("status cdaudio position"), held + 300, 30);
}

TEST(CdSoundImages, PlaybackMovesToANewSoundLibrary) {
    QTemporaryDir dir;
    const QString image = WriteToneDisc(dir.path(), "disc", kDisc);
    auto first = std::make_unique<OfflineLibrary>(44100);
    std::int32_t handle = first->handle;
    // NOLINTNEXTLINE(performance-no-automatic-move): a captured variable is never moved from
    CdAudioDevice device([&] { return image; }, [&] { return handle; }, TestDeviceOptions());
    ASSERT_EQ(OpenChecked(device), 0u);
    ASSERT_EQ(device.play(), 0u);
    device.pumpReader();
    first->render(4410);
    // The library goes (the external editor takes the sound device) and comes back anew.
    first.reset();
    OfflineLibrary second(44100);
    handle = second.handle;
    EXPECT_STREQ(device.mode(), "playing");
    device.pumpReader();
    const std::vector<float> out = Settled(second.render(22050), 2, 2205);
    EXPECT_NEAR(MeasureHz(Channel(out, 0, 2), 44100), 441.0, 441.0 * 0.005);
}

TEST(CdSoundImages, TheReaderThreadFeedsARunningAudioThread) {
    QTemporaryDir dir;
    const QString image = WriteToneDisc(dir.path(), "disc", kDisc);
    OfflineLibrary library(44100);
    // NOLINTNEXTLINE(performance-no-automatic-move): a captured variable is never moved from
    CdAudioDevice device([&] { return image; }, [&] { return library.handle; },
                         TestDeviceOptions(true));
    ASSERT_EQ(OpenChecked(device), 0u);
    ASSERT_EQ(device.play(), 0u);

    std::atomic<bool> running{true};
    std::thread audio([&] {
        std::vector<float> block(512);
        while (running.load()) {
            library.output().pull(block.data(), 256);
        }
    });
    // The UI thread keeps commanding while both other threads run.
    const char* const modes[] = {"playing", "seeking", "paused", "stopped"};
    const std::function<std::uint32_t(int)> commands[] = {
        [&](int i) { return device.playFrom((i * 37) % 9000); },
        [&](int i) { return device.setChannel(i % 2, (i / 2) % 2 == 0); },
        [&](int) { return device.pause(); }, [&](int) { return device.play(); },
        [&](int) { return device.seek(5000); }};
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(commands[i % 5](i), 0u) << i;
        const std::string mode = device.mode();
        EXPECT_TRUE(std::find(std::begin(modes), std::end(modes), mode) != std::end(modes)) << mode;
        std::int64_t ms = -1;
        EXPECT_EQ(device.position(ms), 0u);
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, 9000);
    }
    // Left to play, it reaches the third track.
    ASSERT_EQ(device.playFrom(5000), 0u);
    int track = 0;
    for (int spins = 0; spins < 2000000 && track != 3; ++spins) {
        device.currentTrack(track);
        std::this_thread::yield();
    }
    std::int64_t ms = 0;
    device.position(ms);
    running = false;
    audio.join();
    EXPECT_EQ(track, 3);
    EXPECT_GE(ms, 5000);
    device.close();
}

} // namespace
} // namespace mt::test
