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

TEST_F(TrackLoadingTest, AssignmentDerivesRateLengthAndPlayingTime) {
    addWav("a44.wav", 44100, 2, 100000);
    addWav("b22.wav", 22050, 1, 1000);
    addWav("c48.wav", 48000, 2, 4800);

    load(0, "a44.wav");
    EXPECT_TRUE(bank().trackLoaded[0]);
    EXPECT_NE(bank().trackBuffer[0], 0);
    EXPECT_FLOAT_EQ(bank().trackRateRatio[0], 1.0f);
    EXPECT_EQ(bank().trackSampleRate[0], 44100);
    EXPECT_FLOAT_EQ(bank().trackFrames[0], 100000.0f);
    EXPECT_FLOAT_EQ(bank().trackLength44k[0], 100000.0f);
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("2.268s"));
    EXPECT_DOUBLE_EQ(bank().trackDuration[0], 2.268);
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("a44.wav"));
    EXPECT_EQ(frame(0).lblWavTitle->toolTip(), m_dir.filePath("a44.wav"));
    EXPECT_EQ(bank().trackPath[0], m_dir.filePath("a44.wav"));
    EXPECT_EQ(bank().trackFileName[0], QStringLiteral("a44.wav"));
    EXPECT_TRUE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(bank().selectedTrack, 0);
    EXPECT_EQ(numberColour(0), kMagenta);
    EXPECT_TRUE(bank().bankChanged);
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_GE(m_platform.cursor.waits, 1);

    load(4, "b22.wav");
    EXPECT_FLOAT_EQ(bank().trackRateRatio[4], 2.0f);
    EXPECT_FLOAT_EQ(bank().trackLength44k[4], 2000.0f);
    EXPECT_EQ(bank().selectedTrack, 4);
    EXPECT_EQ(numberColour(4), kMagenta);
    EXPECT_NE(numberColour(0), kMagenta);

    load(7, "c48.wav");
    EXPECT_FLOAT_EQ(bank().trackRateRatio[7], 0.91875f);
    EXPECT_FLOAT_EQ(bank().trackLength44k[7], 4410.0f);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(TrackLoadingTest, ReassignmentFreesTheOldBufferAndAFailedLoadLeavesTheTrackEmpty) {
    addWav("good.wav", 44100, 2, 1000);
    addFile("broken.wav", QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    load(2, "good.wav");
    const std::int32_t first = bank().trackBuffer[2];
    VoiceStatus status;
    ASSERT_TRUE(dsGetStatus(first, status));

    load(2, "good.wav");
    EXPECT_FALSE(dsGetStatus(first, status)) << "the old buffer was not freed";
    EXPECT_TRUE(bank().trackLoaded[2]);

    load(2, "broken.wav");
    EXPECT_FALSE(bank().trackLoaded[2]);
    EXPECT_EQ(bank().trackPath[2], m_dir.filePath("broken.wav"));
    EXPECT_TRUE(bank().trackFileName[2].isEmpty());
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
    EXPECT_FALSE(bank().trackLoaded[1]);
    EXPECT_TRUE(m_platform.messages.shown.empty());

    load(1, "good.wav");
    load(1, "empty.wav");
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("このファイルはサイズが0です")});
    EXPECT_TRUE(bank().trackLoaded[1]) << "a zero-byte file must not clear the track";
    EXPECT_EQ(bank().trackFileName[1], QStringLiteral("good.wav"));

    // Deleted between listing and click: the read failure, not a crash.
    select("good.wav");
    QFile::remove(m_dir.filePath("good.wav"));
    tracks().ComChange_Click(1);
    EXPECT_FALSE(bank().trackLoaded[1]);
    EXPECT_EQ(messageTexts().back(),
              QStringLiteral("読み込み失敗。WAVファイルに何らかの問題があります"));
}

TEST_F(TrackLoadingTest, ClearingMovesTheSelectionForwardWithoutWrapping) {
    addWav("a.wav", 44100, 2, 100);
    load(0, "a.wav");
    load(2, "a.wav");
    load(5, "a.wav");
    ASSERT_EQ(bank().selectedTrack, 5);

    // The search starts after the current selection, not after the cleared track.
    tracks().ComClear_Click(2);
    EXPECT_EQ(bank().selectedTrack, -1);
    EXPECT_NE(numberColour(5), kMagenta);
    EXPECT_NE(numberColour(0), kMagenta);

    load(2, "a.wav"); // selected 2
    tracks().ComClear_Click(2);
    EXPECT_EQ(bank().selectedTrack, 5);
    EXPECT_EQ(numberColour(5), kMagenta);
    EXPECT_FALSE(bank().trackLoaded[2]);
    EXPECT_FLOAT_EQ(bank().trackLength44k[2], 0.0f);
    EXPECT_TRUE(frame(2).ComChange->isEnabled());

    // Clear through the real button.
    QTest::mouseClick(frame(5).ComClear, Qt::LeftButton);
    EXPECT_FALSE(bank().trackLoaded[5]);
    EXPECT_EQ(bank().selectedTrack, -1);
}

