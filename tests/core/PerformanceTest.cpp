// The bank's document: new, open, save, save as, overwrite and the discard question, with the
// file dialogs, message boxes and the question answered by the test, and the tracks on the real
// sound library over an offline output.
#include "core/Performance.h"
#include "audio/AudioTestKit.h"
#include "core/RecoveryKeeper.h"
#include "core/ReferenceBar.h"
#include "core/TapClock.h"
#include "support/OfflineBank.h"
#include "support/PerformanceDoubles.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>
#include <unistd.h>

namespace mt {
namespace {

using test::FixedBar;
using test::StillClock;

class PerformanceTest : public test::OfflineBank, public ::testing::Test {
protected:
    PerformanceTest() {
        performance.setSaveQuestion([this](const QString& title) {
            asked.push_back(title);
            return answer;
        });
        performance.newBank();
    }
    QString wav(const QString& name, int frames) {
        return write(name, test::PcmWav(2, 44100, 16, frames * 4));
    }
    // A file command with the file dialog answering `path` (none: cancelled).
    void command(void (Performance::*run)(), const std::optional<QString>& path = std::nullopt) {
        if (path) {
            dialogs.answers.push_back(path);
        }
        (performance.*run)();
        EXPECT_TRUE(test::WaitForLoads(performance.bank()));
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    FixedBar midi;
    StillClock clock;
    test::ScriptedFileDialogs dialogs;
    test::CountingCursor cursor;
    test::RecordingLauncher launcher;
    Performance performance{m_sound, midi, clock, {m_messages, dialogs, cursor, launcher}};
    TrackBank& tracks = performance.bank();
    SaveAnswer answer = SaveAnswer::No;
    std::vector<QString> asked;
};

TEST_F(PerformanceTest, ASavedBankOpensAgainTheSameAndIsOverwrittenWhereItIs) {
    const QString kickPath = write("キック, 1.wav", test::PcmWav(1, 22050, 16, 2205 * 2));
    tracks.assign(0, kickPath); // at 22.05 kHz
    tracks.assign(5, wav("b.wav", 4410));
    ASSERT_TRUE(test::WaitForLoads(tracks));
    tracks.setSpeed(0, 3000);
    tracks.setVolume(0, -12);
    tracks.setPan(0, -40);
    performance.tempo().chooseRatio(0, "基準");
    tracks.setLoop(5, false);
    const QString set = m_dir.filePath("elsewhere/ライブ");
    QDir().mkpath(m_dir.filePath("elsewhere"));
    int shown = 0;
    QObject::connect(&performance, &Performance::documentChanged, [&shown] { ++shown; });
    command(&Performance::saveFromDialog, set);
    EXPECT_EQ(dialogs.requests.back().defaultSuffix, QStringLiteral("mrw"));
    EXPECT_EQ(std::make_tuple(performance.title(), performance.filePath(), shown, cursor.waits),
              std::make_tuple(QStringLiteral("ライブ.mrw"), set + ".mrw", 1, 1));
    EXPECT_TRUE(performance.canOverwrite() && !tracks.changed());
    const QByteArray bytes = read(set + ".mrw");

    command(&Performance::newFromMenu); // not changed since the save: nothing to ask
    EXPECT_EQ(std::make_tuple(tracks.track(0).speed, tracks.track(0).ratio, tracks.track(5).loop,
                              tracks.track(5).loaded, performance.title()),
              std::make_tuple(4410, QString(), true, false, QStringLiteral("New")));
    EXPECT_FALSE(performance.canOverwrite() || performance.tempo().lockAvailable());
    command(&Performance::openFromDialog, set + ".mrw");
    EXPECT_EQ(dialogs.requests.back().fileName, set + ".mrw") << "the last file";
    const Track& kick = tracks.track(0);
    EXPECT_EQ(std::make_tuple(kick.speed, kick.volume, kick.pan, kick.ratio, kick.fileName,
                              kick.rateRatio, kick.length44k, tracks.track(5).loop),
              std::make_tuple(3000, -12, -40, QStringLiteral("基準"),
                              QStringLiteral("キック, 1.wav"), 2.0f, 4410.0f, false));
    EXPECT_TRUE(kick.loaded && tracks.track(5).loaded && performance.title() == "ライブ.mrw");
    EXPECT_TRUE(performance.tempo().lockAvailable()) << "a reference came with the file";
    EXPECT_TRUE(asked.empty() && m_messages.shown.empty() && !tracks.changed());

    const QString again = m_dir.filePath("elsewhere/again.mrw");
    command(&Performance::saveFromDialog, again);
    EXPECT_EQ(read(again), bytes) << "saved again unchanged";
    // Overwrite writes the file last named, whatever the working folder.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    tracks.setVolume(4, -20);
    command(&Performance::overwrite);
    QDir::setCurrent(cwd);
    EXPECT_TRUE(read(again).contains("\r\n-20 \r\n"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("again.mrw")) || tracks.changed());

    // A file that ends early leaves the later tracks as they were, yet the lock follows what
    // the bank now holds: with the reference gone, off and unavailable.
    performance.tempo().toggleLock();
    ASSERT_TRUE(performance.tempo().lockOn());
    std::array<TrackSetting, 8> three;
    three[1].path = kickPath;
    const QList<QByteArray> lines = EncodeSettingFile(three).split('\n');
    command(
        &Performance::openFromDialog,
        write("three.mrw", lines.mid(0, qsizetype{3} * kSettingLinesPerTrack).join('\n') + '\n'));
    EXPECT_EQ(performance.title(), QStringLiteral("three.mrw"));
    EXPECT_TRUE(tracks.track(1).loaded && tracks.track(5).loaded && !tracks.track(0).loaded);
    EXPECT_FALSE(performance.tempo().lockOn() || performance.tempo().lockAvailable());
}

// A set that cannot be read or is damaged anywhere (SettingFileTest has the faults) leaves the
// bank, its title and its flags as they were; a FIFO among the sets or their sounds is never
// waited on.
TEST_F(PerformanceTest, BrokenSetsAndMissingSoundsAreToldWithoutWaiting) {
    const QString a = wav("a.wav", 100);
    tracks.assign(7, a);
    command(&Performance::saveFromDialog, m_dir.filePath("kept.mrw"));
    std::array<TrackSetting, 8> stored;
    stored[2].path = "@"; // becomes a path with a line break, as older versions wrote it
    write("lf.mrw", EncodeSettingFile(stored).replace("@", "/x\ny"));
    for (const char* fifo : {"fifo.mrw", "fifo.wav"}) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath(fifo)).constData(), 0600), 0);
    }
    ::alarm(30); // an open that waits for a writer on a FIFO ends the test here
    tracks.setVolume(7, -5);
    for (const QString& path : {m_dir.filePath("lf.mrw"), m_dir.filePath("fifo.mrw")}) {
        m_messages.shown.clear();
        command(&Performance::openFromDialog, path);
        EXPECT_EQ(
            m_messages.texts(),
            std::vector<QString>{path + "は Marrowtune で使用できるファイル形式ではありません"});
        EXPECT_EQ(std::make_tuple(performance.title(), tracks.track(7).volume, tracks.changed()),
                  std::make_tuple(QStringLiteral("kept.mrw"), -5, true))
            << "the bank as it was";
        EXPECT_TRUE(tracks.track(7).loaded && performance.canOverwrite());
    }
    command(&Performance::openFromDialog); // cancelled: nothing read, nothing written
    command(&Performance::saveFromDialog);
    EXPECT_EQ(m_messages.shown.size(), 1u);

    // A set whose sounds are partly gone, damaged or a FIFO: titles and paths at once (a save
    // meanwhile keeps them), the messages in track order once the loads have come in; the one
    // that is gone is listed for the missing-files window instead.
    const QByteArray flac = test::EncodedWav(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2,
                                             std::vector<float>(88200, 0.25f));
    write("cut.flac", flac.left(flac.size() * 6 / 10));
    const char* files[] = {"a.wav", "gone.wav", "cut.flac", "fifo.wav", "e.wav"};
    stored = {};
    for (int i = 0; i < 5; ++i) {
        stored[i] = {4410, 0, 0, files[i], m_dir.filePath(files[i]), 0, 1, 1, ""};
    }
    wav("e.wav", 44100 * 3);
    m_messages.shown.clear();
    ASSERT_TRUE(performance.open(write("set.mrw", EncodeSettingFile(stored))));
    EXPECT_TRUE(tracks.track(0).loading() && tracks.track(4).loading() &&
                tracks.track(2).fileName == "cut.flac");
    ASSERT_TRUE(test::WaitForLoads(tracks));
    ::alarm(0);
    const QString moved = ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください";
    EXPECT_EQ(m_messages.texts(),
              std::vector<QString>({"FLACファイルの音声データを読み取れません。", "(4" + moved}));
    EXPECT_EQ(performance.missingTracks(), std::vector<int>{1});
    EXPECT_TRUE(tracks.track(0).loaded && tracks.track(4).loaded);
    for (int i : {1, 2, 3}) {
        EXPECT_TRUE(!tracks.track(i).loaded && tracks.track(i).path == m_dir.filePath(files[i]))
            << i << ": not loaded, its path kept for the set";
    }
}

