#include "ManualTickClock.h"
#include "media/mmt/TickThread.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/FrmCount.h"
#include "ui/MixPanel.h"
#include "ui/TrackFrame.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

namespace mt {
namespace {

using namespace std::chrono_literals;

const QString kUnloaded = QStringLiteral("COunt Unloaded!!");

class RefusingTimer final : public PeriodicTimer {
public:
    bool start(Duration, std::function<void()>) override { return false; }
    void stop() override {}
};

// The main window with the counter's tick on a clock the test moves: "a tap after 500 ms" is
// advancing the clock by 500 ms, then pressing V.
class BpmCounterTest : public test::MainWindowTest {
protected:
    BpmCounterTest() { m_app.mmt.useTimer(std::make_unique<TickThread>(m_clock)); }
    ~BpmCounterTest() override { m_app.mmt.StopTapTimer(); } // before the clock goes

    FrmCount& open() {
        cdPanel().ComGoCDCount->click();
        FrmCount* window = m_window.counterWindow();
        EXPECT_NE(window, nullptr);
        return *window;
    }
    CdPanel& cdPanel() { return m_window.cdPanel(); }
    CdState& cd() { return m_app.cd.state; }

    // Presses a key on a control of the counter, as if that control had the focus.
    static void press(QWidget* control, Qt::Key key) { QTest::keyClick(control, key); }

    // C, then `taps` taps `intervalMs` apart, each sent to another control of the window.
    void measure(FrmCount& w, int taps, std::chrono::milliseconds interval) {
        press(w.ComCountOK, Qt::Key_C);
        const QWidget* controls[] = {w.ChkEnterCdBPM, w.ComCountNG, w.TxtCdBpm, &w};
        for (int i = 0; i < taps; ++i) {
            m_clock.advance(interval);
            press(const_cast<QWidget*>(controls[i % 4]), Qt::Key_V);
        }
    }

    test::ManualTickClock m_clock;
};

TEST_F(BpmCounterTest, OpensNonModalFromTheCdButtonAndTheMenuWithTheCdValues) {
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    cdPanel().SpinButtonCD->setValue(2500); // 2.5 s, 96 BPM
    FrmCount& w = open();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(w.lblCount->text(), "2.500");
    EXPECT_EQ(w.TxtCdBpm->text(), "96");
    EXPECT_FALSE(w.TxtCdBpm->isEnabled());
    EXPECT_EQ(w.Label1->text(), "Cで測定開始。Vで測定");

    w.hide();
    QAction* item = m_window.menuItem(QStringLiteral("mnuCounter"));
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(m_window.counterWindow(), &w); // the loaded window again
    EXPECT_TRUE(w.isVisible());
}

TEST_F(BpmCounterTest, TapsHalfASecondApartMeasureOneSecondAndTwoHundredForty) {
    FrmCount& w = open();
    measure(w, 6, 500ms);
    EXPECT_EQ(w.Label1->text(), "Zでリセット");
    EXPECT_EQ(w.lblCount->text(), "1.000");
    EXPECT_EQ(w.TxtCdBpm->text(), "240.000");
    EXPECT_EQ(w.tapIndex, 13); // x ran 2, 4, ... 12
    EXPECT_EQ(w.lastTapTime, 3000);
}

TEST_F(BpmCounterTest, OneSecondTapsHandTwoSecondsAndOneHundredTwentyToTheCd) {
    cdPanel().SpinButtonCD->setValue(2500);
    FrmCount& w = open();
    measure(w, 8, 1000ms);
    EXPECT_EQ(w.lblCount->text(), "2.000");
    EXPECT_EQ(w.TxtCdBpm->text(), "120.000");

    w.ComCountOK->click();
    EXPECT_EQ(cd().cdBarSeconds, 2.0);
    EXPECT_EQ(cd().cdBpm, 120.0f);
    EXPECT_EQ(cdPanel().lblCdBpm->text(), "120");
    EXPECT_EQ(cdPanel().lblCDSec->text(), "2.000");
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), 2000);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(m_window.counterWindow(), &w); // hidden, not unloaded
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
    EXPECT_EQ(m_app.mmt.tapClock.load(), 0);
    EXPECT_EQ(w.Label1->text(), "Cで測定開始。Vで測定");
    EXPECT_TRUE(m_platform.messages.shown.empty());

