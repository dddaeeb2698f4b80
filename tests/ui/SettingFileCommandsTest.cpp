// The file menu's commands on the whole bank, reached through the menu bar with the file
// dialogs and the unsaved-changes window answered by the test.
#include "files/SettingFile.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/MixPanel.h"
#include "ui/SaveChangesWindow.h"

#include <QCheckBox>
#include <QLabel>

#include <sys/stat.h>
#include <unistd.h>

namespace mt {
namespace {

class SettingFileCommandsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        test::ShowActive(m_window);
        answer(SaveChangesWindow::No);
    }
    // The unsaved-changes window records its question and answers `answer`.
    void answer(int answer) {
        m_platform.modals.inspect = [this, answer](QDialog& dialog) {
            m_asked << dynamic_cast<SaveChangesWindow&>(dialog).questionLabel->text();
            return answer;
        };
    }
    // The menu command, with the file dialog answering `path` (none: cancelled).
    void command(const char* item, const std::optional<QString>& path = std::nullopt) {
        if (path) {
            m_platform.fileDialogs.answers.push_back(path);
        }
        choose(item);
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    bool canOverwrite() { return m_window.menuItem("mnuUwagaki")->isEnabled(); }
    QString title() { return m_window.windowTitle(); }
    QStringList m_asked;
};

TEST_F(SettingFileCommandsTest, ASavedBankOpensAgainTheSameAndIsOverwrittenWhereItIs) {
    EXPECT_FALSE(canOverwrite());
    bank().assign(0, addWav("キック, 1.wav", 22050, 1, 2205));
    bank().assign(5, addWav("b.wav", 44100, 2, 4410));
    bank().setSpeed(0, 3000);
    bank().setVolume(0, -12);
    bank().setPan(0, -40);
    bank().setRatio(0, "基準");
    bank().setLoop(5, false);
    QDir(m_dir.path()).mkdir("elsewhere");
    const QString set = m_dir.filePath("elsewhere/ライブ");
    // Beside the set: the user's files, another save's at work and one a killed save left
    // (the last alone goes), with the hours each is untouched.
    const std::pair<const char*, int> beside[] = {{"ライブ.mrw.backup", 2},
                                                  {"ライブ.mrw.ORIG01", 2},
                                                  {"ライブ.mrw.2024v1", 2},
                                                  {".ライブ.mrw.marrowtune-save-Ab12Cd", 0},
                                                  {".live.mrw.marrowtune-save-Ab12Cd", 2},
                                                  {".ライブ.mrw.marrowtune-save-Xy34Zw", 2}};
    for (const auto& [name, hours] : beside) {
        QFile file(m_dir.filePath("elsewhere/") + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(qint64{-3600} * hours),
                                     QFileDevice::FileModificationTime));
    }
    command("mnuFileSave", set);
    EXPECT_EQ(QDir(m_dir.filePath("elsewhere")).entryList(QDir::Files | QDir::Hidden).size(), 6);
    EXPECT_FALSE(QFile::exists(m_dir.filePath("elsewhere/.ライブ.mrw.marrowtune-save-Xy34Zw")));
    EXPECT_EQ(title(), QStringLiteral("Marrowtune - ライブ.mrw"));
    EXPECT_TRUE(canOverwrite());
    const QByteArray bytes = read(set + ".mrw");

    command("mnunew"); // not changed since the save: nothing to ask
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(std::make_tuple(frame(0).HSFre->value(), frame(0).ratioBox->currentIndex(),
                              frame(5).CheckLoop->isChecked(), frame(5).CheckDuuk->isChecked()),
              std::make_tuple(4410, 6, true, true));
    command("mnuFileOpen", set + ".mrw");
    EXPECT_EQ(m_platform.fileDialogs.requests.back().fileName, set + ".mrw") << "the last file";
    EXPECT_EQ(title(), QStringLiteral("Marrowtune - ライブ.mrw"));
    EXPECT_EQ(std::make_tuple(frame(0).HSFre->value(), frame(0).HSVol->value(),
                              frame(0).HSPan->value(), frame(0).ratioBox->currentText(),
                              frame(5).CheckLoop->isChecked()),
              std::make_tuple(3000, -12, -40, QStringLiteral("基準"), false));
    EXPECT_EQ(frame(0).lblWavTitle->text() + frame(0).lblSample->text(), "キック, 1.wav0.147s");
    EXPECT_TRUE(frame(0).ComStart->isEnabled() && frame(5).ComStart->isEnabled());
    EXPECT_TRUE(m_window.menuItem("mnuLock")->isEnabled()) << "a reference came with the file";
    EXPECT_TRUE(m_asked.isEmpty() && m_platform.messages.shown.empty());
    EXPECT_FALSE(bank().bankChanged);

