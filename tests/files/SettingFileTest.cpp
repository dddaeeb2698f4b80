#include "files/SettingFile.h"
#include "files/RecoveryFile.h"
#include "files/SetExtras.h"
#include "support/WavBytes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
                 const char* ratio = "", const char* length = " 88200 ") {
    return Lines({speed, volume, pan, "a.wav", "/x/a.wav", length, " 1 ", " 0 ", ratio});
}

TEST(SettingFile, BanksAreWrittenByteForByteAndReadBackTheSame) {
    EXPECT_EQ(EncodeSettingFile({}),
              QByteArray(" 4410 \r\n 0 \r\n 0 \r\n\r\n\r\n 0 \r\n 1 \r\n 1 \r\n\r\n").repeated(8));
    std::array<TrackSetting, 8> bank;
    bank[0] = {9000, -70, -40, "キック, 1.wav", "/home/演奏/キック, 1.wav", 88200.0f, 0, 1, "基準"};
    bank[3] = {5, -12, 40, "b.wav", "/b.wav", 919.66875f, 1, 0, "/32"};
    bank[7] = {4411, 0, 7, "c.wav", "/c c/c.wav", 12345678.0f, 1, 1, "*16"};
    bank[6].length44k = std::numeric_limits<float>::infinity(); // written as no reader's "INF"
    bank[5].length44k = std::numeric_limits<float>::quiet_NaN();
    // No line breaks written.
    bank[2] = {4410, 0, 0, "a\nb.wav", "/x\r\n 0 \r/a\nb.wav", 0, 1, 1, ""};
    const QByteArray bytes = EncodeSettingFile(bank);
    EXPECT_EQ(bytes.count('\n') + bytes.count('\r'), 72 * 2);
    EXPECT_TRUE(bytes.contains("\r\n-12 \r\n 40 \r\nb.wav\r\n/b.wav\r\n 919.6688 \r\n"));
    EXPECT_TRUE(bytes.contains(" 1.234568E+07 \r\n"));
    EXPECT_FALSE(bytes.toUpper().contains("INF") || bytes.toUpper().contains("NAN"));
    const DecodedSettingFile back = DecodeSettingFile(bytes);
    ASSERT_TRUE(back.ok && back.tracks.size() == 8u);
    std::copy(back.tracks.begin(), back.tracks.end(), bank.begin());
    EXPECT_EQ(EncodeSettingFile(bank), bytes) << "every value read back as written";
}

TEST(SettingFile, ReadingStopsAtTheFirstFaultOrQuietlyAtABlockBoundary) {
    EXPECT_EQ(DecodeSettingFile(Block(" 0 ")).tracks.at(0).speed, 4410);
    EXPECT_EQ(DecodeSettingFile(Block(" 4410 ", " 0 ", " 55 ")).tracks.at(0).pan, 40);
    EXPECT_EQ(DecodeSettingFile(Block(" 4410 ", " 0 ", "-55 ")).tracks.at(0).pan, -40);
    EXPECT_EQ(DecodeSettingFile(Block().repeated(3)).tracks.size(), 3u);
    EXPECT_FALSE(DecodeSettingFile(Block().repeated(9)).ok) << "lines after the eighth block";
    // "音.wav" and "基準" in Shift_JIS, as older versions wrote them.
    const DecodedSettingFile sjis =
        DecodeSettingFile(Lines({" 4410 ", " 0 ", " 0 ", "\x89\xb9.wav", "/\x89\xb9.wav", " 0 ",
                                 " 1 ", " 1 ", "\x8a\xee\x8f\x80"}));
    EXPECT_EQ(sjis.tracks.at(0).fileName + sjis.tracks.at(0).ratio, QStringLiteral("音.wav基準"));
    QByteArray noFinal = Block(" 4410 ", " 0 ", " 0 ", "*1"); // a last line without CR LF
    noFinal.chop(2);
    EXPECT_TRUE(DecodeSettingFile(noFinal).ok);
    EXPECT_EQ(DecodeSettingFile(Block().replace("\r\n", "\n")).tracks.size(), 1u);
    const auto length = [](const char* l) { return Block(" 4410 ", " 0 ", " 0 ", "", l); };
    const DecodedSettingFile largest = DecodeSettingFile(length(" 3.402823E+38 "));
    ASSERT_TRUE(largest.ok);
    EXPECT_TRUE(std::isfinite(largest.tracks.at(0).length44k));

    // A length beyond a float came back as infinity and was saved as "INF".
    for (const QByteArray& bad :
         {Block(" 3 "), Block(" 9001 "), Block(" 4410 ", "-80 "), Block(" 4410 ", "  "),
          Block(" 4410 ", " 0 ", " 40000 "), Block("abc"), Block(" 4410 ", " 0 ", " 0 ", "*3"),
          Block().left(30), Lines({" 4410 ", " 0 ", " 0 ", "a", "/a\rb", " 0 ", " 1 ", " 1 ", ""}),
          length(" 1E39 "), length("-1E39 "), length(" INF "), length(" nan "), length(" 1e400 "),
          length("-1 ")}) {
        const DecodedSettingFile d = DecodeSettingFile(Block() + bad);
        EXPECT_FALSE(d.ok) << bad.toStdString();
        EXPECT_EQ(d.tracks.size(), 1u) << "the whole block before the fault is kept";
    }
    // What a write that failed half-way leaves behind is never a saved empty bank.
    for (const QByteArray& nothing : {QByteArray(), QByteArray("\r\n"), QByteArray("  \r\n\r\n")}) {
        EXPECT_FALSE(DecodeSettingFile(nothing).ok) << nothing.size() << " bytes";
    }
}

