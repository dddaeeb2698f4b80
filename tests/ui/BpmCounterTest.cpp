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

// The rules are TapSessionTest's; here real keys and clicks reach the session and the
// windows show it.
TEST_F(BpmCounterTest, KeysOnAnyControlMeasureAndOkHandsTheBarToTheCd) {
    CdPanel& cd = m_window.cdPanel();
    BpmCounterWindow& w = open();
    EXPECT_TRUE(w.isVisible() && !w.isModal());
    measure(w, 6, 500);
    EXPECT_EQ(w.hintLabel->text(), "Zでリセット");
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_V, Qt::NoModifier, QStringLiteral("v"), true);
    m_app.mmt.tapClock += 20;
    QApplication::sendEvent(w.ComCountOK, &repeat); // held down: one press is one tap
    EXPECT_EQ(shown(w), "1.000 240.000");
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Z);
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

// Under the lock with the CD as the reference, a typed tempo's OK re-matches the tracks.
TEST_F(BpmCounterTest, TypedTempoThroughTheKeyFilterAndTheLockedRematch) {
    addWav("one.wav", 44100, 1, 44100); // one second
    load(0, "one.wav");
    test::ChooseComboItem(*frame(0).ratioBox, QStringLiteral("*1"));
    QTest::mouseClick(m_window.cdPanel().cdReferenceCheck, Qt::LeftButton);
    QTest::mouseClick(m_window.mix().LabelLocked, Qt::LeftButton);
    BpmCounterWindow& w = open();
    QTest::mouseClick(w.ChkEnterCdBPM, Qt::LeftButton); // the CD's tempo selected
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Backspace);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral(".119a.970007498125")); // a bar of 2.0005 s
    EXPECT_EQ(shown(w), "2.001 119.970007498125");
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(m_window.cdPanel().SpinButtonCD->value(), 2000);
    EXPECT_EQ(frame(0).HSFre->value(), 2204);
}

TEST_F(BpmCounterTest, CancelAndTheCloseBoxUnloadWithTheirMessageAndATickThatCannotStart) {
    BpmCounterWindow& w = open();
    QTest::mouseClick(w.ChkEnterCdBPM, Qt::LeftButton);
    QTest::mouseClick(w.ComCountNG, Qt::LeftButton);
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    BpmCounterWindow& fresh = open(); // loaded anew: entry mode off again
    EXPECT_FALSE(fresh.ChkEnterCdBPM->isChecked() || fresh.TxtCdBpm->isEnabled());
    fresh.close(); // the close box
    EXPECT_EQ(messageTexts(), (std::vector<QString>(2, QStringLiteral("COunt Unloaded!!"))));
    auto refusing = std::make_unique<HandTimer>();
    refusing->starts = false;
    m_app.mmt.useTimer(std::move(refusing));
    QTest::keyClick(&open(), Qt::Key_C);
    EXPECT_EQ(messageTexts().back(), ModuleMMT::kTimerFailedMessage);
}

} // namespace
} // namespace mt
