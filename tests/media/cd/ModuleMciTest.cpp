// The CD operations against a scripted device: the exact command strings, reply buffers,
// results and messages.
#include "ScriptedMciDevice.h"

#include "media/cd/ModuleMCI.h"

#include <gtest/gtest.h>

namespace mt::test {
namespace {

using Sent = ScriptedMciDevice::Sent;

class ModuleMciTest : public ::testing::Test {
protected:
    ModuleMciTest() {
        state.cdOpened = true;
        state.cdMediaPresent = true;
        state.cdTrackCount = 8;
        device.errorTexts[282] = "指定された値が範囲外です。  ";
        device.errorTexts[276] = "デバイスの準備ができていません。";
    }
    ~ModuleMciTest() override { EXPECT_TRUE(device.done()) << "commands left unsent"; }

    // "status cdaudio position" and the current track's start: `ms` into track `track`.
    void expectTimeInTrack(int track, int trackStart, int ms) {
        device.on("set cdaudio time format milliseconds")
            .on("status cdaudio position", std::to_string(trackStart + ms))
            .on("status cdaudio position track " + std::to_string(track),
                std::to_string(trackStart));
    }

    ScriptedMciDevice device;
    CdState state;
    std::vector<QString> messages;
    ModuleMCI mci{device, state, [this](const QString& text) { messages.push_back(text); }};
};

TEST_F(ModuleMciTest, OpenAndCloseReportTheDeviceTextBeforeTheTag) {
    device.on("open cdaudio Shareable", {}, 276);
    EXPECT_FALSE(mci.OpenCD(false));
    device.on("open cdaudio Shareable", {}, 276);
    EXPECT_FALSE(mci.OpenCD(true));
    device.on("open cdaudio Shareable");
    EXPECT_TRUE(mci.OpenCD(false));
    // Closing takes the device's text as it is, with no fallback when there is none.
    device.on("close cdaudio", {}, 999);
    EXPECT_FALSE(mci.CloseCD());
    device.on("close cdaudio", {}, 276);
    EXPECT_FALSE(mci.CloseCD());
    EXPECT_EQ(messages, (std::vector<QString>{"デバイスの準備ができていません。@OpenCD", "@CloseCD",
                                              "デバイスの準備ができていません。@CloseCD"}));
}

TEST_F(ModuleMciTest, AnErrorWithoutTextStillGivesAMessage) {
    device.on("play cdaudio", {}, 4711);
    EXPECT_FALSE(mci.PlayCD());
    device.on("pause cdaudio", {}, 282);
    EXPECT_FALSE(mci.PauseCD());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "エラー@PlayCD...エラー文字列を取得することができません！！");
    EXPECT_EQ(messages[1], "エラー@PauseCD...指定された値が範囲外です。"); // trailing blanks go
}

TEST_F(ModuleMciTest, StatusQueriesUseTheirReplyBuffersAndParseLeadingDigits) {
    device.on("status cdaudio number of tracks wait", "12")
        .on("status cdaudio current track wait", "7 ")
        .on("status cdaudio media present wait", "true")
        .on("status cdaudio media present wait", "false")
        .on("status cdaudio mode", "paused   ");
    EXPECT_EQ(mci.GetAllTracksCD(), 12);
    EXPECT_EQ(mci.GetTrackCD(), 7);
    EXPECT_TRUE(mci.IsMediaPresentCD());
    EXPECT_FALSE(mci.IsMediaPresentCD());
    EXPECT_EQ(mci.GetStatusCD(false), "paused");
    EXPECT_EQ(device.sent, (std::vector<Sent>{{"status cdaudio number of tracks wait", 80},
                                              {"status cdaudio current track wait", 80},
                                              {"status cdaudio media present wait", 20},
                                              {"status cdaudio media present wait", 20},
                                              {"status cdaudio mode", 20}}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleMciTest, FailingStatusQueriesGiveZeroAndTheirMessages) {
    device.errorTexts[300] = "ドライブエラー   ";
    device.on("status cdaudio number of tracks wait", {}, 300)
        .on("status cdaudio current track wait", {}, 300)
        .on("status cdaudio media present wait", {}, 300)
        .on("status cdaudio mode", {}, 300)
        .on("status cdaudio mode", {}, 300);
    EXPECT_EQ(mci.GetAllTracksCD(), 0);
    EXPECT_EQ(mci.GetTrackCD(), 0);
    EXPECT_FALSE(mci.IsMediaPresentCD());
    EXPECT_EQ(mci.GetStatusCD(true), ""); // the watch asks quietly
    EXPECT_EQ(mci.GetStatusCD(false), "");
    EXPECT_EQ(messages, (std::vector<QString>{
                            "エラー@GetAllTracksCD...ドライブエラー",
                            "エラー@GetTrackCD...ドライブエラー",
                            "エラー@IsMediaPresentCD...ドライブエラー",
                            "エラー@GetStatusCD...ドライブエラー",
                        }));
}

TEST_F(ModuleMciTest, CurrentTrackIsNotAskedBeforeTheDeviceOpened) {
    state.cdOpened = false;
    EXPECT_EQ(mci.GetTrackCD(), 0);
    EXPECT_TRUE(device.sent.empty());
}

TEST_F(ModuleMciTest, ReplyNumbersRoundHalvesToEven) {
    EXPECT_EQ(ReplyNumber("12345"), 12345);
    EXPECT_EQ(ReplyNumber("  12.5"), 12);
    EXPECT_EQ(ReplyNumber("13.5ms"), 14);
    EXPECT_EQ(ReplyNumber("abc"), 0);
    EXPECT_EQ(ReplyNumber(""), 0);
}

TEST_F(ModuleMciTest, TimeInTrackIsThePositionLessTheTrackStart) {
    expectTimeInTrack(3, 250000, 5400);
    EXPECT_EQ(mci.GetTime_inTrackCD(3), 5400);
    device.on("set cdaudio time format milliseconds")
        .on("status cdaudio position", "9000")
        .on("status cdaudio position track 3", {}, 282);
    EXPECT_EQ(mci.GetTime_inTrackCD(3), 0);
    EXPECT_EQ(messages,
              std::vector<QString>{"エラー@GetTime_inTrackCD...指定された値が範囲外です。"});
}

TEST_F(ModuleMciTest, StopReturnsToTheStartOfTheCurrentTrack) {
    state.cdCurrentTrack = 3;
    device.on("stop cdaudio")
        .on("status cdaudio position track 3", "412000")
        .on("seek cdaudio to 412000");
    EXPECT_TRUE(mci.StopCD());
    // A failing stop sends nothing more.
    device.on("stop cdaudio", {}, 276);
    EXPECT_FALSE(mci.StopCD());
    EXPECT_EQ(messages, std::vector<QString>{"エラー@StopCD...デバイスの準備ができていません。"});
}

TEST_F(ModuleMciTest, PerfectHeadGoesToTrackOne) {
    device.on("set cdaudio time format milliseconds")
        .on("status cdaudio position track 1", "2000")
        .on("seek cdaudio to 2000");
    EXPECT_TRUE(mci.PerfectHeadCD());
}

TEST_F(ModuleMciTest, NextDoesNothingOnTheLastTrack) {
    state.cdCurrentTrack = 8;
    EXPECT_FALSE(mci.NextCD());
    EXPECT_TRUE(device.sent.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleMciTest, NextPlaysWhilePlayingAndSeeksOtherwiseWithItsOwnMessages) {
    state.cdCurrentTrack = 4;
    state.cdPlayState = CdPlayState::Playing;
    device.on("set cdaudio time format milliseconds")
        .on("status cdaudio position track 5", "61000")
        .on("play cdaudio from 61000");
    EXPECT_TRUE(mci.NextCD());

    state.cdPlayState = CdPlayState::Pausing;
    device.on("set cdaudio time format milliseconds")
        .on("status cdaudio position track 5", "61000")
        .on("seek cdaudio to 61000", {}, 282);
    EXPECT_FALSE(mci.NextCD());
    device.on("set cdaudio time format milliseconds")
        .on("status cdaudio position track 5", {}, 276);
    EXPECT_FALSE(mci.NextCD());
    EXPECT_EQ(messages, (std::vector<QString>{"エラー@NextCd...指定された値が範囲外です。",
                                              "エラー@NextCD...デバイスの準備ができていません。"}));
}

TEST_F(ModuleMciTest, PrevWhilePlayingGoesBackWithinTheFirstSecondOnly) {
    state.cdPlayState = CdPlayState::Playing;
    state.cdCurrentTrack = 5;
    expectTimeInTrack(5, 300000, 800);
    device.on("status cdaudio position track 4", "240000").on("play cdaudio from 240000");
    EXPECT_TRUE(mci.PrevCD());
    EXPECT_EQ(device.sent[3], (Sent{"status cdaudio position track 4", 20}));

    expectTimeInTrack(5, 300000, 1500);
    device.on("status cdaudio position track 5", "300000").on("play cdaudio from 300000");
    EXPECT_TRUE(mci.PrevCD());

    state.cdCurrentTrack = 1;
    expectTimeInTrack(1, 0, 300);
    device.on("status cdaudio position track 1", "0").on("play cdaudio from 0");
    EXPECT_TRUE(mci.PrevCD());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleMciTest, PrevWhileStoppedGoesToTheTrackStartThenTheTrackBefore) {
    state.cdPlayState = CdPlayState::Stopping;
    state.cdCurrentTrack = 5;
    expectTimeInTrack(5, 300000, 42000);
    device.on("status cdaudio position track 5", "300000").on("seek cdaudio to 300000");
    EXPECT_TRUE(mci.PrevCD());
    expectTimeInTrack(5, 300000, 0);
    device.on("status cdaudio position track 4", "240000").on("seek cdaudio to 240000");
    EXPECT_TRUE(mci.PrevCD());

    state.cdCurrentTrack = 1;
    expectTimeInTrack(1, 0, 0);
    device.on("status cdaudio position track 1", "0").on("seek cdaudio to 0");
    EXPECT_TRUE(mci.PrevCD());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleMciTest, RewindNearTheStartOfTheDiscIsPrevAndElsewhereStepsBack) {
    state.cdPlayState = CdPlayState::Stopping;
    state.cdCurrentTrack = 1;
    device.on("status cdaudio position", "4900");
    expectTimeInTrack(1, 0, 4900);
    device.on("status cdaudio position track 1", "0").on("seek cdaudio to 0");
    EXPECT_TRUE(mci.ReCD());
    EXPECT_EQ(device.sent[0], (Sent{"status cdaudio position", 30}));

    device.on("status cdaudio position", "20000").on("seek cdaudio to 17000");
    EXPECT_TRUE(mci.ReCD());
    state.cdPlayState = CdPlayState::Playing;
    device.on("status cdaudio position", "20000").on("play cdaudio from 17000");
    EXPECT_TRUE(mci.ReCD());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleMciTest, FastForwardKeepsPlayingAndReportsAMoveBeyondTheEnd) {
    state.cdPlayState = CdPlayState::Playing;
    device.on("status cdaudio position", "20000").on("play cdaudio from 23000");
    mci.FfCD();
    state.cdPlayState = CdPlayState::Pausing;
    device.on("status cdaudio position", "20000").on("seek cdaudio to 23000", {}, 282);
    mci.FfCD();
    device.on("status cdaudio position", {}, 276);
    mci.FfCD();
    EXPECT_EQ(device.sent[0], (Sent{"status cdaudio position", 30}));
    EXPECT_EQ(messages, (std::vector<QString>{"エラー@FfCD指定された値が範囲外です。",
                                              "デバイスの準備ができていません。@FfCD"}));
}

TEST_F(ModuleMciTest, LoopStartPlaysFromTheTrackStartPlusTheMarkWhateverTheState) {
    state.cdPlayState = CdPlayState::Pausing;
    state.cdCurrentTrack = 3;
    state.cdLoopStart = 2000;
    device.on("status cdaudio position track 3", "125000").on("play cdaudio from 127000");
    EXPECT_TRUE(mci.BackToLoopStartCD());
}

TEST_F(ModuleMciTest, MuteSwitchesBothChannelsAndStopsAtTheFirstFailure) {
    device.on("set cdaudio audio left off").on("set cdaudio audio right off");
    EXPECT_TRUE(mci.MuteCD());
    device.on("set cdaudio audio left on").on("set cdaudio audio right on", {}, 276);
    EXPECT_FALSE(mci.ReMuteCD());
    device.on("set cdaudio audio left off", {}, 276);
    EXPECT_FALSE(mci.MuteCD());
    EXPECT_EQ(messages,
              (std::vector<QString>{"エラー@ReMuteCD(right on)...デバイスの準備ができていません。",
                                    "エラー@MuteCD(left off)...デバイスの準備ができていません。"}));
}

} // namespace
} // namespace mt::test