    // The next measurement starts from nothing: sums and x were cleared by OK.
    measure(w, 3, 600ms);
    EXPECT_EQ(w.lblCount->text(), "1.200");
    EXPECT_EQ(w.TxtCdBpm->text(), "200.000");
}

TEST_F(BpmCounterTest, ABarBetweenMillisecondsSplitsIntoTheUpDownAndItsBase) {
    int rematches = 0;
    cdPanel().onBarChanged = [&rematches] { ++rematches; };
    cdPanel().ChkCDkijun->setChecked(true);
    m_window.menuItem(QStringLiteral("mnuLock"))->setChecked(true);

    FrmCount& w = open();
    w.ChkEnterCdBPM->setChecked(true);
    w.TxtCdBpm->setText(QStringLiteral("119.970007498125")); // 240 / 2.0005
    EXPECT_EQ(w.lblCount->text(), "2.001");
    w.ComCountOK->click();
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), 2000);
    EXPECT_NEAR(cd().cdBarSecondsBase, 0.0005, 1e-12);
    EXPECT_NEAR(cd().cdBarSeconds, 2.0005, 1e-12);
    EXPECT_EQ(cd().cdBpm, 119.97f);
    EXPECT_EQ(cdPanel().lblCdBpm->text(), "119.97");
    // The up-down kept its 2000, yet the bar moved: the tracks follow it under the lock.
    EXPECT_EQ(rematches, 1);

    // A bar of whole milliseconds leaves no base behind, even where the binary product
    // falls just short of the integer (2.001 x 1000 = 2000.9999...).
    w.measuredBarSeconds = 2.001;
    w.measuredBpm = 119.94f;
    w.ComCountOK_Click();
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), 2001);
    EXPECT_NEAR(cd().cdBarSecondsBase, 0.0, 1e-12);
    EXPECT_EQ(cd().cdBarSeconds, 2.001);
    EXPECT_EQ(rematches, 2);
}

TEST_F(BpmCounterTest, UnderTheLockTheTracksFollowTheTappedCdBar) {
    addWav("one.wav", 44100, 1, 44100); // one second
    load(0, "one.wav");
    frame(0).Combo->setCurrentIndex(frame(0).Combo->findText(QStringLiteral("*1")));
    cdPanel().ChkCDkijun->setChecked(true);
    QAction* lock = m_window.menuItem(QStringLiteral("mnuLock"));
    ASSERT_TRUE(lock->isEnabled()); // the CD box is a reference
    lock->setChecked(true);

    cdPanel().SpinButtonCD->setValue(2500);
    EXPECT_EQ(frame(0).HSFre->value(), 1764);
    FrmCount& w = open();
    measure(w, 4, 1000ms); // two seconds
    w.ComCountOK->click();
    EXPECT_EQ(frame(0).HSFre->value(), 2205);
    open();
    measure(w, 4, 500ms);
    w.ComCountOK->click();
    EXPECT_EQ(frame(0).HSFre->value(), 4410);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(BpmCounterTest, DirectEntryDrivesTheBarAndTapsLeaveTheTextAlone) {
    FrmCount& w = open();
    w.ChkEnterCdBPM->setChecked(true);
    ASSERT_TRUE(w.TxtCdBpm->isEnabled());
    EXPECT_TRUE(w.TxtCdBpm->hasSelectedText());
    EXPECT_EQ(w.TxtCdBpm->selectedText(), "120");

    w.TxtCdBpm->clear();
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral("150"));
    EXPECT_EQ(w.TxtCdBpm->text(), "150");
    EXPECT_EQ(w.lblCount->text(), "1.600");

    measure(w, 4, 500ms);
    EXPECT_EQ(w.TxtCdBpm->text(), "150");
    EXPECT_EQ(w.lblCount->text(), "1.000");
    w.ComCountOK->click(); // the taps came last: they are what is handed over
    EXPECT_EQ(cd().cdBarSeconds, 1.0);
    EXPECT_EQ(cd().cdBpm, 240.0f);

    // Hidden by OK, the window keeps its entry mode for the next opening.
    open();
    EXPECT_TRUE(w.ChkEnterCdBPM->isChecked());
    EXPECT_TRUE(w.TxtCdBpm->isEnabled());
    w.ChkEnterCdBPM->setChecked(false);
    EXPECT_FALSE(w.TxtCdBpm->isEnabled());
    w.TxtCdBpm->setText(QStringLiteral("60")); // set while disabled: no entry
    EXPECT_EQ(w.lblCount->text(), "1.000");
}

