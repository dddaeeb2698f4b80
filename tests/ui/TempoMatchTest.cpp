#include "support/UiFixture.h"
#include "ui/BpmCounterWindow.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/MidiPanel.h"
#include "ui/MixPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace mt {
namespace {

// The tempo controls reach the tempo control by real clicks, and the speed bars, the lock's
// menu tick and label and the reference boxes show what it did.
class TempoMatchTest : public test::MainWindowTest {
protected:
    std::vector<int> speeds() { return {speed(0), speed(1), speed(2)}; }
    int speed(int i) { return frame(i).HSFre->value(); }
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
    QTest::mouseClick(m_window.mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(speeds(), (std::vector<int>{4410, 2205, 8820}));
    EXPECT_EQ(frame(1).lblSample->text(), QStringLiteral("2.000s"));

    ClickableLabel& label = *m_window.mix().LabelLocked;
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_TRUE(lock.isChecked());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 255, 0));
    // A press on the reference bar captures every bar. Faster: track 3 would pass 8990, so
    // every bar goes back, the moved one too. Slower: the followers follow.
    QScrollBar& reference = *frame(0).HSFre;
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
    choose("mnuCD");
    QCheckBox& midiBox = *m_window.midiPanel().midiReferenceCheck;
    QTest::mouseClick(&midiBox, Qt::LeftButton);
    QTest::mouseClick(m_window.cdPanel().cdReferenceCheck, Qt::LeftButton);
    EXPECT_EQ(m_app.tempo.reference(), TempoReference::Cd);
    EXPECT_FALSE(midiBox.isChecked());
    // The CD's bar moved (by the counter, by its up-down) re-matches only under the lock.
    QTest::mouseClick(m_window.cdPanel().ComGoCDCount, Qt::LeftButton);
    BpmCounterWindow& counter = *m_window.counterWindow();
    QTest::mouseClick(counter.ChkEnterCdBPM, Qt::LeftButton);
    QTest::keyClicks(counter.TxtCdBpm, QStringLiteral("96")); // a bar of 2.5 s
    QTest::mouseClick(counter.ComCountOK, Qt::LeftButton);
    EXPECT_EQ(speed(1), 2155) << "matched without the lock";
    QTest::mouseClick(&label, Qt::LeftButton);
    m_window.cdPanel().SpinButtonCD->setFocus();
    QTest::keyClick(m_window.cdPanel().SpinButtonCD, Qt::Key_Down); // 2.499 s
    EXPECT_EQ((std::vector<int>{speed(1), speed(2)}), (std::vector<int>{1765, 7059}));
}

} // namespace
} // namespace mt