// A set moved with its samples to another tree opens complete, with no question: a sample
// beside it by its recorded relative path (even one outside the set's folder), one moved into
// a subfolder by its name and size. One not found is listed, not told; a relink gives it back,
// changes the set, and its folder is looked in when a later set misses a file.
TEST_F(PerformanceTest, ASetMovedWithItsSamplesOpensCompleteAndTheRestAreListedForARelink) {
    QDir dir(m_dir.path());
    dir.mkpath("home/set/samples");
    dir.mkpath("home/kit");
    const char* files[] = {"home/set/samples/a.wav", "home/kit/b.wav", "home/set/c.wav",
                           "home/set/d.wav"};
    for (int i = 0; i < 4; ++i) {
        tracks.assign(i, wav(files[i], 100 + i));
    }
    ASSERT_TRUE(test::WaitForLoads(tracks));
    tracks.setVolume(3, -7);
    ASSERT_TRUE(performance.saveAs(m_dir.filePath("home/set/live.mrw")));
    ASSERT_TRUE(dir.rename("home", "away"));
    dir.mkpath("away/set/moved");
    ASSERT_TRUE(dir.rename("away/set/c.wav", "away/set/moved/c.wav"));
    ASSERT_TRUE(dir.rename("away/set/d.wav", m_dir.filePath("d.wav")));
    // A file of the same name but another size is not the one.
    wav("away/set/moved/d.wav", 999);

    int told = 0;
    QObject::connect(&performance, &Performance::missingChanged, [&told] { ++told; });
    std::vector<bool> flags; // a session manager hears each of them
    QObject::connect(&performance, &Performance::changedFlag,
                     [&flags](bool changed) { flags.push_back(changed); });
    ASSERT_TRUE(performance.open(m_dir.filePath("away/set/live.mrw")));
    ASSERT_TRUE(test::WaitForLoads(tracks));
    const char* now[] = {"away/set/samples/a.wav", "away/kit/b.wav", "away/set/moved/c.wav"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(tracks.track(i).loaded && tracks.track(i).path == m_dir.filePath(now[i])) << i;
    }
    EXPECT_EQ(std::make_pair(performance.missingTracks(), performance.missingHint(3).size),
              std::make_pair(std::vector<int>{3}, qint64{44 + 103 * 4}));
    EXPECT_TRUE(m_messages.shown.empty() && !tracks.changed() && told == 1);
    EXPECT_TRUE(flags.empty()) << "an open never says the bank changed";

    EXPECT_FALSE(performance.relink(3, m_dir.filePath("none.wav")));
    ASSERT_TRUE(performance.relink(3, m_dir.filePath("d.wav")));
    ASSERT_TRUE(test::WaitForLoads(tracks));
    EXPECT_TRUE(tracks.track(3).loaded && tracks.changed() && performance.missingTracks().empty());
    EXPECT_EQ(std::make_tuple(tracks.track(3).volume, tracks.track(3).fileName,
                              performance.relinkFolders()),
              std::make_tuple(-7, QStringLiteral("d.wav"), QStringList{m_dir.path()}));

    // The relink folder is searched two levels down; two files that fit leave the choice open.
    dir.mkpath("lib/x/y");
    dir.mkpath("sets");
    std::array<TrackSetting, 8> stored;
    stored[0].path = "/gone/e.wav";
    stored[1].path = "/gone/f.wav";
    stored[0].fileName = "e.wav";
    wav("lib/x/e.wav", 10);
    wav("lib/f.wav", 10);
    wav("lib/x/y/f.wav", 10);
    performance.relink(7, wav("lib/g.wav", 10));
    ASSERT_TRUE(performance.open(write("sets/other.mrw", EncodeSettingFile(stored))) &&
                test::WaitForLoads(tracks));
    EXPECT_EQ(tracks.track(0).path + " " + tracks.track(0).fileName,
              m_dir.filePath("lib/x/e.wav") + " e.wav"); // the stored title
    EXPECT_EQ(performance.missingTracks(), std::vector<int>{1});
    performance.newBank();
    EXPECT_TRUE(performance.missingTracks().empty());
}

