// The cdaudio device on generated disc images: table of contents, positions, modes, the faults
// of images and discs; through the engine, tones, mute, glides, byte order, underruns, threads.
#include "CdTestRig.h"

#include "audio/SoundBuffers.h"
#include "support/WavBytes.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace mt::test {
namespace {

const std::vector<ToneTrack> kDisc = {{2.0, 441.0}, {3.0, 882.0}, {4.0, 1323.0}};

TEST(CdDevice, ReadsTheTableOfContentsInMilliseconds) {
    CdTestRig rig;
    rig.writeDisc(kDisc, {.fileLine = "named otherwise.bin"});
    // Not open yet: a status query opens the device for itself alone.
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_FALSE(rig.device.isOpen());
    EXPECT_EQ(rig.error("play cdaudio"), kMciErrInvalidDeviceName);
    rig.ok("open cdaudio Shareable");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_EQ(rig.ok("status cdaudio media present wait"), "true");
    EXPECT_EQ(rig.ok("status cdaudio number of tracks wait"), "3");
    EXPECT_EQ(rig.ok("status cdaudio current track wait"), "1");
    rig.ok("set cdaudio time format milliseconds");
    EXPECT_EQ(rig.ok("status cdaudio position"), "0");
    EXPECT_EQ(rig.ok("status cdaudio position track 1"), "0");
    EXPECT_EQ(rig.ok("status cdaudio position track 2"), "2000");
    EXPECT_EQ(rig.ok("status cdaudio position track 3"), "5000");
    EXPECT_EQ(rig.ok("status cdaudio length"), "9000");
    EXPECT_EQ(rig.error("status cdaudio position track 4"), kMciErrOutOfRange);
    EXPECT_EQ(rig.error("set cdaudio time format msf"), kMciErrBadTimeFormat);
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kMciErrDeviceOpen);
    EXPECT_EQ(rig.error("status cdrom mode"), kMciErrInvalidDeviceName);
    EXPECT_EQ(rig.error("eject cdaudio"), kMciErrUnrecognizedCommand);
    // A reply that does not fit its buffer is an error, not a cut number.
    char small[3] = {};
    EXPECT_EQ(rig.mci.sendString("status cdaudio position track 3", small, 3),
              kMciErrParamOverflow);
    rig.ok("close cdaudio");
    EXPECT_EQ(rig.error("seek cdaudio to 0"), kMciErrInvalidDeviceName);
    EXPECT_EQ(rig.error("close cdaudio"), kMciErrInvalidDeviceName);
}

TEST(CdDevice, TrackStartsThatAreNotWholeMillisecondsSeekBackExactly) {
    CdTestRig rig;
    rig.writeDisc({{1.0 / 75 * 376, 441.0}, {1.0, 882.0}}); // track 2 at sector 376
    rig.ok("open cdaudio");
    const std::string start = rig.ok("status cdaudio position track 2");
    EXPECT_EQ(start, "5013");
    rig.ok("seek cdaudio to " + start);
    EXPECT_EQ(rig.ok("status cdaudio current track"), "2");
    EXPECT_EQ(rig.ok("status cdaudio position"), start);
}

TEST(CdDevice, OpenFailsWithATextWhenThereIsNothingToPlay) {
    CdTestRig rig;
    char text[1024] = {};
    // No drive on the machine and no image chosen.
    ASSERT_TRUE(CdDisc::defaultDrive().isEmpty()) << "this test expects a machine without a drive";
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrNoSource);
    EXPECT_EQ(rig.error("status cdaudio mode"), kCdErrNoSource);
    rig.image = rig.dir.filePath("gone.cue");
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrImageMissing);
    rig.writeDisc(kDisc, {.writeBin = false}, "nobin");
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrBinMissing);
    rig.image = rig.dir.filePath("junk.cue");
    ASSERT_TRUE(WriteFile(rig.image, "TRACK banana\nINDEX 99 zz\n"));
    ASSERT_TRUE(WriteFile(rig.dir.filePath("junk.bin"), {}));
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrImageDamaged);
    EXPECT_FALSE(rig.device.isOpen());
    for (const std::uint32_t code : {kCdErrNoSource, kCdErrImageMissing, kCdErrBinMissing,
                                     kCdErrImageDamaged, kMciErrOutOfRange}) {
        EXPECT_TRUE(rig.mci.getErrorString(code, text, sizeof text)) << code;
        EXPECT_GT(std::strlen(text), 0u);
    }
    EXPECT_FALSE(rig.mci.getErrorString(4711, text, sizeof text));
    // A buffer too small for the text gets whole characters only.
    char tiny[8];
    ASSERT_TRUE(rig.mci.getErrorString(kMciErrOutOfRange, tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "指定"); // 6 bytes; a third character would need 9
}

