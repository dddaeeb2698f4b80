// Decoding whole WAV images: every encoding the library takes, and the malformed ones.
#include "AudioTestKit.h"

#include "audio/WavDecoder.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
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

// The whole file read by libsndfile in one call, as the decoder always did.
std::vector<float> ReadAtOnce(const QString& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    std::vector<float> x(static_cast<std::size_t>(info.frames * info.channels));
    x.resize(static_cast<std::size_t>(sf_readf_float(f, x.data(), info.frames) * info.channels));
    sf_close(f);
    return x;
}

// Read from the file a chunk at a time, every kind decodes sample for sample as its image
// does: longer than one chunk, cut mid-stream, more than two channels, and a coded format.
TEST(WavDecode, TheFileReadInChunksDecodesExactlyAsTheImage) {
    const struct {
        int format, channels, frames;
        bool cut;
    } kinds[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 150000, false},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 150000, true},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 70000, true},
        {SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 2, 70000, false},
        {SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, 70000, false},
        {SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 70000, true},
        {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 150000, true},
        {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 70000, false},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 70000, true},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 150000, false},
    };
    QTemporaryDir dir;
    for (const auto& k : kinds) {
        QByteArray image = EncodedWav(k.format, 44100, k.channels, Ramp(k.frames, k.channels));
        if (k.cut) {
            image.chop(image.size() / 3 + 1);
        }
        const QString path = dir.filePath(QStringLiteral("k.snd"));
        ASSERT_TRUE(WriteFile(path, image));
        QString imageReason, fileReason;
        const auto fromImage = Decode(image, imageReason);
        int reports = 0;
        const auto fromFile = DecodeSoundFile(path, fileReason, [&reports](double) {
            ++reports;
            return true;
        });
        ASSERT_TRUE(fromImage && fromFile) << std::hex << k.format;
        ASSERT_EQ(fromFile->frames(), fromImage->frames()) << std::hex << k.format;
        const auto samples = static_cast<std::size_t>(fromFile->frames() * fromFile->channels());
        EXPECT_EQ(std::memcmp(fromFile->data(), fromImage->data(), samples * sizeof(float)), 0)
            << std::hex << k.format;
        EXPECT_GE(reports, fromFile->frames() > 65536 ? 2 : 1);
        if (k.channels <= 2) {
            const std::vector<float> atOnce = ReadAtOnce(path);
            ASSERT_EQ(atOnce.size(), samples) << std::hex << k.format;
            EXPECT_EQ(std::memcmp(fromFile->data(), atOnce.data(), samples * sizeof(float)), 0)
                << std::hex << k.format;
        }
    }
    QString reason;
    EXPECT_FALSE(DecodeSoundFile(dir.filePath("gone.wav"), reason));
    EXPECT_TRUE(reason.isEmpty()) << "a missing file is no decoder's failure";
    int stops = 0;
    EXPECT_FALSE(DecodeSoundFile(dir.filePath("k.snd"), reason, [&stops](double) {
        ++stops;
        return false;
    })) << "abandoned, yet finished";
    EXPECT_EQ(stops, 1);
}

} // namespace
} // namespace mt::test