// While the bank has unsaved changes a whole copy of it is kept, at most RecoveryKeeper::kDelayMs
// behind; a save removes it. A run that did not end cleanly leaves it: the next start offers it
// once (yes: the set under its own name, changed; no: gone); a damaged copy is told once and
// removed. One program at a time keeps copies in a folder.
TEST_F(PerformanceTest, UnsavedChangesAreKeptForTheNextStartUntilSavedOrDeclined) {
    const QString folder = m_dir.filePath("recovery");
    const QString set = m_dir.filePath("live.mrw");
    tracks.assign(0, wav("a.wav", 100));
    ASSERT_TRUE(test::WaitForLoads(tracks));
    ASSERT_TRUE(performance.saveAs(set));
    {
        RecoveryKeeper keeper(performance, folder);
        bool taken = false;
        EXPECT_EQ(keeper.start(&taken).left, RecoveryKeeper::Left::None);
        RecoveryKeeper second(performance, folder);
        bool secondTaken = true;
        second.start(&secondTaken);
        EXPECT_TRUE(taken && !secondTaken);

        tracks.setPan(0, 40);
        QTest::qWait(RecoveryKeeper::kDelayMs / 2);
        tracks.setVolume(0, -3);
        QTest::qWait(RecoveryKeeper::kDelayMs / 2 + 300); // the first edit's delay is not restarted
        const auto copy = DecodeRecovery(read(keeper.copyPath()));
        ASSERT_TRUE(copy) << "no whole copy kept";
        EXPECT_TRUE(copy->path == set && copy->setting == performance.currentBytes(set).setting);
        performance.overwrite();
        QTest::qWait(100);
        EXPECT_FALSE(QFile::exists(keeper.copyPath()));
        tracks.setPan(0, -40);
        QTest::qWait(RecoveryKeeper::kDelayMs + 300);
        EXPECT_TRUE(QFile::exists(keeper.copyPath()));
    } // no clean end: as after a crash

    const struct {
        bool damaged;
        bool yes;
    } rows[] = {{false, true}, {false, false}, {true, true}};
    const QByteArray left = read(folder + "/unsaved.mrwr");
    for (const auto& r : rows) {
        performance.newBank();
        write("recovery/unsaved.mrwr", r.damaged ? left.left(left.size() - 2) : left);
        m_messages.shown.clear();
        m_messages.answers = {r.yes};
        RecoveryKeeper keeper(performance, folder);
        const bool restored = r.yes && !r.damaged;
        EXPECT_EQ(keeper.startAndOffer(m_messages), restored);
        ASSERT_EQ(m_messages.shown.size(), 1u);
        EXPECT_EQ(m_messages.shown[0].question, !r.damaged);
        EXPECT_EQ(m_messages.shown[0].text,
                  r.damaged
                      ? QStringLiteral("保存されていなかったセットの復元用ファイルが壊れていたため"
                                       "、開きませんでした。")
                      : QStringLiteral("前回、保存されずに終わったセット「live.mrw」があります。"
                                       "\n復元しますか？"));
        EXPECT_EQ(std::make_tuple(tracks.track(0).pan, performance.title(), tracks.changed()),
                  restored ? std::make_tuple(-40, QStringLiteral("live.mrw"), true)
                           : std::make_tuple(0, QStringLiteral("New"), false));
        keeper.endCleanly();
        EXPECT_FALSE(QFile::exists(folder + "/unsaved.mrwr")) << "a clean end keeps none";
    }
}

