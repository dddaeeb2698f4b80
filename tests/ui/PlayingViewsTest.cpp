// What a performer sees of the sound: each track's level meter and waveform with its playhead,
// the whole output's meter, fed from the engine at display rate through the real windows, and
// resting while their window is hidden.
#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/DisplayFeed.h"
#include "ui/LevelMeter.h"
#include "ui/PlayModeWindow.h"
#include "ui/WaveformView.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

#include <cmath>

namespace mt {
namespace {

constexpr int kTickFrames = 44100 * DisplayFeed::kIntervalMs / 1000; // the audio of one tick

class PlayingViewsTest : public test::MainWindowTest {
protected:
    // Renders `frames` of audio, then waits for the window's next display tick.
    static void tick(OfflineOutput& output, QWidget& window, int frames = kTickFrames) {
        output.render(static_cast<std::size_t>(frames));
        QSignalSpy ticked(window.findChild<QTimer*>("TimerDisplay"), &QTimer::timeout);
        ASSERT_TRUE(ticked.wait(2000)) << window.objectName().toStdString();
    }
    void tick(int frames = kTickFrames) { tick(*m_output, m_window, frames); }
    static bool displaying(QWidget& window) {
        return window.findChild<QTimer*>("TimerDisplay")->isActive();
    }
    static int playheadAt(WaveformView& view) {
        const QImage image = view.grab().toImage();
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, 0) == WaveformView::kPlayhead) {
                return x;
            }
        }
        return -1;
    }
    const double m_minus6dB = std::pow(10.0, -6.0 / 20.0);
};

TEST_F(PlayingViewsTest, MetersReadTheLevelOnlyInTheShownWindowClipAtFullScaleAndFallAfterStop) {
    addFile("tone.wav", test::SineWav(44100, 2, 441.0, 44100, m_minus6dB));
    load(0, "tone.wav");
    load(1, "tone.wav");
    LevelMeter& meter = *frame(0).levelMeter;
    LevelMeter& master = *m_window.masterMeter;
    QTest::mouseClick(frame(0).startButton, Qt::LeftButton);
    for (int i = 0; i < 4; ++i) {
        tick();
    }
    EXPECT_NEAR(meter.levelDb(), -6.0, 0.5);
    EXPECT_NEAR(master.levelDb(), -6.0, 0.5) << "the track alone is the output";
    EXPECT_EQ(frame(1).levelMeter->levelDb(), LevelMeter::kFloorDb);

    // Only the shown window keeps its meters going: the play mode's read the same.
    choose("mnuplay");
    PlayModeWindow& play = *m_window.playModeWindow();
    for (int i = 0; i < 3; ++i) {
        tick(*m_output, play);
    }
    EXPECT_FALSE(displaying(m_window));
    EXPECT_NEAR(play.levelMeters[0]->levelDb(), -6.0, 0.5);
    EXPECT_NEAR(play.masterMeter->levelDb(), -6.0, 0.5);
    EXPECT_EQ(play.levelMeters[1]->levelDb(), LevelMeter::kFloorDb);
    QTest::mouseClick(play.backButton, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !displaying(play) && displaying(m_window); }));

    QTest::mouseClick(frame(0).startButton, Qt::LeftButton);
    int ticks = 0;
    while ((meter.levelDb() > LevelMeter::kFloorDb || master.levelDb() > LevelMeter::kFloorDb) &&
           ticks < 30) {
        tick();
        ++ticks;
    }
    EXPECT_LE(ticks * DisplayFeed::kIntervalMs, 300) << "display time from stop to the floor";
    EXPECT_FALSE(master.clipLit());

    // Both copies started in the same block add up past full scale: the output clips, neither
    // track does.
    QTest::mouseClick(frame(0).startButton, Qt::LeftButton);
    QTest::mouseClick(frame(1).startButton, Qt::LeftButton);
    tick();
    tick();
    EXPECT_TRUE(master.clipLit());
    EXPECT_FALSE(meter.clipLit() || frame(1).levelMeter->clipLit());
}

TEST_F(PlayingViewsTest, ThePlayheadCrossesTheWaveformAsTheSoundOrItsRenderPlays) {
    addFile("second.wav", test::SineWav(44100, 1, 441.0, 44100));
    load(2, "second.wav");
    WaveformView& view = *frame(2).waveform;
    EXPECT_EQ(playheadAt(view), -1) << "still before it plays";
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    tick(11025); // a quarter of the sound
    const int first = playheadAt(view);
    tick(22050); // and half of it more
    const int second = playheadAt(view);
    EXPECT_NEAR(first, view.width() / 4.0, 1.0);
    EXPECT_NEAR(second - first, view.width() / 2.0, 1.0);

    // A new bank's track loops: the whole sound is the loop region, shaded; not once unticked.
    const QColor looping = view.grab().toImage().pixelColor(1, 0);
    test::ClickCheckBox(*frame(2).loopCheck);
    EXPECT_NE(view.grab().toImage().pixelColor(1, 0), looping);
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    tick();
    EXPECT_EQ(playheadAt(view), -1) << "stopped";

    // Keeping its pitch at half the tempo, the track sounds through its rendered sound, twice
    // as long: the view, the playhead and the meter follow that.
    QTest::mouseClick(frame(2).keepPitchButton, Qt::LeftButton);
    bank().setSpeed(2, kNormalSpeed / 2);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return bank().track(2).rendered != 0 &&
                   bank().track(2).renderState == RenderState::None;
        },
        10000));
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    tick(22050); // a quarter of the rendered sound
    EXPECT_NEAR(playheadAt(view), view.width() / 4.0, 1.0);
    EXPECT_GT(frame(2).levelMeter->levelDb(), LevelMeter::kFloorDb);
}

TEST_F(PlayingViewsTest, TheViewsTakeOnlyFreeSpaceAndTheWidestValuesFitInBothLayouts) {
    showWindow();
    QWidget& client = *m_window.centralWidget();
    bank().setVolume(0, kMinVolume);
    bank().setPan(0, kMinPan);
    bank().setSpeed(0, 8888);
    for (int flag : {0, 1}) {
        m_window.shell().LoadLayout(flag);
        const auto clear = [flag](QWidget& view, QWidget& container, int minWidth = 40) {
            EXPECT_GE(view.width(), minWidth) << view.objectName().toStdString();
            EXPECT_GE(view.height(), 5) << view.objectName().toStdString();
            EXPECT_TRUE(container.contentsRect().contains(view.geometry()));
            for (QWidget* other : container.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                EXPECT_TRUE(other == &view || !other->isVisible() ||
                            !other->geometry().intersects(view.geometry()))
                    << view.objectName().toStdString() << " covers "
                    << other->objectName().toStdString() << " in layout " << flag;
            }
        };
        for (int i = 0; i < kTrackCount; ++i) {
            clear(*frame(i).levelMeter, frame(i));
            clear(*frame(i).waveform, frame(i));
            clear(*frame(i).keepPitchButton, frame(i), 24); // and the keep-pitch controls
            clear(*frame(i).pitchBar, frame(i), 24);
        }
        clear(*m_window.masterMeter, client);
        // Whole, in the labels' own type and inside the frame.
        for (QLabel* label : {frame(0).volumeLabel, frame(0).panLabel, frame(0).speedLabel}) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString() << " in layout " << flag;
            EXPECT_TRUE(frame(0).contentsRect().contains(label->geometry()));
        }
    }
}

} // namespace
} // namespace mt
