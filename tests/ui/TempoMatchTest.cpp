#include "core/ClockSender.h"
#include "support/UiFixture.h"
#include "ui/BpmCounterWindow.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/MidiPanel.h"
#include "ui/MixPanel.h"
#include "ui/SyncWindow.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
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

// The gear the clock is sent to, as the sync window drives it.
struct FakeSender final : ClockSender {
    void start() override { calls += "start ", on = true; }
    void stop() override { calls += "stop ", on = false; }
    void resume() override { calls += "resume ", on = true; }
    bool sending() const override { return on; }
    std::string calls;
    bool on = false;
};

// The tempo controls and the BPM counter reach the core by real clicks and keys, and the
// speed bars, the lock's menu tick and label, the reference boxes and the counter show what
// it did. The rules: TempoTest, CdBarTest; a held key under a real X server: KeyRepeatX11Test.
class TempoMatchTest : public test::MainWindowTest {
protected:
    TempoMatchTest() {
        m_app.mmt.useTimer(std::make_unique<HandTimer>());
        choose("mnuCD");
        m_platform.messages.shown.clear(); // there is no CD drive here
    }
    std::vector<int> speeds() { return {speed(0), speed(1), speed(2)}; }
    int speed(int i) { return frame(i).speedBar->value(); }
    BpmCounterWindow& openCounter() {
        QTest::mouseClick(m_window.cdPanel().cdCounterButton, Qt::LeftButton);
        return *m_window.counterWindow();
    }
    static QString shown(const BpmCounterWindow& w) {
        return w.hintLabel->text() + " " + w.barSecondsLabel->text() + " " + w.cdBpmEdit->text();
    }
};

TEST_F(TempoMatchTest, ClicksMatchLockAndChooseTheReference) {
    addWav("two.wav", 44100, 1, 88200); // two seconds
    addWav("one.wav", 44100, 1, 44100); // one second
    load(0, "two.wav");
    load(1, "one.wav");
    load(2, "two.wav");
    test::ChooseComboItem(*frame(0).ratioBox, QStringLiteral("基準"));
    test::ChooseComboItem(*frame(1).ratioBox, QStringLiteral("*1"));
    test::ChooseComboItem(*frame(2).ratioBox, QStringLiteral("*2"));
    QAction& lock = *m_window.menuItem(QStringLiteral("mnuLock"));
    EXPECT_TRUE(lock.isEnabled()) << "a marked track makes the lock available";
    QTest::mouseClick(m_window.mix().matchTempoButton, Qt::LeftButton);
    EXPECT_EQ(speeds(), (std::vector<int>{4410, 2205, 8820}));

    ClickableLabel& label = *m_window.mix().lockedLabel;
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_TRUE(lock.isChecked());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 255, 0));
    // A press on the reference bar captures every bar. Faster: track 3 would pass 8990, so
    // every bar goes back, the moved one too. Slower: the followers follow.
    QScrollBar& reference = *frame(0).speedBar;
    const auto trough = [&reference](QStyle::SubControl part) {
        return test::ScrollBarPart(reference, part).center();
    };
    QTest::mouseClick(&reference, Qt::LeftButton, {}, trough(QStyle::SC_ScrollBarAddPage));
    EXPECT_EQ(speeds(), (std::vector<int>{4410, 2205, 8820}));
    QTest::mouseClick(&reference, Qt::LeftButton, {}, trough(QStyle::SC_ScrollBarSubPage));
    EXPECT_LT(speed(0), 4410);
    EXPECT_EQ(speed(2), speed(0) * 2);

    test::ChooseMenuItem(m_window, lock);
    EXPECT_FALSE(m_app.tempo.lockOn() || lock.isChecked());
    QCheckBox& midiBox = *m_window.midiPanel().midiReferenceCheck;
    QTest::mouseClick(&midiBox, Qt::LeftButton);
    // Under the lock the song's tempo re-matches; the CD's bar, not the reference, does not.
    QTest::mouseClick(&label, Qt::LeftButton);
    m_window.midiPanel().midiTempoSpin->setFocus();
    QTest::keyClick(m_window.midiPanel().midiTempoSpin, Qt::Key_Up); // 121 BPM
    EXPECT_EQ((std::vector<int>{speed(1), speed(2)}), (std::vector<int>{2223, 8894}));
    bank().setSpeed(1, 3000);
    m_app.cdBar.setWholeMs(1000);
    EXPECT_EQ(speed(1), 3000);
    QTest::mouseClick(&label, Qt::LeftButton);
    QTest::mouseClick(m_window.cdPanel().cdReferenceCheck, Qt::LeftButton);
    EXPECT_EQ(m_app.tempo.reference(), TempoReference::Cd);
    EXPECT_FALSE(midiBox.isChecked());
    // The CD's bar moved (by the counter, by its up-down) re-matches only under the lock.
    BpmCounterWindow& counter = openCounter();
    QTest::mouseClick(counter.typeBpmCheck, Qt::LeftButton);
    QTest::keyClick(counter.cdBpmEdit, Qt::Key_Backspace);         // the CD's tempo, selected
    QTest::keyClicks(counter.cdBpmEdit, QStringLiteral(".96a..")); // through the key filter
    EXPECT_EQ(counter.cdBpmEdit->text() + " " + counter.barSecondsLabel->text(), "96. 2.500");
    QTest::mouseClick(counter.counterOkButton, Qt::LeftButton);
    EXPECT_EQ(speed(1), 3000) << "matched without the lock";
    QTest::mouseClick(&label, Qt::LeftButton);
    m_window.cdPanel().cdBarSpin->setFocus();
    QTest::keyClick(m_window.cdPanel().cdBarSpin, Qt::Key_Down); // 2.499 s
    EXPECT_EQ((std::vector<int>{speed(1), speed(2)}), (std::vector<int>{1765, 7059}));
}