// The companion's values come back with the set. One that is gone gives the defaults quietly;
// one damaged, no file or a FIFO the defaults for what it could not give, with one message, and
// the set opens all the same. One that cannot be replaced keeps both files as they were.
TEST_F(PerformanceTest, TheCompanionComesAndGoesWithTheSetAndNeverKeepsItFromOpening) {
    tracks.setQuantise(0, Quantise::Bar);
    tracks.setQuantise(1, Quantise::Beat);
    tracks.setStopOnGrid(1, true);
    tracks.setStretch(1, Stretch::KeepPitch);
    tracks.setPitch(1, -250);
    tracks.setChokeGroup(1, 3);
    const QString set = m_dir.filePath("live.mrw"), companion = set + "x";
    ASSERT_TRUE(performance.saveAs(set));
    const QByteArray stored = read(companion);
    command(&Performance::newFromMenu);
    EXPECT_TRUE(performance.currentExtras() == SetExtras{});
    const QString told =
        "付随ファイル live.mrwx が壊れているため、クオンタイズなどの設定を既定値にしました。";
    const auto reopen = [&](TrackExtras first, TrackExtras second, bool damaged) {
        tracks.setQuantise(0, Quantise::TwoBars); // what the set replaces
        tracks.setQuantise(1, Quantise::TwoBars);
        tracks.setLoneWolfMember(0, true); // which no set holds
        tracks.setChokeGroup(1, 2);
        m_messages.shown.clear();
        ASSERT_TRUE(performance.open(set));
        EXPECT_TRUE(tracks.track(0).loneWolf() && tracks.track(1).chokeGroup == second.chokeGroup &&
                    tracks.track(0).quantise == first.quantise &&
                    tracks.track(1).quantise == second.quantise &&
                    tracks.track(1).stopOnGrid == second.stopOnGrid &&
                    tracks.track(1).stretch == second.stretch &&
                    tracks.track(1).pitchCents == second.pitchCents && !tracks.changed());
        EXPECT_EQ(m_messages.texts(), damaged ? std::vector{told} : std::vector<QString>{});
    };
    reopen({Quantise::Bar}, {Quantise::Beat, true, Stretch::KeepPitch, -250, 3}, false);
    write("live.mrwx", QByteArray(stored).replace("\"beat\"", "\"someday\""));
    reopen({Quantise::Bar}, {Quantise::Off, true, Stretch::KeepPitch, -250, 3}, true);
    ASSERT_TRUE(QFile::remove(companion));
    reopen({}, {}, false);
    ASSERT_EQ(::mkfifo(QFile::encodeName(companion).constData(), 0600), 0);
    ::alarm(30); // an open that waits for a writer on the FIFO ends the test here
    reopen({}, {}, true);
    ::alarm(0);
    ASSERT_TRUE(QFile::remove(companion) && QDir().mkdir(companion));
    reopen({}, {}, true);

    const QByteArray before = read(set);
    tracks.setVolume(0, -7);
    m_messages.shown.clear();
    EXPECT_FALSE(performance.saveAs(set));
    EXPECT_TRUE(m_messages.shown.size() == 1u && read(set) == before && tracks.changed());
    EXPECT_EQ(QDir(m_dir.path()).entryList({"*live*"}, QDir::AllEntries | QDir::Hidden),
              QStringList({"live.mrw", "live.mrwx"}));
}

