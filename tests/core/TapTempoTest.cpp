#include "core/TapTempo.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

// Starts a measurement and taps `taps` times `interval` ms apart, the first `pause` ms in.
TapTempo::Bar Measure(TapTempo& tempo, int pause, int taps, int interval) {
    tempo.start();
    for (int i = 0; i < taps; ++i) {
        tempo.tap(pause + i * interval);
    }
    return tempo.result();
}

TEST(TapTempo, TheTapsSpacingGivesTheBarWhateverThePauseBeforeThem) {
    for (const int pause : {0, 240, 500, 2000}) {
        TapTempo tempo;
        EXPECT_EQ(Measure(tempo, pause, 1, 500).seconds, 0.0) << "one tap makes no line";
        tempo.clearTaps();
        EXPECT_DOUBLE_EQ(Measure(tempo, pause, 6, 500).seconds, 1.0) << pause;
        EXPECT_FLOAT_EQ(tempo.result().bpm, 240.0f) << pause;
    }
    TapTempo tempo;
    EXPECT_FLOAT_EQ(Measure(tempo, 1000, 8, 1000).bpm, 120.0f);
    tempo.clearTaps(); // the taps go, the result stays
    EXPECT_FLOAT_EQ(Measure(tempo, 100, 2, 0).bpm, 120.0f) << "taps in one tick are no tempo";
    tempo.clearTaps();
    EXPECT_DOUBLE_EQ(Measure(tempo, 600, 3, 600).seconds, 1.2);
    EXPECT_EQ(tempo.taps(), 3);
}

TEST(TapTempo, AnEnteredTempoIsTheNumberItsTextStartsWith) {
    TapTempo tempo;
    EXPECT_TRUE(tempo.enter(QStringLiteral("150")));
    for (const char* none : {"0", ".", "", "0.000", "abc"}) {
        EXPECT_FALSE(tempo.enter(QLatin1String(none))) << none;
    }
    EXPECT_DOUBLE_EQ(tempo.result().seconds, 1.6);
    EXPECT_TRUE(tempo.enter(QStringLiteral(" 1,200.000"))); // pasted: read up to the comma
    EXPECT_DOUBLE_EQ(tempo.result().seconds, 240.0);
    EXPECT_TRUE(tempo.enter(QStringLiteral("12.5.6")));
    EXPECT_FLOAT_EQ(tempo.result().bpm, 12.5f);
}

TEST(TapTempo, HandsOverTheResultOrTheCurrentBarWithinTheUpDownsRange) {
    const struct {
        const char* typed;
        double seconds;
        float bpm;
    } cases[] = {{"", 2.5, 96.0f}, // nothing measured: the CD's own
                 {"119.970007498125", 2.0005, 119.97f},
                 {"10", 10.0, 24.0f}, // 24 s: the longest bar, and its tempo
                 {"9600", 0.1, 2400.0f}};
    for (const auto& c : cases) {
        TapTempo tempo;
        tempo.enter(QLatin1String(c.typed));
        const TapTempo::Bar bar = tempo.handOver({2.5, 96.0f}, 0.1, 10.0);
        EXPECT_NEAR(bar.seconds, c.seconds, 1e-12) << c.typed;
        EXPECT_FLOAT_EQ(bar.bpm, c.bpm) << c.typed;
    }
}

} // namespace
} // namespace mt
