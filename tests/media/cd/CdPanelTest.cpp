// The CD panel in the main window: real clicks reach the player; the panel shows its state.
#include "CdTestRig.h"
#include "DiscImage.h"

#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/PanelTime.h"

#include <QAction>
#include <QLabel>

#include <gtest/gtest.h>

namespace mt::test {
namespace {

class CdPanelTest : public MainWindowTest {
protected:
    CdPanelTest() { m_app.cd.device.setOptions(TestDeviceOptions()); }

    CdPanel& panel() { return m_window.cdPanel(); }
    QAction& mediaPanelAction() { return *m_window.menuItem(QStringLiteral("mnuCD")); }
    std::vector<bool> transport() {
        CdPanel& p = panel();
        return {p.cdStartButton->isEnabled(), p.cdPauseButton->isEnabled(),
                p.cdStopButton->isEnabled(),  p.cdPreviousButton->isEnabled(),
                p.cdNextButton->isEnabled(),  p.cdForwardButton->isEnabled(),
                p.cdRewindButton->isEnabled()};
    }
};

TEST_F(CdPanelTest, ShowsThePlayerAndItsClicksReachIt) {
    int midiParts = 0;
    m_window.mediaPanelShown.push_back([&midiParts] { ++midiParts; });
    EXPECT_EQ(transport(), std::vector<bool>(7, false));
    m_app.cd.state.imagePath = WriteToneDisc(m_dir.path(), "disc", {{2.0, 0.0}, {14.0, 0.0}});
    ShowActive(m_window);
    ChooseMenuItem(m_window, mediaPanelAction());
    WaitForProbe(m_app.cd.device);
    m_app.cd.watch();
    EXPECT_EQ(std::make_tuple(mediaPanelAction().isChecked(), m_window.height(), midiParts),
              std::make_tuple(true, m_window.mediaPanelOpenHeight, 1));
    //                                Start Pause  Stop   Prev   Next   FF     RE
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, false, true, false, false}));
    EXPECT_EQ(panel().cdTrackCountLabel->text() + " " + panel().cdTrackLabel->text(), "2 1");

    QTest::mouseClick(panel().cdNextButton, Qt::LeftButton);
    QTest::mouseClick(panel().cdStartButton, Qt::LeftButton);
    EXPECT_EQ(transport(), (std::vector<bool>{false, true, true, true, true, true, true}));
    QTest::mouseClick(panel().cdForwardButton, Qt::LeftButton); // 3 s in
    renderBlock();
    m_app.cd.device.pumpReader();
    m_app.cd.watch();
    EXPECT_EQ(panel().cdTrackLabel->text() + " " + panel().cdTimeLabel->text(), "2 00:03");
    QTest::mouseClick(panel().cdLoopEndLabel, Qt::LeftButton);
    EXPECT_TRUE(panel().cdLoopEndLabel->text().startsWith("b:00:03:"));
    EXPECT_TRUE(panel().cdAbLoopCheck->isEnabled());
    QTest::mouseClick(panel().cdAbLoopCheck, Qt::LeftButton);
    EXPECT_TRUE(m_app.cd.state.loopOn);
    QTest::mouseClick(panel().cdPauseButton, Qt::LeftButton);
    EXPECT_EQ(m_app.cd.state.cdPlayState, CdPlayState::Pausing);
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, true, true, true, true}));

    // The pause key reaches the player and the panel shows it; so does the mute key.
    const QColor face = panel().palette().color(QPalette::Window);
    QTest::keyClick(&m_window, Qt::Key_B);
    EXPECT_EQ(m_app.cd.state.cdPlayState, CdPlayState::Playing);
    EXPECT_FALSE(panel().cdStartButton->isEnabled());
    QTest::keyPress(&m_window, Qt::Key_G);
    EXPECT_EQ(panel().palette().color(QPalette::Window), QColor(0, 0, 255));
    QTest::keyRelease(&m_window, Qt::Key_G);
    EXPECT_EQ(panel().palette().color(QPalette::Window), face);

    // Hidden, the disc keeps playing and the CD stops being the tempo reference.
    panel().cdReferenceCheck->setChecked(true);
    ChooseMenuItem(m_window, mediaPanelAction());
    EXPECT_FALSE(mediaPanelAction().isChecked() || panel().cdReferenceCheck->isChecked());
    EXPECT_EQ(m_window.height(), m_window.mediaPanelClosedHeight);
    EXPECT_TRUE(m_app.cd.watchTimer.isActive());
    EXPECT_EQ(m_app.cd.state.cdPlayState, CdPlayState::Playing);
    ChooseMenuItem(m_window, mediaPanelAction()); // shown again: the device is not opened twice
    EXPECT_EQ(midiParts, 2);
    EXPECT_TRUE(messageTexts().empty());
}

// A probe that hangs on the image holds nothing up: the panel says it is checking while a key
// plays its track, and the probe's time limit ends in the damaged-image message.
TEST_F(CdPanelTest, AHungProbeLeavesTheWindowPlayingUntilItsTimeLimit) {
    CdAudioDevice::Options hung = TestDeviceOptions(); // a time limit of a second
    hung.probeProgram = m_dir.filePath("hung-probe");
    ASSERT_TRUE(WriteFile(hung.probeProgram, "#!/bin/sh\nexec sleep 60\n") &&
                QFile::setPermissions(hung.probeProgram, QFile::ExeOwner | QFile::ReadOwner));
    m_app.cd.device.setOptions(hung);
    m_app.cd.state.imagePath = WriteToneDisc(m_dir.path(), "disc", {{2.0, 0.0}});
    addWav("a.wav", 44100, 2, 44100);
    load(0, "a.wav");
    ChooseMenuItem(m_window, mediaPanelAction());
    EXPECT_EQ(panel().title(), QStringLiteral("CD 確認中"));
    QTest::keyPress(&m_window, Qt::Key_Z);
    renderBlock();
    VoiceStatus sound;
    EXPECT_TRUE(bufferStatus(bank().track(0).buffer, sound) && sound.playing && sound.position > 0);
    EXPECT_TRUE(m_app.cd.checkingImage()) << "the key waited for the probe";
    QTest::keyRelease(&m_window, Qt::Key_Z);

    WaitForProbe(m_app.cd.device);
    m_app.cd.watch();
    EXPECT_EQ(panel().title(), QStringLiteral("CD"));
    EXPECT_EQ(messageTexts(), std::vector<QString>{
                                  "ディスクイメージが壊れているか、読み取れない形式です。@OpenCD"});
}

TEST(PanelTime, FourFormsOfAtLeastTwoDigits) {
    EXPECT_EQ(PanelTimeText(540, 1), "00:05");
    EXPECT_EQ(PanelTimeText(366200, 1), "61:02");
    EXPECT_EQ(PanelTimeText(123 * 6000 + 705, 0), "123:07:05");
    EXPECT_EQ(PanelTimeText(1234, 2), "a:00:12:34");
    EXPECT_EQ(PanelTimeText(1234, 3), "b:00:12:34");
    EXPECT_TRUE(PanelTimeText(1234, 4).isNull());
    QLabel label(QStringLiteral("kept"));
    FormatPanelTime(label, 1234, 7);
    EXPECT_EQ(label.text(), "kept");
}

} // namespace
} // namespace mt::test