    const QString again = m_dir.filePath("elsewhere/again.mrw");
    command("mnuFileSave", again);
    EXPECT_EQ(read(again), bytes) << "saved again unchanged";

    // Overwrite writes the file last named, whatever the working folder.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    bank().setVolume(4, -20);
    command("mnuUwagaki");
    QDir::setCurrent(cwd);
    EXPECT_TRUE(read(again).contains("\r\n-20 \r\n"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("again.mrw")) || bank().bankChanged);

    // A file that ends early leaves the later tracks and the overwrite item as they were, yet
    // the lock follows what the bank now holds: with the reference gone, off and unavailable.
    QTest::mouseClick(m_window.mix().LabelLocked, Qt::LeftButton);
    QAction& lock = *m_window.menuItem("mnuLock");
    ASSERT_TRUE(lock.isChecked());
    std::array<TrackSetting, 8> three;
    three[1].path = m_dir.filePath("b.wav");
    const QList<QByteArray> lines = EncodeSettingFile(three).split('\n');
    ASSERT_TRUE(
        test::WriteFile(m_dir.filePath("three.mrw"),
                        lines.mid(0, qsizetype{3} * kSettingLinesPerTrack).join('\n') + '\n'));
    command("mnuFileOpen", m_dir.filePath("three.mrw"));
    EXPECT_EQ(title(), QStringLiteral("Marrowtune - three.mrw"));
    EXPECT_TRUE(frame(1).ComStart->isEnabled() && frame(5).ComStart->isEnabled());
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_TRUE(canOverwrite());
    EXPECT_FALSE(lock.isChecked() || lock.isEnabled() || m_window.mix().LabelLocked->isEnabled());
}

// Unreadable and damaged sets leave the bank as it was; stored sounds that are gone are told
// in track order and keep their titles. FIFOs among them are never waited on.
TEST_F(SettingFileCommandsTest, BrokenSetsAndMissingSoundsAreToldWithoutWaiting) {
    const QString a = addWav("a.wav", 44100, 2, 100);
    bank().assign(1, a);
    bank().assign(7, a);
    // A folder named with line breaks, whose lines would make a ninth block at -70 dB: its
    // file is refused when assigned, so a save stays 72 lines.
    const QString folder = m_dir.filePath(
        "x\r\n 0 \r\n 1 \r\n 1 \r\n\r\n 4410 \r\n-70 \r\n 0 \r\nevil.wav\r\nevil.wav");
    ASSERT_TRUE(QDir().mkpath(folder) &&
                test::WriteFile(folder + "/b.wav", test::PcmWav(2, 44100, 16, 400)));
    browser().setDirPath(folder);
    test::ClickListItem(*browser().fileList, "b.wav");
    QTest::mouseClick(frame(1).ComChange, Qt::LeftButton);
    EXPECT_EQ(messageTexts(), std::vector<QString>{"ファイル名かフォルダ名に改行が入っているため、"
                                                   "このファイルはトラックに割り当てられません。"
                                                   "名前を変えてください"});
    EXPECT_EQ(bank().track(1).path, a);
    command("mnuFileSave", m_dir.filePath("lines.mrw"));
    EXPECT_EQ(read(m_dir.filePath("lines.mrw")).split('\n').size(), 73);

    // Sets older versions wrote with such a folder, what a failed write leaves, and a FIFO.
    std::array<TrackSetting, 8> stored;
    stored[2].path = "@";
    const QString bad = m_dir.filePath("bad.mrw");
    for (const char* name : {"crlf.mrw", "lf.mrw"}) {
        const QString breaks = name[0] == 'c' ? folder : m_dir.filePath("x\ny");
        ASSERT_TRUE(test::WriteFile(m_dir.filePath(name),
                                    EncodeSettingFile(stored).replace("@", breaks.toUtf8())));
    }
    ASSERT_TRUE(test::WriteFile(bad, {}));
    for (const char* fifo : {"fifo.mrw", "fifo.wav"}) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath(fifo)).constData(), 0600), 0);
    }
    ::alarm(30); // an open that waits for a writer on a FIFO ends the test here
    bank().setVolume(7, -5);
    for (const QString& path :
         {m_dir.filePath("crlf.mrw"), m_dir.filePath("lf.mrw"), bad, m_dir.filePath("fifo.mrw")}) {
        m_platform.messages.shown.clear();
        command("mnuFileOpen", path);
        EXPECT_EQ(
            messageTexts(),
            std::vector<QString>{path + "は Marrowtune で使用できるファイル形式ではありません"});
        EXPECT_EQ(title(), QStringLiteral("Marrowtune - lines.mrw"));
        EXPECT_TRUE(frame(7).ComStart->isEnabled() && frame(1).ComStart->isEnabled());
        EXPECT_EQ(bank().track(7).volume, -5);
        EXPECT_TRUE(canOverwrite() && bank().bankChanged) << "the bank as it was";
    }
    command("mnuFileOpen"); // cancelled: nothing read, nothing written
    command("mnuFileSave");
    EXPECT_EQ(m_platform.messages.shown.size(), 1u);

    stored = {};
    stored[0] = {4410, 0, 0, "a.wav", a, 0, 1, 1, ""};
    stored[2] = {4410, 0, 0, "fifo.wav", m_dir.filePath("fifo.wav"), 0, 1, 1, ""};
    stored[4] = {4410, 0, 0, "gone.wav", m_dir.filePath("gone.wav"), 0, 1, 1, ""};
    ASSERT_TRUE(test::WriteFile(m_dir.filePath("set.mrw"), EncodeSettingFile(stored)));
    m_platform.messages.shown.clear();
    command("mnuFileOpen", m_dir.filePath("set.mrw"));
    ::alarm(0);
    const QString moved = ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください";
    EXPECT_EQ(messageTexts(), std::vector<QString>({"(3" + moved, "(5" + moved}));
    EXPECT_EQ(frame(4).lblWavTitle->text(), QStringLiteral("gone.wav"));
    EXPECT_FALSE(frame(4).ComStart->isEnabled() || frame(2).ComStart->isEnabled());
    EXPECT_TRUE(frame(0).ComStart->isEnabled());
}

