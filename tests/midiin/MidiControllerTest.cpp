// A pad controller on a private JACK server plays the main window's bank: the core, the bars
// and the sound rendered on an offline output.
#include "support/PrivateJack.h"

#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "ui/ControllerWindows.h"
#include "ui/MidiPerformance.h"

#include <RtMidi.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>

#include <memory>

namespace mt {
namespace {

using Bytes = std::vector<unsigned char>;

class MidiControllerTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        test::StartJack(m_jack);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        addFile("tone.wav", test::SineWav(44100, 2, 441.0, 44100));
        load(0, "tone.wav");
        load(1, "tone.wav");
        frame(0).holdCheck->setChecked(true); // track 1 sounds while its pad is held
        set("MidiSystem", "jack");
        set("MidiSource", "Test pads:pads");
        m_pads = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Test pads");
        m_pads->openVirtualPort("pads");
    }
    void set(const char* key, const char* value) {
        m_platform.settings.setValue(m_app.appName, "Marrowtune", key, value);
    }
    // Starts the controllers as the program does, connected to the test's pads.
    std::unique_ptr<MidiPerformance> startMidi() {
        auto midi = std::make_unique<MidiPerformance>(m_app);
        midi->attachWindow(m_window);
        EXPECT_TRUE(midi->start()) << midi->input().status().toStdString();
        EXPECT_TRUE(test::WaitFor(
            [&] { return midi->input().connectedSources().contains("Test pads:pads"); }));
        EXPECT_TRUE(test::UntilHeard(midi->input(), [&](const Bytes& bytes) { send(bytes); }));
        return midi;
    }
    void send(const Bytes& bytes) { m_pads->sendMessage(&bytes); }
    // Runs the UI thread's events until `done`, as the window's loop would.
    template <typename F> bool until(F done) {
        return test::WaitFor([&] {
            QApplication::processEvents();
            return done();
        });
    }
    double levelDb(std::size_t frames = 4410) {
        return test::RmsDb(test::Channel(m_output->render(frames), 0, 2), 1.0);
    }

    test::PrivateJack m_jack;
    std::unique_ptr<RtMidiOut> m_pads;
};

TEST_F(MidiControllerTest, PadsPlayTheBankWithVelocityGateKnobsLightsAndPanic) {
    auto midi = startMidi();
    RtMidiIn lights(RtMidi::UNIX_JACK, "Test lights");
    ASSERT_TRUE(test::OpenByName(lights, "Marrowtune out:Marrowtune"));
    QThread::msleep(100);

    // Hold mode: sound from the note-on's block, silence within the fade after the note-off,
    // and an auto-repeating key meanwhile changes nothing.
    send({0x99, 36, 127});
    ASSERT_TRUE(until([&] { return bank().playing(0); }));
    EXPECT_GT(test::Peak(test::Channel(m_output->render(256), 0, 2)), 0.1F);
    const double full = levelDb();
    for (int n = 0; n < 5; ++n) {
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Z, {}, QString(), true);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Z, {}, QString(), true);
        QApplication::sendEvent(&m_window, &up);
        QApplication::sendEvent(&m_window, &down);
    }
    EXPECT_TRUE(bank().playing(0));
    EXPECT_NEAR(levelDb(), full, 0.1);
    send({0x89, 36, 0});
    ASSERT_TRUE(until([&] { return !bank().playing(0); }));
    const std::vector<float> tail = test::Channel(m_output->render(1024), 0, 2);
    EXPECT_EQ(test::Peak({tail.begin() + 256, tail.end()}), 0.0F);

    // Velocity 64 plays 6 dB under 127 on the linear curve, retriggered too, on top of the
    // bar; the bar moved meanwhile keeps the velocity's level.
    send({0x99, 36, 64});
    ASSERT_TRUE(until([&] { return bank().playing(0); }));
    m_output->render(256);
    EXPECT_NEAR(levelDb(), full - 6.0, 0.2);
    send({0x89, 36, 0});
    send({0x99, 36, 64});
    ASSERT_TRUE(until([&] { return bank().track(0).keyHeld && bank().playing(0); }));
    bank().setVolume(0, -3);
    m_output->render(256);
    EXPECT_NEAR(levelDb(), full - 9.0, 0.2);
    send({0x89, 36, 0});

    // A knob learned for track 2's volume moves its bar on screen.
    midi->input().learn({MidiAction::Kind::Volume, 1});
    send({0xB0, 21, 0});
    ASSERT_TRUE(until([&] {
        return midi->input().mapping().trigger({MidiAction::Kind::Volume, 1}).number == 21;
    }));
    send({0xB0, 21, 0});
    ASSERT_TRUE(until([&] { return bank().track(1).volume == -70; }));
    EXPECT_EQ(frame(1).volumeBar->value(), -70);

    // The pad's light: held while the pad is down, loaded once the sound stopped.
    Bytes lit;
    const auto shown = [&lit](const Bytes& note) {
        return std::search(lit.begin(), lit.end(), note.begin(), note.end()) != lit.end();
    };
    EXPECT_TRUE(until([&] {
        Bytes m;
        lights.getMessage(&m);
        lit.insert(lit.end(), m.begin(), m.end());
        return shown({0x99, 36, 80}) && shown({0x99, 36, 20});
    }));

    // Panic, from its controller and from its key: everything fades out.
    send({0x90, 37, 127});
    ASSERT_TRUE(until([&] { return bank().playing(1); }));
    send({0xB0, 120, 0});
    ASSERT_TRUE(until([&] { return !bank().playing(1); }));
    bank().play(1);
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_FALSE(bank().playing(1));
    m_output->render(512);
    EXPECT_EQ(test::Peak(test::Channel(m_output->render(512), 0, 2)), 0.0F);

    // With the controller window in front (learning a knob mid-set) the keys still play, and
    // Escape is panic, not a close.
    send({0x80, 37, 0});
    ASSERT_TRUE(until([&] { return !bank().track(1).keyHeld; }));
    MidiSetupWindow setup(*midi, m_app.platform.settings, m_app.appName);
    setup.show();
    QApplication::setActiveWindow(&setup);
    QTest::keyPress(&setup, Qt::Key_X); // held: this track holds and loops by now
    EXPECT_TRUE(bank().playing(1));
    QTest::keyClick(&setup, Qt::Key_Escape);
    EXPECT_FALSE(bank().playing(1));
    QTest::keyRelease(&setup, Qt::Key_X);

    // A SysEx cut off is said beside the output's line.
    send({0xF0, 0x7E});
    send({0x80, 37, 0});
    const auto* dropped = m_window.findChild<QLabel*>(QStringLiteral("midiDroppedNotice"));
    ASSERT_NE(dropped, nullptr);
    EXPECT_TRUE(until([&] { return !dropped->isHidden(); }));
    EXPECT_TRUE(dropped->text().contains(QStringLiteral("1 件")));
    EXPECT_TRUE(setup.isVisible());
}