TEST_F(PerformanceTest, NothingIsThrownAwayOrReplacedWithoutAskingOrLostUntold) {
    tracks.setLoop(2, false);
    command(&Performance::saveFromDialog, m_dir.filePath("no/such/folder/set.mrw"));
    EXPECT_TRUE(m_messages.texts().at(0).startsWith(m_dir.filePath("no/such/folder/set.mrw")) &&
                performance.title() == "New")
        << "a failed save names nothing";
    m_messages.shown.clear();
    // Cancel refuses every command that would replace the bank; No lets it go.
    answer = SaveAnswer::Cancel;
    command(&Performance::newFromMenu);
    EXPECT_FALSE(performance.confirmDiscard()) << "cancel keeps the program running";
    command(&Performance::openFromDialog);
    EXPECT_TRUE(dialogs.requests.size() == 1u && !tracks.track(2).loop);
    EXPECT_EQ(asked, std::vector<QString>(3, QString())) << "an untitled bank";
    answer = SaveAnswer::No;
    command(&Performance::newFromMenu);
    EXPECT_TRUE(tracks.track(2).loop);

    // Yes on an untitled bank saves through the dialog. The dialog adds ".mrw" before it asks
    // about replacing; for a bare name we ask, so no file is replaced without a question.
    tracks.setHold(5, false);
    const QString kept = write("kept.mrw", "the set of last night");
    m_messages.answers = {false, true};
    answer = SaveAnswer::Yes;
    command(&Performance::newFromMenu, m_dir.filePath("kept"));
    EXPECT_FALSE(read(kept) != "the set of last night" || tracks.track(5).hold)
        << "the refused save ends the command";
    command(&Performance::newFromMenu, m_dir.filePath("kept"));
    EXPECT_TRUE(read(kept).startsWith(" 4410 \r\n 0 \r\n") && tracks.track(5).hold);
    ASSERT_EQ(m_messages.shown.size(), 2u);
    EXPECT_TRUE(m_messages.shown[0].question && m_messages.shown[0].text.startsWith("kept.mrw "));

    // Yes on a titled bank overwrites it; the question names the file.
    command(&Performance::openFromDialog, kept);
    tracks.setVolume(0, -9);
    asked.clear();
    EXPECT_TRUE(performance.confirmDiscard() && read(kept).startsWith(" 4410 \r\n-9 \r\n"));
    EXPECT_EQ(asked, std::vector<QString>{"kept.mrw"});
    command(&Performance::saveFromDialog, kept); // the name as the dialog gives it
    EXPECT_FALSE(m_messages.shown.size() != 2u || QFile::exists(kept + ".mrw"));
    // Yes, and the file can no longer be written: the bank is kept, the command refused.
    tracks.setVolume(0, -3);
    ASSERT_TRUE(QFile::remove(kept) && QDir().mkdir(kept));
    EXPECT_FALSE(performance.confirmDiscard() || !tracks.changed());
}

