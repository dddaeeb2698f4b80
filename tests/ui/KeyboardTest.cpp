#include "CdTestRig.h"
#include "DiscImage.h"
#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/Form2.h"
#include "ui/KeyboardPlayer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace mt {
namespace {

class KeyboardTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        addFile("tone.wav", test::SineWav(44100, 2, 441.0, 44100));
        for (int i = 0; i < 3; ++i) {
            load(i, "tone.wav");
            mode(i, false, false);
        }
    }
    void mode(int i, bool loop, bool hold) {
        frame(i).CheckLoop->setChecked(loop);
        frame(i).CheckDuuk->setChecked(hold);
    }
    // Sends a key as the platform would to `target` (by default the main window).
    bool key(QEvent::Type type, int code, Qt::KeyboardModifiers mods = {}, bool repeat = false,
             QWidget* target = nullptr) {
        QKeyEvent event(type, code, mods, QString(), repeat);
        QApplication::sendEvent(target != nullptr ? target : &m_window, &event);
        return event.isAccepted();
    }
    void press(int code, Qt::KeyboardModifiers mods = {}, QWidget* target = nullptr) {
        key(QEvent::KeyPress, code, mods, false, target);
    }
    void release(int code, Qt::KeyboardModifiers mods = {}, QWidget* target = nullptr) {
        key(QEvent::KeyRelease, code, mods, false, target);
    }
    // What X11 sends while a key is held: release+press pairs marked as auto-repeat.
    void repeatBurst(int code, int pairs = 5) {
        for (int n = 0; n < pairs; ++n) {
            key(QEvent::KeyRelease, code, {}, true);
            key(QEvent::KeyPress, code, {}, true);
            renderBlock();
        }
    }
    VoiceStatus status(int i) {
        renderBlock();
        VoiceStatus s;
        dsGetStatus(bank().tracks[i].buffer, s);
        return s;
    }
    QString caption(int i) { return frame(i).ComStart->text(); }
    KeyboardPlayer& keyboard() { return m_window.keyboard(); }
};

TEST_F(KeyboardTest, HoldModeSoundsExactlyWhileTheKeyIsHeld) {
    mode(0, false, true);
    press(Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
    const std::int64_t started = status(0).position;
    repeatBurst(Qt::Key_Z);
    const VoiceStatus held = status(0);
    EXPECT_TRUE(held.playing);
    EXPECT_GT(held.position, started + std::int64_t{5} * 256)
        << "auto-repeat restarted or stopped the track";
    release(Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));
    m_output->render(1024);
    EXPECT_FALSE(status(0).playing);
    EXPECT_FALSE(bank().tracks[0].keyHeld);
}

TEST_F(KeyboardTest, NormalModeOneShotRestartsOnlyOnANewPress) {
    press(Qt::Key_X);
    m_output->render(4096);
    repeatBurst(Qt::Key_X);
    release(Qt::Key_X);
    const VoiceStatus after = status(1);
    EXPECT_TRUE(after.playing) << "releasing in normal mode does nothing";
    EXPECT_GT(after.position, 4096);
    EXPECT_EQ(caption(1), QStringLiteral("STOP"));
    press(Qt::Key_X);
    EXPECT_LT(status(1).position, 1024) << "a new press starts the sound again";
}

TEST_F(KeyboardTest, TwoHeldKeysBothWork) {
    mode(0, true, true);
    mode(1, false, true);
    press(Qt::Key_Z);
    press(Qt::Key_X);
    EXPECT_TRUE(status(0).playing);
    EXPECT_TRUE(status(1).playing);
    release(Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));
    EXPECT_EQ(caption(1), QStringLiteral("STOP"));
    release(Qt::Key_X);
    EXPECT_EQ(caption(1), QStringLiteral("PLAY"));
}