// A save file whose writes fail part-way, as on a disk that fills up: it reports the failure
// or, worse, claims the whole write while only part of it reached the file.
class FailingSaveFile final : public QFile {
public:
    FailingSaveFile(qint64 room, bool lies) : m_room(room), m_lies(lies) {}

protected:
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 fits = std::min(length, m_room);
        const qint64 done = fits > 0 ? QFile::writeData(data, fits) : 0;
        m_room -= std::max<qint64>(done, 0);
        if (done == length || m_lies) {
            return length;
        }
        setErrorString(QStringLiteral("No space left on device"));
        return done > 0 ? done : -1;
    }

private:
    qint64 m_room;
    bool m_lies;
};

TEST(SettingFile, WritesAreWholeOrNothingAndLeaveNoTemporaryFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bank.mrw");
    // Another save's at work stays; one a killed save left hours ago goes.
    for (const auto& [name, hours] : {std::pair{"Ab12Cd", 0}, std::pair{"Xy34Zw", 2}}) {
        QFile file(dir.filePath(".bank.mrw.marrowtune-save-") + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(qint64{-3600} * hours),
                                     QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(WriteFileWhole(path, "old", nullptr));
    ASSERT_TRUE(QFile::remove(dir.filePath(".bank.mrw.marrowtune-save-Ab12Cd")));
    const QByteArray next = EncodeSettingFile({});
    for (const bool lies : {false, true}) {
        for (const qint64 room : {qint64{0}, qint64{10}, next.size() - 1}) {
            FailingSaveFile file(room, lies);
            QString error;
            EXPECT_FALSE(CommitWhole(file, path, next, &error)) << "room " << room;
            EXPECT_FALSE(error.isEmpty());
        }
    }
    // A set and its companion: either failing to be written leaves both as they were.
    const QString companion = CompanionPath(path);
    ASSERT_TRUE(WriteFileWhole(companion, "old companion", nullptr));
    for (const bool companionFails : {true, false}) {
        FailingSaveFile failing(10, false);
        QFile whole;
        EXPECT_FALSE(CommitFilesWhole({{companionFails ? &failing : &whole, companion, next},
                                       {companionFails ? &whole : &failing, path, next}},
                                      nullptr));
    }
    for (const auto& [name, old] : {std::pair{"bank.mrw", "old"}, {"bank.mrwx", "old companion"}}) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == old) << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"bank.mrw", "bank.mrwx"}))
        << "a temporary file was left behind";
    // A save keeps the permissions the performer gave the set (the new file starts as 0600).
    ASSERT_TRUE(QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther));
    ASSERT_TRUE(WriteFileWhole(path, next, nullptr));
    EXPECT_TRUE(QFile::permissions(path).testFlag(QFileDevice::ReadOther));
}

