// The outline drawn of a sound: made once where it is decoded, lowest and highest of the
// channel mix per column.
#include "AudioTestKit.h"

#include "audio/WavDecoder.h"
#include "audio/WaveOverview.h"

#include <gtest/gtest.h>

namespace mt::test {
namespace {

TEST(WaveOverview, EachColumnHoldsTheLowestAndHighestOfTheChannelMix) {
    // 4 frames a column; the channels cancel on two frames, so only the mix reaches +-c/1024.
    const int columns = WaveOverview::kColumns;
    std::vector<float> stereo;
    for (int c = 0; c < columns; ++c) {
        const float v = static_cast<float>(c) / columns;
        stereo.insert(stereo.end(), {v, v, -v, -v, 0.9f, -0.9f, 0.0f, 0.0f});
    }
    const auto overview = MakeWaveOverview(stereo.data(), std::int64_t{4} * columns, 2);
    ASSERT_EQ(overview->columns(), columns);
    EXPECT_EQ(overview->frames, std::int64_t{4} * columns);
    for (int c = 0; c < columns; c += 97) {
        EXPECT_FLOAT_EQ(overview->high[c], static_cast<float>(c) / columns) << c;
        EXPECT_FLOAT_EQ(overview->low[c], -static_cast<float>(c) / columns) << c;
    }
    const WaveOverview::Span all = overview->span(0, columns);
    EXPECT_FLOAT_EQ(all.high, static_cast<float>(columns - 1) / columns);
    EXPECT_FLOAT_EQ(all.low, -static_cast<float>(columns - 1) / columns);

    // Shorter than the columns: one frame each, nothing invented between them.
    const std::vector<float> mono{0.1f, -0.2f, 0.3f};
    const auto tiny = MakeWaveOverview(mono.data(), 3, 1);
    EXPECT_EQ(tiny->low, mono);
    EXPECT_EQ(tiny->high, mono);
}

TEST(WaveOverview, ADecodedSoundCarriesItsOutline) {
    // A -6 dBFS sine of 1.5 s, 20 frames a cycle: every column spans three cycles and their crests.
    const QByteArray wav = SineWav(44100, 2, 2205.0, 66150, 0.5);
    QString reason;
    const auto buffer =
        DecodeWavImage(wav.constData(), static_cast<std::size_t>(wav.size()), reason);
    ASSERT_TRUE(buffer) << reason.toStdString();
    const auto& overview = buffer->overview();
    ASSERT_TRUE(overview);
    EXPECT_EQ(overview->frames, 66150);
    for (int c : {0, 511, 1023}) {
        EXPECT_NEAR(overview->high[c], 0.5f, 0.01f) << c;
        EXPECT_NEAR(overview->low[c], -0.5f, 0.01f) << c;
    }
}

} // namespace
} // namespace mt::test
