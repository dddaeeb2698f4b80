#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
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
