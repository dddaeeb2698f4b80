// The CD's bar (its up-down, remainder and tempo), the re-match it asks for under the lock,
// and the BPM counter's session that hands a tapped or typed tempo to it.
#include "core/CdBar.h"
#include "core/TapClock.h"
#include "core/TapSession.h"
#include "core/TempoControl.h"
#include "core/TrackBank.h"
#include "support/RecordingSound.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

struct CdBarTest : ::testing::Test {
    CdBarTest() {
        QObject::connect(&bar, &CdBar::moved, [this] { ++moves; });
    }
    std::string shown() const {
        return std::to_string(bar.wholeMs()) + " " +
               (bar.secondsText() + " " + bar.bpmText()).toStdString();
    }

    CdBar bar;
    int moves = 0;
};

TEST_F(CdBarTest, TheUpDownAndTheBarsTakenKeepTheRemainderAndTheTempo) {
    EXPECT_EQ(shown(), "2000 2.000 120");
    const struct {
        int ms;         // the up-down turned, or 0
        double seconds; // or a bar taken
        float bpm;
        const char* shown;
        int moves;
        double barSeconds;
    } cases[] = {
        {1875, 0, 0, "1875 1.875 128", 1, 1.875},
        {2040, 0, 0, "2040 2.040 117.647", 1, 2.04},
        {0, 1.0, 240.0f, "1000 1.000 240", 1, 1.0},
        {0, 1.0, 240.0f, "1000 1.000 240", 0, 1.0}, // unchanged: nothing re-matches
        {0, 2.0005, 119.97f, "2000 2.001 119.97", 1, 2.0005},
        {2001, 0, 0, "2001 2.002 119.91", 1, 2.0015},      // the remainder stays with the up-down
        {0, 1.001, 239.76f, "1001 1.001 239.76", 1, 1.001}, // not 1000.999... ms
    };
    for (const auto& c : cases) {
        moves = 0;
        if (c.ms != 0) {
            bar.setWholeMs(c.ms);
        } else {
            bar.take(c.seconds, c.bpm);
        }
        EXPECT_EQ(shown(), c.shown);
        EXPECT_EQ(moves, c.moves) << c.shown;
        EXPECT_NEAR(bar.barSeconds(), c.barSeconds, 1e-12) << c.shown;
    }
}

// Only with the lock on and the CD as the reference does a moved bar re-match the tracks.
TEST_F(CdBarTest, AMovedBarRematchesOnlyUnderTheLockWithTheCdAsReference) {
    test::RecordingSound sound;
    TrackBank bank{sound};
    bank.tracks[0].loaded = true;
    bank.tracks[0].length44k = 44100.0f; // one second
    bank.setRatio(0, QStringLiteral("*1"));
    TempoControl tempo{bank, bar, bar, [](const QString&) {}};
    QObject::connect(&bar, &CdBar::moved, &tempo,
                     [&tempo] { tempo.referenceBarChanged(TempoReference::Cd); });
    const struct {
        TempoReference reference;
        bool lock;
        int ms;
        int speed;
    } cases[] = {{TempoReference::Cd, false, 1500, 4410},
                 {TempoReference::Midi, true, 1600, 4410},
                 {TempoReference::Cd, true, 1250, 3528}};
    for (const auto& c : cases) {
        tempo.useReference(c.reference, true);
        if (tempo.lockOn() != c.lock) {
            tempo.toggleLock();
        }
        bar.setWholeMs(c.ms);
        EXPECT_EQ(bank.track(0).speed, c.speed) << c.ms;
    }
}

// A clock moved by hand; one that cannot start stays stopped.
struct HandClock final : TapClock {
    void start() override {
        if (!running_ && !fails) {
            running_ = true, ms = 0;
        }
    }
    void stop() override { running_ = false, ms = 0; }
    bool running() const override { return running_; }
    std::int32_t elapsedMs() const override { return ms; }
    bool running_ = false;
    bool fails = false;
    std::int32_t ms = 0;
};

struct TapSessionTest : CdBarTest {
    void taps(int count, int intervalMs) {
        for (int i = 0; i < count; ++i) {
            clock.ms += intervalMs;
            session.tap();
        }
    }
    std::string window() const {
        return (session.barText() + " " + session.bpmText()).toStdString();
    }

    HandClock clock;
    TapSession session{clock, bar};
};

TEST_F(TapSessionTest, TapsMeasureAndOkHandsTheBarToTheCd) {
    bar.setWholeMs(2500);
    session.open();
    EXPECT_EQ(window(), "2.500 96");
    session.tap(); // before C: nothing
    session.start();
    EXPECT_TRUE(session.measuring() && clock.running_);
    taps(3, 500);
    session.start(); // a second C while measuring: the clock runs on
    taps(3, 500);
    EXPECT_EQ(window(), "1.000 240.000");
    session.reset(); // the taps go, the result shown stays
    EXPECT_FALSE(session.measuring() || clock.running_);
    EXPECT_EQ(window(), "1.000 240.000");
    session.handOver();
    EXPECT_EQ(shown(), "1000 1.000 240");
    session.open();
    session.handOver(); // nothing measured: the CD's own, unchanged
    EXPECT_EQ(moves, 2);
    clock.fails = true;
    session.start();
    EXPECT_TRUE(session.measuring()) << "shown even when the clock failed to start";
    taps(3, 500);
    EXPECT_EQ(session.measurement().taps(), 0);
}

TEST_F(TapSessionTest, ATypedTempoIsLeftAloneByTapsAndHandedOverWithItsRemainder) {
    session.type(QStringLiteral("150")); // not in typed mode: only the text
    EXPECT_EQ(window(), "2.000 150");
    session.setTyping(true);
    session.type(QStringLiteral("150"));
    EXPECT_EQ(window(), "1.600 150");
    session.start();
    taps(2, 500);
    EXPECT_EQ(window(), "1.000 150") << "taps leave a typed tempo alone";
    session.type(QStringLiteral("119.970007498125")); // a bar of 2.0005 s
    EXPECT_EQ(window(), "2.001 119.970007498125");
    session.handOver();
    EXPECT_EQ(shown(), "2000 2.001 119.97");
    EXPECT_NEAR(bar.remainder(), 0.0005, 1e-12);
    EXPECT_FALSE(clock.running_);
    session.open(); // still typed: the CD's own tempo is the one typed
    EXPECT_EQ(window(), "2.001 119.97");
    session.cancel(); // unloading forgets it
    session.handOver();
    EXPECT_EQ(moves, 1);
}

} // namespace
} // namespace mt
