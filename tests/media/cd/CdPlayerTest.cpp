// The CD player's rules on generated disc images; time is rendered audio, the watch runs when
// called.
#include "CdTestRig.h"
#include "ScriptedMciDevice.h"

#include "media/cd/CdPlayer.h"

#include <QFile>

#include <functional>

#include <gtest/gtest.h>

namespace mt::test {
namespace {

constexpr unsigned kTakenIn = kCdStart | kCdNext;
constexpr unsigned kPlaying = kCdAllButtons & ~kCdStart;
constexpr unsigned kHalted = kCdStart | kCdPrev | kCdNext | kCdRewind | kCdForward;
using Shown = std::pair<CdPlayState, unsigned>; // the state and the buttons it allows

class CdPlayerTest : public ::testing::Test {
protected:
    CdPlayerTest() { cd.device.setOptions(TestDeviceOptions()); }

    void showWithDisc(const std::vector<ToneTrack>& tracks) {
        cd.state.imagePath = WriteToneDisc(dir.path(), "disc", tracks);
        cd.openOnShow();
        WaitForProbe(cd.device);
        cd.watch(); // the first after the probe's verdict opens the image
        ASSERT_TRUE(cd.state.cdMediaPresent);
    }
    // The reader's and the audio thread's work for `seconds` of sound.
    void play(double seconds) {
        const auto frames = static_cast<std::size_t>(std::lround(seconds * 44100));
        for (std::size_t done = 0; done < frames; done += 256) {
            cd.device.pumpReader();
            library.render(std::min<std::size_t>(256, frames - done));
        }
        cd.device.pumpReader();
    }
    Shown shown() const { return {cd.state.cdPlayState, cd.state.enabledButtons}; }
    // 300 ms of sound, then the watch.
    void tick() {
        play(0.3);
        cd.watch();
    }
    std::string send(const std::string& command) {
        char reply[80] = {};
        EXPECT_EQ(cd.commands.sendString(command, reply, sizeof reply), 0u) << command;
        return reply;
    }
    std::int64_t position() { return std::stoll(send("status cdaudio position")); }
    std::int64_t trackStart(int track) {
        return std::stoll(send("status cdaudio position track " + std::to_string(track)));
    }
    // Moves the disc to `ms` into `track`, playing or not, and lets the watch see it.
    void moveTo(int track, std::int64_t ms, bool playing) {
        send((playing ? "play cdaudio from " : "seek cdaudio to ") +
             std::to_string(trackStart(track) + ms));
        play(256.0 / 44100);
        cd.watch();
    }

