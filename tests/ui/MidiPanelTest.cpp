// The MIDI panel on real widgets: device opening, the open dialog and the one-second preview,
// the transport's enable table, the 20 ms watch (time, tempo, end of song) and the tempo
// up-down, with the song rendered offline through the engine. The timer is driven by calling
// its handler after rendering the time that would have passed.
#include "SmfBytes.h"
#include "audio/AudioTestKit.h"
#include "support/PlatformDoubles.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"

#include "audio/DsCalls.h"
#include "core/AppContext.h"
#include "media/midi/KbgmSynth.h"
#include "ui/ControlGeometry.h"
#include "ui/MidiPanel.h"

#include "support/WavBytes.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace mt::test {
namespace {

constexpr int kRate = 44100;

class MidiPanelTest : public ::testing::Test {
protected:
    MidiPanelTest() {
        m_app.sound.soundLibHandle = m_library.handle;
        m_lock.setCheckable(true);
        m_panel.mnuLock = &m_lock;
        m_panel.onBarChanged = [this] { ++m_rematches; };
    }
    ~MidiPanelTest() override { m_app.midi.MidiCloseDevice(); }

    QString write(const QByteArray& bytes) {
        QString path = m_dir.filePath(QStringLiteral("s%1.mid").arg(++m_files));
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    void seconds(double s) { m_library.render(static_cast<std::size_t>(std::lround(s * kRate))); }

    // Opens the device, loads the song and lets its preview end.
    void previewed(const QByteArray& song) {
        m_panel.OpenDevice();
        m_panel.MidiLoadSong(write(song));
        ASSERT_EQ(m_app.midi.midiState, QStringLiteral("Preview"));
        seconds(1.0);
        m_panel.TimerMIDI_Timer();
    }

    // Start, Pause, Stop, FF, Re.
    std::vector<bool> transport() const {
        return {m_panel.ComMIDIStart->isEnabled(), m_panel.ComMIDIPause->isEnabled(),
                m_panel.ComMIDIStop->isEnabled(), m_panel.ComMIDIFF->isEnabled(),
                m_panel.ComMIDIRe->isEnabled()};
    }
    MidiInfo info() {
        MidiInfo i;
        EXPECT_EQ(m_app.midi.kbgm.KBGMGetInfo(m_app.midi.midiSong, i), Kbgm::kOk);
        return i;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    TestPlatform m_platform;
    OfflineLibrary m_library{kRate};
    AppContext m_app{m_platform.services};
    QWidget m_client;
    QAction m_lock{nullptr};
    MidiPanel m_panel{m_app, &m_client};
    int m_rematches = 0;
};

TEST_F(MidiPanelTest, StartsClosedAndOpensTheDeviceOnce) {
    EXPECT_EQ(m_panel.objectName(), QStringLiteral("FrameMIDI"));
    EXPECT_EQ(m_panel.title(), QStringLiteral("MIDI"));
    EXPECT_FALSE(m_panel.ComMIDIOpen->isEnabled());
    EXPECT_EQ(transport(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_FALSE(m_panel.ComboMIDISys->isEnabled());
    EXPECT_EQ(m_panel.lblMIDITitle->text(), QStringLiteral("Song Title"));
    EXPECT_EQ(m_panel.lblMIDITime->text(), QStringLiteral("00:00"));
    EXPECT_EQ(m_panel.lblMIDISec->text(), QStringLiteral("2.000"));
    EXPECT_EQ(m_panel.SpinButtonMIDI->value(), 120);
    EXPECT_EQ(m_panel.SpinButtonMIDI->maximum(), 400);
    EXPECT_GT(m_panel.SpinButtonMIDI->minimum(), 0);
    EXPECT_TRUE(m_panel.lblmiditest->isHidden());
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    const QStringList items = {"GM", "GS", "XG", "VL", "VL2"};
    for (int i = 0; i < items.size(); ++i) {
        EXPECT_EQ(m_panel.ComboMIDISys->itemText(i), items[i]);
    }

    m_panel.OpenDevice();
    EXPECT_TRUE(m_app.midi.midiOpened);
    EXPECT_TRUE(m_panel.ComMIDIOpen->isEnabled());
    EXPECT_TRUE(m_panel.ComboMIDISys->isEnabled());
    EXPECT_EQ(m_panel.ComboMIDISys->currentIndex(), 0);
    m_library.render(256);
    EXPECT_EQ(m_app.midi.kbgm.synth()->lastReset(), 0); // selecting GM sent its reset
    test::ShowActive(m_client);
    test::ChooseComboItem(*m_panel.ComboMIDISys, QStringLiteral("XG"));
    m_library.render(256);
    EXPECT_EQ(m_app.midi.kbgm.synth()->lastReset(), 4); // XG
    m_panel.OpenDevice(); // already open: nothing happens, the choice stays
    EXPECT_EQ(m_panel.ComboMIDISys->currentIndex(), 2);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(MidiPanelTest, ADeviceThatWillNotOpenSaysSoAndIsTriedAgain) {
    m_app.midi.kbgm.setSoundFont(m_dir.filePath(QStringLiteral("missing.sf2")));
    m_panel.OpenDevice();
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text, QStringLiteral("MIDIデバイスが開けません。"));
    EXPECT_EQ(m_platform.messages.shown[0].icon, MessageIcon::None);
    EXPECT_FALSE(m_app.midi.midiOpened);
    EXPECT_FALSE(m_panel.ComMIDIOpen->isEnabled());
    EXPECT_EQ(m_panel.ComboMIDISys->currentIndex(), 0);
    m_app.midi.kbgm.setSoundFont(Kbgm::kDefaultSoundFont);
    m_panel.OpenDevice();
    EXPECT_TRUE(m_app.midi.midiOpened);
    EXPECT_TRUE(m_panel.ComMIDIOpen->isEnabled());
}

TEST_F(MidiPanelTest, OpeningASongPreviewsItForOneSecond) {
    m_panel.OpenDevice();
    m_panel.CommonDialogMIDIFileName = QStringLiteral("/music/last.mid");
    m_panel.ComMIDIOpen_Click(); // cancelled
    EXPECT_TRUE(m_app.midi.midiState.isEmpty());
    ASSERT_EQ(m_platform.fileDialogs.requests.size(), 1u);
    const FileDialogRequest& asked = m_platform.fileDialogs.requests[0];
    EXPECT_EQ(asked.title, QStringLiteral("MIDIファイルを開く"));
    EXPECT_EQ(asked.filter, QStringLiteral("MIDIファイル (*.mid)|*.mid|"));
    EXPECT_EQ(asked.filterIndex, 1);
    EXPECT_EQ(asked.fileName, QStringLiteral("/music/last.mid"));

    const QString path = write(HeldNoteSong(128, 4, "Backing"));
    m_platform.fileDialogs.answers.push_back(path);
    m_panel.ComMIDIOpen_Click();
    EXPECT_EQ(m_platform.cursor.waits, 1);
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_EQ(m_panel.CommonDialogMIDIFileName, path);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Preview"));
    EXPECT_TRUE(m_panel.TimerMIDI->isActive());
    EXPECT_EQ(m_panel.TimerMIDI->interval(), 1000);
    seconds(1.0);
    EXPECT_EQ(info().playing, 1); // heard during the preview
    m_panel.TimerMIDI_Timer();

    EXPECT_EQ(m_panel.lblMIDITitle->text(), QStringLiteral("Backing"));
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("128"));
    EXPECT_EQ(m_panel.lblMIDISec->text(), QStringLiteral("1.875"));
    EXPECT_DOUBLE_EQ(m_app.midi.midiBarSeconds, 1.875);
    EXPECT_EQ(m_panel.SpinButtonMIDI->value(), 128);
    EXPECT_EQ(m_app.midi.midiStartTempo, 128);
    EXPECT_EQ(m_app.midi.midiResolution, 480);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Stopping"));
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(info().playing, 0);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

// Every choice in the reset list sends its reset, the kind already shown included: choosing
// it again is how a performer resets a synth that something else put in another state.
TEST_F(MidiPanelTest, ChoosingTheShownResetKindSendsItAgain) {
    m_panel.OpenDevice();
    test::ShowActive(m_client);
    test::ChooseComboItem(*m_panel.ComboMIDISys, QStringLiteral("GS"));
    m_library.render(256);
    EXPECT_EQ(m_app.midi.kbgm.synth()->lastReset(), 1);
    m_app.midi.kbgm.KBGMSendSysx(0); // a GM reset from elsewhere: a song's own, say
    m_library.render(256);
    ASSERT_EQ(m_app.midi.kbgm.synth()->lastReset(), 0);
    test::ChooseComboItem(*m_panel.ComboMIDISys, QStringLiteral("GS"));
    m_library.render(256);
    EXPECT_EQ(m_app.midi.kbgm.synth()->lastReset(), 1);
}

// A file that will not load frees the song that was playing: the panel becomes an empty
// player, with no watch left to ask the library about the freed song, box after box.
TEST_F(MidiPanelTest, AFailedLoadWhilePlayingLeavesAnEmptyPlayerWithoutBoxes) {
    previewed(HeldNoteSong(120, 8));
    test::ShowActive(m_client);
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    ASSERT_EQ(m_app.midi.midiState, QStringLiteral("Playing"));
    const std::int32_t first = m_app.midi.midiSong;

    m_platform.fileDialogs.answers.push_back(write("not a song"));
    QTest::mouseClick(m_panel.ComMIDIOpen, Qt::LeftButton);
    QTest::qWait(500); // twenty-five ticks of the playing watch, were it still running
    EXPECT_TRUE(m_platform.messages.shown.empty());
    EXPECT_TRUE(m_app.midi.midiState.isEmpty());
    EXPECT_EQ(m_app.midi.midiSong, 0);
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    EXPECT_EQ(transport(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_TRUE(m_panel.ComMIDIOpen->isEnabled());
    EXPECT_EQ(m_panel.lblMIDITitle->text(), QStringLiteral("Song Title"));
    MidiInfo i;
    EXPECT_NE(m_app.midi.kbgm.KBGMGetInfo(first, i), Kbgm::kOk); // freed all the same

    // Start has nothing to play; the next good file previews as on a fresh panel.
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    m_platform.fileDialogs.answers.push_back(write(HeldNoteSong(120, 4)));
    QTest::mouseClick(m_panel.ComMIDIOpen, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Preview"));
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(MidiPanelTest, TransportFollowsTheEnableTable) {
    previewed(HeldNoteSong(120, 8));
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Playing"));
    EXPECT_EQ(transport(), (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(m_panel.TimerMIDI->interval(), 20);
    EXPECT_TRUE(m_panel.TimerMIDI->isActive());
    seconds(0.5);
    QTest::mouseClick(m_panel.ComMIDIPause, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Pausing"));
    EXPECT_EQ(transport(), (std::vector<bool>{true, true, true, false, false}));
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    const std::int32_t pausedAt = info().position;
    seconds(0.5);
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton); // resumes where it paused
    seconds(0.25);
    EXPECT_NEAR(info().position, pausedAt + 240, 2);
    QTest::mouseClick(m_panel.ComMIDIStop, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Stopping"));
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton); // from the top
    seconds(0.25);
    EXPECT_NEAR(info().position, 240, 2);
}

TEST_F(MidiPanelTest, StartDuringAPreviewReadsTheSongFirst) {
    previewed(HeldNoteSong(120, 4)); // Start is enabled now, and stays so through a load
    m_panel.MidiLoadSong(
        write(Smf(96, {SmfTrack().meta(0, 3, "Second").tempo(0, 1000000).end(96 * 16)})));
    ASSERT_TRUE(m_panel.ComMIDIStart->isEnabled());
    seconds(0.3);
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    EXPECT_EQ(m_panel.lblMIDITitle->text(), QStringLiteral("Second"));
    EXPECT_EQ(m_app.midi.midiResolution, 96);
    EXPECT_EQ(m_app.midi.midiStartTempo, 60);
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Playing"));
    EXPECT_EQ(m_panel.TimerMIDI->interval(), 20);
    seconds(2.0); // from the top: two beats at 60 BPM
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_panel.lblMIDITime->text(), QStringLiteral("00:02"));
    EXPECT_EQ(m_panel.lblmiditest->text(), QStringLiteral("2"));
}

TEST_F(MidiPanelTest, PlayingTickShowsWholeBeatsAndFollowsTheSongsTempo) {
    SmfTrack conductor;
    conductor.meta(0, 3, "Change").tempo(0, 500000).tempo(1920, 400000).end(3840);
    SmfTrack organ;
    organ.program(0, 0, 16).noteOn(0, 0, 69).noteOff(5760, 0, 69).end();
    previewed(Smf(480, {conductor, organ}));
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    seconds(1.0); // 960 ticks at 480 per quarter and 120 BPM: 2 beats, one second
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_panel.lblMIDITime->text(), QStringLiteral("00:01"));
    EXPECT_EQ(m_panel.lblmiditest->text(), QStringLiteral("2"));
    EXPECT_EQ(m_app.midi.midiTimeHundredths, 100);
    EXPECT_EQ(m_rematches, 0);

    m_panel.ChkMIDIkijun->setChecked(true);
    m_lock.setChecked(true);
    seconds(1.1); // past bar 2: 150 BPM
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("150"));
    EXPECT_EQ(m_panel.lblMIDISec->text(), QStringLiteral("1.600"));
    EXPECT_DOUBLE_EQ(m_app.midi.midiBarSeconds, 1.6);
    EXPECT_EQ(m_panel.SpinButtonMIDI->value(), 150);
    EXPECT_EQ(m_rematches, 1); // the tracks follow the song's bar under the lock
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_rematches, 1);
    EXPECT_EQ(info().tempo, 150); // following did not push a different tempo back
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(MidiPanelTest, EndOfSongStopsOrStartsOver) {
    previewed(HeldNoteSong(120, 1)); // 2 s
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    seconds(2.1);
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Stopping"));
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_FALSE(m_panel.TimerMIDI->isActive());

    m_panel.ChkMIDILoop->setChecked(true);
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    seconds(2.5);
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_app.midi.midiState, QStringLiteral("Playing"));
    EXPECT_EQ(info().playing, 1);
    EXPECT_NEAR(info().position, 480, 3); // half a second into the second time round
}

TEST_F(MidiPanelTest, UpDownChangesTheTempoOnlyWhilePlaying) {
    previewed(HeldNoteSong(120, 8));
    m_panel.SpinButtonMIDI->setValue(90); // stopped: shown, not sent
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("90"));
    EXPECT_EQ(m_panel.lblMIDISec->text(), QStringLiteral("2.667"));
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton); // starts at the song's own tempo all the same
    seconds(0.5);
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("120"));
    EXPECT_EQ(m_panel.SpinButtonMIDI->value(), 120);
    EXPECT_NEAR(info().position, 480, 2);

    m_panel.SpinButtonMIDI->setValue(180); // playing: sent
    seconds(0.5);
    m_panel.TimerMIDI_Timer();
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("180"));
    EXPECT_NEAR(info().position, 480 + 720, 3);
    EXPECT_EQ(m_rematches, 0); // not the reference
    m_panel.ChkMIDIkijun->setChecked(true);
    m_panel.SpinButtonMIDI->setValue(181);
    EXPECT_EQ(m_rematches, 0); // no lock
    m_lock.setChecked(true);
    m_panel.SpinButtonMIDI->setValue(182);
    EXPECT_EQ(m_rematches, 1);
    EXPECT_TRUE(m_platform.messages.shown.empty());
}

TEST_F(MidiPanelTest, UpDownWithoutASongOnlySetsTheBar) {
    m_panel.SpinButtonMIDI->setValue(60);
    EXPECT_EQ(m_panel.lblMIDITempo->text(), QStringLiteral("60"));
    EXPECT_DOUBLE_EQ(m_app.midi.midiBarSeconds, 4.0);
    EXPECT_TRUE(m_platform.messages.shown.empty()); // nothing to ask the library about
}

TEST_F(MidiPanelTest, StepsForwardAndBackWhilePlaying) {
    previewed(HeldNoteSong(120, 8));
    QTest::mouseClick(m_panel.ComMIDIStart, Qt::LeftButton);
    seconds(0.5);
    m_panel.ComMIDIFF->click();
    EXPECT_NEAR(info().position, 480 + 1920, 2);
    m_panel.ComMIDIRe->click();
    m_panel.ComMIDIRe->click();
    EXPECT_EQ(info().position, 0);
    EXPECT_TRUE(m_platform.messages.shown.empty());
    // A step back the library refuses: the song was freed under the panel.
    m_app.midi.MidiStop();
    m_app.midi.MidiFreeSong();
    QTest::mouseClick(m_panel.ComMIDIRe, Qt::LeftButton);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text, QStringLiteral("巻き戻し時にエラー発生"));
    m_panel.TimerMIDI_Timer();
    ASSERT_EQ(m_platform.messages.shown.size(), 2u);
    EXPECT_EQ(m_platform.messages.shown[1].text, QStringLiteral("GETINFOMIDIでエラー発生"));
}

// The panel in the main window: the media-panel command opens the MIDI device once, and
// the panel shows in the area the window grows by.
class MidiInMainWindow : public MainWindowTest {};

TEST_F(MidiInMainWindow, ShowingTheMediaPanelOpensTheDeviceOnce) {
    MidiPanel& panel = m_window.midiPanel();
    QAction& media = *m_window.menuItem(QStringLiteral("mnuCD"));
    EXPECT_FALSE(panel.ComMIDIOpen->isEnabled());
    media.trigger();
    EXPECT_TRUE(m_app.midi.midiOpened);
    EXPECT_TRUE(panel.ComMIDIOpen->isEnabled());
    EXPECT_EQ(panel.ComboMIDISys->currentIndex(), 0);
    panel.ComboMIDISys->setCurrentIndex(1);
    media.trigger(); // hidden
    media.trigger(); // shown again: the device is not opened twice, the choice stays
    EXPECT_EQ(panel.ComboMIDISys->currentIndex(), 1);
    EXPECT_GT(panel.y(), m_window.tracks().frame(7).geometry().bottom());
    EXPECT_GT(panel.x(), m_window.tracks().frame(0).x());
    m_app.midi.MidiCloseDevice();
}

// The device that failed to open when the panel was first shown opens on a later showing,
// and the reset of the shown kind goes out then too.
TEST_F(MidiInMainWindow, AnOpeningAfterAFailedOneSendsTheReset) {
    test::ShowActive(m_window);
    QAction& media = *m_window.menuItem(QStringLiteral("mnuCD"));
    m_app.midi.kbgm.setSoundFont(m_dir.filePath(QStringLiteral("missing.sf2")));
    test::ChooseMenuItem(m_window, media);
    ASSERT_FALSE(m_app.midi.midiOpened);
    test::ChooseMenuItem(m_window, media); // hidden
    m_app.midi.kbgm.setSoundFont(Kbgm::kDefaultSoundFont);
    test::ChooseMenuItem(m_window, media);
    ASSERT_TRUE(m_app.midi.midiOpened);
    renderBlock();
    EXPECT_EQ(m_app.midi.kbgm.synth()->lastReset(), 0); // GM
    m_app.midi.MidiCloseDevice();
}

// K mutes the synth while it is held. Released after the song has ended, it still ends the
// mute: the next song is heard.
TEST_F(MidiInMainWindow, KReleasedAfterTheSongEndedLeavesTheNextSongAudible) {
    test::ShowActive(m_window);
    test::ChooseMenuItem(m_window, *m_window.menuItem(QStringLiteral("mnuCD")));
    MidiPanel& panel = m_window.midiPanel();
    const QString song = m_dir.filePath(QStringLiteral("short.mid"));
    ASSERT_TRUE(WriteFile(song, HeldNoteSong(120, 1))); // two seconds
    m_platform.fileDialogs.answers.push_back(song);
    QTest::mouseClick(panel.ComMIDIOpen, Qt::LeftButton);
    m_output->render(kRate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.ComMIDIStart->isEnabled(); }, 3000));
    QTest::mouseClick(panel.ComMIDIStart, Qt::LeftButton);
    m_output->render(kRate / 2);
    const auto focus = [this] {
        QWidget* w = QApplication::focusWidget();
        return w != nullptr ? w : static_cast<QWidget*>(&m_window);
    };
    QTest::keyPress(focus(), Qt::Key_K);
    ASSERT_TRUE(m_app.midi.midiMuted);
    m_output->render(std::size_t{kRate} * 6); // past the song's end
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_app.midi.midiState == QLatin1String("Stopping"); }, 2000));
    QTest::keyRelease(focus(), Qt::Key_K);
    EXPECT_FALSE(m_app.midi.midiMuted);

    QTest::mouseClick(panel.ComMIDIStart, Qt::LeftButton);
    m_output->render(kRate / 10); // the volume glides
    EXPECT_GT(Peak(m_output->render(kRate / 2)), 0.01f) << "the next song is silent";
    m_app.midi.MidiCloseDevice();
}

