#include "files/SettingFile.h"
#include "support/SmallTmpfs.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iconv.h>

#include <cmath>
#include <limits>

namespace mt {
namespace {

QByteArray Lines(std::initializer_list<const char*> lines) {
    QByteArray out;
    for (const char* l : lines) {
        out += QByteArray(l) + "\r\n";
    }
    return out;
}

QByteArray Block(const char* speed = " 4410 ", const char* volume = " 0 ", const char* pan = " 0 ",
                 const char* ratio = "") {
    return Lines({speed, volume, pan, "a.wav", "/x/a.wav", " 88200 ", " 1 ", " 0 ", ratio});
}

TEST(SettingFile, NewBankIsWrittenByteForByte) {
    const QByteArray one(" 4410 \r\n 0 \r\n 0 \r\n\r\n\r\n 0 \r\n 1 \r\n 1 \r\n\r\n");
    EXPECT_EQ(EncodeSettingFile({}), one.repeated(8));
}

TEST(SettingFile, VariedBankRoundTrips) {
    std::array<TrackSetting, 8> bank;
    bank[0] = {9000, -70, -40, "キック, 1.wav", "/home/演奏/キック, 1.wav", 88200.0f, 0, 1, "基準"};
    bank[3] = {5, -12, 40, "b.wav", "/b.wav", 919.66875f, 1, 0, "/32"};
    bank[7] = {4411, 0, 7, "c.wav", "/c c/c.wav", 12345678.0f, 1, 1, "*16"};
    const QByteArray bytes = EncodeSettingFile(bank);
    EXPECT_TRUE(bytes.contains("\r\n-12 \r\n"));
    EXPECT_TRUE(bytes.contains(" 919.6688 \r\n"));
    EXPECT_TRUE(bytes.contains(" 1.234568E+07 \r\n"));
    const DecodedSettingFile back = DecodeSettingFile(bytes);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.tracks.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        const TrackSetting& a = bank[i];
        const TrackSetting& b = back.tracks[i];
        EXPECT_EQ(std::tie(a.speed, a.volume, a.pan, a.fileName, a.path, a.loop, a.hold, a.ratio),
                  std::tie(b.speed, b.volume, b.pan, b.fileName, b.path, b.loop, b.hold, b.ratio))
            << "track " << i;
    }
}

TEST(SettingFile, ValuesOutsideTheControlsEndTheRead) {
    EXPECT_EQ(DecodeSettingFile(Block(" 0 ")).tracks.at(0).speed, 4410);
    EXPECT_EQ(DecodeSettingFile(Block(" 4410 ", " 0 ", " 55 ")).tracks.at(0).pan, 40);
    EXPECT_EQ(DecodeSettingFile(Block(" 4410 ", " 0 ", "-55 ")).tracks.at(0).pan, -40);
    for (const QByteArray& bad :
         {Block(" 3 "), Block(" 9001 "), Block(" 4410 ", "-80 "), Block(" 4410 ", "  "),
          Block(" 4410 ", " 0 ", " 40000 "), Block("abc"), Block(" 4410 ", " 0 ", " 0 ", "*3"),
          Block().left(30)}) {
        const DecodedSettingFile d = DecodeSettingFile(Block() + bad);
        EXPECT_FALSE(d.ok) << bad.toStdString();
        EXPECT_EQ(d.tracks.size(), 1u) << "the whole block before the fault is kept";
    }
}

TEST(SettingFile, ShortFilesEndQuietlyAtABlockBoundary) {
    const DecodedSettingFile three = DecodeSettingFile(Block().repeated(3));
    EXPECT_TRUE(three.ok);
    EXPECT_EQ(three.tracks.size(), 3u);
    // A last line without its CR LF is still a line; LF-only files read the same.
    QByteArray noFinal = Block(" 4410 ", " 0 ", " 0 ", "*1");
    noFinal.chop(2);
    EXPECT_TRUE(DecodeSettingFile(noFinal).ok);
    EXPECT_EQ(DecodeSettingFile(Block().replace("\r\n", "\n")).tracks.size(), 1u);
}

TEST(SettingFile, AFileWithNothingInItIsNoBank) {
    // What a write that failed half-way leaves behind is never read as a saved empty bank.
    for (const QByteArray& nothing : {QByteArray(), QByteArray("\r\n"), QByteArray("  \r\n\r\n")}) {
        const DecodedSettingFile d = DecodeSettingFile(nothing);
        EXPECT_FALSE(d.ok) << nothing.size() << " bytes";
        EXPECT_TRUE(d.tracks.empty());
    }
}

TEST(SettingFile, EveryNumberIsFiniteAndInRangeBothWays) {
    // The length is discarded on load, but one beyond a float's range came back as infinity
    // and was saved as "INF", which no reader takes.
    for (const char* length : {" 1E39 ", "-1E39 ", " INF ", " nan ", " 1e400 ", "-1 "}) {
        QByteArray block =
            Lines({" 4410 ", " 0 ", " 0 ", "a.wav", "/a.wav", length, " 1 ", " 1 ", ""});
        const DecodedSettingFile d = DecodeSettingFile(Block() + block);
        EXPECT_FALSE(d.ok) << length;
        EXPECT_EQ(d.tracks.size(), 1u) << length;
    }
    const DecodedSettingFile largest = DecodeSettingFile(
        Lines({" 4410 ", " 0 ", " 0 ", "a.wav", "/a.wav", " 3.402823E+38 ", " 1 ", " 1 ", ""}));
    ASSERT_TRUE(largest.ok);
    EXPECT_TRUE(std::isfinite(largest.tracks.at(0).length44k));

    std::array<TrackSetting, 8> bank;
    bank[0].length44k = std::numeric_limits<float>::infinity();
    bank[1].length44k = -std::numeric_limits<float>::infinity();
    bank[2].length44k = std::numeric_limits<float>::quiet_NaN();
    const QByteArray bytes = EncodeSettingFile(bank);
    EXPECT_FALSE(bytes.toUpper().contains("INF"));
    EXPECT_FALSE(bytes.toUpper().contains("NAN"));
    const DecodedSettingFile back = DecodeSettingFile(bytes);
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.tracks.size(), 8u);
}