TEST_F(TrackLoadingTest, ReloadRecomputesOrReportsTheMovedFile) {
    const QString path = addWav("r.wav", 22050, 2, 500);
    ASSERT_TRUE(ReloadTrack(m_app, 3, path));
    EXPECT_FLOAT_EQ(bank().trackRateRatio[3], 2.0f);
    EXPECT_FLOAT_EQ(bank().trackLength44k[3], 1000.0f);
    EXPECT_NE(bank().trackBuffer[3], 0);

    const std::int32_t before = bank().trackBuffer[3];
    EXPECT_FALSE(ReloadTrack(m_app, 2, m_dir.filePath("gone.wav")));
    EXPECT_EQ(messageTexts(),
              std::vector<QString>{QStringLiteral(
                  "(3)トラックのＷＡＶは移動もしくは削除されています。割り当て直してください")});
    EXPECT_EQ(bank().trackBuffer[3], before);
    EXPECT_FLOAT_EQ(bank().trackLength44k[2], 0.0f);
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
    EXPECT_FALSE(bank().trackLoaded[0]);
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("s"));
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("zero.wav")) << "the set keeps it";
    EXPECT_TRUE(bank().trackLoaded[1]);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown.front().title, QStringLiteral("VbDSnd.Dll"));

    assign(1, "zero.wav");
    EXPECT_FALSE(bank().trackLoaded[1]);
    EXPECT_FALSE(frame(1).ComStart->isEnabled());
    EXPECT_EQ(frame(1).lblWavTitle->text(), QString());
    EXPECT_EQ(frame(1).lblSample->text(), QStringLiteral("s"));
    EXPECT_EQ(m_platform.messages.shown.size(), 2u) << "the library says why, once";
    EXPECT_EQ(m_platform.cursor.depth, 0);

    // With no sound device nothing can sound, and no box comes per track.
    m_app.sound.TerminateSoundLibrary();
    assign(2, "good.wav");
    EXPECT_FALSE(bank().trackLoaded[2]);
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
    EXPECT_FALSE(bank().trackLoaded[0]);
    EXPECT_FALSE(frame(0).ComStart->isEnabled());
    EXPECT_EQ(bank().trackPath[0], path);
    EXPECT_EQ(bank().trackFileName[0], QStringLiteral("kick.wav"));
    EXPECT_EQ(frame(0).lblWavTitle->text(), QStringLiteral("kick.wav"));
}

// What the reader lets through must be playable; what it refuses gets the read-failure box.
TEST_F(TrackLoadingTest, HeaderFaultsAreRefusedAndCutFilesPlayWhatTheyHold) {
    const QByteArray fmtNoRate = test::Chunk("fmt ", test::FmtBody(2, 1, 0, 4, 32));
    addFile("norate.wav", test::Chunk("RIFF", QByteArray("WAVE") + fmtNoRate +
                                                  test::Chunk("fact", test::Le32(500)) +
                                                  test::Chunk("data", QByteArray(256, '\0'))));
    assign(4, "norate.wav");
    EXPECT_FALSE(bank().trackLoaded[4]);
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
    ASSERT_TRUE(bank().trackLoaded[5]);
    ASSERT_TRUE(bank().trackLoaded[6]);
    EXPECT_FLOAT_EQ(bank().trackFrames[5], 1000.0f);
    EXPECT_FLOAT_EQ(bank().trackFrames[6], 998.0f);
    EXPECT_FLOAT_EQ(bank().trackLength44k[6], 1996.0f);
    QTest::mouseClick(frame(5).ComStart, Qt::LeftButton);
    renderBlock();
    VoiceStatus status;
    ASSERT_TRUE(dsGetStatus(bank().trackBuffer[5], status));
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
    ASSERT_TRUE(dsGetStatus(bank().trackBuffer[1], status));
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
    bank().trackLoneWolf[3] = true;
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