TEST_F(BpmCounterTest, EntryKeyFilterAndTextsThatAreNoTempo) {
    FrmCount& w = open();
    w.ChkEnterCdBPM->setChecked(true);
    w.TxtCdBpm->clear();
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral(".1a2.5.x-6"));
    EXPECT_EQ(w.TxtCdBpm->text(), "12.56");
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Backspace);
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Backspace);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral("."));
    EXPECT_EQ(w.TxtCdBpm->text(), "12."); // the point went with the backspaces
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Home);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral("1"));
    EXPECT_EQ(w.TxtCdBpm->text(), "112.");

    w.TxtCdBpm->setText(QStringLiteral("120"));
    ASSERT_EQ(w.lblCount->text(), "2.000");
    for (const char* none : {"0", ".", "", "0.000", "00"}) {
        w.TxtCdBpm->setText(QLatin1String(none));
        EXPECT_EQ(w.lblCount->text(), "2.000") << none;
        EXPECT_EQ(w.measuredBarSeconds, 2.0) << none;
    }
    w.TxtCdBpm->setText(QStringLiteral("1,200.000")); // pasted: read up to the comma
    EXPECT_EQ(w.lblCount->text(), "240.000");
}

TEST_F(BpmCounterTest, KeysOutOfTurnAndTheResetKeepTheLastResult) {
    FrmCount& w = open();
    m_clock.advance(1000ms);
    press(w.ComCountOK, Qt::Key_V); // before C: nothing
    EXPECT_EQ(w.tapIndex, 1);
    EXPECT_EQ(w.lblCount->text(), "2.000");
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);

    measure(w, 2, 500ms);
    press(w.ChkEnterCdBPM, Qt::Key_C); // a second C while measuring changes nothing
    m_clock.advance(500ms);
    press(w.ComCountNG, Qt::Key_V);
    EXPECT_EQ(w.lastTapTime, 1500);
    EXPECT_EQ(w.lblCount->text(), "1.000");

    // Held down, V repeats: one press is one tap.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_V, Qt::NoModifier, QStringLiteral("v"), true);
    m_clock.advance(20ms);
    QApplication::sendEvent(w.ComCountOK, &repeat);
    EXPECT_EQ(w.tapIndex, 7);

    press(w.TxtCdBpm, Qt::Key_Z);
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
    EXPECT_EQ(m_app.mmt.tapClock.load(), 0);
    EXPECT_EQ(w.sumXX, 0.0f);
    EXPECT_EQ(w.sumXY, 0.0f);
    EXPECT_EQ(w.tapIndex, 1);
    EXPECT_EQ(w.Label1->text(), "Cで測定開始。Vで測定");
    EXPECT_EQ(w.lblCount->text(), "1.000");
    EXPECT_EQ(w.TxtCdBpm->text(), "240.000");
    m_clock.advance(1000ms);
    press(&w, Qt::Key_V); // idle again
    EXPECT_EQ(w.tapIndex, 1);

    w.ComCountOK->click(); // the result kept by Z is still handed over
    EXPECT_EQ(cd().cdBarSeconds, 1.0);
    EXPECT_EQ(cdPanel().lblCdBpm->text(), "240");
}