TEST_F(TempoMatchTest, TheCountersKeysMeasureOkHandsTheBarOverAndCancelUnloads) {
    CdPanel& cd = m_window.cdPanel();
    BpmCounterWindow& w = openCounter();
    EXPECT_TRUE(w.isVisible() && !w.isModal());
    QTest::keyClick(w.counterOkButton, Qt::Key_C);
    QWidget* const controls[] = {w.typeBpmCheck, w.counterCancelButton, w.cdBpmEdit, &w,
                                 w.counterOkButton};
    for (QWidget* control : controls) {
        m_app.mmt.tapClock += 500;
        QTest::keyClick(control, Qt::Key_V);
    }
    EXPECT_EQ(shown(w), "Zでリセット 1.000 240.000");
    QTest::keyClick(w.cdBpmEdit, Qt::Key_Z);
    EXPECT_EQ(shown(w), "Cで測定開始。Vで測定 1.000 240.000");
    QTest::mouseClick(w.counterOkButton, Qt::LeftButton);
    EXPECT_EQ(cd.cdBarSecondsLabel->text() + " " + cd.cdBpmLabel->text(), "1.000 240");
    EXPECT_FALSE(w.isVisible());

    choose("mnuCounter");
    EXPECT_EQ(m_window.counterWindow(), &w) << "hidden, not unloaded";
    EXPECT_TRUE(m_platform.messages.shown.empty());

    // Cancel and the close box unload it with their message; a tick that cannot start is told.
    QTest::mouseClick(w.typeBpmCheck, Qt::LeftButton);
    QTest::mouseClick(w.counterCancelButton, Qt::LeftButton);
    EXPECT_EQ(m_window.counterWindow(), nullptr);
    BpmCounterWindow& fresh = openCounter(); // loaded anew: entry mode off again
    EXPECT_FALSE(fresh.typeBpmCheck->isChecked() || fresh.cdBpmEdit->isEnabled());
    fresh.close(); // the close box
    EXPECT_EQ(messageTexts(), (std::vector<QString>(2, QStringLiteral("COunt Unloaded!!"))));
    auto refusing = std::make_unique<HandTimer>();
    refusing->starts = false;
    m_app.mmt.useTimer(std::move(refusing));
    QTest::keyClick(&openCounter(), Qt::Key_C);
    EXPECT_EQ(messageTexts().back(), TapTimer::kTimerFailedMessage);
}