TEST(CdDevice, ImagesThatCrashOrHangTheParserAreRefusedWithoutHarm) {
    CdTestRig rig;
    testing::internal::CaptureStderr(); // a crash prints a hundred lines of libcdio's asserts
    for (const QString& image :
         {WriteTocThatDividesByZero(rig.dir.path()), WriteNrgThatCrashes(rig.dir.path()),
          WriteNrgThatNeverEnds(rig.dir.path())}) {
        ASSERT_FALSE(image.isEmpty());
        rig.image = image;
        EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrImageDamaged) << image.toStdString();
        EXPECT_FALSE(rig.device.isOpen());
        EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrImageDamaged);
    }
    EXPECT_EQ(rig.device.imageProbes(), 3) << "each damaged image was probed once";
    // What a probe says on stderr, terminal escapes and random bytes among it, is one line.
    CdAudioDevice::Options noisy = TestDeviceOptions();
    noisy.probeProgram = rig.dir.filePath("noisy");
    QByteArray noise("\x1b]0;pwned\x07libcdio: \x1b[2Jbad\r image\n");
    for (int i = 0; i < 2048; ++i) {
        noise += static_cast<char>(i * 37 + 11);
    }
    ASSERT_TRUE(WriteFile(noisy.probeProgram, "#!/bin/sh\ncat \"$0.said\" >&2\nexit 13\n") &&
                WriteFile(noisy.probeProgram + ".said", noise) &&
                QFile::setPermissions(noisy.probeProgram, QFile::ExeOwner | QFile::ReadOwner));
    rig.device.setOptions(noisy);
    rig.writeDisc(kDisc, {}, "noisy");
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrImageDamaged);
    const std::string said = testing::internal::GetCapturedStderr();
    // One line at most from each probe (a crash's own handler may say one too), all ours.
    const QStringList lines = QString::fromStdString(said).split('\n', Qt::SkipEmptyParts);
    EXPECT_LE(lines.size(), 4) << said;
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith("marrowtune: disc image probe: ")) << said;
    }
    EXPECT_TRUE(said.ends_with("marrowtune: disc image probe: ]0;pwnedlibcdio: [2Jbad image\n"))
        << said;
    EXPECT_TRUE(std::none_of(said.begin(), said.end(),
                             [](char c) { return c > 0 && c < ' ' && c != '\n'; }));
    rig.device.setOptions(TestDeviceOptions());

    // A good disc still opens, checked first, and a missing probe is said plainly.
    rig.writeDisc(kDisc);
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kMciOk);
    EXPECT_EQ(rig.ok("status cdaudio number of tracks"), "3");
    EXPECT_EQ(rig.error("close cdaudio"), kMciOk);
    CdAudioDevice::Options noProbe = TestDeviceOptions();
    noProbe.probeProgram = rig.dir.filePath("no-such-probe");
    rig.device.setOptions(noProbe);
    EXPECT_EQ(rig.error("open cdaudio Shareable"), kCdErrProbeMissing);
    char text[256] = {};
    EXPECT_TRUE(rig.mci.getErrorString(kCdErrProbeMissing, text, sizeof text));
}

TEST(CdDevice, SeekAndPlayRefuseAPlaceBeyondTheEnd) {
    CdTestRig rig;
    rig.writeDisc(kDisc);
    rig.ok("open cdaudio Shareable");
    EXPECT_EQ(rig.error("seek cdaudio to 9001"), kMciErrOutOfRange);
    EXPECT_EQ(rig.error("play cdaudio from 20000"), kMciErrOutOfRange);
    EXPECT_EQ(rig.error("seek cdaudio to -5"), kMciErrBadInteger);
    EXPECT_EQ(rig.error("seek cdaudio to 12abc"), kMciErrBadInteger);
    EXPECT_EQ(rig.error("seek cdaudio"), kMciErrMissingParameter);
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped"); // nothing moved
    rig.ok("seek cdaudio to end");
    EXPECT_EQ(rig.number("status cdaudio position"), 9000);
    rig.ok("seek cdaudio to start");
    EXPECT_EQ(rig.number("status cdaudio position"), 0);
}

