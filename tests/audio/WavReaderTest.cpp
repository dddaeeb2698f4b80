// WAV files: the header walk that gives a file's format and length, decoding whole images in
// every encoding the library takes, the malformed ones, and the outline drawn of what was
// decoded.
#include "AudioTestKit.h"

#include "audio/WavDecoder.h"
#include "audio/WavReader.h"
#include "audio/WaveOverview.h"
#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace mt::test {
namespace {

class WavReaderTest : public ::testing::Test {
protected:
    // Writes the bytes and reads them back; a failed read must leave `info` untouched.
    bool read(const QByteArray& bytes, WavInfo& info) {
        const QString path = m_dir.filePath("t.wav");
        EXPECT_TRUE(WriteFile(path, bytes));
        return ReadWavInfo(path, info);
    }

    bool fails(const QByteArray& bytes) {
        WavInfo info;
        info.frameCount = 12345;
        const bool ok = read(bytes, info);
        EXPECT_EQ(info.frameCount, 12345) << "a failed read filled the record";
        return !ok;
    }

    QTemporaryDir m_dir;
};

// Format tag, channels, rate, bits and frames of files whose walk steps over other chunks or
// stops at the first that gives the length.
TEST_F(WavReaderTest, TheWalkReadsTheFormatAndStopsAtTheFirstLengthChunk) {
    const auto riff = [](const QByteArray& chunks) { return Chunk("RIFF", "WAVE" + chunks); };
    const QByteArray list = Chunk("LIST", QByteArray("INFOISFT") + Le32(5) + "abcde");
    const struct {
        QByteArray bytes;
        std::array<std::int64_t, 5> read;
    } cases[] = {
        {PcmWav(2, 44100, 16, 176400), {1, 2, 44100, 16, 44100}},
        // 4-bit mono without a fact chunk: two frames a byte.
        {riff(Chunk("fmt ", FmtBody(17, 1, 22050, 4, 4)) + Chunk("data", QByteArray(1001, 'x'))),
         {17, 1, 22050, 4, 2002}},
        // LIST between fmt and data; a fact after data is never seen. 18-byte fmt with cbSize.
        {riff(Chunk("fmt ", FmtBody(1, 2, 48000, 24, 2)) + list +
              Chunk("data", QByteArray(600, '\0')) + Chunk("fact", Le32(777))),
         {1, 2, 48000, 24, 100}},
        // A fact before data gives its sample count; the data size is never looked at.
        {riff(Chunk("fmt ", FmtBody(2, 1, 22050, 4, 32)) + Chunk("fact", Le32(9999)) +
              Chunk("data", QByteArray(10, '\0'))),
         {2, 1, 22050, 4, 9999}},
        // No RIFF, a leading odd-sized chunk with its pad byte, a later fmt overriding the first.
        {Chunk("junk", QByteArray(3, 'j')) + Chunk("fmt ", FmtBody(1, 1, 8000, 8)) +
             Chunk("fmt ", FmtBody(1, 2, 44100, 16)) + Chunk("data", QByteArray(8, '\0')),
         {1, 2, 44100, 16, 2}},
        // Frame counts round halves to even: 24-bit stereo, 9 bytes = 1.5 frames -> 2, 15 -> 2.
        {riff(Chunk("fmt ", FmtBody(1, 2, 44100, 24)) + Chunk("data", QByteArray(9, '\0'))),
         {1, 2, 44100, 24, 2}},
        {riff(Chunk("fmt ", FmtBody(1, 2, 44100, 24)) + Chunk("data", QByteArray(15, '\0'))),
         {1, 2, 44100, 24, 2}},
    };
    for (const auto& c : cases) {
        WavInfo info;
        ASSERT_TRUE(read(c.bytes, info)) << c.bytes.toHex().toStdString();
        EXPECT_EQ((std::array<std::int64_t, 5>{info.formatTag, info.channels, info.samplesPerSec,
                                               info.bitsPerSample, info.frameCount}),
                  c.read)
            << c.bytes.left(80).toHex().toStdString();
    }
}

TEST_F(WavReaderTest, BrokenFilesAreFailuresNeverPartialRecords) {
    const QByteArray good = PcmWav(2, 44100, 16, 400);
    EXPECT_TRUE(fails(QByteArray()));
    EXPECT_TRUE(fails("RIFF"));
    WavInfo info;
    EXPECT_FALSE(ReadWavInfo(m_dir.filePath("nothing-here.wav"), info));
    EXPECT_FALSE(ReadWavInfo(m_dir.path(), info)); // a folder
    // Cut anywhere in the headers, or before the first whole frame of the samples.
    for (int cut = 1; cut < 48; ++cut) {
        EXPECT_TRUE(fails(good.left(cut))) << "cut at " << cut;
    }
    auto withFmt = [](const QByteArray& fmt, const QByteArray& rest) {
        return Chunk("RIFF", QByteArray("WAVE") + fmt + rest);
    };
    const QByteArray fmt = Chunk("fmt ", FmtBody(1, 2, 44100, 16));
    const QByteArray data = Chunk("data", QByteArray(8, '\0'));
    // No fmt before data; fmt short, of no channels, bits or rate, or sized past the end.
    for (const QByteArray& bad :
         {QByteArray(), Chunk("fmt ", FmtBody(1, 2, 44100, 16).left(14)),
          Chunk("fmt ", FmtBody(1, 0, 44100, 16)), Chunk("fmt ", FmtBody(1, 2, 44100, 0)),
          Chunk("fmt ", FmtBody(1, 2, 0, 16)), Chunk("fmt ", FmtBody(1, -1, 44100, 16)),
          Chunk("fmt ", 0x7FFFFFF0, FmtBody(1, 2, 44100, 16))}) {
        EXPECT_TRUE(fails(withFmt(bad, data))) << bad.toHex().toStdString();
    }
    // A fact chunk gives the length, but no format to play it at (a rate of 0 would give an
    // infinite length, and a setting file that cannot be read back).
    for (const QByteArray& bad : {QByteArray(), Chunk("fmt ", FmtBody(2, 1, 0, 4, 32)),
                                  Chunk("fmt ", FmtBody(2, 0, 22050, 4, 32))}) {
        EXPECT_TRUE(fails(withFmt(bad, Chunk("fact", Le32(4410)) + data)));
    }
    // Lying sizes on a skipped chunk (negative, 0xFFFFFFFF, past the end), a cut fact, no end.
    for (const QByteArray& rest :
         {Chunk("LIST", -8, QByteArray(8, 'l')) + data,
          Chunk("LIST", 0xFFFFFFFF, QByteArray(8, 'l')) + data,
          Chunk("LIST", 1000, QByteArray(8, 'l')) + data, Chunk("fact", 2, QByteArray(2, '\0')),
          Chunk("LIST", QByteArray(8, 'l'))}) {
        EXPECT_TRUE(fails(withFmt(fmt, rest))) << rest.toHex().toStdString();
    }
}

// Data declared past the end: reader and decoder both count the whole frames present.
TEST_F(WavReaderTest, DataRunningPastTheEndCountsTheWholeFramesPresent) {
    auto wav = [](int channels, int bits, std::int64_t declared, int present) {
        QByteArray samples(present, '\0');
        for (int i = 0; i < present; ++i) {
            samples[i] = static_cast<char>(i * 37);
        }
        const QByteArray body = QByteArray("WAVE") +
                                Chunk("fmt ", FmtBody(1, channels, 44100, bits)) +
                                QByteArray("data") + Le32(declared) + samples;
        return QByteArray("RIFF") + Le32(body.size()) + body; // no pad byte after the cut
    };
    struct Case {
        int channels, bits;
        std::int64_t declared;
        int present, frames;
    };
    for (const Case& c : {Case{2, 16, 1000, 402, 100}, Case{2, 16, 0xFFFFFFFF, 400, 100},
                          Case{2, 16, 0x80000000, 401, 100}, Case{1, 8, 0xFFFFFFFF, 1, 1},
                          Case{2, 24, 606, 600, 100}, Case{1, 16, 2000, 1998, 999}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " ch " << c.bits << " bit, declared "
                                        << c.declared << ", present " << c.present);
        const QByteArray bytes = wav(c.channels, c.bits, c.declared, c.present);
        WavInfo info;
        ASSERT_TRUE(read(bytes, info));
        EXPECT_EQ(info.frameCount, c.frames);
        QString reason;
        const auto decoded = DecodeWavImage(bytes.constData(), bytes.size(), reason);
        ASSERT_NE(decoded, nullptr) << reason.toStdString();
        EXPECT_EQ(decoded->frames(), c.frames);
    }
    // Not one whole frame behind the header.
    EXPECT_TRUE(fails(wav(2, 16, 1000, 3)));
    EXPECT_TRUE(fails(wav(2, 16, 0xFFFFFFFF, 0)));
    EXPECT_TRUE(fails(wav(1, 24, 9, 2)));
}

// Only the headers are read: a 2 GB file (sparse on disk) answers as fast as a small one.
TEST_F(WavReaderTest, TwoGigabyteFileReadsOnlyItsHeaders) {
    const QString path = m_dir.filePath("big.wav");
    const qint64 dataBytes = 2'000'000'000;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray header = QByteArray("RIFF") + Le32(dataBytes + 36) + "WAVE" +
                              Chunk("fmt ", FmtBody(1, 2, 44100, 16)) + "data" + Le32(dataBytes);
    ASSERT_EQ(file.write(header), header.size());
    ASSERT_TRUE(file.resize(header.size() + dataBytes));
    file.close();

    WavInfo info;
    ASSERT_TRUE(ReadWavInfo(path, info));
    EXPECT_EQ(info.frameCount, 500'000'000);

    // The same file as a streaming writer leaves it: the size is the file's own.
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(header.size() - 4));
    ASSERT_EQ(file.write(Le32(0xFFFFFFFF)), 4);
    file.close();
    ASSERT_TRUE(ReadWavInfo(path, info));
    EXPECT_EQ(info.frameCount, 500'000'000);
}

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
