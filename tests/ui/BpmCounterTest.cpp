#include "support/UiFixture.h"
#include "ui/BpmCounterWindow.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/MixPanel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace mt {
namespace {

// A tick the test gives by hand (or that cannot start): "a tap after 500 ms" is adding 500 ms
// to the tap clock, then pressing V.
struct HandTimer final : PeriodicTimer {
    bool starts = true;
    bool start(Duration, std::function<void()>) override { return starts; }
    void stop() override {}
};

// The counter opened by its button; taps are pressed on another control of the window each.
class BpmCounterTest : public test::MainWindowTest {
protected:
    BpmCounterTest() {
        m_app.mmt.useTimer(std::make_unique<HandTimer>());
        choose("mnuCD");
        m_platform.messages.shown.clear(); // there is no CD drive here
    }

    BpmCounterWindow& open() {
        QTest::mouseClick(m_window.cdPanel().ComGoCDCount, Qt::LeftButton);
        return *m_window.counterWindow();
    }
    void measure(BpmCounterWindow& w, int taps, std::int32_t intervalMs) {
        QTest::keyClick(w.ComCountOK, Qt::Key_C);
        QWidget* const controls[] = {w.ChkEnterCdBPM, w.ComCountNG, w.TxtCdBpm, &w};
        for (int i = 0; i < taps; ++i) {
            m_app.mmt.tapClock += intervalMs;
            QTest::keyClick(controls[i % 4], Qt::Key_V);
        }
    }
    static QString shown(const BpmCounterWindow& w) {
        return w.lblCount->text() + " " + w.TxtCdBpm->text();
    }
};

TEST_F(BpmCounterTest, KeysOnAnyControlMeasureAndOkHandsTheBarToTheCd) {
    CdPanel& cd = m_window.cdPanel();
    cd.SpinButtonCD->setValue(2500); // 2.5 s, 96 BPM
    BpmCounterWindow& w = open();
    EXPECT_TRUE(w.isVisible() && !w.isModal());
    EXPECT_EQ(shown(w), "2.500 96");
    QTest::keyClick(&w, Qt::Key_V); // before C: nothing
    measure(w, 6, 500);
    EXPECT_EQ(w.hintLabel->text(), "Zでリセット");
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_V, Qt::NoModifier, QStringLiteral("v"), true);
    m_app.mmt.tapClock += 20;
    QApplication::sendEvent(w.ComCountOK, &repeat); // held down: one press is one tap
    QTest::keyClick(w.ComCountOK, Qt::Key_C);       // a second C while measuring: nothing
    EXPECT_EQ(shown(w), "1.000 240.000");
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Z); // the taps go, the result shown stays
    EXPECT_EQ(w.hintLabel->text(), "Cで測定開始。Vで測定");
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(cd.SpinButtonCD->value(), 1000);
    EXPECT_EQ(cd.lblCDSec->text() + " " + cd.lblCdBpm->text(), "1.000 240");
    EXPECT_FALSE(w.isVisible());
    choose("mnuCounter");
    EXPECT_EQ(m_window.counterWindow(), &w) << "hidden, not unloaded";
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

// Under the lock with the CD as the reference, OK re-matches the tracks when the bar it hands
// over differs from the CD's, even by less than the up-down's millisecond.
TEST_F(BpmCounterTest, TypedTempoThroughTheKeyFilterAndTheLockedRematch) {
    addWav("one.wav", 44100, 1, 44100); // one second
    load(0, "one.wav");
    test::ChooseComboItem(*frame(0).ratioBox, QStringLiteral("*1"));
    QTest::mouseClick(m_window.cdPanel().cdReferenceCheck, Qt::LeftButton);
    QTest::mouseClick(m_window.mix().LabelLocked, Qt::LeftButton);
    BpmCounterWindow& w = open();
    measure(w, 4, 1000); // a bar of two seconds, as the CD has
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(frame(0).HSFre->value(), 4410) << "an unchanged bar matches nothing";

    open();
    QTest::mouseClick(w.ChkEnterCdBPM, Qt::LeftButton);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral("150")); // replaces the selected text
    measure(w, 2, 500);
    EXPECT_EQ(shown(w), "1.000 150") << "taps leave a typed tempo alone";
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w.TxtCdBpm, Qt::Key_Backspace);
    }
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral(".119a.970007498125")); // a bar of 2.0005 s
    EXPECT_EQ(shown(w), "2.001 119.970007498125");
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(m_window.cdPanel().SpinButtonCD->value(), 2000);
    EXPECT_NEAR(m_app.cd.state.cdBarSecondsBase, 0.0005, 1e-12);
    EXPECT_EQ(frame(0).HSFre->value(), 2204);
    open(); // still in entry mode; a bar of whole milliseconds just below 1.001 x 1000
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral("239.76023976024"));
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(m_window.cdPanel().SpinButtonCD->value(), 1001);
}

TEST_F(BpmCounterTest, CancelAndTheCloseBoxUnloadWithTheirMessageAndATickThatCannotStart) {
    BpmCounterWindow& w = open();
    QTest::mouseClick(w.ChkEnterCdBPM, Qt::LeftButton);
    measure(w, 3, 500);
    QTest::mouseClick(w.ComCountNG, Qt::LeftButton);
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    EXPECT_EQ(m_app.cd.state.cdBarSeconds, 2.0); // nothing handed over
    BpmCounterWindow& fresh = open();            // loaded anew: entry mode off again
    EXPECT_FALSE(fresh.ChkEnterCdBPM->isChecked());
    fresh.close(); // the close box
    EXPECT_EQ(messageTexts(), (std::vector<QString>(2, QStringLiteral("COunt Unloaded!!"))));
    EXPECT_FALSE(m_app.mmt.tapTimerRunning);
    auto refusing = std::make_unique<HandTimer>();
    refusing->starts = false;
    m_app.mmt.useTimer(std::move(refusing));
    BpmCounterWindow& third = open();
    QTest::keyClick(&third, Qt::Key_C);
    EXPECT_EQ(messageTexts().back(), ModuleMMT::kTimerFailedMessage);
    QTest::keyClick(&third, Qt::Key_V);
    EXPECT_EQ(shown(third), "2.000 120");
}

} // namespace
} // namespace mt
