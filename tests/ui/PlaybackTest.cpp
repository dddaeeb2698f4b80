// A track frame's controls: a click reaches the bank, and the frame shows the bank's state.
// What the bank then does to the sound is tested on the bank (tests/core).
#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"

namespace mt {
namespace {

class PlaybackTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        addFile("tone.wav", test::SineWav(44100, 2, 441.0, 4410));
        for (int i : {0, 2}) {
            load(i, "tone.wav");
        }
    }
    void clickPart(QScrollBar* bar, QStyle::SubControl part) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, test::ScrollBarPart(*bar, part).center());
    }
};

TEST_F(PlaybackTest, ClicksOnTheFrameReachTheBank) {
    TrackFrame& f = frame(0);
    test::ClickCheckBox(*f.loopCheck);
    test::ClickCheckBox(*f.holdCheck);
    EXPECT_FALSE(bank().track(0).loop || bank().track(0).hold);
    QTest::mouseClick(f.startButton, Qt::LeftButton);
    EXPECT_TRUE(bank().playing(0));
    EXPECT_EQ(std::make_pair(caption(0), colour(f.startButton, QPalette::Button)),
              std::make_pair(QStringLiteral("STOP"), kMagenta));

    clickPart(f.volumeBar, QStyle::SC_ScrollBarSubLine);
    clickPart(f.panBar, QStyle::SC_ScrollBarAddLine);
    clickPart(f.speedBar, QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(std::make_tuple(bank().track(0).volume, bank().track(0).pan, bank().track(0).speed),
              std::make_tuple(-1, 1, 4420));
    QTest::mouseClick(f.panResetButton, Qt::LeftButton);
    QTest::mouseClick(f.speedResetButton, Qt::LeftButton);
    EXPECT_EQ(std::make_pair(bank().track(0).pan, bank().track(0).speed), std::make_pair(0, 4410));

    // The fine box: steps of 1 and pages of 10 on the speed bar.
    test::ClickCheckBox(*f.fineSpeedCheck);
    EXPECT_EQ(f.speedBar->pageStep(), 10);
    clickPart(f.speedBar, QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(bank().track(0).speed, 4411);
    test::ClickCheckBox(*f.fineSpeedCheck);
    EXPECT_EQ(f.speedBar->singleStep(), 10);
    EXPECT_EQ(f.speedBar->pageStep(), 100);

    QTest::mouseClick(f.startButton, Qt::LeftButton);
    EXPECT_FALSE(bank().playing(0));
    EXPECT_EQ(colour(f.startButton, QPalette::Button), kCyan);
}

// Keep pitch: the button switches the track's mode and lights; the pitch bar moves only then, a
// semitone an arrow, a cent with "細", and the button shows the pitch in semitones.
TEST_F(PlaybackTest, TheKeepPitchButtonAndThePitchBar) {
    TrackFrame& f = frame(0);
    EXPECT_FALSE(f.pitchBar->isEnabled());
    QTest::mouseClick(f.keepPitchButton, Qt::LeftButton);
    ASSERT_EQ(bank().track(0).stretch, Stretch::KeepPitch);
    EXPECT_EQ(colour(f.keepPitchButton, QPalette::Button), QColor(255, 255, 0));
    const auto step = [&](QStyle::SubControl arrow, bool fine) {
        if (f.fineSpeedCheck->isChecked() != fine) {
            test::ClickCheckBox(*f.fineSpeedCheck);
        }
        clickPart(f.pitchBar, arrow);
        return std::make_pair(bank().track(0).pitchCents, f.pitchLabel->text());
    };
    const auto up = QStyle::SC_ScrollBarAddLine, down = QStyle::SC_ScrollBarSubLine;
    EXPECT_EQ(step(up, false), std::make_pair(100, QStringLiteral("+1.00")));
    EXPECT_EQ(step(down, true), std::make_pair(99, QStringLiteral("+0.99")));
    EXPECT_EQ(step(down, false), std::make_pair(-1, QStringLiteral("-0.01")));
    EXPECT_EQ(step(up, true), std::make_pair(0, QStringLiteral("0.00")));
    EXPECT_EQ(step(down, false), std::make_pair(-100, QStringLiteral("-1.00")));

    QTest::mouseClick(f.keepPitchButton, Qt::LeftButton);
    EXPECT_EQ(
        std::make_tuple(bank().track(0).stretch, f.pitchBar->isEnabled(), f.pitchLabel->text()),
        std::make_tuple(Stretch::Tape, false, QStringLiteral("音程")));
    EXPECT_EQ(bank().track(0).pitchCents, -100) << "kept for the next time";
}

TEST_F(PlaybackTest, TheFrameShowsTheBanksState) {
    TrackFrame& f = frame(0);
    bank().setSpeed(0, 9000); // 4410 frames at 90 kHz; the caption's other forms: TempoTest
    EXPECT_EQ(std::make_tuple(f.speedBar->value(), f.speedLabel->text(), f.playTimeLabel->text()),
              std::make_tuple(9000, QStringLiteral("90kHz"), QStringLiteral("0.049s")));
    bank().setVolume(0, -12);
    bank().setPan(0, 40);
    EXPECT_EQ(std::make_tuple(f.volumeBar->value(), f.volumeLabel->text(), f.panBar->value(),
                              f.panLabel->text()),
              std::make_tuple(-12, QStringLiteral("-12dB"), 40, QStringLiteral("40")));
    bank().setVolume(6, -30); // an empty track
    EXPECT_EQ(frame(6).volumeLabel->text(), QStringLiteral("-30dB"));

    // In the lone-wolf mode a member's start stops the other's button.
    bank().setLoneWolfMember(0, true);
    bank().setLoneWolfMember(2, true);
    QTest::mouseClick(tracks().loneWolfLabel, Qt::LeftButton);
    ASSERT_TRUE(bank().loneWolfMode());
    bank().playLooping(0);
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    EXPECT_EQ(std::make_tuple(caption(0), colour(f.startButton, QPalette::Button), caption(2)),
              std::make_tuple(QStringLiteral("PLAY"), kCyan, QStringLiteral("STOP")));
    EXPECT_EQ(colour(frame(2).trackNumberLabel), kMagenta);
}

} // namespace
} // namespace mt