TEST_F(BpmCounterTest, ATapInTheFirstTickShowsNoTempoDividedByZero) {
    FrmCount& w = open();
    press(&w, Qt::Key_C);
    press(&w, Qt::Key_V); // tapClock still 0: the line is flat
    EXPECT_EQ(w.lblCount->text(), "2.000");
    EXPECT_EQ(w.TxtCdBpm->text(), "120");
    EXPECT_EQ(w.measuredBarSeconds, 0.0);
    m_clock.advance(1000ms);
    press(&w, Qt::Key_V);
    // The tap at time 0 is a point of the line like any other: one beat of 1000 ms.
    EXPECT_EQ(w.lblCount->text(), "2.000");
    EXPECT_EQ(w.TxtCdBpm->text(), "120.000");
}

// C only starts the clock: the tempo comes from the taps' spacing however long the performer
// waits before the first one (here half a beat to four beats at 240 BPM).
TEST_F(BpmCounterTest, ThePauseBeforeTheFirstTapDoesNotBendTheTempo) {
    FrmCount& w = open();
    for (const auto pause : {240ms, 500ms, 1000ms, 2000ms}) {
        press(w.ComCountOK, Qt::Key_C);
        m_clock.advance(pause);
        press(w.ComCountOK, Qt::Key_V);
        EXPECT_EQ(w.lblCount->text(), "2.000") << "one tap makes no line yet";
        for (int tap = 0; tap < 6; ++tap) {
            m_clock.advance(500ms);
            press(tap % 2 == 0 ? static_cast<QWidget*>(w.ChkEnterCdBPM) : w.ComCountNG, Qt::Key_V);
        }
        EXPECT_EQ(w.lblCount->text(), "1.000") << pause.count() << " ms";
        EXPECT_EQ(w.TxtCdBpm->text(), "240.000") << pause.count() << " ms";
        press(w.ComCountOK, Qt::Key_Z);
        w.lblCount->setText(QStringLiteral("2.000"));
    }
}

// OK re-matches the tracks under the lock only when the bar it hands over differs from the
// CD's: a speed tuned by hand since the last match survives an OK that changes nothing.
TEST_F(BpmCounterTest, OkWithTheSameBarKeepsAHandTunedSpeedUnderTheLock) {
    test::ShowActive(m_window);
    test::ChooseMenuItem(m_window, *m_window.menuItem(QStringLiteral("mnuCD")));
    addWav("one.wav", 44100, 1, 44100); // one second
    load(0, "one.wav");
    test::ChooseComboItem(*frame(0).Combo, QStringLiteral("*1"));
    QTest::mouseClick(cdPanel().ChkCDkijun, Qt::LeftButton);
    QTest::mouseClick(m_window.mix().LabelLocked, Qt::LeftButton);
    ASSERT_TRUE(m_window.menuItem(QStringLiteral("mnuLock"))->isChecked());

    QTest::mouseClick(cdPanel().ComGoCDCount, Qt::LeftButton);
    FrmCount& w = *m_window.counterWindow();
    measure(w, 4, 1000ms); // a bar of two seconds, as the CD had
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(cd().cdBarSeconds, 2.0);
    EXPECT_EQ(frame(0).HSFre->value(), 4410) << "an unchanged bar matches nothing";

    QScrollBar& speed = *frame(0).HSFre;
    QTest::mouseClick(&speed, Qt::LeftButton, {},
                      test::ScrollBarPart(speed, QStyle::SC_ScrollBarSubPage).center());
    const int tuned = speed.value();
    ASSERT_LT(tuned, 4410);
    QTest::mouseClick(cdPanel().ComGoCDCount, Qt::LeftButton);
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton); // nothing measured: the CD's own bar
    EXPECT_EQ(speed.value(), tuned);

    QTest::mouseClick(cdPanel().ComGoCDCount, Qt::LeftButton);
    measure(w, 4, 500ms); // a bar of one second: now the track follows
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(speed.value(), 4410);
}