// A collect lands the set and copies of its samples beside it, changes neither the files copied
// from nor the set opened before, and the new set opens once those files are gone. A collect
// that is cancelled leaves the bank and its document as they were.
TEST_F(PerformanceTest, ACollectedSetOpensWithItsCopiesWhenTheOriginalsAreGone) {
    QDir(m_dir.path()).mkpath("a/b");
    const QString kick = wav("a/kick.wav", 300), other = wav("a/b/kick.wav", 500);
    for (const auto& [track, path] : {std::pair{0, kick}, {1, other}, {2, kick}, {3, other}}) {
        tracks.assign(track, path);
    }
    ASSERT_TRUE(test::WaitForLoads(tracks) && performance.saveAs(m_dir.filePath("old.mrw")));
    const QByteArray oldSet = read(m_dir.filePath("old.mrw")), kickBytes = read(kick);
    tracks.setVolume(1, -6);
    std::pair<qint64, qint64> progress;
    QObject::connect(&performance, &Performance::collectProgress, [&progress](qint64 n, qint64 of) {
        progress = {n, of};
    });
    const auto collect = [this](const QString& set, const std::function<void()>& meanwhile = {}) {
        QString result = "<none>";
        performance.collectTo(set, [&result](const QString& error) { result = error; });
        if (meanwhile) {
            meanwhile();
        }
        EXPECT_TRUE(QTest::qWaitFor([this] { return !performance.collecting(); }));
        return result;
    };
    QString second;
    EXPECT_EQ(collect(m_dir.filePath("x.mrw"),
                      [&] {
                          performance.collectTo("y.mrw", [&second](auto e) { second = e; });
                          performance.cancelCollect();
                      }),
              "まとめて保存を中止しました。");
    EXPECT_EQ(second, "まとめて保存の最中です。") << "one collect at a time";
    EXPECT_FALSE(QFile::exists(m_dir.filePath("x.mrw")));
    EXPECT_TRUE(performance.title() == "old.mrw" && tracks.changed() &&
                tracks.track(0).path == kick);

    const QString set = m_dir.filePath("live.mrw"), third = wav("third.wav", 100);
    EXPECT_EQ(collect(set, [&] { tracks.assign(3, third); }), "");
    const QString copies = m_dir.filePath("live samples/");
    EXPECT_EQ(
        std::make_tuple(tracks.track(0).path, tracks.track(1).path, tracks.track(2).path,
                        tracks.track(3).path),
        std::make_tuple(copies + "kick.wav", copies + "kick (2).wav", copies + "kick.wav", third))
        << "a track given another file meanwhile keeps it";
    EXPECT_EQ(progress, std::make_pair(qint64{300 * 4 + 44 + 500 * 4 + 44}, qint64{3288}));
    EXPECT_TRUE(tracks.track(1).fileName == "kick.wav" && tracks.track(1).loaded &&
                tracks.track(1).length44k == 500.0f && !tracks.changed());
    EXPECT_TRUE(performance.title() == "live.mrw" && read(m_dir.filePath("old.mrw")) == oldSet &&
                read(kick) == kickBytes);
    ASSERT_TRUE(QDir(m_dir.filePath("a")).removeRecursively());
    command(&Performance::newFromMenu);
    ASSERT_TRUE(performance.open(set) && test::WaitForLoads(tracks));
    EXPECT_TRUE(performance.missingTracks().empty() && tracks.track(1).loaded);
    EXPECT_EQ(std::make_pair(tracks.track(1).path, tracks.track(1).volume),
              std::make_pair(copies + "kick (2).wav", -6));
    // One under way when the program ends is waited for, and says nothing.
    performance.collectTo(m_dir.filePath("left.mrw"), [](const QString&) { ADD_FAILURE(); });
}

