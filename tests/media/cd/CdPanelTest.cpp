// The CD panel on generated disc images: showing the media panel, the transport and its
// enable table, track skipping, the A-B loop driven by the watch, the tray, the captions and
// the bar length. Time is the audio the test renders; the watch runs when the test calls it.
#include "CdTestRig.h"
#include "DiscImage.h"
#include "ScriptedMciDevice.h"

#include "support/UiFixture.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/PanelTime.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QTest>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace mt::test {
namespace {

class CdPanelTest : public MainWindowTest {
protected:
    CdPanelTest() { m_app.cd.device.setOptions(TestDeviceOptions()); }

    CdPanel& panel() { return m_window.cdPanel(); }
    CdState& cd() { return m_app.cd.state; }
    QAction& mnuCD() { return *m_window.menuItem(QStringLiteral("mnuCD")); }

    // Chooses a generated disc and shows the media panel, which takes it in.
    void showWithDisc(const std::vector<ToneTrack>& tracks) {
        cd().imagePath = WriteToneDisc(m_dir.path(), "disc", tracks);
        mnuCD().trigger();
        ASSERT_TRUE(cd().cdOpened);
        ASSERT_TRUE(cd().cdMediaPresent);
    }

    // The reader's and the audio thread's work for `seconds` of sound.
    void play(double seconds) {
        const auto frames = static_cast<std::size_t>(std::lround(seconds * 44100));
        for (std::size_t done = 0; done < frames; done += 256) {
            m_app.cd.device.pumpReader();
            m_output->render(std::min<std::size_t>(256, frames - done));
        }
        m_app.cd.device.pumpReader();
    }
    // A jump takes one device block before its sound starts; this lets it start.
    void settle() { play(256.0 / 44100); }
    // 300 ms of sound, then the watch.
    void tick() {
        play(0.3);
        panel().TimerCD_Timer();
    }

    std::string send(const std::string& command) {
        char reply[80] = {};
        EXPECT_EQ(m_app.cd.commands.sendString(command, reply, sizeof reply), 0u) << command;
        return reply;
    }
    std::int64_t position() { return std::stoll(send("status cdaudio position")); }
    std::int64_t trackStart(int track) {
        return std::stoll(send("status cdaudio position track " + std::to_string(track)));
    }
    // Moves the disc to `ms` into `track`, playing or not, ready to sound.
    void moveTo(int track, std::int64_t ms, bool playing) {
        send((playing ? "play cdaudio from " : "seek cdaudio to ") +
             std::to_string(trackStart(track) + ms));
        settle();
        cd().cdCurrentTrack = track; // as the watch would have read it
    }

