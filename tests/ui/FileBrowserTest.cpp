#include "audio/WavInfoText.h"
#include "platform/DesktopServices.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

namespace mt {
namespace {

class FileBrowserTest : public test::MainWindowTest {
protected:
    QStringList listed() {
        QStringList names;
        for (int i = 0; i < browser().File2->count(); ++i) {
            names << browser().File2->item(i)->text();
        }
        return names;
    }
    bool sounding(std::int32_t buffer) {
        renderBlock();
        VoiceStatus status;
        return dsGetStatus(buffer, status) && status.playing;
    }
};

TEST(FileBrowserText, SizesAreWholeKilobytesWithHalvesToEven) {
    EXPECT_EQ(FileBrowser::KilobyteText(999), QStringLiteral("1kB"));
    EXPECT_EQ(FileBrowser::KilobyteText(499), QStringLiteral("0kB"));
    EXPECT_EQ(FileBrowser::KilobyteText(2500), QStringLiteral("2kB"));
    EXPECT_EQ(FileBrowser::KilobyteText(3500), QStringLiteral("4kB"));
    EXPECT_EQ(FileBrowser::KilobyteText(2000500), QStringLiteral("2,000kB"));
    EXPECT_EQ(FileBrowser::KilobyteText(2000501), QStringLiteral("2,001kB"));
    EXPECT_EQ(FileBrowser::FullPath("/", "a.wav"), QStringLiteral("/a.wav"));
    EXPECT_EQ(FileBrowser::FullPath("/home/me", "a.wav"), QStringLiteral("/home/me/a.wav"));
}

TEST_F(FileBrowserTest, ListsWavFilesAndDescribesTheClickedOne) {
    QDir(m_dir.path()).mkdir("sub");
    addWav("b.WAV", 22050, 1, 100, 8);
    addWav("a キック.wav", 44100, 2, 1000);
    addFile("notes.txt", "x");
    EXPECT_EQ(listed(), QStringList({"a キック.wav", "b.WAV"}));
    EXPECT_EQ(browser().File2->toolTip(), QStringLiteral("ダブルクリックでプレビュー"));
    EXPECT_FALSE(browser().Dir2->findItems("sub", Qt::MatchExactly).isEmpty());

    clickFile("a キック.wav");
    EXPECT_EQ(bank().browserFilePath, m_dir.filePath("a キック.wav"));
    EXPECT_EQ(browser().lblPreviewFileSize->text(), QStringLiteral("4kB")); // 4044 bytes
    EXPECT_EQ(browser().lblWavInfo->text(), QStringLiteral("(44kHz,16bit,S)"));
    clickFile("b.WAV");
    EXPECT_EQ(browser().lblWavInfo->text(), QStringLiteral("(22kHz,8bit,M)"));

    // A folder that vanished cannot be entered; the browser keeps the one it shows.
    EXPECT_FALSE(browser().setDirPath(m_dir.filePath("vanished")));
    EXPECT_EQ(browser().dirPath(), m_dir.path());
    ASSERT_TRUE(browser().setDirPath(m_dir.filePath("sub")));
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(FileBrowserTest, OnePreviewAtATimeReleasedBySelection) {
    addWav("one.wav", 44100, 2, 44100);
    addWav("two.wav", 44100, 2, 44100);
    select("one.wav");
    browser().File2_DblClick();
    const std::int32_t first = browser().previewBuffer();
    ASSERT_NE(first, 0);
    EXPECT_TRUE(sounding(first));

    select("two.wav");
    browser().File2_DblClick();
    const std::int32_t second = browser().previewBuffer();
    VoiceStatus status;
    EXPECT_FALSE(dsGetStatus(first, status)) << "the first preview buffer is still held";
    EXPECT_TRUE(sounding(second));
    EXPECT_EQ(bank().browserFilePath, m_dir.filePath("two.wav"));

    clickFile("one.wav");
    EXPECT_EQ(browser().previewBuffer(), 0);
    EXPECT_FALSE(dsGetStatus(second, status));
    EXPECT_EQ(m_platform.cursor.depth, 0);
}

TEST_F(FileBrowserTest, LoopingPreviewRepeats) {
    m_app.previewLoop = true;
    addWav("short.wav", 44100, 2, 300);
    select("short.wav");
    browser().File2_DblClick();
    m_output->render(44100 / 10);
    EXPECT_TRUE(sounding(browser().previewBuffer()));
}

TEST_F(FileBrowserTest, DeleteKeyTrashesTheClickedFileAfterAsking) {
    // The real desktop trash, in a data folder of the test's own.
    QTemporaryDir dataHome;
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    DesktopTrash realTrash;
    test::TestPlatform platform;
    PlatformServices services = platform.services;
    PlatformServices withTrash{
        services.messages, services.fileDialogs, services.cursor, services.settings,
        realTrash,         services.processes,   services.urls,   services.modals};
    AppContext app(withTrash);
    app.sound.soundLibHandle = dsInitializeOn(std::make_unique<OfflineOutput>());
    Form1 window(app);
    FileBrowser& b = window.browser();
    ASSERT_TRUE(test::WriteFile(m_dir.filePath("keep.wav"), test::PcmWav(2, 44100, 16, 400)));
    ASSERT_TRUE(test::WriteFile(m_dir.filePath("bin.wav"), test::PcmWav(2, 44100, 16, 400)));
    b.setDirPath(m_dir.path());

    QTest::keyClick(b.File2, Qt::Key_Delete); // nothing clicked yet
    EXPECT_TRUE(platform.messages.shown.empty());

    b.File2->setCurrentItem(b.File2->findItems("bin.wav", Qt::MatchExactly).front());
    b.File2_DblClick(); // previewing the file that goes to the trash
    platform.messages.answers = {false};
    QTest::keyClick(b.File2, Qt::Key_Delete);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("bin.wav"))) << "deleted without a yes";

