#include "audio/WavInfoText.h"
#include "audio/WavReader.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt {
namespace {

// The short style rounds the rate down to whole kHz, except 32 kHz, which it knows as 0; more
// than two channels read as stereo. The file is read afresh each time.
TEST(WavInfoText, ShortAndLongStylesFromTheFile) {
    const auto text = [](int rate, int bits, int channels, int style) {
        WavInfo info;
        info.samplesPerSec = rate;
        info.bitsPerSample = static_cast<std::int16_t>(bits);
        info.channels = static_cast<std::int16_t>(channels);
        return FormatWavInfo(info, style);
    };
    EXPECT_EQ(text(44100, 16, 2, 0), QStringLiteral("44kHz,16bit,S"));
    EXPECT_EQ(text(44100, 16, 2, 1), QStringLiteral("44.1kHz,16ビット,ステレオ"));
    EXPECT_EQ(text(11025, 8, 1, 1), QStringLiteral("11.025kHz,8ビット,モノラル"));
    EXPECT_EQ(text(32000, 16, 2, 0), QStringLiteral("0kHz,16bit,S"));
    EXPECT_EQ(text(48000, 24, 3, 1), QStringLiteral("48kHz,24ビット,ステレオ"));
    EXPECT_EQ(text(44100, 16, 2, 2), QString());

    QTemporaryDir dir;
    const QString path = dir.filePath("x.wav");
    ASSERT_TRUE(test::WriteFile(path, test::PcmWav(1, 22050, 8, 10)));
    EXPECT_EQ(FormatWavInfo(path, 0), QStringLiteral("22kHz,8bit,M"));
    ASSERT_TRUE(test::WriteFile(path, "not a wav"));
    EXPECT_EQ(FormatWavInfo(path, 0), QString());
    EXPECT_EQ(FormatWavInfo(dir.filePath("missing.wav"), 1), QString());
}

} // namespace
} // namespace mt