// The sync window sets the clock's source, tempo and bar, refuses a tempo out of range with
// the usual message, takes tempo matching's reference in turn with the CD's box, and drives a
// sender only when there is one. The rules: PerformanceTest.
TEST_F(TempoMatchTest, TheSyncWindowSetsTheClockAndDrivesItsSender) {
    const BeatClock& clock = m_app.performance.clock();
    QTest::mouseClick(m_window.beatLabel, Qt::LeftButton);
    auto* w = m_window.findChild<SyncWindow*>();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->senderStartButton->isEnabled() || w->senderResumeButton->isEnabled());
    QTest::mouseClick(w->tapSourceRadio, Qt::LeftButton);
    EXPECT_EQ(clock.source(), TempoSource::Tap);
    QTest::mouseClick(w->bpmEdit, Qt::LeftButton); // the field keeps its letters from here
    for (const char* typed : {"９６", "500", "fast"}) {
        QTest::keyClick(w->bpmEdit, Qt::Key_A, Qt::ControlModifier);
        QInputMethodEvent commit; // as a Japanese input method types: full-width digits too
        commit.setCommitString(QString::fromUtf8(typed));
        QApplication::sendEvent(w->bpmEdit, &commit);
        QTest::keyClick(w->bpmEdit, Qt::Key_Return);
    }
    EXPECT_EQ(std::make_tuple(clock.bpm(), clock.source(), w->bpmEdit->text()),
              std::make_tuple(96.0, TempoSource::Typed, QStringLiteral("96")));
    EXPECT_EQ(messageTexts(),
              std::vector<QString>(2, QStringLiteral("テンポは 20～300 の範囲で入力してください")));
    w->beatsPerBarSpin->setFocus();
    QTest::keyClick(w->beatsPerBarSpin, Qt::Key_Down);
    EXPECT_TRUE(QTest::qWaitFor([this] {
        return m_window.beatLabel->text().contains(
            QRegularExpression(QStringLiteral("^♩=96.0 [123]/3$")));
    })) << m_window.beatLabel->text().toStdString();
    QTest::mouseClick(w->referenceSourceRadio, Qt::LeftButton);
    EXPECT_EQ(clock.bpm(), 120.0) << "the CD's bar of 2 s";

    QCheckBox& cdBox = *m_window.cdPanel().cdReferenceCheck;
    QTest::mouseClick(&cdBox, Qt::LeftButton);
    test::ClickCheckBox(*w->clockReferenceCheck);
    EXPECT_TRUE(m_app.tempo.reference() == TempoReference::Clock && !cdBox.isChecked());
    QTest::mouseClick(&cdBox, Qt::LeftButton);
    EXPECT_FALSE(w->clockReferenceCheck->isChecked());

    // An outside source that is not there: the clock runs free, and both lines say so.
    QTest::mouseClick(w->midiClockSourceRadio, Qt::LeftButton);
    EXPECT_EQ(clock.source(), TempoSource::MidiClock);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return m_window.beatLabel->text().startsWith(QStringLiteral("MIDI・自走 ♩=120.0")) &&
               w->nowLabel->text().contains(QStringLiteral("MIDIクロック：見つからないため自走中"));
    })) << m_window.beatLabel->text().toStdString();
    QTest::mouseClick(w->typedSourceRadio, Qt::LeftButton);

    FakeSender sender;
    m_app.clockSender = &sender;
    QTest::mouseClick(w->closeButton, Qt::LeftButton);
    choose("mnuSync");
    w = m_window.findChild<SyncWindow*>();
    for (QPushButton* button : {w->senderStartButton, w->senderStopButton, w->senderResumeButton}) {
        ASSERT_TRUE(button->isEnabled()) << sender.calls;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_EQ(sender.calls, "start stop resume ");
    m_app.clockSender = nullptr;
}

} // namespace
} // namespace mt
