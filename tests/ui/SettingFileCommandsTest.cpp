#include "ui/SettingFileCommands.h"
#include "support/SmallTmpfs.h"
#include "support/UiFixture.h"
#include "ui/FrmHenkou.h"
#include "ui/MixPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mt {
namespace {

// Lets go of any open that waits for a writer on the FIFO at `path`, after a grace time far
// beyond what a refusal takes; it remembers having had to, which is the fault under test.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& path)
        : m_path(QFile::encodeName(path)), m_thread([this] { run(); }) {}
    ~FifoWatchdog() { stop(); }
    // True when something had waited on the FIFO.
    bool stop() {
        m_done = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_hadToRelease;
    }

private:
    void run() {
        for (int i = 0; i < 300 && !m_done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (!m_done) {
            m_hadToRelease = true;
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    QByteArray m_path;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_hadToRelease{false};
    std::thread m_thread;
};

class SettingFileCommandsTest : public test::MainWindowTest {
protected:
    // Unless a test says otherwise, changes are let go without saving.
    void SetUp() override { answerConfirmation(FrmHenkou::No); }

    SettingFileCommands& files() { return m_window.settingFiles(); }
    QAction& overwrite() { return *m_window.menuItem("mnuUwagaki"); }
    QByteArray read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll();
    }
    void saveAs(const QString& path) {
        m_platform.fileDialogs.answers.push_back(path);
        files().mnuFileSave_Click();
    }
    void open(const QString& path) {
        m_platform.fileDialogs.answers.push_back(path);
        files().mnuFileOpen_Click();
    }
    // The confirmation answers `answer` and records that it was asked.
    void answerConfirmation(int answer) {
        m_platform.modals.inspect = [this, answer](QDialog& dialog) {
            m_asked << dynamic_cast<FrmHenkou&>(dialog).Labellong->text();
            return answer;
        };
    }
    QStringList m_asked;
};

TEST_F(SettingFileCommandsTest, StartsAsANewBank) {
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - New"));
    EXPECT_FALSE(overwrite().isEnabled());
    EXPECT_TRUE(frame(3).CheckLoop->isChecked());
    EXPECT_TRUE(frame(3).CheckDuuk->isChecked());
    EXPECT_EQ(frame(3).Combo->currentIndex(), 6);
    EXPECT_FALSE(bank().bankChanged);
    EXPECT_TRUE(files().settingUntitled);
}

TEST_F(SettingFileCommandsTest, SavedBankOpensAgainTheSame) {
    addWav("キック, 1.wav", 22050, 1, 2205);
    addWav("b.wav", 44100, 2, 4410);
    load(0, "キック, 1.wav");
    load(5, "b.wav");
    frame(0).HSFre->setValue(3000);
    frame(0).HSVol->setValue(-12);
    frame(0).HSPan->setValue(-40);
    frame(0).Combo->setCurrentIndex(frame(0).Combo->findText("基準"));
    frame(5).Combo->setCurrentIndex(frame(5).Combo->findText("*2"));
    frame(5).CheckLoop->setChecked(false);
    frame(5).HSPan->setValue(33);
    const QString set = m_dir.filePath("ライブ");
    saveAs(set);
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - ライブ.mrw"));
    EXPECT_TRUE(overwrite().isEnabled());
    EXPECT_FALSE(bank().bankChanged);
    EXPECT_EQ(m_platform.fileDialogs.requests.back().filter,
              QStringLiteral("セッティングファイル (*.mrw)|*.mrw|"));
    EXPECT_EQ(m_platform.fileDialogs.requests.back().filterIndex, 2);
    const QByteArray saved = read(set + ".mrw");

    files().mnunew_Click();
    EXPECT_FALSE(bank().tracks[0].loaded);
    EXPECT_EQ(frame(0).HSFre->value(), 4410);
    open(set + ".mrw");
    EXPECT_EQ(m_platform.fileDialogs.requests.back().filter,
              QStringLiteral("すべてのファイル (*.*)|*.*|セッティングファイル (*.mrw)|*.mrw|"));
    EXPECT_EQ(m_platform.fileDialogs.requests.back().fileName, set + ".mrw")
        << "the dialog opens with the last file chosen";
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - ライブ.mrw"));
    EXPECT_TRUE(bank().tracks[0].loaded);
    EXPECT_TRUE(bank().tracks[5].loaded);
    EXPECT_FLOAT_EQ(bank().tracks[0].rateRatio, 2.0f);
    EXPECT_EQ(frame(0).HSFre->value(), 3000);
    EXPECT_EQ(frame(0).HSVol->value(), -12);
    EXPECT_EQ(frame(0).HSPan->value(), -40);
    EXPECT_EQ(frame(0).Combo->currentText(), QStringLiteral("基準"));
    EXPECT_EQ(frame(5).Combo->currentText(), QStringLiteral("*2"));
    EXPECT_FALSE(frame(5).CheckLoop->isChecked());
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("キック, 1.wav"));
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("0.147s"));
    EXPECT_TRUE(frame(0).ComStart->isEnabled());
    EXPECT_TRUE(m_window.menuItem("mnuLock")->isEnabled()) << "a reference came with the file";
    EXPECT_FALSE(bank().bankChanged);
    EXPECT_TRUE(m_platform.messages.shown.empty());