TEST_F(MidiControllerTest, PadsReachTheSoundWhileTheUiThreadIsAwayAndKeepTheirOrder) {
    auto midi = startMidi();
    CoreAccess& core = m_app.coreAccess;
    const std::unique_ptr<CoreAccess, void (*)(CoreAccess*)> heldAtTheEnd(
        &core, [](CoreAccess* c) { c->takeBack(); });
    // Reads the core between the MIDI thread's borrowings, the UI thread taking no events.
    const auto whileAway = [&](auto&& check) {
        return test::WaitFor([&] {
            core.takeBack();
            const bool done = check();
            core.lend();
            return done;
        });
    };

    // The UI thread paints (the core lent out): the pad sounds without it.
    core.lend();
    send({0x99, 36, 127});
    EXPECT_TRUE(whileAway([&] { return bank().playing(0) && bank().track(0).keyHeld; }));
    core.takeBack();
    EXPECT_GT(test::Peak(test::Channel(m_output->render(256), 0, 2)), 0.1F);

    // Busy in a handler, it holds the core: the release waits for it, and the press that
    // follows while the core is lent again waits behind it instead of overtaking it.
    const int xrunsBefore = m_jack.xruns();
    send({0x89, 36, 0});
    QThread::msleep(50);
    EXPECT_TRUE(bank().track(0).keyHeld);
    core.lend();
    send({0x99, 36, 64});
    QThread::msleep(50);
    core.takeBack();
    const auto pressed = [&] { return bank().track(0).keyHeld && bank().playing(0); };
    if (!until(pressed)) {
        // JACK hands a late cycle's MIDI to nobody: only then may the press be missing.
        ASSERT_GT(m_jack.xruns(), xrunsBefore) << "the press was lost with every cycle on time";
        send({0x99, 36, 64});
        ASSERT_TRUE(until(pressed));
    }

    // A flood while it stays busy reaches the window as one call with the latest state of
    // each pad, however long the flood.
    struct MetaCalls : QObject {
        int count = 0;
        bool eventFilter(QObject* /*watched*/, QEvent* event) override {
            count += event->type() == QEvent::MetaCall ? 1 : 0;
            return false;
        }
    } calls;
    midi->installEventFilter(&calls);
    for (int i = 0; i < 400; ++i) {
        send({0x99, 36, 100});
        send({0x89, 36, 0});
        send({0x99, 37, 100});
        if (i % 20 == 0) {
            QThread::msleep(3); // within RtMidi's ring for our test port
        }
    }
    EXPECT_TRUE(until([&] { return !bank().track(0).keyHeld && bank().playing(1); }));
    EXPECT_LE(calls.count, 3);
}

TEST_F(MidiControllerTest, LearnByClickBindsAKnobOrAnEncoderThatSurvivesARestart) {
    auto midi = startMidi();
    auto window = std::make_unique<MidiSetupWindow>(*midi, m_app.platform.settings, m_app.appName);
    window->show();
    const int slot = kTrackCount + 1; // track 2's volume
    QTest::mouseClick(window->learnButtons[slot], Qt::LeftButton);
    EXPECT_EQ(window->learnButtons[slot]->text(), QStringLiteral("待機中…"));
    send({0xB3, 22, 100});
    ASSERT_TRUE(until([&] { return window->triggerLabels[slot]->text() == "CC 22 ch4"; }))
        << window->triggerLabels[slot]->text().toStdString();
    EXPECT_EQ(bank().track(1).volume, 0); // the learning touch is not played

    // An endless encoder for track 2's pan: its turns move the bar from where it is.
    window->knobModeBox->setFocus();
    QTest::keyClick(window->knobModeBox, Qt::Key_Down); // two's complement: 127 is one step down
    const int pan = 2 * kTrackCount + 1;
    QTest::mouseClick(window->learnButtons[pan], Qt::LeftButton);
    send({0xB0, 23, 1});
    ASSERT_TRUE(until([&] { return window->triggerLabels[pan]->text() == "CC 23 ch1 エンコーダ"; }))
        << window->triggerLabels[pan]->text().toStdString();
    send({0xB0, 23, 127});
    send({0xB0, 23, 127});
    ASSERT_TRUE(until([&] { return bank().track(1).pan == -2; }));

    window.reset();
    midi.reset();
    midi = startMidi();
    send({0xB3, 22, 0});
    send({0xB0, 23, 3});
    ASSERT_TRUE(until([&] { return bank().track(1).volume == -70 && bank().track(1).pan == 1; }));
    EXPECT_EQ(frame(1).volumeBar->value(), -70);
}

} // namespace
} // namespace mt
