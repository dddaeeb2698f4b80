#include "files/SettingFile.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/Form2.h"
#include "ui/FrmWavInfo.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace mt {
namespace {

const QColor kMagenta(255, 0, 255);

class TrackLoadingTest : public test::MainWindowTest {
protected:
    QColor numberColour(int track) {
        return frame(track).Label4->palette().color(QPalette::Window);
    }
};

// What an assignment derives is the bank's; the window shows it.
TEST_F(TrackLoadingTest, AssignmentShowsTitlePlayingTimeAndSelection) {
    addWav("a44.wav", 44100, 2, 100000);
    addWav("b22.wav", 22050, 1, 1000);

    load(0, "a44.wav");
    EXPECT_TRUE(bank().tracks[0].loaded);
    EXPECT_NE(bank().tracks[0].buffer, 0);
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("2.268s"));
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("a44.wav"));
    EXPECT_EQ(frame(0).lblWavTitle->toolTip(), m_dir.filePath("a44.wav"));
    EXPECT_TRUE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(bank().selectedTrack, 0);
    EXPECT_EQ(numberColour(0), kMagenta);
    EXPECT_TRUE(bank().bankChanged);
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_GE(m_platform.cursor.waits, 1);

    load(4, "b22.wav");
    EXPECT_EQ(bank().selectedTrack, 4);
    EXPECT_EQ(numberColour(4), kMagenta);
    EXPECT_NE(numberColour(0), kMagenta);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(TrackLoadingTest, ReassignmentFreesTheOldBufferAndAFailedLoadLeavesTheTrackEmpty) {
    addWav("good.wav", 44100, 2, 1000);
    addFile("broken.wav", QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    load(2, "good.wav");
    const std::int32_t first = bank().tracks[2].buffer;
    VoiceStatus status;
    ASSERT_TRUE(dsGetStatus(first, status));

    load(2, "good.wav");
    EXPECT_FALSE(dsGetStatus(first, status)) << "the old buffer was not freed";
    EXPECT_TRUE(bank().tracks[2].loaded);

    load(2, "broken.wav");
    EXPECT_FALSE(bank().tracks[2].loaded);
    EXPECT_EQ(bank().tracks[2].path, m_dir.filePath("broken.wav"));
    EXPECT_TRUE(bank().tracks[2].fileName.isEmpty());
    EXPECT_FALSE(frame(2).ComStart->isEnabled());
    EXPECT_EQ(frame(2).lblWavTitle->text(), QString());
    EXPECT_EQ(frame(2).lblSample->text(), QStringLiteral("s"));
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral(
                                  "読み込み失敗。WAVファイルに何らかの問題があります")});
    EXPECT_EQ(m_platform.messages.shown.front().title, QStringLiteral("Marrowtune"));
    EXPECT_EQ(m_platform.cursor.depth, 0);
}

TEST_F(TrackLoadingTest, EmptyFilesAndNoSelectionLeaveTheTrackAlone) {
    addWav("good.wav", 44100, 2, 1000);
    addFile("empty.wav", QByteArray());
    tracks().ComChange_Click(1); // nothing selected yet
    EXPECT_FALSE(bank().tracks[1].loaded);
    EXPECT_TRUE(m_platform.messages.shown.empty());

    load(1, "good.wav");
    load(1, "empty.wav");
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("このファイルはサイズが0です")});
    EXPECT_TRUE(bank().tracks[1].loaded) << "a zero-byte file must not clear the track";
    EXPECT_EQ(bank().tracks[1].fileName, QStringLiteral("good.wav"));

    // Deleted between listing and click: the read failure, not a crash.
    select("good.wav");
    QFile::remove(m_dir.filePath("good.wav"));
    tracks().ComChange_Click(1);
    EXPECT_FALSE(bank().tracks[1].loaded);
    EXPECT_EQ(messageTexts().back(),
              QStringLiteral("読み込み失敗。WAVファイルに何らかの問題があります"));
}

// Where the selection goes is the bank's; the window shows it and empties the frame.
TEST_F(TrackLoadingTest, ClearingEmptiesTheFrameAndMovesTheHighlight) {
    addWav("a.wav", 44100, 2, 100);
    load(2, "a.wav");
    load(5, "a.wav");
    load(2, "a.wav"); // selected 2
    QTest::mouseClick(frame(2).ComClear, Qt::LeftButton);
    EXPECT_FALSE(bank().tracks[2].loaded);
    EXPECT_EQ(numberColour(5), kMagenta);
    EXPECT_NE(numberColour(2), kMagenta);
    EXPECT_EQ(frame(2).lblWavTitle->text(), QString());
    EXPECT_EQ(frame(2).lblSample->text(), QStringLiteral("s"));
    EXPECT_FALSE(frame(2).ComStart->isEnabled());
    EXPECT_TRUE(frame(2).ComChange->isEnabled());
}