// A message box that, while it is up, lets the panel's timer fire again as the real modal
// loop would.
class ReenteringMessages final : public MessageBoxService {
public:
    void show(const QString& text, const QString&, MessageIcon) override {
        texts.push_back(text);
        if (whileShown) {
            whileShown();
        }
    }
    bool confirm(const QString&, const QString&) override { return true; }
    std::vector<QString> texts;
    std::function<void()> whileShown;
};

TEST(MidiPanelMessages, AFailingWatchShowsOneBoxAtATime) {
    TestPlatform platform;
    ReenteringMessages messages;
    PlatformServices services = platform.services;
    PlatformServices withBoxes{messages,          services.fileDialogs, services.cursor,
                               services.settings, services.trash,       services.processes,
                               services.urls,     services.modals};
    AppContext app(withBoxes);
    QWidget client;
    MidiPanel panel(app, &client);
    panel.OpenDevice();
    app.midi.midiState = QStringLiteral("Playing"); // a song the library no longer knows
    app.midi.midiSong = 42;
    messages.whileShown = [&panel] { panel.TimerMIDI_Timer(); };
    panel.TimerMIDI_Timer();
    EXPECT_EQ(messages.texts, std::vector<QString>{QStringLiteral("GETINFOMIDIでエラー発生")});
    panel.TimerMIDI_Timer(); // the next tick after the box was closed reports again
    EXPECT_EQ(messages.texts.size(), 2u);
    app.midi.MidiCloseDevice();
}

TEST(MidiPanelGeometry, SitsOnTheRightHalfOfTheMediaArea) {
    const auto& table = MainWindowGeometry();
    const auto row = std::find_if(table.begin(), table.end(),
                                  [](const ControlPlacement& p) { return p.name == "FrameMIDI"; });
    ASSERT_NE(row, table.end());
    const TwipsRect& r = row->rect;
    EXPECT_GE(r.left, kMainWindowWidthTwips / 2);
    EXPECT_LE(r.left + r.width, kMainWindowWidthTwips - 120);
    EXPECT_GE(r.top, 60 + 2 * 3375); // below the two rows of track frames
    EXPECT_LE(r.top + r.height, kMediaPanelOpenHeightTwips - 600); // title and menu bars
}

} // namespace
} // namespace mt::test