TEST_F(KeyboardTest, LetterAndKeypadShareOneTrackFlag) {
    press(Qt::Key_Z);
    m_output->render(4096);
    press(Qt::Key_1, Qt::KeypadModifier);
    press(Qt::Key_End, Qt::KeypadModifier); // keypad 1 with Num Lock off
    EXPECT_GT(status(0).position, 4096) << "the keypad twin retriggered a held track";
    release(Qt::Key_Z);
    press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_TRUE(bank().tracks[1].keyHeld);
    EXPECT_EQ(caption(1), QStringLiteral("STOP"));
    press(Qt::Key_W); // track 7 is empty: nothing, no flag
    EXPECT_FALSE(bank().tracks[6].keyHeld);
}

// What the mutes do to the sound is the bank's; both windows show them.
TEST_F(KeyboardTest, MuteKeysShowOnBothWindows) {
    const QColor blue(0, 0, 255);
    m_window.mnuplay_Click();
    Form2* play = m_window.playModeWindow();
    press(Qt::Key_M);
    repeatBurst(Qt::Key_M);
    EXPECT_TRUE(bank().allTracksMuted);
    EXPECT_EQ(m_window.palette().color(QPalette::Window), blue);
    EXPECT_EQ(play->palette().color(QPalette::Window), blue);
    release(Qt::Key_M);
    EXPECT_NE(m_window.palette().color(QPalette::Window), blue);
    EXPECT_NE(play->palette().color(QPalette::Window), blue);

    // N mutes the selected track until released.
    press(Qt::Key_X);
    press(Qt::Key_N, {}, play);
    EXPECT_EQ(frame(1).palette().color(QPalette::Window), blue);
    EXPECT_EQ(play->Frame1[1]->palette().color(QPalette::Window), blue);
    release(Qt::Key_N, {}, play);
    EXPECT_NE(frame(1).palette().color(QPalette::Window), blue);
    EXPECT_NE(play->Frame1[1]->palette().color(QPalette::Window), blue);
}

// A key held down and pressed again without coming up is its auto-repeat, marked or not (X11
// with detectable auto-repeat marks none).
TEST_F(KeyboardTest, APressOfAKeyAlreadyDownIsARepeat) {
    mode(0, false, false);
    press(Qt::Key_Z);
    m_output->render(4096);
    for (int n = 0; n < 5; ++n) {
        press(Qt::Key_Z); // unmarked
    }
    EXPECT_GT(status(0).position, 4096) << "an unmarked repeat restarted the one-shot";
    release(Qt::Key_Z);
    press(Qt::Key_Z);
    EXPECT_LT(status(0).position, 1024) << "a press after the release starts it again";
}

// A release ends what its press began, even when the track changed under the held key.
TEST_F(KeyboardTest, ClearingOrReassigningUnderAHeldKeyLeavesNothingStuck) {
    mode(0, true, true);
    QTest::keyPress(&m_window, Qt::Key_Z);
    ASSERT_EQ(caption(0), QStringLiteral("STOP"));
    QTest::mouseClick(frame(0).ComClear, Qt::LeftButton);
    QTest::keyRelease(&m_window, Qt::Key_Z);
    assign(0, "tone.wav");
    QTest::keyPress(&m_window, Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("STOP")) << "the key stayed down after the clear";
    EXPECT_TRUE(status(0).playing);

    assign(0, "tone.wav"); // reassigned while held
    QTest::keyRelease(&m_window, Qt::Key_Z);
    EXPECT_FALSE(bank().tracks[0].keyHeld);
    QTest::keyPress(&m_window, Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("STOP")) << "the key stayed down after reassigning";
    QTest::keyRelease(&m_window, Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));

    // N held on a track that is cleared under it; afterwards N works on the next track.
    const QColor blue(0, 0, 255);
    QTest::keyClick(&m_window, Qt::Key_X);
    ASSERT_EQ(bank().selectedTrack, 1);
    QTest::keyPress(&m_window, Qt::Key_N);
    EXPECT_EQ(frame(1).palette().color(QPalette::Window), blue);
    QTest::mouseClick(frame(1).ComClear, Qt::LeftButton);
    QTest::keyRelease(&m_window, Qt::Key_N);
    EXPECT_FALSE(bank().selectedTrackMuted);
    EXPECT_NE(frame(1).palette().color(QPalette::Window), blue);
    QTest::keyClick(&m_window, Qt::Key_C);
    ASSERT_EQ(bank().selectedTrack, 2);
    QTest::keyPress(&m_window, Qt::Key_N);
    EXPECT_EQ(frame(2).palette().color(QPalette::Window), blue) << "N stopped working";
    m_output->render(2048);
    EXPECT_LT(test::Peak(m_output->render(2048)), 1e-4f);
    QTest::keyRelease(&m_window, Qt::Key_N);
    m_output->render(2048);
    EXPECT_GT(test::Peak(m_output->render(2048)), 0.1f);
}

