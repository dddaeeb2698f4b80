// The CD operations against a scripted device: the exact command strings, reply buffers,
// results and messages.
#include "ScriptedMciDevice.h"

#include "media/cd/CdCommands.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace mt::test {
namespace {

class CdCommandsTest : public ::testing::Test {
protected:
    CdCommandsTest() {
        state.cdOpened = true;
        state.cdMediaPresent = true;
        state.cdTrackCount = 8;
        device.errorTexts[282] = "指定された値が範囲外です。  ";
        device.errorTexts[276] = "デバイスの準備ができていません。";
    }
    ~CdCommandsTest() override { EXPECT_TRUE(device.done()) << "commands left unsent"; }

    ScriptedMciDevice device;
    CdState state;
    std::vector<QString> messages;
    CdCommands mci{device, state, [this](const QString& text) { messages.push_back(text); }};
};

// The status text trimmed and quiet on the watch's asking; numbers in replies.
TEST_F(CdCommandsTest, StatusIsTrimmedQuietForTheWatchAndRepliesRoundHalfToEven) {
    device.on("status cdaudio mode", "paused   ")
        .on("status cdaudio mode", {}, 276)
        .on("status cdaudio mode", {}, 276);
    EXPECT_EQ(mci.GetStatusCD(false), "paused");
    EXPECT_EQ(mci.GetStatusCD(true), ""); // the watch asks quietly
    EXPECT_EQ(mci.GetStatusCD(false), "");
    EXPECT_EQ(device.sent.front().replyLength, 20);
    EXPECT_EQ(messages,
              std::vector<QString>{"エラー@GetStatusCD...デバイスの準備ができていません。"});
    state.cdOpened = false; // the current track is not asked before the device opened
    EXPECT_EQ(mci.GetTrackCD(), 0);

    for (const auto& [reply, number] :
         {std::pair{"12345", 12345}, {"  12.5", 12}, {"13.5ms", 14}, {"abc", 0}, {"", 0}}) {
        EXPECT_EQ(ReplyNumber(reply), number) << reply; // halves to even
    }
}

// The script of one move: commands split by '|', each maybe with "=reply", "!error code" and
// "/length of the reply buffer it must be given" in that order.
void Script(ScriptedMciDevice& device, const std::string& script,
            std::vector<std::pair<std::size_t, int>>& lengths) {
    std::istringstream steps(script);
    std::string step;
    for (std::size_t n = 0; std::getline(steps, step, '|'); ++n) {
        // Commands hold none of = ! /, replies neither ! nor /: each mark is cut from the end.
        const auto cut = [&step](char mark) -> std::optional<std::string> {
            const auto at = step.find(mark);
            if (at == std::string::npos) {
                return std::nullopt;
            }
            std::string tail = step.substr(at + 1);
            step.resize(at);
            return tail;
        };
        const std::optional<std::string> length = cut('/');
        const std::optional<std::string> code = cut('!');
        const std::optional<std::string> reply = cut('=');
        ASSERT_FALSE(step.empty()) << script;
        device.on(step, reply.value_or(std::string()), code ? std::stoul(*code) : 0);
        if (length) {
            lengths.emplace_back(n, std::stoi(*length));
        }
    }
}

// GetTimeInTrackCD's queries, `ms` into `track` that starts at `start`.
std::string InTrack(int track, int start, int ms) {
    return "set cdaudio time format milliseconds|status cdaudio position=" +
           std::to_string(start + ms) + "|status cdaudio position track " + std::to_string(track) +
           "=" + std::to_string(start) + "|";
}

// Opening, closing, the status queries, every move on the disc and the mute, from each state:
// the commands in order with their reply buffers, the result, the message (the device's text,
// trailing blanks gone, or a fixed one).
TEST_F(CdCommandsTest, OperationsSendTheirCommandsForTheState) {
    using Move = std::int32_t (*)(CdCommands&);
    const Move open = [](CdCommands& m) { return std::int32_t{m.OpenCD(false)}; };
    const Move openQuietly = [](CdCommands& m) { return std::int32_t{m.OpenCD(true)}; };
    const Move close = [](CdCommands& m) { return std::int32_t{m.CloseCD()}; };
    const Move play = [](CdCommands& m) { return std::int32_t{m.PlayCD()}; };
    const Move pause = [](CdCommands& m) { return std::int32_t{m.PauseCD()}; };
    const Move tracks = [](CdCommands& m) { return m.GetAllTracksCD(); };
    const Move current = [](CdCommands& m) { return m.GetTrackCD(); };
    const Move present = [](CdCommands& m) { return std::int32_t{m.IsMediaPresentCD()}; };
    const Move next = [](CdCommands& m) { return std::int32_t{m.NextCD()}; };
    const Move prev = [](CdCommands& m) { return std::int32_t{m.PrevCD()}; };
    const Move rewind = [](CdCommands& m) { return std::int32_t{m.ReCD()}; };
    const Move forward = [](CdCommands& m) { return m.FfCD(), 1; };
    const Move stop = [](CdCommands& m) { return std::int32_t{m.StopCD()}; };
    const Move timeIn3 = [](CdCommands& m) { return m.GetTimeInTrackCD(3); };
    const Move top = [](CdCommands& m) { return std::int32_t{m.PerfectHeadCD()}; };
    const Move loopStart = [](CdCommands& m) { return std::int32_t{m.BackToLoopStartCD()}; };
    const Move mute = [](CdCommands& m) { return std::int32_t{m.MuteCD()}; };
    const Move unmute = [](CdCommands& m) { return std::int32_t{m.ReMuteCD()}; };
    constexpr auto kPlaying = CdPlayState::Playing, kPausing = CdPlayState::Pausing,
                   kStopped = CdPlayState::Stopping;
    const std::string format = "set cdaudio time format milliseconds|";
    const std::string outOfRange = "指定された値が範囲外です。";
    const std::string notReady = "デバイスの準備ができていません。";
    const struct {
        Move move;
        CdPlayState mode;
        int track;
        std::string script;
        std::int32_t result;
        std::string message;
    } cases[] = {
        {open, kStopped, 1, "open cdaudio Shareable!276", 0, notReady + "@OpenCD"},
        {openQuietly, kStopped, 1, "open cdaudio Shareable!276", 0, ""},
        {open, kStopped, 1, "open cdaudio Shareable", 1, ""},
        {close, kStopped, 1, "close cdaudio!999", 0, "@CloseCD"}, // no text, no fallback
        {close, kStopped, 1, "close cdaudio!276", 0, notReady + "@CloseCD"},
        {play, kStopped, 1, "play cdaudio!4711", 0,
         "エラー@PlayCD...エラー文字列を取得することができません！！"},
        {pause, kPlaying, 1, "pause cdaudio!282", 0, "エラー@PauseCD..." + outOfRange},
        {tracks, kPlaying, 1, "status cdaudio number of tracks wait=12/80", 12, ""},
        {current, kPlaying, 1, "status cdaudio current track wait=7 /80", 7, ""},
        {present, kPlaying, 1, "status cdaudio media present wait=true/20", 1, ""},
        {present, kPlaying, 1, "status cdaudio media present wait=false", 0, ""},
        {tracks, kPlaying, 1, "status cdaudio number of tracks wait!276", 0,
         "エラー@GetAllTracksCD..." + notReady},
        {current, kPlaying, 1, "status cdaudio current track wait!276", 0,
         "エラー@GetTrackCD..." + notReady},
        {present, kPlaying, 1, "status cdaudio media present wait!276", 0,
         "エラー@IsMediaPresentCD..." + notReady},
        {next, kPlaying, 8, "", 0, ""}, // the last track
        {next, kPlaying, 4,
         format + "status cdaudio position track 5=61000/80|play cdaudio from 61000", 1, ""},
        {next, kPausing, 4,
         format + "status cdaudio position track 5=61000|seek cdaudio to 61000!282", 0,
         "エラー@NextCd..." + outOfRange},
        {next, kPausing, 4, format + "status cdaudio position track 5!276", 0,
         "エラー@NextCD..." + notReady},
        // Playing, back a track only within the first second of one that is not the first.
        {prev, kPlaying, 5,
         InTrack(5, 300000, 800) +
             "status cdaudio position track 4=240000/20|play cdaudio from 240000",
         1, ""},
        {prev, kPlaying, 5,
         InTrack(5, 300000, 1500) +
             "status cdaudio position track 5=300000|play cdaudio from 300000",
         1, ""},
        {prev, kPlaying, 1,
         InTrack(1, 0, 300) + "status cdaudio position track 1=0|play cdaudio from 0", 1, ""},
        // Stopped, to the track's start, and from there to the track before.
        {prev, kStopped, 5,
         InTrack(5, 300000, 42000) +
             "status cdaudio position track 5=300000|seek cdaudio to 300000",
         1, ""},
        {prev, kStopped, 5,
         InTrack(5, 300000, 0) + "status cdaudio position track 4=240000|seek cdaudio to 240000", 1,
         ""},
        {prev, kStopped, 1,
         InTrack(1, 0, 0) + "status cdaudio position track 1=0|seek cdaudio to 0", 1, ""},
        // Rewind within 5 s of the disc's start is prev; elsewhere it steps back 3 s.
        {rewind, kStopped, 1,
         "status cdaudio position=4900/30|" + InTrack(1, 0, 4900) +
             "status cdaudio position track 1=0|seek cdaudio to 0",
         1, ""},
        {rewind, kStopped, 1, "status cdaudio position=20000|seek cdaudio to 17000", 1, ""},
        {rewind, kPlaying, 1, "status cdaudio position=20000|play cdaudio from 17000", 1, ""},
        {forward, kPlaying, 1, "status cdaudio position=20000/30|play cdaudio from 23000", 1, ""},
        {forward, kPausing, 1, "status cdaudio position=20000|seek cdaudio to 23000!282", 1,
         "エラー@FfCD" + outOfRange},
        {forward, kPausing, 1, "status cdaudio position!276", 1, notReady + "@FfCD"},
        {stop, kPlaying, 3,
         "stop cdaudio|status cdaudio position track 3=412000|seek cdaudio to 412000", 1, ""},
        {stop, kPlaying, 3, "stop cdaudio!276", 0, "エラー@StopCD..." + notReady},
        {timeIn3, kPlaying, 3, InTrack(3, 250000, 5400), 5400, ""},
        {timeIn3, kPlaying, 3,
         format + "status cdaudio position=9000|status cdaudio position track 3!282", 0,
         "エラー@GetTime_inTrackCD..." + outOfRange},
        {top, kStopped, 3, format + "status cdaudio position track 1=2000|seek cdaudio to 2000", 1,
         ""},
        // Back to A: the track's start plus the mark, whatever the state.
        {loopStart, kPausing, 3, "status cdaudio position track 3=125000|play cdaudio from 127000",
         1, ""},
        // Both channels, stopping at the first that fails.
        {mute, kPlaying, 1, "set cdaudio audio left off|set cdaudio audio right off", 1, ""},
        {unmute, kPlaying, 1, "set cdaudio audio left on|set cdaudio audio right on!276", 0,
         "エラー@ReMuteCD(right on)..." + notReady},
        {mute, kPlaying, 1, "set cdaudio audio left off!276", 0,
         "エラー@MuteCD(left off)..." + notReady},
    };
    state.cdLoopStart = 2000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        state.cdPlayState = c.mode;
        state.cdCurrentTrack = c.track;
        device.sent.clear();
        messages.clear();
        std::vector<std::pair<std::size_t, int>> lengths;
        Script(device, c.script, lengths);
        EXPECT_EQ(c.move(mci), c.result);
        EXPECT_TRUE(device.done());
        for (const auto& [step, length] : lengths) {
            ASSERT_LT(step, device.sent.size());
            EXPECT_EQ(device.sent[step].replyLength, length) << device.sent[step].command;
        }
        EXPECT_EQ(messages, c.message.empty()
                                ? std::vector<QString>{}
                                : std::vector<QString>{QString::fromStdString(c.message)});
    }
}

} // namespace
} // namespace mt::test