TEST_F(BpmCounterTest, OkWithoutAMeasurementWritesTheCdValuesBack) {
    cdPanel().SpinButtonCD->setValue(2500);
    cdPanel().lblCDSec->setText(QStringLiteral("stale"));
    cdPanel().lblCdBpm->setText(QStringLiteral("stale"));
    FrmCount& w = open();
    w.ComCountOK->click();
    EXPECT_EQ(cd().cdBarSeconds, 2.5);
    EXPECT_EQ(cd().cdBpm, 96.0f);
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), 2500);
    EXPECT_EQ(cdPanel().lblCDSec->text(), "2.500");
    EXPECT_EQ(cdPanel().lblCdBpm->text(), "96");
}

TEST_F(BpmCounterTest, AnEnteredTempoBeyondTheUpDownBringsTheBarToItsEdge) {
    FrmCount& w = open();
    w.ChkEnterCdBPM->setChecked(true);
    w.TxtCdBpm->setText(QStringLiteral("10")); // a 24 s bar
    EXPECT_EQ(w.lblCount->text(), "24.000");
    w.ComCountOK->click();
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), CdPanel::kMaxBarMs);
    EXPECT_EQ(cd().cdBarSeconds, 10.0);
    EXPECT_EQ(cd().cdBpm, 24.0f);
    EXPECT_EQ(cdPanel().lblCdBpm->text(), "24");

    open();
    w.TxtCdBpm->setText(QStringLiteral("9600")); // a 25 ms bar
    w.ComCountOK->click();
    EXPECT_EQ(cdPanel().SpinButtonCD->value(), CdPanel::kMinBarMs);
    EXPECT_EQ(cd().cdBarSeconds, 0.1);
    EXPECT_EQ(cd().cdBpm, 2400.0f);
}

TEST_F(BpmCounterTest, CancelAndTheCloseBoxUnloadWithTheirMessage) {
    cdPanel().SpinButtonCD->setValue(2500);
    FrmCount& w = open();
    w.ChkEnterCdBPM->setChecked(true);
    measure(w, 3, 500ms);
    w.ComCountNG->click();
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
    EXPECT_EQ(m_app.mmt.tapClock.load(), 0);
    EXPECT_EQ(messageTexts(), std::vector<QString>{kUnloaded});
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    EXPECT_EQ(cd().cdBarSeconds, 2.5); // nothing handed over
    EXPECT_EQ(cd().cdBpm, 96.0f);

    FrmCount& fresh = open(); // loaded anew: entry mode off again
    EXPECT_FALSE(fresh.ChkEnterCdBPM->isChecked());
    EXPECT_EQ(fresh.lblCount->text(), "2.500");
    measure(fresh, 2, 1000ms);
    fresh.close(); // the close box
    EXPECT_EQ(messageTexts(), (std::vector<QString>{kUnloaded, kUnloaded}));
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
}

TEST_F(BpmCounterTest, ATickThatCannotStartIsReportedAndTapsAreIgnored) {
    m_app.mmt.useTimer(std::make_unique<RefusingTimer>());
    FrmCount& w = open();
    press(&w, Qt::Key_C);
    EXPECT_EQ(messageTexts(), std::vector<QString>{ModuleMMT::kTimerFailedMessage});
    EXPECT_EQ(w.Label1->text(), "Zでリセット");
    press(&w, Qt::Key_V);
    EXPECT_EQ(w.tapIndex, 1);
    EXPECT_EQ(w.lblCount->text(), "2.000");
}

} // namespace
} // namespace mt