TEST_F(TrackLoadingTest, ReloadRecomputesOrReportsTheMovedFile) {
    const QString path = addWav("r.wav", 22050, 2, 500);
    ASSERT_TRUE(ReloadTrack(m_app, 3, path));
    EXPECT_FLOAT_EQ(bank().tracks[3].rateRatio, 2.0f);
    EXPECT_FLOAT_EQ(bank().tracks[3].length44k, 1000.0f);
    EXPECT_NE(bank().tracks[3].buffer, 0);

    const std::int32_t before = bank().tracks[3].buffer;
    EXPECT_FALSE(ReloadTrack(m_app, 2, m_dir.filePath("gone.wav")));
    EXPECT_EQ(messageTexts(),
              std::vector<QString>{QStringLiteral(
                  "(3)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください")});
    EXPECT_EQ(bank().tracks[3].buffer, before);
    EXPECT_FLOAT_EQ(bank().tracks[2].length44k, 0.0f);
}

// A track is loaded only with a buffer to play: a file the library cannot decode, or no sound
// device at all, leaves it empty, whether assigned or opened from a setting file.
TEST_F(TrackLoadingTest, AFileWithNothingToPlayLeavesTheTrackEmpty) {
    // "data" declares 0 bytes with samples after it: the reader counts 0 frames, the decoder
    // finds nothing to play.
    addFile("zero.wav",
            test::Chunk("RIFF", QByteArray("WAVE") +
                                    test::Chunk("fmt ", test::FmtBody(1, 2, 44100, 16)) + "data" +
                                    test::Le32(0) + QByteArray(4000, 'x')));
    const QString good = addWav("good.wav", 44100, 2, 1000);
    std::array<TrackSetting, 8> set;
    set[0].fileName = "zero.wav";
    set[0].path = m_dir.filePath("zero.wav");
    set[1].fileName = "good.wav";
    set[1].path = good;
    const QString bankPath = m_dir.filePath("bank.mrw");
    ASSERT_TRUE(test::WriteFile(bankPath, EncodeSettingFile(set)));
    m_platform.fileDialogs.answers.push_back(bankPath);
    m_window.menuItem("mnuFileOpen")->trigger();
    EXPECT_FALSE(bank().tracks[0].loaded);
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("s"));
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("zero.wav")) << "the set keeps it";
    EXPECT_TRUE(bank().tracks[1].loaded);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown.front().title, QStringLiteral("VbDSnd.Dll"));

    assign(1, "zero.wav");
    EXPECT_FALSE(bank().tracks[1].loaded);
    EXPECT_FALSE(frame(1).ComStart->isEnabled());
    EXPECT_EQ(frame(1).lblWavTitle->text(), QString());
    EXPECT_EQ(frame(1).lblSample->text(), QStringLiteral("s"));
    EXPECT_EQ(m_platform.messages.shown.size(), 2u) << "the library says why, once";
    EXPECT_EQ(m_platform.cursor.depth, 0);

    // With no sound device nothing can sound, and no box comes per track.
    m_app.sound.TerminateSoundLibrary();
    assign(2, "good.wav");
    EXPECT_FALSE(bank().tracks[2].loaded);
    EXPECT_FALSE(frame(2).ComStart->isEnabled());
    EXPECT_EQ(m_platform.messages.shown.size(), 2u);
}

// Back from the waveform editor with no sound device: nothing can sound, so no track counts as
// loaded, but the set keeps its files for a save and a later start.
TEST_F(TrackLoadingTest, NoSoundDeviceAfterTheEditorKeepsTheSetsFiles) {
    const QString path = addWav("kick.wav", 44100, 2, 4410);
    assign(0, "kick.wav");
    m_app.editProgramPath = QStringLiteral("/bin/true");
    m_platform.modals.inspect = [this](QDialog&) {
        m_noSoundDevice = true; // the device went away while the editor ran
        return int(QDialog::Accepted);
    };
    m_window.menuItem("mnuEditWav")->trigger();
    EXPECT_EQ(m_app.sound.soundLibHandle, 0);
    EXPECT_FALSE(bank().tracks[0].loaded);
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(bank().tracks[0].path, path);
    EXPECT_EQ(bank().tracks[0].fileName, QStringLiteral("kick.wav"));
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("kick.wav"));
}

// What the reader lets through must be playable; what it refuses gets the read-failure box.
TEST_F(TrackLoadingTest, HeaderFaultsAreRefusedAndCutFilesPlayWhatTheyHold) {
    const QByteArray fmtNoRate = test::Chunk("fmt ", test::FmtBody(2, 1, 0, 4, 32));
    addFile("norate.wav", test::Chunk("RIFF", QByteArray("WAVE") + fmtNoRate +
                                                  test::Chunk("fact", test::Le32(500)) +
                                                  test::Chunk("data", QByteArray(256, '\0'))));
    assign(4, "norate.wav");
    EXPECT_FALSE(bank().tracks[4].loaded);
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral(
                                  "読み込み失敗。WAVファイルに何らかの問題があります")});

    // A streaming writer's 0xFFFFFFFF, and a file cut a few bytes short of its declared size.
    QByteArray streamed = test::PcmWav(2, 44100, 16, 4000);
    streamed.replace(40, 4, test::Le32(0xFFFFFFFF));
    addFile("streamed.wav", streamed);
    addFile("cut.wav", test::PcmWav(1, 22050, 16, 2000).left(44 + 1997));
    assign(5, "streamed.wav");
    assign(6, "cut.wav");
    EXPECT_EQ(messageTexts().size(), 1u);
    ASSERT_TRUE(bank().tracks[5].loaded);
    ASSERT_TRUE(bank().tracks[6].loaded);
    EXPECT_FLOAT_EQ(bank().tracks[5].frames, 1000.0f);
    EXPECT_FLOAT_EQ(bank().tracks[6].frames, 998.0f);
    EXPECT_FLOAT_EQ(bank().tracks[6].length44k, 1996.0f);
    QTest::mouseClick(frame(5).ComStart, Qt::LeftButton);
    renderBlock();
    VoiceStatus status;
    ASSERT_TRUE(dsGetStatus(bank().tracks[5].buffer, status));
    EXPECT_TRUE(status.playing);
}

