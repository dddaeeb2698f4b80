// A track's sound rendered at another tempo or pitch: the lengths, shapes and refusals callers
// rely on, at the speed bar's ends, and the pitch landing where asked.
#include "AllocationGuard.h"
#include "AudioTestKit.h"

#include "audio/StretchRender.h"
#include "audio/WaveOverview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace mt::test {
namespace {

constexpr int kRate = 44100;

// `frames` of a 440 Hz sine at half scale, the second channel a quarter turn on.
SampleBuffer Sine(std::int64_t frames, int channels, double hz = 440) {
    SampleBuffer b(frames, channels, kRate);
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            b.data()[i * channels + c] = static_cast<float>(
                0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate +
                               c * std::numbers::pi / 2));
        }
    }
    return b;
}

std::unique_ptr<SampleBuffer> Render(const SampleBuffer& source, double timeRatio,
                                     double pitchScale, QString& reason) {
    double last = 0;
    return RenderStretched(
        source, timeRatio, pitchScale,
        [&last](double fraction) {
            EXPECT_GE(fraction, last);
            EXPECT_LE(fraction, 1.0);
            last = fraction;
            return true;
        },
        reason);
}

TEST(StretchRender, LengthsShapesAndRefusals) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        std::int64_t frames;
        int channels;
        double timeRatio;
        double pitchScale;
        bool made;
    } cases[] = {
        {0, 2, 1.0, 1.0, true},      {0, 1, 882, 1.0, true},      {1, 1, 1.0, 1.0, true},
        {1, 2, 882, 1.0, true},      {1, 1, 0.49, 1.0, true},     {100, 1, 882, 2.0, true},
        {4410, 2, 0.49, 0.5, true},  {441, 1, 882, 1.0, true},    {4410, 2, 1.0, 1.0, true},
        {4410, 2, 0.0, 1.0, false},  {4410, 2, -1.0, 1.0, false}, {4410, 2, kNan, 1.0, false},
        {4410, 2, kInf, 1.0, false}, {4410, 2, 1.0, 0.0, false},  {4410, 2, 1.0, kNan, false},
        {4410, 2, 1.0, kInf, false}, {0, 1, kNan, 1.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames × " << c.channels << ", ratio "
                                        << c.timeRatio << ", pitch " << c.pitchScale);
        const SampleBuffer source = Sine(c.frames, c.channels);
        QString reason;
        const auto out = Render(source, c.timeRatio, c.pitchScale, reason);
        if (!c.made) {
            EXPECT_FALSE(out);
            EXPECT_FALSE(reason.isEmpty());
            continue;
        }
        ASSERT_TRUE(out) << reason.toStdString();
        EXPECT_TRUE(reason.isEmpty());
        EXPECT_EQ(out->frames(), std::llround(static_cast<double>(c.frames) * c.timeRatio));
        EXPECT_EQ(out->channels(), c.channels);
        EXPECT_EQ(out->sampleRate(), kRate);
        ASSERT_TRUE(out->overview());
        EXPECT_EQ(out->overview()->frames, out->frames());
        // Sound to the end (a source of 10 ms or more), not cut short into silence; nothing
        // that is not finite or far past full scale.
        int wild = 0;
        float tail = 0;
        const std::int64_t samples = out->frames() * c.channels;
        for (std::int64_t i = 0; i < samples; ++i) {
            wild += static_cast<int>(!(std::fabs(out->data()[i]) < 2.0f));
            tail = i >= samples * 9 / 10 ? std::max(tail, std::fabs(out->data()[i])) : tail;
        }
        EXPECT_EQ(wild, 0);
        EXPECT_TRUE(c.frames < 441 || tail > 0.05f) << "last tenth's peak " << tail;
    }
}

// A second of stereo at the slowest speed would be 311 MB: refused for its length, before any
// room is made for it.
TEST(StretchRender, TooLongRefusedBeforeAllocating) {
    if (!kGuarding) {
        GTEST_SKIP() << "malloc belongs to the sanitizer in this build";
    }
    const SampleBuffer source = Sine(kRate, 2);
    ASSERT_GT(std::llround(kRate * 882.0) * 2, kMaxRenderedSamples);
    QString reason;
    g_largestAllocation = 0;
    t_guarded = true;
    const auto out = Render(source, 882, 1.0, reason);
    t_guarded = false;
    EXPECT_FALSE(out);
    EXPECT_TRUE(reason.contains(QStringLiteral("長く"))) << reason.toStdString();
    EXPECT_LT(g_largestAllocation.load(), std::size_t{1} << 20);
}

TEST(StretchRender, CancelledThroughProgressGivesNullWithoutReason) {
    const SampleBuffer source = Sine(kRate / 2, 2);
    for (const double stopAt : {0.0, 0.5}) {
        int calls = 0;
        QString reason = QStringLiteral("stale");
        const auto out = RenderStretched(
            source, 1.25, 1.0,
            [&](double fraction) {
                ++calls;
                return fraction < stopAt;
            },
            reason);
        EXPECT_FALSE(out) << stopAt;
        EXPECT_TRUE(reason.isEmpty()) << stopAt;
        EXPECT_GE(calls, 1);
    }
}

// Time and pitch are not swapped: 440 Hz, 1.25 times as long and a fifth up, is 660 Hz
// (swapped: 550 Hz); ten times as long, made in two passes, it is a fifth up once, not twice.
// Measured over the settled middle.
TEST(StretchRender, PitchAndLengthLandWhereAsked) {
    for (const auto& [seconds, timeRatio] : {std::pair{0.4, 1.25}, {0.1, 10.0}}) {
        const SampleBuffer source = Sine(std::llround(kRate * seconds), 1);
        QString reason;
        const auto out = Render(source, timeRatio, 1.5, reason);
        ASSERT_TRUE(out);
        const std::vector<float> x(out->data() + out->frames() / 4,
                                   out->data() + out->frames() * 3 / 4);
        EXPECT_NEAR(MeasureHz(x, kRate), 660.0, 6.6) << timeRatio;
    }
}

} // namespace
} // namespace mt::test
