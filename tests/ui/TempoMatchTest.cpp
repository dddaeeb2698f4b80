#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/MixPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <array>

namespace mt {
namespace {

class TempoMatchTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        addWav("two.wav", 44100, 1, 88200); // two seconds
        addWav("one.wav", 44100, 1, 44100); // one second
    }
    MixPanel& mix() { return m_window.mix(); }
    int speed(int i) { return frame(i).HSFre->value(); }
    void ratio(int i, const QString& text) {
        QComboBox* box = frame(i).Combo;
        box->setCurrentIndex(box->findText(text));
        mix().Combo_Click(i);
    }
    QAction& lock() { return *m_window.menuItem("mnuLock"); }
};

TEST_F(TempoMatchTest, AgainstTheReferenceTrack) {
    load(0, "two.wav");
    load(1, "one.wav");
    load(2, "one.wav");
    ratio(0, "基準");
    ratio(1, "*1");
    ratio(2, "*2");
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(0), 4410);
    EXPECT_EQ(speed(1), 2205);
    EXPECT_DOUBLE_EQ(bank().tracks[1].duration, 2.0);
    EXPECT_EQ(speed(2), 4410);

    // Two references: the later one wins, and both keep their speeds.
    load(3, "one.wav");
    ratio(3, "基準");
    frame(0).HSFre->setValue(3000);
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(0), 3000);
    EXPECT_EQ(speed(3), 4410);
    EXPECT_EQ(speed(1), 4410);
    EXPECT_EQ(speed(2), 8820);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(TempoMatchTest, WithoutReferenceTheRatioMultipliesTheOwnSpeed) {
    load(0, "one.wav");
    load(1, "one.wav");
    ratio(0, "/32");
    ratio(1, "*2");
    ratio(2, "*4");   // empty track: skipped
    ratio(5, "基準"); // a reference on an empty track counts as none
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(0), 138);
    EXPECT_EQ(speed(1), 8820);
    EXPECT_EQ(speed(2), 4410);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(TempoMatchTest, AgainstTheCdBarWithTheRangeMessages) {
    QCheckBox cd;
    mix().ChkCDkijun = &cd;
    cd.setChecked(true);
    load(0, "two.wav");
    load(2, "two.wav");
    load(3, "two.wav");
    ratio(0, "*1");
    ratio(2, "/32");
    ratio(3, "*32");
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(0), 4410);
    EXPECT_EQ(speed(2), 138);
    EXPECT_EQ(speed(3), 4410) << "a refused target must leave the speed";
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text,
              QStringLiteral("倍率を下げてください  (4)トラック"));

    // 8995.4 is applied as 8995; 8995.5 rounds up to 8996 and is refused.
    m_platform.messages.shown.clear();
    mix().cdBarSeconds = [] { return 88200.0 / 10 / 8995.4; };
    ratio(2, "*1");
    ratio(3, "");
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(2), 8995);
    mix().cdBarSeconds = [] { return 88200.0 / 10 / 8995.5; };
    frame(2).HSFre->setValue(4410);
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speed(2), 4410);
    EXPECT_EQ(m_platform.messages.shown.back().text,
              QStringLiteral("倍率を下げてください  (3)トラック"));

    // Too slow.
    mix().cdBarSeconds = [] { return 1000.0; };
    ratio(2, "/32");
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(m_platform.messages.shown.back().text,
              QStringLiteral("倍率を上げてください  (3)トラック"));
}