// Nothing sounds while M is held, whenever it was started; the same for N's track.
TEST_F(KeyboardTest, TracksStartedUnderAHeldMuteStaySilentUntilItIsLetGo) {
    mode(0, true, false);
    mode(1, false, false);
    frame(0).HSVol->setValue(-6);
    QTest::keyClick(&m_window, Qt::Key_Z);
    m_output->render(2048);
    const double alone = test::RmsDb(m_output->render(8192), 1.0);
    QTest::keyClick(&m_window, Qt::Key_Z); // the loop off again

    QTest::keyPress(&m_window, Qt::Key_M);
    QTest::keyClick(&m_window, Qt::Key_Z);
    QTest::keyClick(&m_window, Qt::Key_X);
    QTest::mouseClick(frame(2).ComStart, Qt::LeftButton);
    m_output->render(2048);
    EXPECT_LT(test::Peak(m_output->render(4096)), 1e-4f) << "a track started under M sounds";
    frame(0).HSVol->setValue(-5);
    frame(0).HSVol->setValue(-6);
    m_output->render(2048);
    EXPECT_LT(test::Peak(m_output->render(4096)), 1e-4f) << "moving a bar under M unmuted it";
    QTest::keyRelease(&m_window, Qt::Key_M);
    QTest::mouseClick(frame(1).ComStart, Qt::LeftButton); // stops: track 1 is left alone
    QTest::mouseClick(frame(2).ComStart, Qt::LeftButton);
    m_output->render(2048);
    EXPECT_NEAR(test::RmsDb(m_output->render(8192), 1.0), alone, 0.1)
        << "the track does not sound at its bar's volume after M";

    // N on track 1; started again under N it stays silent, also across M.
    QTest::keyClick(&m_window, Qt::Key_Z); // loop off
    QTest::keyClick(&m_window, Qt::Key_Z); // on again, selected
    ASSERT_EQ(bank().selectedTrack, 0);
    QTest::keyPress(&m_window, Qt::Key_N);
    QTest::keyClick(&m_window, Qt::Key_Z);
    QTest::keyClick(&m_window, Qt::Key_Z);
    QTest::keyPress(&m_window, Qt::Key_M);
    QTest::keyRelease(&m_window, Qt::Key_M);
    m_output->render(2048);
    EXPECT_LT(test::Peak(m_output->render(4096)), 1e-4f) << "N's track sounds while N is held";
    QTest::keyRelease(&m_window, Qt::Key_N);
    m_output->render(2048);
    EXPECT_NEAR(test::RmsDb(m_output->render(8192), 1.0), alone, 0.1);
}

// Which track they act on, and without a selection on none, is the bank's.
TEST_F(KeyboardTest, SelectionKeysReachTheSelectedTrackAndShowThere) {
    bank().select(-1);
    press(Qt::Key_Control); // selects the next loaded track: track 1
    EXPECT_EQ(bank().selectedTrack, 0);
    EXPECT_EQ(frame(0).Label4->palette().color(QPalette::Window), QColor(255, 0, 255));
    press(Qt::Key_F6);
    EXPECT_EQ(frame(0).HSPan->value(), -40);
    EXPECT_EQ(frame(0).lblPan->text(), QStringLiteral("-40"));
    press(Qt::Key_F8);
    EXPECT_EQ(frame(0).HSPan->value(), 40);
    press(Qt::Key_F7);
    EXPECT_EQ(frame(0).HSPan->value(), 0);
    press(Qt::Key_O);
    EXPECT_TRUE(bank().tracks[0].loneWolf);
    EXPECT_EQ(frame(0).palette().color(QPalette::Window), QColor(128, 128, 128));
    press(Qt::Key_F3);
    EXPECT_TRUE(bank().loneWolfMode);
}

