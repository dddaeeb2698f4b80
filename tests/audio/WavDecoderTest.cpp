// Decoding whole WAV images: every encoding the library takes, the malformed ones, and the
// outline drawn of what was decoded.
#include "AudioTestKit.h"

#include "audio/WavDecoder.h"
#include "audio/WaveOverview.h"
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

// Every encoding the library takes decodes to the samples written, the first two channels
// of more; read from the file a chunk at a time, it decodes sample for sample as its image
// does and as libsndfile reads it at once: longer than one chunk, cut mid-stream, and FLAC.
TEST(WavDecode, EveryEncodingDecodesToTheSamplesWrittenFromTheFileAsFromTheImage) {
    const struct {
        int format, channels, frames;
        bool cut;
        float tolerance;
    } kinds[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 150000, false, 1.0f / 100},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 150000, true, 1.0f / 16000},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 70000, true, 1e-6f},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 7000, false, 1e-6f},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 7000, false, 1e-7f},
        {SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 2, 70000, false, 1e-7f},
        {SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 7000, false, 1.0f / 16000},
        {SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, 70000, false, 0.03f},
        {SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 70000, true, 0.03f},
        {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 150000, true, 0.05f},
        {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 70000, false, 0.05f},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 70000, true, 1.0f / 16000},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 150000, false, 1.0f / 16000},
    };
    QTemporaryDir dir;
    for (const auto& k : kinds) {
        const std::vector<float> written = Ramp(k.frames, k.channels);
        QByteArray image = EncodedWav(k.format, 44100, k.channels, written);
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
        const int kept = std::min(k.channels, 2);
        ASSERT_EQ(fromFile->channels(), kept);
        EXPECT_EQ(fromFile->sampleRate(), 44100);
        // Past ADPCM's first block, short of the block a cut leaves half, and of the frames
        // ADPCM rounds up to its block.
        const std::int64_t end = std::min<std::int64_t>(fromFile->frames(), k.frames) - 2048;
        float worst = 0;
        for (std::int64_t i = 100; i < end; ++i) {
            for (int c = 0; c < kept; ++c) {
                const auto at = static_cast<std::size_t>(i * k.channels + c);
                worst = std::max(worst, std::fabs(fromFile->data()[i * kept + c] - written[at]));
            }
        }
        EXPECT_LT(worst, k.tolerance) << std::hex << k.format;
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

// The outline drawn of a sound: made once where it is decoded, lowest and highest of the
// channel mix per column.
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
    QString reason;
    const auto buffer = Decode(SineWav(44100, 2, 2205.0, 66150, 0.5), reason);
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