    // Saved again unchanged, the file is the same to the byte.
    saveAs(m_dir.filePath("again.mrw"));
    EXPECT_EQ(read(m_dir.filePath("again.mrw")), saved);
}

TEST_F(SettingFileCommandsTest, BrokenFilesEndInANewBank) {
    addWav("a.wav", 44100, 2, 100);
    load(1, "a.wav");
    const QString bad = m_dir.filePath("bad.mrw");
    ASSERT_TRUE(test::WriteFile(bad, QByteArray(" 4410 \r\n-80 \r\n")));
    open(bad);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text,
              bad + QStringLiteral("は Marrowtune で使用できるファイル形式ではありません"));
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune"));
    EXPECT_FALSE(bank().tracks[1].loaded);
    EXPECT_FALSE(overwrite().isEnabled());
    EXPECT_FALSE(bank().bankChanged);

    // Cancelled dialogs read and write nothing.
    files().mnuFileOpen_Click();
    files().mnuFileSave_Click();
    EXPECT_EQ(m_platform.messages.shown.size(), 1u);
}

TEST_F(SettingFileCommandsTest, ShortFilesLeaveTheLaterTracksAndTheOverwriteItem) {
    addWav("a.wav", 44100, 2, 100);
    load(7, "a.wav");

    std::array<TrackSetting, 8> three;
    three[1].fileName = "a.wav";
    three[1].path = m_dir.filePath("a.wav");
    const QList<QByteArray> lines = EncodeSettingFile(three).split('\n');
    const QByteArray bytes = lines.mid(0, qsizetype{3} * kSettingLinesPerTrack).join('\n') + '\n';
    const QString short3 = m_dir.filePath("three.mrw");
    ASSERT_TRUE(test::WriteFile(short3, bytes));
    open(short3);
    EXPECT_TRUE(bank().tracks[1].loaded);
    EXPECT_TRUE(bank().tracks[7].loaded) << "track 8 lay beyond the file's end";
    EXPECT_FALSE(overwrite().isEnabled());
}

TEST_F(SettingFileCommandsTest, AnEmptyFileOrOneThatIsNoFileIsRefusedWithoutWaiting) {
    const QString empty = m_dir.filePath("empty.mrw");
    ASSERT_TRUE(test::WriteFile(empty, QByteArray()));
    const QString fifo = m_dir.filePath("fifo.mrw");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    FifoWatchdog watchdog(fifo);
    for (const QString& path : {empty, fifo}) {
        addWav("a.wav", 44100, 2, 100);
        load(7, "a.wav");
        m_platform.messages.shown.clear();
        m_platform.fileDialogs.answers.push_back(path);
        m_window.menuItem("mnuFileOpen")->trigger();
        ASSERT_EQ(m_platform.messages.shown.size(), 1u) << path.toStdString();
        EXPECT_EQ(m_platform.messages.shown[0].text,
                  path + QStringLiteral("は Marrowtune で使用できるファイル形式ではありません"));
        EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune"));
        EXPECT_FALSE(bank().tracks[7].loaded);
        EXPECT_FALSE(overwrite().isEnabled());
    }
    EXPECT_FALSE(watchdog.stop()) << "opening the FIFO waited for a writer";
}

