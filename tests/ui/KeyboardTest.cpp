// What is the window's own of the performance keys: a key event reaches the core's track
// operation, held keys and the platform's auto-repeat are told apart, focused controls do not
// eat the keys, and the main and the play-mode window show one state.
#include "CdTestRig.h"
#include "DiscImage.h"
#include "audio/AudioTestKit.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/KeyboardPlayer.h"
#include "ui/PlayModeWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
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
        }
    }
    // Sends a key as the platform would to `target` (by default the main window).
    void key(QEvent::Type type, int code, Qt::KeyboardModifiers mods = {}, bool repeat = false,
             QWidget* target = nullptr) {
        QKeyEvent event(type, code, mods, QString(), repeat);
        QApplication::sendEvent(target != nullptr ? target : &m_window, &event);
    }
    void press(int code, Qt::KeyboardModifiers mods = {}, QWidget* target = nullptr) {
        key(QEvent::KeyPress, code, mods, false, target);
    }
    void release(int code, Qt::KeyboardModifiers mods = {}, QWidget* target = nullptr) {
        key(QEvent::KeyRelease, code, mods, false, target);
    }
    VoiceStatus status(int i) {
        renderBlock();
        VoiceStatus s;
        bufferStatus(bank().track(i).buffer, s);
        return s;
    }
    PlayModeWindow& openPlayMode() {
        choose("mnuplay");
        EXPECT_NE(m_window.playModeWindow(), nullptr);
        return *m_window.playModeWindow();
    }
};

// What the keys do to a track is the bank's; here: each key form reaches its track, X11's
// auto-repeat (release+press pairs marked as repeats) is no release of a held key, and the
// window losing the keyboard is.
TEST_F(KeyboardTest, LettersAndKeypadReachTheirTracksRepeatsAreNoReleaseAndLosingTheFocusIsOne) {
    press(Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("STOP"));
    const std::int64_t started = status(0).position;
    for (int n = 0; n < 5; ++n) {
        key(QEvent::KeyRelease, Qt::Key_Z, {}, true);
        key(QEvent::KeyPress, Qt::Key_Z, {}, true);
        renderBlock();
    }
    press(Qt::Key_1, Qt::KeypadModifier);
    press(Qt::Key_End, Qt::KeypadModifier); // keypad 1 with Num Lock off
    EXPECT_TRUE(bank().track(0).keyHeld);
    EXPECT_GT(status(0).position, started + std::int64_t{5} * 256)
        << "auto-repeat or the keypad twin restarted or stopped the held track";
    release(Qt::Key_Z);
    EXPECT_EQ(caption(0), QStringLiteral("PLAY"));

    press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_TRUE(bank().track(1).keyHeld);
    EXPECT_EQ(caption(1), QStringLiteral("STOP"));
    press(Qt::Key_W); // track 7 is empty: nothing
    EXPECT_FALSE(bank().track(6).keyHeld);

    // Losing the focus lets go of held keys; the next press is a fresh one.
    press(Qt::Key_M);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&m_window, &deactivate);
    EXPECT_EQ(caption(1), QStringLiteral("PLAY"));
    EXPECT_FALSE(bank().track(1).keyHeld || bank().allTracksMuted());
    press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(caption(1), QStringLiteral("STOP"));
}

// Which track they act on, and what it does to the sound, is the bank's (PerformanceKeysTest,
// KeyMapTest); here each key reaches it from the play-mode window and both windows show it.
TEST_F(KeyboardTest, PerformanceKeysReachTheBankAndBothWindowsShowIt) {
    PlayModeWindow& play = openPlayMode();
    press(Qt::Key_M, {}, &play);
    EXPECT_TRUE(colour(&m_window) == kBlue && colour(&play) == kBlue);
    release(Qt::Key_M, {}, &play);
    EXPECT_FALSE(colour(&m_window) == kBlue || colour(&play) == kBlue);

    press(Qt::Key_X, {}, &play);
    press(Qt::Key_N, {}, &play);
    EXPECT_TRUE(colour(&frame(1)) == kBlue && colour(play.trackRows[1]) == kBlue);
    release(Qt::Key_N, {}, &play);
    EXPECT_NE(colour(play.trackRows[1]), kBlue);

    bank().select(-1);
    press(Qt::Key_Control, {}, &play); // the next loaded track: track 1
    EXPECT_TRUE(colour(frame(0).trackNumberLabel) == kMagenta &&
                colour(play.trackKeyLabels[0]) == kMagenta);
    press(Qt::Key_F6, {}, &play);
    EXPECT_EQ(
        std::make_tuple(bank().track(0).pan, frame(0).panBar->value(), frame(0).panLabel->text()),
        std::make_tuple(-40, -40, QStringLiteral("-40")));
    press(Qt::Key_O, {}, &play);
    EXPECT_TRUE(bank().track(0).loneWolf() && colour(&frame(0)) == QColor(128, 128, 128));
    press(Qt::Key_F3, {}, &play);
    EXPECT_TRUE(colour(play.loneWolfLabel, QPalette::WindowText) == QColor(255, 255, 0) &&
                colour(tracks().loneWolfLabel, QPalette::WindowText) == QColor(255, 255, 0));
}

TEST_F(KeyboardTest, FocusedControlsDoNotEatPerformanceKeys) {
    const int ratio = frame(0).ratioBox->currentIndex();
    for (QWidget* focus : std::initializer_list<QWidget*>{
             frame(0).volumeBar, frame(0).ratioBox, browser().fileList, frame(0).startButton}) {
        bank().stop(0);
        press(Qt::Key_Z, {}, focus);
        EXPECT_EQ(caption(0), QStringLiteral("STOP")) << focus->objectName().toStdString();
        release(Qt::Key_Z, {}, focus);
    }
    EXPECT_EQ(frame(0).ratioBox->currentIndex(), ratio);

    // The list keeps its own keys.
    addWav("b.wav", 44100, 1, 10);
    browser().fileList->setCurrentRow(0);
    press(Qt::Key_Down, {}, browser().fileList);
    EXPECT_EQ(browser().fileList->currentRow(), 1);
}

