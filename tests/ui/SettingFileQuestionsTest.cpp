// What the file menu asks before it replaces or throws away something, and the lock after a
// load, reached as a performer reaches them: the menu bar, clicks on the track controls.
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/FrmHenkou.h"
#include "ui/MixPanel.h"
#include "ui/SettingFileCommands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace mt {
namespace {

class SettingFileQuestionsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        test::ShowActive(m_window);
        // The unsaved-changes window: recorded, and answered "no" (go on without saving).
        m_platform.modals.inspect = [this](QDialog& dialog) {
            m_asked << dynamic_cast<FrmHenkou&>(dialog).Labellong->text();
            return int(FrmHenkou::No);
        };
    }
    void choose(const char* item) { test::ChooseMenuItem(m_window, *m_window.menuItem(item)); }
    QByteArray read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll();
    }
    std::vector<test::ShownMessage> questions() const {
        std::vector<test::ShownMessage> asked;
        for (const test::ShownMessage& m : m_platform.messages.shown) {
            if (m.question) {
                asked.push_back(m);
            }
        }
        return asked;
    }
    QStringList m_asked;
};

// The dialog adds ".mrw" before it asks about replacing; a dialog that leaves the name bare
// gets the question from us, so no existing file is replaced without one.
TEST_F(SettingFileQuestionsTest, SaveAsNeverReplacesAFileNobodyWasAskedAbout) {
    const QString live = m_dir.filePath("live.mrw");
    ASSERT_TRUE(test::WriteFile(live, "the set of last night"));

    m_platform.fileDialogs.answers.push_back(m_dir.filePath("live"));
    m_platform.messages.answers.push_back(false);
    choose("mnuFileSave");
    ASSERT_EQ(m_platform.fileDialogs.requests.size(), 1u);
    EXPECT_EQ(m_platform.fileDialogs.requests[0].defaultSuffix, QStringLiteral("mrw"));
    ASSERT_EQ(questions().size(), 1u);
    EXPECT_TRUE(questions()[0].text.startsWith(QStringLiteral("live.mrw ")))
        << questions()[0].text.toStdString();
    EXPECT_EQ(read(live), "the set of last night");
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - New"));

    m_platform.fileDialogs.answers.push_back(m_dir.filePath("live"));
    m_platform.messages.answers.push_back(true);
    choose("mnuFileSave");
    EXPECT_EQ(questions().size(), 2u);
    EXPECT_TRUE(read(live).startsWith(" 4410 \r\n"));
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - live.mrw"));

    // The name as the dialog gives it after its own question: nothing more to ask.
    m_platform.fileDialogs.answers.push_back(live);
    choose("mnuFileSave");
    EXPECT_EQ(questions().size(), 2u);
    EXPECT_FALSE(QFile::exists(m_dir.filePath("live.mrw.mrw")));
}

// Every value the file stores is a change: ticking Loop or Duuk is asked about before "new".
TEST_F(SettingFileQuestionsTest, TickingLoopOrHoldIsAChangeNewAsksAbout) {
    QTest::mouseClick(frame(2).CheckLoop, Qt::LeftButton);
    ASSERT_FALSE(frame(2).CheckLoop->isChecked());
    choose("mnunew");
    EXPECT_EQ(m_asked.size(), 1);
    EXPECT_TRUE(frame(2).CheckLoop->isChecked()) << "the new bank";

    QTest::mouseClick(frame(5).CheckDuuk, Qt::LeftButton);
    choose("mnunew");
    EXPECT_EQ(m_asked.size(), 2);
    choose("mnunew"); // nothing changed since
    EXPECT_EQ(m_asked.size(), 2);
}

// A file that ends early leaves the later tracks as they were, yet the lock follows what the
// bank now holds: with the reference gone it is off and unavailable.
TEST_F(SettingFileQuestionsTest, AShortFileThatTakesTheReferenceAwayTurnsTheLockOff) {
    addWav("two.wav", 44100, 1, 88200);
    load(0, "two.wav");
    test::ChooseComboItem(*frame(0).Combo, QStringLiteral("基準"));
    QTest::mouseClick(m_window.mix().LabelLocked, Qt::LeftButton);
    QAction& lock = *m_window.menuItem("mnuLock");
    ASSERT_TRUE(lock.isChecked());

    const QString oneBlock = m_dir.filePath("one.mrw");
    ASSERT_TRUE(
        test::WriteFile(oneBlock, " 4410 \r\n 0 \r\n 0 \r\n\r\n\r\n 0 \r\n 1 \r\n 1 \r\n\r\n"));
    m_platform.fileDialogs.answers.push_back(oneBlock);
    choose("mnuFileOpen");
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - one.mrw"));
    EXPECT_EQ(frame(0).Combo->currentText(), QString());
    EXPECT_FALSE(lock.isChecked());
    EXPECT_FALSE(lock.isEnabled());
    EXPECT_FALSE(m_window.mix().LabelLocked->isEnabled());
}

} // namespace
} // namespace mt
