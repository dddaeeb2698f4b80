// The file menu reaches the performance's document through the menu bar, and the window shows
// it: the caption, the overwrite item, the unsaved-changes window's question. The document's
// own rules are PerformanceTest's.
#include "support/UiFixture.h"
#include "ui/CollectWindow.h"
#include "ui/SaveChangesWindow.h"

#include <QLabel>

namespace mt {
namespace {

class SettingFileCommandsTest : public test::MainWindowTest {
protected:
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
    bool canOverwrite() { return m_window.menuItem("mnuUwagaki")->isEnabled(); }
    QString title() { return m_window.windowTitle(); }
    QStringList m_asked;
};

TEST_F(SettingFileCommandsTest, TheFileMenuReachesTheDocumentAndTheWindowShowsIt) {
    showWindow();
    QTest::mouseClick(frame(2).loopCheck, Qt::LeftButton); // ticking a box is a change
    answer(SaveChangesWindow::Cancel);
    command("mnunew");
    EXPECT_EQ(m_asked, QStringList{"ファイルは変更されています。保存しますか？"});
    EXPECT_FALSE(m_window.close()) << "cancel keeps the program running";

    const QString set = m_dir.filePath("set.mrw");
    command("mnuFileSave", set);
    EXPECT_EQ(title(), QStringLiteral("Marrowtune - set.mrw"));
    EXPECT_TRUE(canOverwrite() && QFile::exists(set));
    bank().setVolume(0, -9);
    command("mnuUwagaki");
    QTest::mouseClick(frame(5).holdCheck, Qt::LeftButton);
    m_asked.clear();
    answer(SaveChangesWindow::No);
    command("mnuFileOpen", set);
    EXPECT_EQ(m_asked, QStringList{"set.mrw  は変更されています。変更を保存しますか？"});
    EXPECT_TRUE(frame(5).holdCheck->isChecked() && !frame(2).loopCheck->isChecked());
    EXPECT_EQ(frame(0).volumeBar->value(), -9) << "overwritten, then opened";
    command("mnunew");
    EXPECT_FALSE(canOverwrite() || title() != QStringLiteral("Marrowtune - New"));
}

// The collect command: a progress window while the file menu waits, a box for a failure alone,
// the caption for a success, and 中止.
TEST_F(SettingFileCommandsTest, CollectShowsItsProgressAndTellsOnlyAFailure) {
    addWav("kick.wav", 44100, 1, 100);
    load(0, "kick.wav");
    addFile("blocked samples", "a file where the folder would go");
    const auto collect = [this](const char* set, bool cancel = false) {
        command("mnuFileCollect", m_dir.filePath(set));
        auto* progress = m_window.findChild<CollectWindow*>();
        ASSERT_TRUE(progress != nullptr && progress->isVisible());
        EXPECT_FALSE(m_window.menuItem("mnuFileOpen")->isEnabled() || canOverwrite());
        if (cancel) {
            QTest::mouseClick(progress->cancelButton, Qt::LeftButton);
        }
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_app.performance.collecting(); }));
        EXPECT_TRUE(m_window.findChild<CollectWindow*>() == nullptr &&
                    m_window.menuItem("mnuFileOpen")->isEnabled());
    };
    collect("blocked.mrw");
    collect("live.mrw");
    collect("x.mrw", true);
    ASSERT_EQ(messageTexts().size(), 1u);
    EXPECT_TRUE(messageTexts()[0].startsWith("フォルダ ") && title() == "Marrowtune - live.mrw");
    EXPECT_TRUE(canOverwrite() && QFile::exists(m_dir.filePath("live samples/kick.wav")) &&
                !QFile::exists(m_dir.filePath("x.mrw")));
}

} // namespace
} // namespace mt