TEST_F(KeyboardTest, FocusedControlsDoNotEatPerformanceKeys) {
    const int ratio = frame(0).Combo->currentIndex();
    for (QWidget* focus :
         {static_cast<QWidget*>(frame(0).HSVol), static_cast<QWidget*>(frame(0).Combo),
          static_cast<QWidget*>(browser().File2), static_cast<QWidget*>(frame(0).ComStart)}) {
        bank().stop(0);
        press(Qt::Key_Z, {}, focus);
        EXPECT_EQ(caption(0), QStringLiteral("STOP")) << focus->objectName().toStdString();
        release(Qt::Key_Z, {}, focus);
    }
    EXPECT_EQ(frame(0).Combo->currentIndex(), ratio);

    // The list keeps its own keys.
    addWav("b.wav", 44100, 1, 10);
    browser().File2->setCurrentRow(0);
    press(Qt::Key_Down, {}, browser().File2);
    EXPECT_EQ(browser().File2->currentRow(), 1);
}

TEST_F(KeyboardTest, LosingTheFocusLetsGoOfHeldKeys) {
    mode(0, false, true);
    press(Qt::Key_Z);
    press(Qt::Key_M);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&m_window, &deactivate);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));
    EXPECT_FALSE(bank().tracks[0].keyHeld);
    EXPECT_FALSE(bank().allTracksMuted);
    press(Qt::Key_Z); // the next press is a fresh one
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
}

TEST_F(KeyboardTest, PlayModeWindowMirrorsAndPlays) {
    m_window.show();
    m_window.mnuplay_Click();
    Form2* play = m_window.playModeWindow();
    ASSERT_NE(play, nullptr);
    EXPECT_TRUE(play->isVisible());
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(play->windowTitle(), QStringLiteral("New - Mtn"));
    EXPECT_EQ(play->Label1[7]->text(), QStringLiteral("8-E"));
    EXPECT_EQ(play->Label2[0]->text(), QStringLiteral("tone.wav"));
    EXPECT_TRUE(play->ComStart2[0]->isEnabled());
    EXPECT_FALSE(play->ComStart2[4]->isEnabled());

    // "L" ticked there, then the key: the main window's box decides, and it was copied.
    QTest::mouseClick(play->CheckLoop2[0], Qt::LeftButton);
    EXPECT_TRUE(frame(0).CheckLoop->isChecked());
    press(Qt::Key_Z, {}, play);
    release(Qt::Key_Z, {}, play);
    m_output->render(std::size_t{44100} * 2);
    EXPECT_TRUE(status(0).playing) << "looping: still sounding after its length";
    EXPECT_EQ(play->ComStart2[0]->text(), QStringLiteral("STOP"));
    EXPECT_EQ(play->ComStart2[0]->palette().color(QPalette::Button), QColor(255, 0, 255));

    press(Qt::Key_F3, {}, play);
    EXPECT_EQ(play->lblOrAliveOokamis->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QTest::mouseClick(play->ComStart2[0], Qt::LeftButton);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));

    play->close(); // the close box
    EXPECT_TRUE(m_window.isVisible());
    QApplication::processEvents(); // the closed window is deleted
    load(4, "tone.wav");
    m_window.mnuplay_Click();
    EXPECT_TRUE(m_window.playModeWindow()->ComStart2[4]->isEnabled());
    m_window.playModeWindow()->ComBack_Click();
    EXPECT_TRUE(m_window.isVisible());
}

} // namespace
} // namespace mt
