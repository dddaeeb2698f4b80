// The MIDI clock's messages in engine frames, without a server: where a Start over a running
// clock, a tempo change and an output made anew put the ticks.
#include "midiin/ClockTrain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mt::test {
namespace {

// What the train sends before engine frame `until`, one "status@frame" each (frame "now" for
// what goes at once).
std::vector<std::string> Drain(ClockTrain& train, std::int64_t until) {
    train.take();
    std::vector<std::string> sent;
    ClockMessage m;
    while (train.peek(m) && m.frame < until) {
        const bool now = m.frame == ClockMessage::kAtOnce;
        sent.push_back(std::to_string(m.bytes[0]) + "@" +
                       (now ? std::string("now") : std::to_string(m.frame)));
        train.pop();
    }
    return sent;
}

std::vector<std::string> Ticks(std::int64_t from, std::int64_t to, std::int64_t step) {
    std::vector<std::string> ticks;
    for (std::int64_t f = from; f < to; f += step) {
        ticks.push_back("248@" + std::to_string(f));
    }
    return ticks;
}

using Transport = ClockPlan::Transport;

TEST(ClockTrain, TicksAreCountedThroughARestartATempoChangeAndAnOutputMadeAnew) {
    ClockTrain train;
    const BeatGrid grid{0, 0.0, 960.0, 4}; // a tick every 40 frames
    ASSERT_TRUE(train.post({grid, nullptr, Transport::Start, 4.0, 0}));
    std::vector<std::string> expected{"242@now", "250@3840"};
    auto ticks = Ticks(3840, 3960, 40);
    expected.insert(expected.end(), ticks.begin(), ticks.end());
    EXPECT_EQ(Drain(train, 3960), expected);

    // Start again on the next bar while running: no Song Position, the bar's tick once.
    train.post({grid, nullptr, Transport::Start, 8.0, 0});
    expected = Ticks(3960, 7680, 40);
    expected.insert(expected.end(), {"250@7680", "248@7680", "248@7720"});
    EXPECT_EQ(Drain(train, 7721), expected);

    // Twice as fast from beat 9 (frame 8640) on: the ticks before it keep their frames.
    train.post({{8640, 9.0, 480.0, 4}, nullptr, Transport::Follow, 0.0, 0});
    expected = Ticks(7760, 8640, 40);
    ticks = Ticks(8640, 8760, 20);
    expected.insert(expected.end(), ticks.begin(), ticks.end());
    EXPECT_EQ(Drain(train, 8760), expected);

    // An output made anew counts from 0 while the grid still says beat 9 is at 8640: the
    // ticks go on from the first not yet due rather than wait a beat or burst.
    EXPECT_FALSE(train.resync(8760));
    EXPECT_TRUE(train.resync(100));
    EXPECT_EQ(Drain(train, 121), Ticks(100, 121, 20));

    train.post({grid, nullptr, Transport::Stop, 0.0, 0});
    EXPECT_EQ(Drain(train, 1'000'000), std::vector<std::string>{"252@now"});
}

} // namespace
} // namespace mt::test
