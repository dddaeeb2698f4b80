// The missing-files window, opened by a set whose samples moved, relinking them as a performer
// would: a folder searched, a file chosen. The search's own rules are SampleSearchTest's.
#include "ui/MissingFilesWindow.h"
#include "support/UiFixture.h"
#include "ui/SaveChangesWindow.h"

#include <QLabel>
#include <QTableWidget>

namespace mt {
namespace {

using test::PcmWav;
using test::WriteFile;

class MissingFilesWindowTest : public test::MainWindowTest {
protected:
    void open(const QString& set) {
        m_platform.fileDialogs.answers.push_back(set);
        choose("mnuFileOpen");
    }
    QStringList column(int c) {
        QStringList texts;
        for (int row = 0; row < window()->table->rowCount(); ++row) {
            texts << window()->table->item(row, c)->text();
        }
        return texts;
    }
    MissingFilesWindow* window() { return m_window.findChild<MissingFilesWindow*>(); }
    QString path(const char* relative) { return m_dir.filePath(QLatin1String(relative)); }
};

// A set copied to a folder of its own while its samples went elsewhere: the kick and the snare
// deep in a tree (beside a kick of another size), the hi-hat there twice, pad and bass nowhere.
TEST_F(MissingFilesWindowTest, ASearchRelinksWhatItFindsOnceAndAChosenFileOneMore) {
    const char* names[] = {"kick.wav", "snare.wav", "hat.wav", "pad.wav", "bass.wav"};
    const char* moved[] = {"moved/a/b/c/kick.wav", "moved/a/snare.wav", "moved/x/hat.wav", "", ""};
    std::array<TrackSetting, kTrackCount> stored;
    SetExtras extras;
    QStringList storedPaths;
    for (const char* folder : {"copy", "moved/a/b/c", "moved/x", "moved/y"}) {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(folder));
    }
    for (int i = 0; i < 5; ++i) {
        const QByteArray wav = PcmWav(1, 44100, 16, 8820 * (i + 1));
        storedPaths << path("old/") + names[i];
        stored[i] = {4410, 0, 0, names[i], storedPaths.back(), 0, 1, 1, ""};
        extras.files[i].size = wav.size();
        ASSERT_TRUE(i >= 3 || WriteFile(path(moved[i]), wav));
    }
    ASSERT_TRUE(WriteFile(path("moved/kick.wav"), PcmWav(1, 44100, 16, 100)));
    ASSERT_TRUE(QFile::copy(path(moved[2]), path("moved/y/hat.wav")));
    ASSERT_TRUE(WriteFile(path("copy/set.mrw"), EncodeSettingFile(stored)) &&
                WriteFile(path("copy/set.mrwx"), EncodeSetExtras(extras)));

    open(path("copy/set.mrw"));
    ASSERT_TRUE(window() && window()->isVisible());
    EXPECT_EQ(column(0) + column(2) + column(3), QStringList({"1", "2", "3", "4", "5"}) +
                                                     storedPaths +
                                                     QStringList(5, "見つかりません"));

    m_platform.fileDialogs.answers.push_back(path("moved"));
    QTest::mouseClick(window()->searchFolderButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window()->searching(); }));
    EXPECT_EQ(column(3), QStringList({"割り当てました", "割り当てました", "候補が 2 件",
                                      "見つかりません", "見つかりません"}));
    EXPECT_EQ(m_app.performance.missingTracks(), (std::vector<int>{2, 3, 4}));
    m_platform.fileDialogs.answers.push_back(path("moved/y/hat.wav"));
    QTest::mouseClick(window()->findChild<QPushButton*>("chooseFileButton(2)"), Qt::LeftButton);
    EXPECT_TRUE(QStringList({path("moved/x"), path("moved/y")})
                    .contains(m_platform.fileDialogs.requests.back().directory))
        << "the dialog starts at a candidate";
    ASSERT_TRUE(test::WaitForLoads(bank()));
    for (const int i : {0, 1, 2}) {
        EXPECT_EQ(bank().track(i).path, path(i == 2 ? "moved/y/hat.wav" : moved[i])) << i;
        EXPECT_TRUE(bank().track(i).loaded && bank().track(i).fileName == names[i]) << i;
    }
    EXPECT_EQ(window()->statusLabel->text(), "2 トラックのファイルが見つかりません");
    EXPECT_TRUE(bank().changed() && !bank().track(3).loaded);
    QTest::keyPress(window()->table, Qt::Key_Z); // the keys play wherever the focus is
    EXPECT_EQ(caption(0), "STOP");
    QTest::keyRelease(window()->table, Qt::Key_Z);

    // Closed, it gives the main window the keys back and stays closed while tracks leave the
    // list; the next open brings it back, the folders relinked from looked in first.
    QTest::mouseClick(window()->closeButton, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&m_window));
    m_app.bank.clear(3);
    EXPECT_FALSE(window()->isVisible());
    m_platform.modals.inspect = [](QDialog&) { return SaveChangesWindow::No; };
    open(path("copy/set.mrw"));
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(column(0) + column(3), QStringList({"4", "5", "見つかりません", "見つかりません"}));
    QTest::mouseClick(window()->closeButton, Qt::LeftButton);
    open(path("copy/set.mrw")); // the same tracks missing again
    EXPECT_TRUE(window()->isVisible());
}

} // namespace
} // namespace mt
