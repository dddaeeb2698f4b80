// The WAV browser as a performer uses it: clicks and double-clicks in its lists, the arrow
// keys and Delete.
#include "support/UiFixture.h"

#include <QDir>
#include <QLabel>

namespace mt {
namespace {

class FileBrowserTest : public test::MainWindowTest {
protected:
    void SetUp() override { test::ShowActive(m_window); }
    QStringList listed() {
        QStringList names;
        for (int i = 0; i < browser().fileList->count(); ++i) {
            names << browser().fileList->item(i)->text();
        }
        return names;
    }
    void doubleClick(QListWidget& list, const QString& name) {
        test::ClickListItem(list, name); // QTest's double-click is only the second half of one
        QListWidgetItem* item = list.findItems(name, Qt::MatchExactly).front();
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
    }
    bool sounding() {
        m_output->render(4410); // a tenth of a second: a short sound that only played once ends
        VoiceStatus status;
        return bufferStatus(m_app.preview.buffer(), status) && status.playing;
    }
    void key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    QString described() {
        return browser().selectedFilePath() + " " + browser().previewFileSizeLabel->text() + " " +
               browser().wavInfoLabel->text();
    }
};

TEST_F(FileBrowserTest, ListsTheWavFilesAndDescribesTheSelectedOne) {
    QDir(m_dir.path()).mkdir("sub");
    addWav("b.WAV", 22050, 1, 22050, 8);
    addWav("a キック.wav", 44100, 2, 1000);
    addFile("notes.txt", "x");
    EXPECT_EQ(listed(), QStringList({"a キック.wav", "b.WAV"}));
    test::ClickListItem(*browser().fileList, "a キック.wav");
    EXPECT_EQ(described(), m_dir.filePath("a キック.wav") + " 4kB (44kHz,16bit,S)"); // 4044 bytes
    key(Qt::Key_Down); // the arrow keys select as a click does
    EXPECT_EQ(described(), m_dir.filePath("b.WAV") + " 22kB (22kHz,8bit,M)");

    EXPECT_EQ(FileBrowser::KilobyteText(2500) + FileBrowser::KilobyteText(3500) +
                  FileBrowser::KilobyteText(2000500) + FileBrowser::KilobyteText(2000501),
              QStringLiteral("2kB4kB2,000kB2,001kB")); // halves to even
    EXPECT_EQ(FileBrowser::FullPath("/", "a.wav"), QStringLiteral("/a.wav"));
    EXPECT_FALSE(browser().setDirPath(m_dir.filePath("vanished")));
    EXPECT_EQ(browser().dirPath(), m_dir.path()) << "a folder that vanished is not entered";
    doubleClick(*browser().folderList, "sub");
    EXPECT_EQ(browser().dirPath(), m_dir.filePath("sub"));
    EXPECT_TRUE(listed().isEmpty());
}

// One preview at a time, ended by a new selection; Delete asks about the selected file.
TEST_F(FileBrowserTest, PreviewsOneAtATimeAndDeleteAsksAboutTheSelectedFile) {
    addWav("one.wav", 44100, 2, 44100);
    addWav("two.wav", 44100, 2, 300);
    QListWidget& list = *browser().fileList;
    QTest::keyClick(&list, Qt::Key_Delete); // nothing selected: nothing to ask about
    EXPECT_TRUE(m_platform.messages.shown.empty());
    doubleClick(list, "one.wav");
    const std::int32_t first = m_app.preview.buffer();
    EXPECT_TRUE(sounding());
    prefer([](Preferences& p) { p.previewLoop = true; });
    doubleClick(list, "two.wav");
    VoiceStatus status;
    EXPECT_FALSE(bufferStatus(first, status)) << "the first preview buffer is still held";
    EXPECT_TRUE(sounding()) << "a looping preview repeats";
    EXPECT_EQ(m_platform.cursor.depth, 0);
    key(Qt::Key_Up);
    EXPECT_EQ(m_app.preview.buffer(), 0) << "a new selection ends the preview";

    // On disk, listed only when the list is read again.
    ASSERT_TRUE(test::WriteFile(m_dir.filePath("three.wav"), test::PcmWav(2, 44100, 16, 400)));
    m_platform.messages.answers = {false, true};
    key(Qt::Key_Delete);
    EXPECT_TRUE(m_platform.trash.trashed.empty()) << "deleted without a yes";
    key(Qt::Key_Delete);
    EXPECT_EQ(m_platform.trash.trashed, std::vector<QString>{m_dir.filePath("one.wav")});
    ASSERT_EQ(m_platform.messages.shown.size(), 2u);
    EXPECT_TRUE(m_platform.messages.shown[1].question &&
                m_platform.messages.shown[1].text.contains("one.wav"));
    EXPECT_EQ(listed().size(), 3) << "the list is read again";
}

} // namespace
} // namespace mt