TEST_F(TempoMatchTest, ReferenceBoxesExcludeEachOtherAndRuleTheLock) {
    QCheckBox cd;
    QCheckBox midi;
    mix().ChkCDkijun = &cd;
    mix().ChkMIDIkijun = &midi;
    mix().UpdateLockAvailability();
    EXPECT_FALSE(lock().isEnabled());
    EXPECT_FALSE(mix().LabelLocked->isEnabled());

    midi.setChecked(true);
    mix().ChkMIDIkijun_Click();
    EXPECT_TRUE(lock().isEnabled());
    cd.setChecked(true);
    mix().ChkCDkijun_Click();
    EXPECT_FALSE(midi.isChecked());

    load(0, "two.wav");
    ratio(0, "*1");
    mix().midiBarSeconds = [] { return 1.0; };
    QTest::mouseClick(mix().Comgo, Qt::LeftButton); // the CD bar (2 s) wins over the MIDI bar
    EXPECT_EQ(speed(0), 4410);

    lock().trigger();
    EXPECT_TRUE(lock().isChecked());
    EXPECT_EQ(mix().LabelLocked->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QTest::mouseClick(mix().LabelLocked, Qt::LeftButton);
    EXPECT_FALSE(lock().isChecked());
    lock().trigger();
    cd.setChecked(false);
    mix().ChkCDkijun_Click();
    EXPECT_FALSE(lock().isChecked()) << "the last reference went: Lock must go off";
    EXPECT_FALSE(lock().isEnabled());
}

TEST_F(TempoMatchTest, RatioChangesBeforeStartUpEndsLeaveTheLockAlone) {
    mix().formLoaded = false;
    ratio(0, "基準");
    EXPECT_FALSE(lock().isEnabled());
    mix().formLoaded = true;
    ratio(0, "基準");
    EXPECT_TRUE(lock().isEnabled());
}

TEST_F(TempoMatchTest, LockedResetReturnsTheReferenceToItsLockedSpeed) {
    mix().formLoaded = true;
    load(0, "two.wav");
    ratio(0, "基準");
    frame(0).HSFre->setValue(3000);
    lock().trigger();
    EXPECT_EQ(bank().lockedSpeed, 3000);
    frame(0).HSFre->setValue(5000);
    QTest::mouseClick(frame(0).ComFreRes, Qt::LeftButton);
    EXPECT_EQ(speed(0), 3000);
    QTest::mouseClick(frame(1).ComFreRes, Qt::LeftButton);
    EXPECT_EQ(speed(1), 4410);
}

// The lock captures every speed bar when the performer takes hold of one, by a press on its
// trough or its thumb; a re-match that fails returns every bar to that capture.
TEST_F(TempoMatchTest, TakingHoldOfTheLockedReferenceCapturesTheBarsAFailedRematchRestores) {
    test::ShowActive(m_window);
    load(0, "two.wav");
    load(1, "one.wav");
    load(2, "two.wav");
    test::ChooseComboItem(*frame(0).Combo, "基準");
    test::ChooseComboItem(*frame(1).Combo, "*1");
    test::ChooseComboItem(*frame(2).Combo, "*2");
    QTest::mouseClick(mix().Comgo, Qt::LeftButton);
    ASSERT_EQ(speed(1), 2205);
    ASSERT_EQ(speed(2), 8820);
    QTest::mouseClick(mix().LabelLocked, Qt::LeftButton);
    ASSERT_TRUE(lock().isChecked());
    QScrollBar& reference = *frame(0).HSFre;

    // Faster on the trough: track 3 would pass 8990, so every bar goes back to its value at
    // the press, not to a track's own speed.
    QTest::mouseClick(&reference, Qt::LeftButton, {},
                      test::ScrollBarPart(reference, QStyle::SC_ScrollBarAddPage).center());
    EXPECT_EQ(speed(0), 4410);
    EXPECT_EQ(speed(1), 2205);
    EXPECT_EQ(speed(2), 8820);

    // Slower on the trough: within range, every follower follows, silently.
    QTest::mouseClick(&reference, Qt::LeftButton, {},
                      test::ScrollBarPart(reference, QStyle::SC_ScrollBarSubPage).center());
    const int slower = speed(0);
    ASSERT_LT(slower, 4410);
    EXPECT_TRUE(mix().lockMatchOk);
    EXPECT_NEAR(speed(1), slower / 2.0, 0.5);
    EXPECT_EQ(speed(2), slower * 2);
    const std::array<int, 3> held{speed(0), speed(1), speed(2)};

    // The thumb dragged to the far end: back to the bars as they were when it was pressed.
    const QPoint thumb = test::ScrollBarPart(reference, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(&reference, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(&reference, QPoint(reference.width() - 1, thumb.y()));
    QTest::mouseRelease(&reference, Qt::LeftButton, {}, QPoint(reference.width() - 1, thumb.y()));
    EXPECT_EQ((std::array<int, 3>{speed(0), speed(1), speed(2)}), held);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

} // namespace
} // namespace mt