TEST(CdDevice, ModesFollowPlayPauseStopAndTheEndOfTheDisc) {
    CdTestRig rig;
    rig.writeDisc({{1.0, 441.0}, {1.0, 882.0}});
    rig.ok("open cdaudio Shareable");
    rig.ok("play cdaudio");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "seeking"); // nothing has sounded yet
    rig.advance(0.5);
    EXPECT_EQ(rig.ok("status cdaudio mode"), "playing");
    EXPECT_NEAR(rig.number("status cdaudio position"), 500, 15);
    rig.ok("pause cdaudio");
    rig.advance(0.5);
    EXPECT_EQ(rig.ok("status cdaudio mode"), "paused");
    EXPECT_NEAR(rig.number("status cdaudio position"), 500, 15); // held while paused
    rig.ok("play cdaudio");
    rig.advance(0.7);
    EXPECT_EQ(rig.ok("status cdaudio current track"), "2");
    rig.ok("stop cdaudio");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    rig.ok("play cdaudio");
    rig.advance(1.0);
    // Played off the end: stopped at the lead-out, and "play" there does nothing.
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_EQ(rig.number("status cdaudio position"), 2000);
    EXPECT_EQ(rig.ok("status cdaudio current track"), "2");
    rig.ok("play cdaudio");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_EQ(rig.device.underruns(), 0u);
}

TEST(CdDevice, ADiscThatGoesAwayShowsOpenOnceAndIsTakenInWhenBack) {
    CdTestRig rig;
    const QString cue = rig.writeDisc(kDisc);
    rig.ok("open cdaudio Shareable");
    rig.ok("play cdaudio from 3000");
    rig.advance(0.3);
    ASSERT_TRUE(QFile::rename(cue, cue + ".away"));
    EXPECT_EQ(rig.ok("status cdaudio mode"), "open");
    EXPECT_EQ(rig.ok("status cdaudio media present wait"), "false");
    EXPECT_EQ(rig.error("status cdaudio number of tracks wait"), kMciErrDeviceNotReady);
    EXPECT_EQ(rig.error("play cdaudio"), kMciErrDeviceNotReady);
    const std::vector<float> gone = rig.advance(0.1);
    EXPECT_LT(Peak(Settled(gone, 2, 512)), 1e-6f);

    ASSERT_TRUE(QFile::rename(cue + ".away", cue));
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_EQ(rig.ok("status cdaudio media present wait"), "true");
    EXPECT_EQ(rig.number("status cdaudio position"), 0); // a new disc starts at its beginning

    // Choosing another image is a change of disc too.
    rig.writeDisc({{2.0, 441.0}}, {}, "other");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "open");
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    EXPECT_EQ(rig.ok("status cdaudio number of tracks"), "1");
}

TEST(CdDevice, AReadErrorMidTrackIsSilenceAndPlaybackGoesOnThenGivesUp) {
    CdTestRig rig;
    const QString cue = rig.writeDisc({{2.0, 441.0}, {6.0, 882.0}});
    rig.ok("open cdaudio Shareable");
    rig.ok("play cdaudio from 2000");
    rig.advance(0.5);
    // The image loses everything after 3 s: the rest of track 2 cannot be read.
    QFile bin(rig.dir.filePath("disc.bin"));
    ASSERT_TRUE(bin.resize(qint64{SectorsOf(3.0)} * 2352));
    rig.advance(3.0);
    EXPECT_GT(rig.device.readErrors(), 0u);
    EXPECT_EQ(rig.device.underruns(), 0u);
    // A second of unreadable sectors ends playback; the device still answers.
    EXPECT_EQ(rig.ok("status cdaudio mode"), "stopped");
    rig.ok("play cdaudio from 0");
    const std::vector<float> out = rig.advance(0.5);
    EXPECT_NEAR(MeasureHz(Channel(Settled(out, 2, 1024), 0, 2), 44100), 441.0, 2.0);
}

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