TEST_F(SettingFileCommandsTest, NothingIsThrownAwayOrReplacedWithoutAskingOrLostUntold) {
    QTest::mouseClick(frame(2).CheckLoop, Qt::LeftButton); // ticking a box is a change
    command("mnuFileSave", m_dir.filePath("no/such/folder/set.mrw"));
    EXPECT_TRUE(messageTexts().at(0).startsWith(m_dir.filePath("no/such/folder/set.mrw")));
    EXPECT_EQ(title(), QStringLiteral("Marrowtune - New")) << "a failed save names nothing";
    m_platform.messages.shown.clear();
    answer(SaveChangesWindow::Cancel);
    command("mnunew");
    EXPECT_FALSE(frame(2).CheckLoop->isChecked());
    EXPECT_EQ(m_asked, QStringList{"ファイルは変更されています。保存しますか？"});
    EXPECT_FALSE(m_window.close()) << "cancel keeps the program running";
    command("mnuFileOpen");
    EXPECT_EQ(m_platform.fileDialogs.requests.size(), 1u) << "asked before the dialog";
    answer(SaveChangesWindow::No);
    command("mnunew");
    EXPECT_TRUE(frame(2).CheckLoop->isChecked());

    // Yes on an untitled bank saves through the dialog. The dialog adds ".mrw" before it asks
    // about replacing; for a bare name we ask, so no file is replaced without a question.
    QTest::mouseClick(frame(5).CheckDuuk, Qt::LeftButton);
    const QString kept = m_dir.filePath("kept.mrw");
    ASSERT_TRUE(test::WriteFile(kept, "the set of last night"));
    m_platform.messages.answers = {false, true};
    answer(SaveChangesWindow::Yes);
    command("mnunew", m_dir.filePath("kept"));
    EXPECT_EQ(read(kept), "the set of last night");
    EXPECT_FALSE(frame(5).CheckDuuk->isChecked()) << "the refused save ends the command";
    command("mnunew", m_dir.filePath("kept"));
    EXPECT_TRUE(read(kept).startsWith(" 4410 \r\n 0 \r\n"));
    EXPECT_TRUE(frame(5).CheckDuuk->isChecked());
    EXPECT_EQ(m_platform.fileDialogs.requests.back().defaultSuffix, QStringLiteral("mrw"));
    ASSERT_EQ(m_platform.messages.shown.size(), 2u);
    EXPECT_TRUE(m_platform.messages.shown[0].question);
    EXPECT_TRUE(m_platform.messages.shown[0].text.startsWith(QStringLiteral("kept.mrw ")));

    // Yes on a titled bank overwrites it; the question names the file.
    command("mnuFileOpen", kept);
    bank().setVolume(0, -9);
    m_asked.clear();
    EXPECT_TRUE(m_window.close());
    EXPECT_EQ(m_asked, QStringList{"kept.mrw  は変更されています。変更を保存しますか？"});
    EXPECT_TRUE(read(kept).startsWith(" 4410 \r\n-9 \r\n"));
    command("mnuFileSave", kept); // the name as the dialog gives it after its own question
    EXPECT_EQ(m_platform.messages.shown.size(), 2u);
    EXPECT_FALSE(QFile::exists(kept + ".mrw"));
}

} // namespace
} // namespace mt
