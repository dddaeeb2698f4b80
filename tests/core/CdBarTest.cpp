// The CD's bar (its up-down, remainder and tempo) and the BPM counter's session that hands a
// tapped or typed tempo to it. A moved bar's re-match under the lock: TempoMatchTest.
#include "core/CdBar.h"
#include "core/TapClock.h"
#include "core/TapSession.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

// A clock moved by hand; one that fails never starts.
struct HandClock final : TapClock {
    void start() override { ticking = ticking || (ms = 0, !fails); }
    void stop() override { ticking = false, ms = 0; }
    bool running() const override { return ticking; }
    std::int32_t elapsedMs() const override { return ms; }
    bool ticking = false, fails = false;
    std::int32_t ms = 0;
};

struct CdBarTest : ::testing::Test {
    CdBarTest() {
        QObject::connect(&bar, &CdBar::moved, [this] { ++moves; });
    }
    std::string shown() const {
        return std::to_string(bar.wholeMs()) + " " +
               (bar.secondsText() + " " + bar.bpmText()).toStdString();
    }
    std::string window() const {
        return (session.barText() + " " + session.bpmText()).toStdString();
    }

    CdBar bar;
    int moves = 0;
    HandClock clock;
    TapSession session{clock, bar};
};

TEST_F(CdBarTest, TheUpDownAndTheBarsTakenKeepTheRemainderAndTheTempo) {
    const struct {
        int ms;         // the up-down turned, or 0: a bar taken
        double seconds; // what the bar then holds, or takes
        float bpm;
        const char* shown;
        int moves;
    } cases[] = {
        {1875, 1.875, 0, "1875 1.875 128", 1},
        {2040, 2.04, 0, "2040 2.040 117.647", 1},
        {0, 1.0, 240.0f, "1000 1.000 240", 1},
        {0, 1.0, 240.0f, "1000 1.000 240", 0}, // unchanged: nothing re-matches
        {0, 2.0005, 119.97f, "2000 2.001 119.97", 1},
        {2001, 2.0015, 0, "2001 2.002 119.91", 1},   // the remainder stays with the up-down
        {0, 1.001, 239.76f, "1001 1.001 239.76", 1}, // not 1000.999... ms
    };
    for (const auto& c : cases) {
        moves = 0;
        c.ms != 0 ? bar.setWholeMs(c.ms) : bar.take(c.seconds, c.bpm);
        EXPECT_EQ(shown(), c.shown);
        EXPECT_EQ(moves, c.moves) << c.shown;
        EXPECT_NEAR(bar.barSeconds(), c.seconds, 1e-12) << c.shown;
    }
}

// The k-th tap is the point (2k, its time); the line through them gives half a beat. The
// pause before the first tap does not bend it; one tap, or taps at one time, give no tempo.
TEST_F(CdBarTest, TapsMeasureWhateverThePauseBeforeThemAndOkHandsTheBarOver) {
    const struct {
        int pause, taps, interval;
        const char* window; // "": no tempo
        const char* handed;
    } cases[] = {{0, 6, 500, "1.000 240.000", "1000 1.000 240"},
                 {2000, 6, 500, "1.000 240.000", "1000 1.000 240"},
                 {1000, 8, 1000, "2.000 120.000", "2000 2.000 120"},
                 {100, 1, 500, "", "2000 2.000 120"}, // nothing measured: the CD's own
                 {100, 2, 0, "", "2000 2.000 120"},
                 {600, 3, 600, "1.200 200.000", "1200 1.200 200"}};
    for (const auto& c : cases) {
        session.open();
        session.tap(); // before C: nothing
        session.start();
        for (int i = 0; i < c.taps; ++i) {
            clock.ms = c.pause + i * c.interval;
            session.tap();
            session.start(); // a second C while measuring: the clock runs on
        }
        EXPECT_EQ(session.measurement().hasResult() ? window() : "", c.window) << c.pause;
        session.reset(); // the taps go, the result stays
        EXPECT_FALSE(session.measuring() || clock.ticking);
        session.handOver();
        EXPECT_EQ(shown(), c.handed) << c.pause;
    }
    clock.fails = true;
    session.start();
    session.tap();
    EXPECT_TRUE(session.measuring() && session.measurement().taps() == 0);
}

// A typed tempo is the number its text starts with; taps leave it alone. What is handed over
// stays within the up-down's range, the tempo rounded half up to three decimals.
TEST_F(CdBarTest, ATypedTempoIsLeftAloneByTapsAndHandedOverWithinTheUpDownsRange) {
    session.type(QStringLiteral("150")); // not in typed mode: only the text
    EXPECT_EQ(window(), "2.000 150");
    session.setTyping(true);
    session.start();
    for (const int ms : {500, 1000}) {
        clock.ms = ms;
        session.tap();
    }
    EXPECT_EQ(window(), "1.000 150") << "taps leave a typed tempo alone";
    const struct {
        const char* typed;
        const char* window;
        const char* handed;
    } cases[] = {{"119.970007498125", "2.001 119.970007498125", "2000 2.001 119.97"},
                 {" 1,200.000", "240.000  1,200.000", "10000 10.000 24"},
                 {"150.5.6", "1.595 150.5.6", "1594 1.595 150.5"},
                 {"9600", "0.025 9600", "100 0.100 2400"},
                 {"abc", "0.025 abc", "100 0.100 2400"}}; // none: the CD's own
    for (const auto& c : cases) {
        session.type(QLatin1String(c.typed));
        EXPECT_EQ(window(), c.window);
        session.handOver();
        EXPECT_EQ(shown(), c.handed) << c.typed;
    }
    for (const char* none : {"0", ".", "", "0.000"}) {
        session.type(QLatin1String(none));
        EXPECT_FALSE(session.measurement().hasResult()) << none;
    }
    session.open(); // the CD's own tempo is then the one typed
    EXPECT_EQ(window(), "0.100 2400");
    EXPECT_NEAR(bar.remainder(), 0.0, 1e-12);
}

} // namespace
} // namespace mt