// The bar is the clock's source from the moment it is chosen, not from its next move.
TEST_F(PerformanceTest, TheClockTakesTheReferenceBarsTempoWhenItIsChosen) {
    performance.cdBar().setWholeMs(2500); // 96 BPM
    EXPECT_EQ(performance.clock().bpm(), 120.0) << "typed: the bar is not the source";
    performance.chooseTempoSource(TempoSource::ReferenceBar);
    EXPECT_EQ(performance.clock().bpm(), 96.0);
}

// Start-up: the stored preferences come back, a value that is no boolean or no number is the
// default, and the device opens on a bank whose earlier sounds are forgotten.
TEST_F(PerformanceTest, StartUpReadsThePreferencesAndOpensTheDeviceOnAForgottenBank) {
    const struct {
        const char *mixer, *previewLoop, *formSize;
        Preferences expected;
    } rows[] = {{"/usr/bin/kmix", "True", "7", {"/usr/bin/kmix", "/usr/bin/ed", true, 7}},
                {"", "perhaps", "x", {"found", "/usr/bin/ed", false, 0}},
                {"m", "0", "99999999999", {"m", "/usr/bin/ed", false, 0}}};
    test::MemorySettingsStore store;
    store.setValue("mt", "Info", "editProgramPath", "/usr/bin/ed");
    for (const auto& r : rows) {
        store.setValue("mt", "Info", "VolumeControlPath", r.mixer);
        store.setValue("mt", "Info", "PreviewLoop", r.previewLoop);
        store.setValue("mt", "Info", "FormSizeFlag", r.formSize);
        performance.readPreferences(store, "mt", [] { return QStringLiteral("found"); });
        EXPECT_TRUE(performance.preferences() == r.expected) << r.previewLoop << " " << r.formSize;
    }

    tracks.assign(3, wav("a.wav", 100));
    ASSERT_TRUE(test::WaitForLoads(tracks) && tracks.track(3).loaded);
    bool loadedAtOpen = true;
    EXPECT_FALSE(performance.start([&] { return loadedAtOpen = tracks.track(3).loaded; }));
    EXPECT_FALSE(loadedAtOpen) << "the device opened on a buffer of the library before";
    EXPECT_TRUE(tracks.track(3).path.isEmpty() && !tracks.changed());
    EXPECT_EQ(std::make_tuple(tracks.selectedTrack(), performance.title()),
              std::make_tuple(std::int16_t{-1}, QStringLiteral("New")));
}

} // namespace
} // namespace mt