// The play-mode window is another view of the same bank: what it shows and what its controls
// do are the main window's, both ways.
TEST_F(KeyboardTest, PlayModeWindowShowsTheBankAndPlaysIt) {
    PlayModeWindow* play = &openPlayMode();
    EXPECT_TRUE(play->isVisible() && !m_window.isVisible());
    EXPECT_EQ(play->windowTitle() + " " + play->trackKeyLabels[7]->text() + " " +
                  play->fileNameLabels[0]->text(),
              "New - Mtn 8-E tone.wav");
    EXPECT_TRUE(play->playModeStartButtons[0]->isEnabled() &&
                !play->playModeStartButtons[4]->isEnabled());

    test::ClickCheckBox(*play->playModeHoldChecks[0]); // a loop that plays on after its key
    EXPECT_FALSE(bank().track(0).hold || frame(0).holdCheck->isChecked());
    press(Qt::Key_Z, {}, play);
    release(Qt::Key_Z, {}, play);
    EXPECT_EQ(std::make_tuple(play->playModeStartButtons[0]->text(), caption(0),
                              colour(play->playModeStartButtons[0], QPalette::Button)),
              std::make_tuple(QStringLiteral("STOP"), QStringLiteral("STOP"), kMagenta));
    QTest::mouseClick(play->playModeStartButtons[1], Qt::LeftButton);
    QTest::mouseClick(play->backButton, Qt::LeftButton);
    EXPECT_TRUE(m_window.isVisible());
    ASSERT_EQ(caption(1), QStringLiteral("STOP"));

    // Cleared or reassigned while playing: both windows show it stopped.
    QTest::mouseClick(frame(0).clearButton, Qt::LeftButton);
    load(1, "tone.wav");
    for (int i : {0, 1}) {
        EXPECT_EQ(std::make_tuple(caption(i), play->playModeStartButtons[i]->text(),
                                  colour(frame(i).startButton, QPalette::Button),
                                  colour(play->playModeStartButtons[i], QPalette::Button)),
                  std::make_tuple("PLAY", "PLAY", kCyan, kCyan))
            << i;
    }

    // Its close box goes back too; opened again it shows the tracks loaded meanwhile.
    play = &openPlayMode();
    play->close();
    EXPECT_TRUE(m_window.isVisible());
    QApplication::processEvents(); // the closed window is deleted
    load(4, "tone.wav");
    EXPECT_TRUE(openPlayMode().playModeStartButtons[4]->isEnabled());
}

// A track's popup sets its choke group and its grid. A track quantised there waits for the
// running clock's bar: from the press both windows show it armed, and a second press before the
// bar calls the start off.
TEST_F(KeyboardTest, APopupsChokeGroupShowsAndAQuantisedTrackShowsArmedUntilPressedAgain) {
    PlayModeWindow& play = openPlayMode();
    test::ClickCheckBox(*play.playModeHoldChecks[0]);
    // The track's popup, one of its submenus, one item of that.
    const auto choose = [&](const char* menu, const char* item) {
        QTest::mouseClick(play.trackKeyLabels[0], Qt::RightButton);
        QMenu& popup = *m_window.trackPopup();
        auto& sub = *popup.findChild<QMenu*>(QLatin1String(menu));
        ASSERT_TRUE(QTest::qWaitFor([&popup] { return popup.isVisible(); }));
        QTest::mouseClick(&popup, Qt::LeftButton, {},
                          popup.actionGeometry(sub.menuAction()).center());
        ASSERT_TRUE(QTest::qWaitFor([&sub] { return sub.isVisible(); }));
        QAction& chosen = *sub.findChild<QAction*>(QLatin1String(item));
        QTest::mouseClick(&sub, Qt::LeftButton, {}, sub.actionGeometry(&chosen).center());
    };
    // A choke group shows in the frame's colour on both windows; O takes it to the lone wolves.
    choose("mnuChokeGroup", "mnuChokeThree");
    EXPECT_TRUE(bank().track(0).chokeGroup == 3 && colour(&frame(0)) == QColor(200, 160, 100) &&
                colour(play.trackRows[0]) == QColor(200, 160, 100));
    bank().select(0);
    press(Qt::Key_O, {}, &play);
    EXPECT_TRUE(bank().track(0).loneWolf() && colour(&frame(0)) == QColor(128, 128, 128));
    choose("mnuQuantise", "mnuQuantiseBar");
    EXPECT_EQ(bank().track(0).quantise, Quantise::Bar);

    const QColor orange(255, 160, 0);
    press(Qt::Key_Z, {}, &play);
    release(Qt::Key_Z, {}, &play);
    EXPECT_EQ(std::make_tuple(caption(0), play.playModeStartButtons[0]->text()),
              std::make_tuple(QStringLiteral("待機"), QStringLiteral("待機")));
    EXPECT_TRUE(colour(&frame(0)) == orange && colour(play.trackRows[0]) == orange &&
                colour(play.playModeStartButtons[0], QPalette::Button) == orange);
    EXPECT_FALSE(status(0).playing);
    press(Qt::Key_Z, {}, &play);
    EXPECT_EQ(play.playModeStartButtons[0]->text(), QStringLiteral("PLAY"));
    EXPECT_FALSE(bank().track(0).armed() || colour(&frame(0)) == orange);
}

} // namespace
} // namespace mt
