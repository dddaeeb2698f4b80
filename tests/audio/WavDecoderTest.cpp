// Decoding whole WAV images: every encoding the library takes, and the malformed ones.
#include "AudioTestKit.h"

#include "audio/WavDecoder.h"
#include "support/WavBytes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <random>

namespace mt::test {
namespace {

std::vector<float> Ramp(int frames, int channels) {
    std::vector<float> x(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            x[static_cast<std::size_t>(i) * channels + c] =
                static_cast<float>(0.6 * std::sin(2 * std::numbers::pi * (i + 7 * c) / 200.0));
        }
    }
    return x;
}

std::unique_ptr<SampleBuffer> Decode(const QByteArray& image, QString& reason) {
    return DecodeWavImage(image.constData(), static_cast<std::size_t>(image.size()), reason);
}

struct Encoding {
    int format;
    double tolerance;
    const char* name;
};

TEST(WavDecode, EveryEncodingDecodesToTheSamplesWritten) {
    const Encoding encodings[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1.0 / 100, "u8"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0 / 16000, "16"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1e-6, "24"},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1e-6, "32"},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1e-7, "float"},
        {SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 1.0 / 16000, "extensible"},
        {SF_FORMAT_WAV | SF_FORMAT_ULAW, 0.03, "u-law"},
        {SF_FORMAT_WAV | SF_FORMAT_ALAW, 0.03, "a-law"},
        {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 0.05, "IMA ADPCM"},
        {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 0.05, "MS ADPCM"},
    };
    const auto written = Ramp(4000, 2);
    for (const Encoding& e : encodings) {
        const QByteArray image = EncodedWav(e.format, 22050, 2, written);
        ASSERT_FALSE(image.isEmpty()) << e.name;
        QString reason;
        const auto b = Decode(image, reason);
        ASSERT_TRUE(b) << e.name << " " << reason.toStdString();
        EXPECT_EQ(b->channels(), 2) << e.name;
        EXPECT_EQ(b->sampleRate(), 22050) << e.name;
        // ADPCM rounds the frame count up to its block.
        ASSERT_GE(b->frames(), 4000) << e.name;
        double worst = 0;
        for (std::size_t i = 200; i < written.size(); ++i) {
            worst = std::max(worst, std::fabs(static_cast<double>(b->data()[i]) - written[i]));
        }
        EXPECT_LT(worst, e.tolerance) << e.name;
    }
}

TEST(WavDecode, MoreThanTwoChannelsKeepTheFirstTwo) {
    const auto written = Ramp(10000, 4);
    QString reason;
    const auto b = Decode(EncodedWav(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 4, written), reason);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->channels(), 2);
    ASSERT_EQ(b->frames(), 10000);
    for (std::ptrdiff_t i = 0; i < 10000; i += 997) {
        EXPECT_EQ(b->data()[2 * i], written[static_cast<std::size_t>(4 * i)]);
        EXPECT_EQ(b->data()[2 * i + 1], written[static_cast<std::size_t>(4 * i + 1)]);
    }
}

TEST(WavDecode, TruncatedImagePlaysWhatIsThere) {
    const QByteArray whole = SineWav(44100, 2, 441, 10000);
    // Cut mid-frame, three quarters of the way into the data.
    const QByteArray cut = whole.left(44 + 30000 + 3);
    QString reason;
    const auto b = Decode(cut, reason);
    ASSERT_TRUE(b) << reason.toStdString();
    EXPECT_EQ(b->frames(), 7500);
    EXPECT_NEAR(b->data()[std::ptrdiff_t{2} * 7499],
                0.5 * std::sin(2 * std::numbers::pi * 441 * 7499 / 44100), 1e-4);
}

TEST(WavDecode, MalformedImagesFailWithAReason) {
    std::mt19937 random(20261206);
    QByteArray noise(5000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    const QByteArray header = QByteArray("WAVE") + Chunk("fmt ", FmtBody(1, 2, 44100, 16));
    const QByteArray cases[] = {
        noise,
        QByteArray("RIFF") + noise,
        Chunk("RIFF", header + Chunk("data", QByteArray())), // no samples
        Chunk("RIFF", header),                               // no data chunk
        SineWav(44100, 2, 441, 100).left(30),                // cut inside the header
        Chunk("RIFF", QByteArray("WAVE") + Chunk("fmt ", FmtBody(1, 0, 44100, 16)) +
                          Chunk("data", QByteArray(400, '\1'))), // no channels
        QByteArray(),
    };
    int n = 0;
    for (const QByteArray& image : cases) {
        QString reason;
        EXPECT_FALSE(Decode(image, reason)) << "case " << n;
        EXPECT_FALSE(reason.isEmpty()) << "case " << n;
        ++n;
    }
    QString reason;
    EXPECT_FALSE(DecodeWavImage(nullptr, 100, reason));
}

} // namespace
} // namespace mt::test