TEST_F(SettingFileCommandsTest, ATrackPathThatIsAFifoIsAMovedFileWithoutWaiting) {
    const QString fifo = m_dir.filePath("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::array<TrackSetting, 8> stored;
    stored[2].fileName = "fifo.wav";
    stored[2].path = fifo;
    const QString set = m_dir.filePath("fifo-track.mrw");
    ASSERT_TRUE(test::WriteFile(set, EncodeSettingFile(stored)));
    FifoWatchdog watchdog(fifo);
    open(set);
    EXPECT_FALSE(watchdog.stop()) << "reading the track waited for a writer";
    EXPECT_EQ(messageTexts(),
              std::vector<QString>{QStringLiteral(
                  "(3)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください")});
    EXPECT_FALSE(bank().tracks[2].loaded);
}

TEST_F(SettingFileCommandsTest, AFullDiskKeepsTheBankOnDiskAndSaysSo) {
    test::SmallTmpfs disk(64);
    if (!disk.mounted()) {
        GTEST_SKIP() << "Full-disk save not tested: " << disk.why();
    }
    const QString set = disk.filePath("bank.mrw");
    saveAs(set);
    const QByteArray before = read(set);
    ASSERT_FALSE(before.isEmpty());
    disk.fill();
    addWav("a long name so that the bank grows past a page of the disk.wav", 44100, 2, 100);
    for (int i = 0; i < 8; ++i) {
        load(i, "a long name so that the bank grows past a page of the disk.wav");
    }
    ASSERT_TRUE(bank().bankChanged);
    m_window.menuItem("mnuUwagaki")->trigger();
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_TRUE(m_platform.messages.shown[0].text.startsWith(
        set + QStringLiteral(" に保存できませんでした。")));
    EXPECT_TRUE(bank().bankChanged);
    EXPECT_EQ(read(set), before);
    m_platform.messages.shown.clear();
    open(set);
    EXPECT_TRUE(m_platform.messages.shown.empty());
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - bank.mrw"));
}

TEST_F(SettingFileCommandsTest, AMovedWavKeepsItsTitleButCannotPlay) {
    addWav("gone.wav", 44100, 2, 100);
    load(2, "gone.wav");
    const QString set = m_dir.filePath("set.mrw");
    saveAs(set);
    QFile::remove(m_dir.filePath("gone.wav"));
    open(set);
    EXPECT_FALSE(bank().tracks[2].loaded);
    EXPECT_FALSE(frame(2).ComStart->isEnabled());
    EXPECT_EQ(frame(2).lblWavTitle->text(), QStringLiteral("gone.wav"));
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text,
              QStringLiteral(
                  "(3)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください"));
}

TEST_F(SettingFileCommandsTest, OverwriteWritesTheFileThatWasOpened) {
    QDir(m_dir.path()).mkdir("elsewhere");
    const QString set = m_dir.filePath("elsewhere/set.mrw");
    saveAs(set);
    open(set);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    frame(4).HSVol->setValue(-20);
    m_window.menuItem("mnuUwagaki")->trigger();
    QDir::setCurrent(cwd);
    EXPECT_TRUE(read(set).contains("\r\n-20 \r\n"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("set.mrw")));
    EXPECT_FALSE(bank().bankChanged);
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - set.mrw"));
}

TEST_F(SettingFileCommandsTest, AFileThatCannotBeWrittenIsReportedAndTheBankStaysChanged) {
    frame(0).HSVol->setValue(-5);
    saveAs(m_dir.filePath("no/such/folder/set.mrw"));
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_TRUE(m_platform.messages.shown[0].text.startsWith(m_dir.filePath("no/such/folder")));
    EXPECT_TRUE(bank().bankChanged);
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - New"));
}

TEST_F(SettingFileCommandsTest, ChangedBankIsNotDiscardedWithoutAsking) {
    frame(0).HSVol->setValue(-5);
    answerConfirmation(FrmHenkou::Cancel);
    m_window.menuItem("mnunew")->trigger();
    EXPECT_EQ(frame(0).HSVol->value(), -5);
    EXPECT_EQ(m_asked.back(), QStringLiteral("ファイルは変更されています。保存しますか？"));
    EXPECT_FALSE(m_window.close()) << "cancel keeps the program running";
    files().mnuFileOpen_Click();
    EXPECT_TRUE(m_platform.fileDialogs.requests.empty());

    answerConfirmation(FrmHenkou::No);
    m_window.menuItem("mnunew")->trigger();
    EXPECT_EQ(frame(0).HSVol->value(), 0);

    // Yes on an untitled bank saves through the dialog, then goes on.
    frame(0).HSVol->setValue(-7);
    answerConfirmation(FrmHenkou::Yes);
    m_platform.fileDialogs.answers.push_back(m_dir.filePath("kept.mrw"));
    m_window.menuItem("mnunew")->trigger();
    EXPECT_TRUE(read(m_dir.filePath("kept.mrw")).startsWith(" 4410 \r\n-7 \r\n"));
    EXPECT_EQ(frame(0).HSVol->value(), 0);

    // Yes on a titled bank overwrites it; the question names the file.
    open(m_dir.filePath("kept.mrw"));
    frame(0).HSVol->setValue(-9);
    m_asked.clear();
    answerConfirmation(FrmHenkou::Yes);
    EXPECT_TRUE(m_window.close());
    EXPECT_EQ(m_asked, QStringList{"kept.mrw  は変更されています。変更を保存しますか？"});
    EXPECT_TRUE(read(m_dir.filePath("kept.mrw")).startsWith(" 4410 \r\n-9 \r\n"));
}

} // namespace
} // namespace mt