TEST(SettingFile, ShiftJisLinesFromOlderVersionsAreRead) {
    const QByteArray utf8 =
        Lines({" 4410 ", " 0 ", " 0 ", "音.wav", "C:\\音\\音.wav", " 0 ", " 1 ", " 1 ", "基準"});
    iconv_t cd = iconv_open("CP932", "UTF-8");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's documented failure value
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    QByteArray in = utf8;
    QByteArray out(in.size() * 2, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    ASSERT_NE(out, utf8);

    const DecodedSettingFile d = DecodeSettingFile(out);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.tracks.at(0).ratio, QStringLiteral("基準"));
    EXPECT_EQ(d.tracks.at(0).fileName, QStringLiteral("音.wav"));
}

TEST(SettingFile, WritesAreWholeOrNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("set.mrw");
    ASSERT_TRUE(WriteFileWhole(path, "old contents", nullptr));
    ASSERT_TRUE(WriteFileWhole(path, "new contents", nullptr));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("new contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"set.mrw"})
        << "a temporary file was left behind";

    QString error;
    EXPECT_FALSE(WriteFileWhole(dir.filePath("missing/set.mrw"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    // A folder in the way: nothing is replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.mrw"));
    EXPECT_FALSE(WriteFileWhole(dir.filePath("taken.mrw"), "x", &error));
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.mrw")).isDir());
}

} // namespace
} // namespace mt

namespace mt {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A save file whose writes fail part-way, as on a disk that fills up: it either reports the
// failure or, worse, claims the whole write while only part of it reached the file.
class FailingSaveFile final : public QSaveFile {
public:
    enum class Fault { Fails, LiesAboutTheSize };
    FailingSaveFile(const QString& path, qint64 room, Fault fault)
        : QSaveFile(path), m_room(room), m_fault(fault) {}

protected:
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 fits = std::min(length, m_room);
        const qint64 done = fits > 0 ? QSaveFile::writeData(data, fits) : 0;
        m_room -= std::max<qint64>(done, 0);
        if (done == length) {
            return done;
        }
        if (m_fault == Fault::LiesAboutTheSize) {
            return length;
        }
        setErrorString(QStringLiteral("No space left on device"));
        return done > 0 ? done : -1;
    }

private:
    qint64 m_room;
    Fault m_fault;
};

TEST(SettingFile, AWriteThatDoesNotFinishKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bank.mrw");
    const QByteArray old = EncodeSettingFile({});
    ASSERT_TRUE(WriteFileWhole(path, old, nullptr));
    std::array<TrackSetting, 8> bank;
    bank[5].fileName = "long name.wav";
    const QByteArray next = EncodeSettingFile(bank);
    for (const auto fault :
         {FailingSaveFile::Fault::Fails, FailingSaveFile::Fault::LiesAboutTheSize}) {
        for (const qint64 room : {qint64{0}, qint64{10}, next.size() - 1}) {
            FailingSaveFile file(path, room, fault);
            QString error;
            EXPECT_FALSE(CommitWhole(file, next, &error)) << "room " << room;
            EXPECT_FALSE(error.isEmpty());
        }
    }
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"bank.mrw"})
        << "a temporary file was left behind";
}

TEST(SettingFile, AFullDiskKeepsTheOldFile) {
    test::SmallTmpfs disk(64);
    if (!disk.mounted()) {
        GTEST_SKIP() << "Full-disk save not tested: " << disk.why();
    }
    const QString path = disk.filePath("bank.mrw");
    const QByteArray old = EncodeSettingFile({});
    ASSERT_TRUE(WriteFileWhole(path, old, nullptr));
    disk.fill();
    std::array<TrackSetting, 8> bank;
    for (TrackSetting& t : bank) {
        t.path = QString(200, QLatin1Char('p'));
    }
    QString error;
    EXPECT_FALSE(WriteFileWhole(path, EncodeSettingFile(bank), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(path), old) << "the bank on disk was lost";
}

TEST(SettingFile, TemporaryFilesOfAKilledSaveAreRemovedAtTheNextSave) {
    QTemporaryDir dir;
    const QStringList stale{"bank.mrw.a1B2c3", "bank.mrw.XYZ789"};
    const QStringList others{"bank.mrw.bak", "bank.mrw.1234567", "live.mrw.a1B2c3", "bank.mrw"};
    for (const QString& name : stale + others) {
        ASSERT_TRUE(test::WriteFile(dir.filePath(name), "x"));
    }
    ASSERT_TRUE(WriteFileWhole(dir.filePath("bank.mrw"), "new", nullptr));
    QStringList expected = others;
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
}

} // namespace
} // namespace mt
