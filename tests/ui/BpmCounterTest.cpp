// The BPM counter's window: real keys and clicks reach its session and the windows show it.
// The rules: CdBarTest; a held key under a real X server: KeyRepeatX11Test.
#include "support/UiFixture.h"
#include "ui/BpmCounterWindow.h"
#include "ui/CdPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace mt {
namespace {

// A tick given by hand (or that cannot start): "a tap after 500 ms" is 500 ms added to the
// tap clock, then V.
struct HandTimer final : PeriodicTimer {
    bool starts = true;
    bool start(Duration, std::function<void()>) override { return starts; }
    void stop() override {}
};

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
    static QString shown(const BpmCounterWindow& w) {
        return w.hintLabel->text() + " " + w.lblCount->text() + " " + w.TxtCdBpm->text();
    }
};

TEST_F(BpmCounterTest, KeysOnAnyControlMeasureTypingIsFilteredAndOkHandsTheBarToTheCd) {
    CdPanel& cd = m_window.cdPanel();
    BpmCounterWindow& w = open();
    EXPECT_TRUE(w.isVisible() && !w.isModal());
    QTest::keyClick(w.ComCountOK, Qt::Key_C);
    QWidget* const controls[] = {w.ChkEnterCdBPM, w.ComCountNG, w.TxtCdBpm, &w, w.ComCountOK};
    for (QWidget* control : controls) {
        m_app.mmt.tapClock += 500;
        QTest::keyClick(control, Qt::Key_V);
    }
    EXPECT_EQ(shown(w), "Zでリセット 1.000 240.000");
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Z);
    EXPECT_EQ(shown(w), "Cで測定開始。Vで測定 1.000 240.000");
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(cd.lblCDSec->text() + " " + cd.lblCdBpm->text(), "1.000 240");
    EXPECT_FALSE(w.isVisible());

    choose("mnuCounter");
    EXPECT_EQ(m_window.counterWindow(), &w) << "hidden, not unloaded";
    QTest::mouseClick(w.ChkEnterCdBPM, Qt::LeftButton); // the CD's tempo, selected
    QTest::keyClick(w.TxtCdBpm, Qt::Key_Backspace);
    QTest::keyClicks(w.TxtCdBpm, QStringLiteral(".119a.970007498125")); // a bar of 2.0005 s
    EXPECT_EQ(shown(w), "Cで測定開始。Vで測定 2.001 119.970007498125");
    QTest::mouseClick(w.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(cd.SpinButtonCD->value(), 2000);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(BpmCounterTest, CancelAndTheCloseBoxUnloadWithTheirMessageAndATickThatCannotStart) {
    QTest::mouseClick(open().ChkEnterCdBPM, Qt::LeftButton);
    QTest::mouseClick(m_window.counterWindow()->ComCountNG, Qt::LeftButton);
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