    QTemporaryDir dir;
    OfflineLibrary library{44100};
    std::vector<QString> messages;
    std::function<void()> whileShown; // a modal box runs the event loop: the watch's timer
    CdPlayer cd{[this] { return library.handle; },
                [this](const QString& text) {
                    messages.push_back(text);
                    if (whileShown) {
                        whileShown();
                    }
                }};
};

TEST_F(CdPlayerTest, WithoutADiscNothingCanBePressedUntilTheWatchSeesOne) {
    cd.muteOn(); // no device: the key does nothing and says nothing
    cd.openOnShow();
    EXPECT_EQ(messages,
              std::vector<QString>{
                  "CD ドライブが見つからず、ディスクイメージも選ばれていません。@OpenCD"});
    EXPECT_FALSE(cd.state.cdOpened || cd.state.cdMuted || cd.state.enabledButtons != 0);
    cd.watch(); // the watch opens quietly: still nothing, and no message
    EXPECT_EQ(messages.size(), 1u);

    cd.state.imagePath = WriteToneDisc(dir.path(), "late", {{2.0, 0.0}, {2.0, 0.0}});
    cd.watch(); // status before opening: the image goes to the probe
    WaitForProbe(cd.device);
    cd.watch();
    EXPECT_TRUE(cd.state.cdMediaPresent && cd.state.cdTrackCount == 2);
    EXPECT_EQ(shown(), Shown(CdPlayState::Stopping, kTakenIn));
    EXPECT_EQ(position(), 0); // at the start of track 1
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CdPlayerTest, ADamagedImageIsNoDiscWithOneMessageAndIsNotTriedAgainAndAgain) {
    cd.state.imagePath = WriteTocThatDividesByZero(dir.path());
    cd.openOnShow();
    EXPECT_TRUE(messages.empty() && cd.checkingImage());
    WaitForProbe(cd.device);
    cd.watch(); // the verdict, told as the open would have
    EXPECT_EQ(messages, std::vector<QString>{
                            "ディスクイメージが壊れているか、読み取れない形式です。@OpenCD"});
    for (int i = 0; i < 10; ++i) {
        cd.watch();
    }
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(cd.device.imageProbes(), 1) << "the watch ran the probe again";
    cd.state.imagePath = WriteToneDisc(dir.path(), "good", {{2.0, 0.0}});
    cd.watch();
    WaitForProbe(cd.device);
    cd.watch();
    EXPECT_EQ(cd.state.enabledButtons, kTakenIn);
}

// The transport's states and buttons, the pause key and a failing device; the mute key is
// CdPanelTest's.
TEST_F(CdPlayerTest, TransportFollowsItsTableAndPauseResumesInPlace) {
    showWithDisc({{3.0, 441.0}, {3.0, 882.0}});
    ScriptedMciDevice failing;
    failing.errorTexts[276] = "デバイスの準備ができていません。";
    failing.on("play cdaudio", {}, 276);
    cd.mci.setDevice(failing);
    cd.start();
    cd.mci.setDevice(cd.commands);
    EXPECT_EQ(messages, std::vector<QString>{"エラー@PlayCD...デバイスの準備ができていません。"});
    EXPECT_EQ(shown(), Shown(CdPlayState::Stopping, kTakenIn)); // as it was
    cd.pauseOrResume(); // stopped: the pause key neither pauses nor starts
    EXPECT_EQ(cd.state.cdPlayState, CdPlayState::Stopping);

    cd.start();
    EXPECT_EQ(shown(), Shown(CdPlayState::Playing, kPlaying));
    play(1.0);
    cd.pauseOrResume();
    EXPECT_EQ(shown(), Shown(CdPlayState::Pausing, kHalted));
    play(0.5);
    const std::int64_t paused = position();
    EXPECT_NEAR(paused, 1000, 15);
    cd.pauseOrResume();
    play(0.5);
    EXPECT_NEAR(position(), paused + 500, 15);
    cd.start(); // playing: nothing
    EXPECT_EQ(cd.state.enabledButtons, kPlaying);

    moveTo(2, 1500, true);
    EXPECT_EQ(cd.state.cdCurrentTrack, 2);
    cd.stop();
    EXPECT_EQ(shown(), Shown(CdPlayState::Stopping, kHalted));
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    EXPECT_EQ(position(), 3000); // the start of the current track
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CdPlayerTest, TheLoopReturnsToAWithinOneWatchPeriodAfterBOnlyWhilePlaying) {
    showWithDisc({{2.0, 441.0}, {2.0, 441.0}, {14.0, 882.0}});
    moveTo(3, 10000, false);
    cd.markLoopEnd();
    moveTo(3, 12000, false);
    cd.markLoopStart();
    EXPECT_FALSE(cd.loopAvailable()); // B before A
    moveTo(3, 2000, false);
    cd.markLoopStart();
    EXPECT_EQ(std::make_tuple(cd.state.cdLoopStart, cd.state.cdLoopEnd, cd.loopAvailable()),
              std::make_tuple(2000, 10000, true));
    cd.setLoopOn(true);

    moveTo(3, 8000, false);
    cd.start();
    std::int64_t furthest = 0;
    int jumps = 0;
    std::int64_t previous = 8000;
    for (int i = 0; i < 60; ++i) {
        tick();
        const std::int64_t inTrack = position() - trackStart(3);
        furthest = std::max(furthest, inTrack);
        if (inTrack < previous) {
            ++jumps;
            EXPECT_EQ(inTrack, 2000);
            EXPECT_GE(previous, 10000 - 300);
        }
        previous = inTrack;
    }
    EXPECT_EQ(jumps, 2); // past 10 s, and 8 s later
    EXPECT_LE(furthest, 10000 + 300);
    EXPECT_EQ(cd.device.underruns(), 0u);

    // Paused and moved past B, the disc does not start by itself.
    cd.pause();
    send("seek cdaudio to " + std::to_string(trackStart(3) + 12000));
    tick();
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    EXPECT_EQ(position() - trackStart(3), 12000);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CdPlayerTest, OpeningTheTrayClearsTheDiscAndItsMarksAndTheWatchTakesItBackIn) {
    showWithDisc({{1.0, 0.0}, {63 * 60.0, 0.0}}); // an hour of silence: a hole in the file
    cd.start();
    moveTo(2, 2000, true);
    cd.markLoopStart();
    moveTo(2, (61 * 60 + 2) * std::int64_t{1000}, false);
    cd.markLoopEnd();
    cd.setLoopOn(true);
    EXPECT_EQ(cd.state.cdTimeInTrack, (61 * 60 + 2) * 1000);

    const QString cue = cd.state.imagePath;
    ASSERT_TRUE(QFile::rename(cue, cue + ".out"));
    tick();
    EXPECT_EQ(shown(), Shown(CdPlayState::None, 0u));
    EXPECT_TRUE(cd.state.cdOpened);
    EXPECT_FALSE(cd.state.cdMediaPresent || cd.state.loopOn || cd.loopAvailable());
    EXPECT_EQ(cd.state.cdLoopStart + cd.state.cdLoopEnd + cd.state.cdTimeInTrack, 0);
    EXPECT_EQ(cd.state.cdTrackCount, 0);
    cd.markLoopEnd(); // no disc: the marks stay
    EXPECT_EQ(cd.state.cdLoopEnd, 0);

    ASSERT_TRUE(QFile::rename(cue + ".out", cue));
    tick();
    EXPECT_EQ(shown(), Shown(CdPlayState::Stopping, kTakenIn));
    EXPECT_EQ(position(), 0);
    EXPECT_TRUE(messages.empty());
}

// Failing queries: each watch says so, and a watch under its box sends nothing.
TEST_F(CdPlayerTest, AFailingWatchShowsOneBoxAtATime) {
    showWithDisc({{2.0, 0.0}});
    ScriptedMciDevice failing;
    failing.errorTexts[276] = "not ready";
    for (int watch = 0; watch < 2; ++watch) {
        failing.on("status cdaudio mode", "playing")
            .on("status cdaudio current track wait", {}, 276)
            .on("status cdaudio number of tracks wait", {}, 276)
            .on("set cdaudio time format milliseconds")
            .on("status cdaudio position", {}, 276);
    }
    cd.mci.setDevice(failing);
    whileShown = [this] { cd.watch(); };
    cd.watch();
    cd.watch(); // the next watch after the boxes were closed reports again
    cd.mci.setDevice(cd.commands);
    EXPECT_TRUE(failing.done());
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0], "エラー@GetTrackCD...not ready");
}

TEST_F(CdPlayerTest, ShutdownStopsOnlyWhenAskedAndADiscIsInThenCloses) {
    ScriptedMciDevice fake;
    cd.mci.setDevice(fake);
    cd.ShutdownCD(); // never opened: nothing to say
    EXPECT_TRUE(fake.sent.empty());

    cd.state.cdOpened = true;
    cd.state.cdMediaPresent = true;
    cd.state.cdCurrentTrack = 2;
    fake.on("close cdaudio");
    cd.ShutdownCD();
    cd.state.stopCdOnExit = true;
    fake.on("stop cdaudio")
        .on("status cdaudio position track 2", "2000")
        .on("seek cdaudio to 2000")
        .on("close cdaudio");
    cd.ShutdownCD();
    cd.state.cdMediaPresent = false;
    fake.on("close cdaudio");
    cd.ShutdownCD();
    EXPECT_TRUE(fake.done());
    cd.mci.setDevice(cd.commands);
}

} // namespace
} // namespace mt::test