// Clearing or reassigning a playing track ends its sound, and both windows' buttons say so:
// the next key press then plays it, instead of "stopping" a silent track.
TEST_F(TrackLoadingTest, ClearingOrReassigningAPlayingTrackShowsItStopped) {
    addWav("a.wav", 44100, 2, 44100);
    assign(0, "a.wav");
    assign(1, "a.wav");
    m_window.menuItem("mnuplay")->trigger();
    Form2* play = m_window.playModeWindow();
    ASSERT_NE(play, nullptr);
    QTest::mouseClick(play->ComStart2[0], Qt::LeftButton);
    QTest::mouseClick(play->ComStart2[1], Qt::LeftButton);
    QTest::mouseClick(play->ComBack, Qt::LeftButton);
    ASSERT_EQ(frame(0).ComStart->text(), QStringLiteral("STOP"));
    ASSERT_EQ(frame(1).ComStart->text(), QStringLiteral("STOP"));

    QTest::mouseClick(frame(0).ComClear, Qt::LeftButton);
    assign(1, "a.wav");
    const QColor cyan(0, 255, 255);
    for (int i : {0, 1}) {
        EXPECT_EQ(frame(i).ComStart->text(), QStringLiteral("PLAY")) << i;
        EXPECT_EQ(frame(i).ComStart->palette().color(QPalette::Button), cyan) << i;
        EXPECT_EQ(play->ComStart2[i]->text(), QStringLiteral("PLAY")) << i;
        EXPECT_EQ(play->ComStart2[i]->palette().color(QPalette::Button), cyan) << i;
    }
    QTest::mouseClick(frame(1).CheckDuuk, Qt::LeftButton); // a loop in normal mode
    ASSERT_FALSE(frame(1).CheckDuuk->isChecked());
    QTest::keyClick(&m_window, Qt::Key_X);
    EXPECT_EQ(frame(1).ComStart->text(), QStringLiteral("STOP"));
    renderBlock();
    VoiceStatus status;
    ASSERT_TRUE(dsGetStatus(bank().tracks[1].buffer, status));
    EXPECT_TRUE(status.playing);
}

TEST_F(TrackLoadingTest, FineBoxSetsTheSpeedBarSteps) {
    QScrollBar* bar = frame(6).HSFre;
    EXPECT_EQ(bar->singleStep(), 10);
    QTest::mouseClick(frame(6).Check, Qt::LeftButton);
    EXPECT_EQ(bar->singleStep(), 1);
    EXPECT_EQ(bar->pageStep(), 10);
    QTest::mouseClick(frame(6).Check, Qt::LeftButton);
    EXPECT_EQ(bar->singleStep(), 10);
    EXPECT_EQ(bar->pageStep(), 100);
}

TEST_F(TrackLoadingTest, NumberPopupOpensTheInformationWindowForLoadedTracks) {
    addWav("info.wav", 11025, 1, 11025, 8);
    QMenu* popup = m_window.trackPopup();
    QAction* wavInfo = m_window.menuItem("mnuWavInfo");

    QTest::mouseClick(frame(3).Label4, Qt::RightButton);
    EXPECT_EQ(bank().popupTrack, 3);
    EXPECT_FALSE(wavInfo->isEnabled());
    popup->hide();

    load(3, "info.wav");
    bank().tracks[3].loneWolf = true;
    QTest::mouseClick(frame(3).Label4, Qt::RightButton);
    EXPECT_TRUE(wavInfo->isEnabled());
    EXPECT_TRUE(m_window.menuItem("mnuOokami")->isChecked());
    popup->hide();

    QStringList seen;
    m_platform.modals.inspect = [&seen](QDialog& dialog) {
        auto& info = dynamic_cast<FrmWavInfo&>(dialog);
        seen << info.windowTitle() << info.lblFileName->text() << info.lblSize->text()
             << info.Label1->text() << info.lblInfo->text() << info.lblOokami->text();
        return 1;
    };
    wavInfo->trigger();
    EXPECT_EQ(seen, QStringList({"WAVファイル情報 - 4トラック",
                                 "ファイル ： " + m_dir.filePath("info.wav"), "サイズ ： 11kB",
                                 "形式：", "11.025kHz,8ビット,モノラル", "一匹狼： ON"}));
}

} // namespace
} // namespace mt
