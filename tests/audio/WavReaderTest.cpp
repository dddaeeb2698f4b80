#include "audio/WavReader.h"
#include "audio/WavDecoder.h"
#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace mt {
namespace {

using test::Chunk;
using test::FmtBody;
using test::Le32;

class WavReaderTest : public ::testing::Test {
protected:
    // Writes the bytes and reads them back; a failed read must leave `info` untouched.
    bool read(const QByteArray& bytes, WavInfo& info) {
        const QString path = m_dir.filePath("t.wav");
        EXPECT_TRUE(test::WriteFile(path, bytes));
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
        {test::PcmWav(2, 44100, 16, 176400), {1, 2, 44100, 16, 44100}},
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
    const QByteArray good = test::PcmWav(2, 44100, 16, 400);
    EXPECT_TRUE(fails(QByteArray()));
    EXPECT_TRUE(fails("RIFF"));
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
    // Lying sizes on a skipped chunk (negative, 0xFFFFFFFF, past the end), a cut fact, no end.
    for (const QByteArray& rest :
         {Chunk("LIST", -8, QByteArray(8, 'l')) + data,
          Chunk("LIST", 0xFFFFFFFF, QByteArray(8, 'l')) + data,
          Chunk("LIST", 1000, QByteArray(8, 'l')) + data, Chunk("fact", 2, QByteArray(2, '\0')),
          Chunk("LIST", QByteArray(8, 'l'))}) {
        EXPECT_TRUE(fails(withFmt(fmt, rest))) << rest.toHex().toStdString();
    }
}

// A rate of 0 would give an infinite length, and a setting file that cannot be read back.
TEST_F(WavReaderTest, FactChunkNeedsAFormatToPlayAt) {
    auto withFact = [](const QByteArray& before) {
        return Chunk("RIFF", QByteArray("WAVE") + before + Chunk("fact", Le32(4410)) +
                                 Chunk("data", QByteArray(64, '\0')));
    };
    EXPECT_TRUE(fails(withFact(Chunk("fmt ", FmtBody(2, 1, 0, 4, 32)))));
    EXPECT_TRUE(fails(withFact(Chunk("fmt ", FmtBody(2, 0, 22050, 4, 32)))));
    EXPECT_TRUE(fails(withFact(QByteArray()))) << "no fmt at all";
    WavInfo info;
    ASSERT_TRUE(read(withFact(Chunk("fmt ", FmtBody(2, 1, 22050, 4, 32))), info));
    EXPECT_EQ(info.frameCount, 4410);
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

TEST_F(WavReaderTest, MissingFileAndRandomBytes) {
    WavInfo info;
    EXPECT_FALSE(ReadWavInfo(m_dir.filePath("nothing-here.wav"), info));
    EXPECT_FALSE(ReadWavInfo(m_dir.path(), info)); // a folder

    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(static_cast<int>(random() % 300), '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random());
        }
        if (round % 2 == 0) {
            bytes.prepend(QByteArray("RIFF") + Le32(1000) + "WAVE");
        }
        read(bytes, info); // must return, whatever it answers
    }
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

} // namespace
} // namespace mt