    std::vector<bool> transport() {
        CdPanel& p = panel();
        return {p.ComCDStart->isEnabled(), p.ComCDPause->isEnabled(), p.ComCDStop->isEnabled(),
                p.ComCDPrev->isEnabled(),  p.ComCDNext->isEnabled(),  p.ComCD_FF->isEnabled(),
                p.ComCD_RE->isEnabled()};
    }
};

//                           Start  Pause  Stop   Prev   Next   FF     RE
const std::vector<bool> kNone{false, false, false, false, false, false, false};
const std::vector<bool> kTakenIn{true, false, false, false, true, false, false};
const std::vector<bool> kPlaying{false, true, true, true, true, true, true};
const std::vector<bool> kPaused{true, false, false, true, true, true, true};
const std::vector<bool> kStoppedAfterPlay{true, false, false, true, true, true, true};

TEST_F(CdPanelTest, ShowingTheMediaPanelTakesTheDiscInAndHidingKeepsItPlaying) {
    int midiParts = 0;
    m_window.mediaPanelShown.push_back([&midiParts] { ++midiParts; });
    EXPECT_TRUE(mnuCD().isEnabled());
    EXPECT_EQ(transport(), kNone);
    showWithDisc({{2.0, 0.0}, {2.0, 0.0}, {2.0, 0.0}});
    EXPECT_TRUE(mnuCD().isChecked());
    EXPECT_EQ(m_window.height(), m_window.mediaPanelOpenHeight);
    EXPECT_TRUE(panel().TimerCD->isActive());
    EXPECT_EQ(panel().TimerCD->interval(), 300);
    EXPECT_EQ(cd().cdPlayState, "STOPPING");
    EXPECT_EQ(transport(), kTakenIn);
    EXPECT_EQ(panel().lbltrack->text(), "1");
    EXPECT_EQ(panel().lblAllTrack->text(), "3");
    EXPECT_EQ(midiParts, 1);

    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    panel().ChkCDkijun->setChecked(true);
    mnuCD().trigger();
    EXPECT_FALSE(mnuCD().isChecked());
    EXPECT_FALSE(panel().ChkCDkijun->isChecked());
    EXPECT_EQ(m_window.height(), m_window.mediaPanelClosedHeight);
    EXPECT_TRUE(panel().TimerCD->isActive());
    EXPECT_EQ(send("status cdaudio mode"), "seeking"); // still playing, nothing rendered yet

    mnuCD().trigger(); // shown again: the device is not opened twice
    EXPECT_TRUE(mnuCD().isChecked());
    EXPECT_EQ(midiParts, 2);
    EXPECT_TRUE(messageTexts().empty());
}

TEST_F(CdPanelTest, WithoutADiscThePanelStaysEmptyUntilTheWatchSeesOne) {
    mnuCD().trigger();
    EXPECT_EQ(messageTexts(),
              std::vector<QString>{
                  "CD ドライブが見つからず、ディスクイメージも選ばれていません。@OpenCD"});
    EXPECT_FALSE(cd().cdOpened);
    EXPECT_EQ(transport(), kNone);
    EXPECT_TRUE(panel().TimerCD->isActive());
    panel().TimerCD_Timer(); // the watch opens quietly: still nothing, and no message
    EXPECT_EQ(messageTexts().size(), 1u);
    EXPECT_EQ(transport(), kNone);

    cd().imagePath = WriteToneDisc(m_dir.path(), "late", {{2.0, 0.0}, {2.0, 0.0}});
    panel().TimerCD_Timer(); // status before opening: nothing to see
    panel().TimerCD_Timer();
    EXPECT_TRUE(cd().cdOpened);
    EXPECT_TRUE(cd().cdMediaPresent);
    EXPECT_EQ(transport(), kTakenIn);
    EXPECT_EQ(panel().lblAllTrack->text(), "2");
    EXPECT_EQ(position(), 0); // at the start of track 1
    EXPECT_EQ(messageTexts().size(), 1u);
}

TEST_F(CdPanelTest, ADamagedImageIsNoDiscWithOneMessageAndIsNotTriedAgainAndAgain) {
    cd().imagePath = WriteTocThatDividesByZero(m_dir.path());
    mnuCD().trigger();
    EXPECT_EQ(messageTexts(), std::vector<QString>{
                                  "ディスクイメージが壊れているか、読み取れない形式です。@OpenCD"});
    EXPECT_FALSE(cd().cdOpened);
    EXPECT_EQ(transport(), kNone);
    for (int i = 0; i < 10; ++i) {
        panel().TimerCD_Timer();
    }
    EXPECT_EQ(messageTexts().size(), 1u);
    EXPECT_EQ(m_app.cd.device.imageProbes(), 1) << "the watch ran the probe again";

    // Another choice is taken in by the watch.
    cd().imagePath = WriteToneDisc(m_dir.path(), "good", {{2.0, 0.0}, {2.0, 0.0}});
    panel().TimerCD_Timer();
    panel().TimerCD_Timer();
    EXPECT_TRUE(cd().cdMediaPresent);
    EXPECT_EQ(transport(), kTakenIn);
    EXPECT_EQ(messageTexts().size(), 1u);
}

TEST_F(CdPanelTest, TransportFollowsTheEnableTableAndPauseResumesInPlace) {
    showWithDisc({{3.0, 441.0}, {3.0, 882.0}});
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    EXPECT_EQ(cd().cdPlayState, "PLAYING");
    EXPECT_EQ(transport(), kPlaying);
    play(1.0);
    QTest::mouseClick(panel().ComCDPause, Qt::LeftButton);
    EXPECT_EQ(cd().cdPlayState, "PAUSING");
    EXPECT_EQ(transport(), kPaused);
    play(0.5);
    const std::int64_t paused = position();
    EXPECT_NEAR(paused, 1000, 15);
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    play(0.5);
    EXPECT_NEAR(position(), paused + 500, 15);
    // Start while playing does nothing.
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    EXPECT_EQ(transport(), kPlaying);
    EXPECT_TRUE(messageTexts().empty());
}

TEST_F(CdPanelTest, StopLeavesTheStartOfTheCurrentTrack) {
    showWithDisc({{2.0, 0.0}, {4.0, 0.0}});
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    moveTo(2, 1500, true);
    panel().TimerCD_Timer();
    EXPECT_EQ(panel().lbltrack->text(), "2");
    QTest::mouseClick(panel().ComCDStop, Qt::LeftButton);
    EXPECT_EQ(cd().cdPlayState, "STOPPING");
    EXPECT_EQ(transport(), kStoppedAfterPlay);
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    EXPECT_EQ(position(), 2000);
}

TEST_F(CdPanelTest, NextOnTheLastTrackDoesNothing) {
    showWithDisc({{2.0, 0.0}, {2.0, 0.0}});
    QTest::mouseClick(panel().ComCDNext, Qt::LeftButton);
    panel().TimerCD_Timer();
    EXPECT_EQ(cd().cdCurrentTrack, 2);
    EXPECT_EQ(position(), 2000);
    send("seek cdaudio to 3000");
    QTest::mouseClick(panel().ComCDNext, Qt::LeftButton);
    EXPECT_EQ(position(), 3000);
    EXPECT_TRUE(messageTexts().empty());
}

TEST_F(CdPanelTest, PrevGoesBackOnlyWithinTheFirstSecondAndStoppedItStepsTrackByTrack) {
    showWithDisc({{2.0, 0.0}, {2.0, 0.0}, {2.0, 0.0}, {2.0, 0.0}, {3.0, 0.0}});
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    moveTo(5, 800, true);
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    settle();
    EXPECT_NEAR(position(), trackStart(4), 10);
    play(0.1);
    EXPECT_EQ(send("status cdaudio mode"), "playing");
    EXPECT_NEAR(position(), trackStart(4) + 100, 15);

    moveTo(5, 1500, true);
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    settle();
    EXPECT_NEAR(position(), trackStart(5), 10);

    moveTo(1, 300, true);
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    settle();
    EXPECT_NEAR(position(), 0, 10);

    QTest::mouseClick(panel().ComCDStop, Qt::LeftButton);
    moveTo(5, 1200, false);
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    EXPECT_EQ(position(), trackStart(5));
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    EXPECT_EQ(position(), trackStart(4));
    cd().cdCurrentTrack = 1;
    send("seek cdaudio to 0");
    QTest::mouseClick(panel().ComCDPrev, Qt::LeftButton);
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    EXPECT_TRUE(messageTexts().empty());
}

TEST_F(CdPanelTest, RewindNearTheDiscStartIsPrevAndLaterStepsBackThreeSeconds) {
    showWithDisc({{25.0, 0.0}});
    moveTo(1, 4900, false);
    panel().ComCD_RE_Click();
    EXPECT_EQ(position(), 0);
    moveTo(1, 20000, false);
    panel().ComCD_RE_Click();
    EXPECT_EQ(position(), 17000);
    panel().ComCD_FF_Click();
    panel().ComCD_FF_Click();
    EXPECT_EQ(position(), 23000);
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    panel().ComCD_FF_Click(); // 26 s is beyond the disc
    EXPECT_EQ(messageTexts(), std::vector<QString>{"エラー@FfCD指定された値が範囲外です。"});
    EXPECT_EQ(position(), 23000);
}

TEST_F(CdPanelTest, TheLoopReturnsToAWithinOneWatchPeriodAfterB) {
    showWithDisc({{2.0, 441.0}, {2.0, 441.0}, {14.0, 882.0}});
    // B before A leaves the loop box disabled; A before B enables it.
    moveTo(3, 10000, false);
    panel().lblCDMarkb_Click();
    moveTo(3, 12000, false);
    panel().lblCDMarka_Click();
    EXPECT_EQ(panel().lblCDMarkb->text(), "b:00:10:00");
    EXPECT_EQ(panel().lblCDMarka->text(), "a:00:12:00");
    EXPECT_FALSE(panel().ChkCDAbloop->isEnabled());
    moveTo(3, 2000, false);
    panel().lblCDMarka_Click();
    EXPECT_EQ(panel().lblCDMarka->text(), "a:00:02:00");
    EXPECT_EQ(cd().cdLoopStart, 2000);
    EXPECT_EQ(cd().cdLoopEnd, 10000);
    EXPECT_TRUE(panel().ChkCDAbloop->isEnabled());
    panel().ChkCDAbloop->setChecked(true);

    // Playing from 8 s, the watch brings it back to 2 s once past 10 s, every time round.
    moveTo(3, 8000, false);
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
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
    EXPECT_EQ(panel().lbltrack->text(), "3");
    EXPECT_EQ(m_app.cd.device.underruns(), 0u);
}

TEST_F(CdPanelTest, APausedDiscPastBDoesNotStartByItself) {
    showWithDisc({{14.0, 0.0}});
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    moveTo(1, 2000, true);
    panel().lblCDMarka_Click();
    moveTo(1, 4000, true);
    panel().lblCDMarkb_Click();
    panel().ChkCDAbloop->setChecked(true);
    QTest::mouseClick(panel().ComCDPause, Qt::LeftButton);
    panel().ComCD_FF_Click(); // moved past B while paused
    settle();
    tick();
    EXPECT_EQ(send("status cdaudio mode"), "stopped");
    EXPECT_EQ(position(), 7000);
}

TEST_F(CdPanelTest, OpeningTheTrayClearsTheMarksAndLabels) {
    showWithDisc({{2.0, 0.0}, {12.0, 0.0}});
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    moveTo(2, 2000, true);
    panel().lblCDMarka_Click();
    moveTo(2, 6000, true);
    panel().lblCDMarkb_Click();
    panel().ChkCDAbloop->setChecked(true);
    panel().TimerCD_Timer();
    EXPECT_EQ(panel().lblCDTime->text(), "00:06");

    const QString cue = cd().imagePath;
    ASSERT_TRUE(QFile::rename(cue, cue + ".out"));
    tick();
    EXPECT_EQ(cd().cdPlayState, "");
    EXPECT_FALSE(cd().cdMediaPresent);
    EXPECT_TRUE(cd().cdOpened);
    EXPECT_EQ(transport(), kNone);
    EXPECT_FALSE(panel().ChkCDAbloop->isEnabled());
    EXPECT_FALSE(panel().ChkCDAbloop->isChecked());
    EXPECT_EQ(cd().cdLoopStart, 0);
    EXPECT_EQ(cd().cdLoopEnd, 0);
    EXPECT_EQ(panel().lblCDMarka->text(), "a:00:00:00");
    EXPECT_EQ(panel().lblCDMarkb->text(), "b:00:00:00");
    EXPECT_EQ(panel().lbltrack->text(), "0");
    EXPECT_EQ(panel().lblAllTrack->text(), "0");
    EXPECT_EQ(panel().lblCDTime->text(), "00:00");
    panel().lblCDMarka_Click(); // no disc: the marks stay
    EXPECT_EQ(panel().lblCDMarka->text(), "a:00:00:00");

    // The disc comes back: taken in and put at the start of track 1.
    ASSERT_TRUE(QFile::rename(cue + ".out", cue));
    tick();
    EXPECT_EQ(cd().cdPlayState, "STOPPING");
    EXPECT_EQ(transport(), kTakenIn);
    EXPECT_EQ(panel().lblAllTrack->text(), "2");
    EXPECT_EQ(position(), 0);
    EXPECT_TRUE(messageTexts().empty());
}

TEST_F(CdPanelTest, TheTimeCaptionShowsMinutesAndSecondsOfTheTrack) {
    showWithDisc({{1.0, 0.0}, {63 * 60.0, 0.0}}); // an hour of silence: a hole in the file
    moveTo(2, 5400, false);
    panel().TimerCD_Timer();
    EXPECT_EQ(panel().lblCDTime->text(), "00:05");
    EXPECT_EQ(panel().lbltrack->text(), "2");
    moveTo(2, (61 * 60 + 2) * std::int64_t{1000}, false);
    panel().TimerCD_Timer();
    EXPECT_EQ(panel().lblCDTime->text(), "61:02");
}

TEST(PanelTime, FourFormsOfAtLeastTwoDigits) {
    EXPECT_EQ(PanelTimeText(540, 1), "00:05");
    EXPECT_EQ(PanelTimeText(366200, 1), "61:02");
    EXPECT_EQ(PanelTimeText(123 * 6000 + 705, 0), "123:07:05");
    EXPECT_EQ(PanelTimeText(1234, 2), "a:00:12:34");
    EXPECT_EQ(PanelTimeText(1234, 3), "b:00:12:34");
    EXPECT_TRUE(PanelTimeText(1234, 4).isNull());
    QLabel label(QStringLiteral("kept"));
    FormatPanelTime(label, 1234, 7);
    EXPECT_EQ(label.text(), "kept");
}

TEST_F(CdPanelTest, TheUpDownSetsTheBarAndTheBpmAndRematchesUnderTheLock) {
    int rematches = 0;
    panel().onBarChanged = [&rematches] { ++rematches; };
    EXPECT_EQ(panel().SpinButtonCD->value(), 2000);
    EXPECT_GT(panel().SpinButtonCD->minimum(), 0);
    panel().SpinButtonCD->setValue(1875);
    EXPECT_EQ(cd().cdBarSeconds, 1.875);
    EXPECT_EQ(panel().lblCDSec->text(), "1.875");
    EXPECT_EQ(cd().cdBpm, 128.0f);
    EXPECT_EQ(panel().lblCdBpm->text(), "128");
    panel().SpinButtonCD->setValue(2040);
    EXPECT_EQ(panel().lblCdBpm->text(), "117.647");
    EXPECT_EQ(rematches, 0);

    panel().ChkCDkijun->setChecked(true);
    panel().SpinButtonCD->setValue(2000);
    EXPECT_EQ(rematches, 0); // the lock is off
    m_window.menuItem(QStringLiteral("mnuLock"))->setChecked(true);
    cd().cdBarSecondsBase = 0.0005;
    panel().SpinButtonCD->setValue(2001);
    EXPECT_EQ(rematches, 1);
    EXPECT_DOUBLE_EQ(cd().cdBarSeconds, 2.0015);
    EXPECT_EQ(panel().lblCDSec->text(), "2.002");
}

TEST_F(CdPanelTest, AFailingStartLeavesTheButtonsAsTheyWere) {
    showWithDisc({{2.0, 0.0}});
    ScriptedMciDevice fake;
    fake.errorTexts[276] = "デバイスの準備ができていません。";
    m_app.cd.mci.setDevice(fake);
    fake.on("play cdaudio", {}, 276);
    QTest::mouseClick(panel().ComCDStart, Qt::LeftButton);
    EXPECT_EQ(cd().cdPlayState, "STOPPING");
    EXPECT_EQ(transport(), kTakenIn);
    EXPECT_EQ(messageTexts(),
              std::vector<QString>{"エラー@PlayCD...デバイスの準備ができていません。"});
    m_app.cd.mci.setDevice(m_app.cd.commands);
}

TEST_F(CdPanelTest, ShutdownStopsOnlyWhenAskedAndADiscIsInThenCloses) {
    ScriptedMciDevice fake;
    m_app.cd.mci.setDevice(fake);
    m_app.cd.ShutdownCD(); // never opened: nothing to say
    EXPECT_TRUE(fake.sent.empty());

    cd().cdOpened = true;
    cd().cdMediaPresent = true;
    cd().cdCurrentTrack = 2;
    fake.on("close cdaudio");
    m_app.cd.ShutdownCD();
    cd().stopCdOnExit = true;
    fake.on("stop cdaudio")
        .on("status cdaudio position track 2", "2000")
        .on("seek cdaudio to 2000")
        .on("close cdaudio");
    m_app.cd.ShutdownCD();
    cd().cdMediaPresent = false;
    fake.on("close cdaudio");
    m_app.cd.ShutdownCD();
    EXPECT_TRUE(fake.done());
    m_app.cd.mci.setDevice(m_app.cd.commands);
}

} // namespace
} // namespace mt::test