TEST(SettingFile, CompanionsComeBackAsWrittenAndADamagedValueCostsOnlyItself) {
    EXPECT_EQ(CompanionPath("/a/live.mrw") + CompanionPath("/a/live"), "/a/live.mrwx/a/live.mrwx");
    SetExtras set;
    for (int i = 0; i < 8; ++i) {
        set.tracks[i] = {static_cast<Quantise>(i % kQuantiseCount), i % 3 == 0,
                         i % 2 == 0 ? Stretch::Tape : Stretch::KeepPitch, (i - 4) * 300,
                         i % 4 == 0 ? 0 : 1 + i % 4};
    }
    set.files[1] = {3'000'000'000, "../キット/b.wav"};
    set.files[2] = {0, {}};
    const QByteArray bytes = EncodeSetExtras(set);
    EXPECT_TRUE(bytes.startsWith("{\n    \"format\": \"marrowtune-set\",\n") &&
                bytes.contains("\"quantise\": \"2bars\",\n            \"stopOnGrid\": false"));
    const DecodedSetExtras back = DecodeSetExtras(bytes);
    EXPECT_TRUE(back.ok && back.extras == set);

    const QByteArray head = R"({"format": "marrowtune-set", "version": )";
    const QByteArray one = head + R"(1, "tracks": [)";
    using enum Quantise;
    const Stretch keep = Stretch::KeepPitch;
    const struct {
        QByteArray bytes;
        TrackExtras first;
        bool ok;
        FileHint file{};
    } rows[] = {
        // Missing values are defaults; a newer version's keys are passed over.
        {one + R"({"quantise": "1/8"}]})", {Eighth, false}, true},
        {head + R"(2, "x": 1, "tracks": [{"x": 1, "quantise": "bar"}]})", {Bar}, true},
        // A value not understood is its default alone.
        {one + R"({"quantise": "3bars", "stopOnGrid": true}]})", {{}, true}, false},
        {one + R"({"quantise": 4, "stopOnGrid": true}]})", {{}, true}, false},
        {one + R"({"quantise": "bar", "stopOnGrid": 1}]})", {Bar}, false},
        {one + R"({"stretch": "keepPitch", "pitchCents": -1200}]})",
         {Off, false, keep, -1200},
         true},
        {one + R"({"stretch": "elastic", "pitchCents": 1201}]})", {}, false},
        {one + R"({"stretch": "keepPitch", "pitchCents": 0.5}]})", {Off, false, keep}, false},
        {one + R"({"fileSize": 7, "relativePath": "a/b.wav"}]})", {}, true, {7, "a/b.wav"}},
        {one + R"({"fileSize": -1, "relativePath": "b.wav"}]})", {}, false, {-1, "b.wav"}},
        {one + R"({"fileSize": 7.5, "relativePath": 3}]})", {}, false},
        {one + R"({"chokeGroup": 4}]})", {.chokeGroup = 4}, true},
        {one + R"({"chokeGroup": 1}]})", {}, false}, // the lone-wolf group is no set's
        {head + R"(1, "tracks": {"quantise": "bar"}})", {}, false},
        {R"({"format": "other", "tracks": [{"quantise": "bar"}]})", {}, false},
        {bytes.left(bytes.size() / 2), {}, false}};
    for (const auto& r : rows) {
        const DecodedSetExtras d = DecodeSetExtras(r.bytes);
        EXPECT_TRUE(d.extras.tracks[0] == r.first && d.extras.tracks[1] == TrackExtras{} &&
                    d.ok == r.ok && d.extras.files[0] == r.file)
            << r.bytes.toStdString();
    }
}

// A recovery copy comes back whole or not at all: any byte changed, cut or moved between its
// parts is found.
TEST(SettingFile, RecoveryCopiesComeBackWholeOrNotAtAll) {
    const RecoveryCopy copy{"/home/p/ライブ.mrw", EncodeSettingFile({}), EncodeSetExtras({})};
    const QByteArray bytes = EncodeRecovery(copy);
    EXPECT_EQ(DecodeRecovery(bytes), copy);
    EXPECT_EQ(DecodeRecovery(EncodeRecovery({})), RecoveryCopy{}) << "untitled and empty";
    QByteArray flipped = bytes;
    flipped[flipped.indexOf("\"setting\":\"") + 20] ^= 0x01;
    QByteArray moved = bytes;
    moved.replace("\"companion\":\"", "\"companion\":\"A");
    for (const QByteArray& damaged :
         {bytes.left(bytes.size() - 1), flipped, moved,
          QByteArray(bytes).replace("\"version\":1", "\"version\":2"),
          QByteArray(bytes).replace(bytes.mid(bytes.indexOf("sha256") + 9, 8), "00000000"),
          QByteArray(), QByteArray("{}")}) {
        EXPECT_FALSE(DecodeRecovery(damaged)) << damaged.toStdString();
    }
}

} // namespace
} // namespace mt
