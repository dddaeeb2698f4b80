#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace mt {
namespace {

const QColor kMagenta(255, 0, 255);
const QColor kCyan(0, 255, 255);

class PlaybackTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        addFile("tone.wav", test::SineWav(44100, 2, 441.0, 4410));
        for (int i : {0, 2, 4}) {
            load(i, "tone.wav");
        }
    }
    QString caption(int i) { return frame(i).ComStart->text(); }
    QColor buttonColour(int i) { return frame(i).ComStart->palette().color(QPalette::Button); }
    bool sounding(int i) {
        VoiceStatus status;
        return dsGetStatus(bank().tracks[i].buffer, status) && status.playing;
    }
    void click(int i) { QTest::mouseClick(frame(i).ComStart, Qt::LeftButton); }
};

// The choke itself is the bank's; the window shows the mode, the members and the buttons.
TEST_F(PlaybackTest, LoneWolfModeAndMembersShowAndAStartStopsTheOtherMembersButton) {
    bank().setLoneWolfMember(0, true);
    bank().setLoneWolfMember(2, true);
    QTest::mouseClick(tracks().lblOrAliveOokamis, Qt::LeftButton);
    ASSERT_TRUE(bank().loneWolfMode);
    EXPECT_EQ(tracks().lblOrAliveOokamis->palette().color(QPalette::WindowText),
              QColor(255, 255, 0));
    EXPECT_EQ(frame(0).palette().color(QPalette::Window), QColor(128, 128, 128));

    frame(0).CheckLoop->setChecked(true);
    click(0);
    click(2);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));
    EXPECT_EQ(buttonColour(0), kCyan);
    EXPECT_EQ(caption(2), QStringLiteral("STOP"));
    EXPECT_EQ(frame(2).Label4->palette().color(QPalette::Window), kMagenta);
}

TEST_F(PlaybackTest, OneShotKeepsShowingStopAfterItsEnd) {
    frame(0).CheckLoop->setChecked(false);
    EXPECT_EQ(buttonColour(0), kCyan);
    click(0);
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
    EXPECT_EQ(buttonColour(0), kMagenta);
    m_output->render(44100); // the 0.1 s sound has long ended
    EXPECT_FALSE(sounding(0));
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
    click(0);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));
    click(0);
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
    renderBlock();
    EXPECT_TRUE(sounding(0));
}

TEST_F(PlaybackTest, PopupItemTogglesMembership) {
    QTest::mouseClick(frame(4).Label4, Qt::RightButton);
    m_window.trackPopup()->hide();
    QAction* ookami = m_window.menuItem("mnuOokami");
    ookami->trigger();
    EXPECT_TRUE(bank().tracks[4].loneWolf);
    EXPECT_TRUE(ookami->isChecked());
    QTest::mouseClick(frame(4).Label4, Qt::RightButton);
    m_window.trackPopup()->hide();
    ookami->trigger();
    EXPECT_FALSE(bank().tracks[4].loneWolf);
    EXPECT_FALSE(ookami->isChecked());
}

// The bars' values reach the engine: the pitch follows the speed bar, the level the volume.
TEST_F(PlaybackTest, BarsDriveWhatIsHeard) {
    addFile("half.wav", test::SineWav(22050, 1, 441.0, 22050));
    load(1, "half.wav");
    frame(1).CheckLoop->setChecked(true);
    frame(1).HSFre->setValue(8820); // a 22.05 kHz file at 44.1 kHz: twice its own speed
    click(1);
    m_output->render(1024);
    const std::vector<float> out = m_output->render(8192);
    const std::vector<float> left = test::Channel(out, 0, 2);
    EXPECT_NEAR(test::MeasureHz(left, 44100), 882.0, 882.0 * 0.005);
    const double full = test::RmsDb(left, 1.0);

    frame(1).HSVol->setValue(-12);
    EXPECT_EQ(frame(1).lblVolume->text(), QStringLiteral("-12dB"));
    m_output->render(1024);
    const double quieter = test::RmsDb(test::Channel(m_output->render(8192), 0, 2), 1.0);
    EXPECT_NEAR(quieter - full, -12.0, 0.1);

    frame(1).HSPan->setValue(40);
    EXPECT_EQ(frame(1).lblPan->text(), QStringLiteral("40"));
    QTest::mouseClick(frame(1).ComPanRes, Qt::LeftButton);
    EXPECT_EQ(frame(1).HSPan->value(), 0);
    EXPECT_TRUE(bank().bankChanged);
}

TEST_F(PlaybackTest, SpeedBarLabelsAndPlayingTime) {
    TrackFrame& f = frame(0);
    f.HSFre->setValue(4411);
    EXPECT_EQ(f.lblFrequency->text(), QStringLiteral("44.11kHz"));
    f.HSFre->setValue(9000);
    EXPECT_EQ(f.lblFrequency->text(), QStringLiteral("90kHz"));
    EXPECT_EQ(f.lblSample->text(), QStringLiteral("0.049s")); // 4410 frames at 90 kHz
    f.HSFre->setValue(5);
    EXPECT_EQ(f.lblFrequency->text(), QStringLiteral("0.05kHz"));
    QTest::mouseClick(f.ComFreRes, Qt::LeftButton);
    EXPECT_EQ(f.HSFre->value(), 4410);
    EXPECT_EQ(f.lblSample->text(), QStringLiteral("0.100s"));

    // An empty track's bars change only their labels.
    frame(6).HSVol->setValue(-30);
    EXPECT_EQ(frame(6).lblVolume->text(), QStringLiteral("-30dB"));
}

TEST_F(PlaybackTest, AllEightLoopingAtTopSpeedKeepTheMixRunning) {
    for (int i = 0; i < 8; ++i) {
        load(i, "tone.wav");
        frame(i).CheckLoop->setChecked(true);
        frame(i).HSFre->setValue(9000);
        click(i);
    }
    const std::vector<float> out = m_output->render(44100);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(sounding(i)) << i;
    }
    EXPECT_GT(test::Peak(out), 0.1f);
    for (float x : out) {
        ASSERT_TRUE(std::isfinite(x));
    }
}

} // namespace
} // namespace mt