    QTest::keyClick(b.File2, Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("bin.wav")));
    EXPECT_TRUE(QFileInfo::exists(dataHome.filePath("Trash/files/bin.wav")));
    EXPECT_EQ(b.File2->count(), 1);
    EXPECT_EQ(b.File2->item(0)->text(), QStringLiteral("keep.wav"));
    EXPECT_EQ(platform.messages.shown.size(), 2u);
    EXPECT_TRUE(platform.messages.shown.back().question);
    EXPECT_NE(b.previewBuffer(), 0) << "the preview plays on from memory";
    EXPECT_EQ(app.bank.browserFilePath, m_dir.filePath("bin.wav"));

    app.sound.TerminateSoundLibrary();
    if (old.isEmpty()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", old);
    }
}

// The arrow keys move the selection as a click does: the file Delete asks about and trashes,
// the labels and the preview all follow the file the list shows selected.
TEST_F(FileBrowserTest, ArrowKeysSelectAndDeleteActsOnTheSelectedFile) {
    addWav("a.wav", 44100, 2, 4410);
    addWav("b.wav", 22050, 1, 22050, 8);
    test::ShowActive(m_window);
    QListWidget& list = *browser().File2;
    test::ClickListItem(list, "a.wav");
    ASSERT_EQ(QApplication::focusWidget(), &list) << "focus follows the click";
    const QString aSize = browser().lblPreviewFileSize->text();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                       list.visualItemRect(list.findItems("a.wav", Qt::MatchExactly)[0]).center());
    ASSERT_NE(browser().previewBuffer(), 0);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(bank().browserFilePath, m_dir.filePath("b.wav"));
    EXPECT_EQ(browser().lblPreviewFileSize->text(),
              FileBrowser::KilobyteText(QFileInfo(m_dir.filePath("b.wav")).size()));
    EXPECT_NE(browser().lblPreviewFileSize->text(), aSize);
    EXPECT_EQ(browser().lblWavInfo->text(), "(" + FormatWavInfo(m_dir.filePath("b.wav"), 0) + ")");
    EXPECT_EQ(browser().previewBuffer(), 0) << "a new selection ends the preview";

    m_platform.messages.answers = {true};
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_TRUE(m_platform.messages.shown[0].text.contains("b.wav"));
    EXPECT_EQ(m_platform.trash.trashed, std::vector<QString>{m_dir.filePath("b.wav")});

    // Back up with the other arrow: the first file again.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(bank().browserFilePath, m_dir.filePath("a.wav"));
}

} // namespace
} // namespace mt
