// The MIDI panel in the main window: the media-panel command opens the device once, real
// clicks and the open dialog reach the MIDI player, and the panel shows the player's state.
#include "SmfBytes.h"
#include "support/UiFixture.h"

#include "ui/MidiPanel.h"

#include <QLabel>
#include <QSpinBox>

namespace mt::test {
namespace {

class MidiPanelTest : public MainWindowTest {
protected:
    ~MidiPanelTest() override { m_app.midi.MidiCloseDevice(); }
    MidiPanel& panel() { return m_window.midiPanel(); }
    std::vector<bool> transport() {
        MidiPanel& p = panel();
        return {p.midiStartButton->isEnabled(), p.midiPauseButton->isEnabled(),
                p.midiStopButton->isEnabled(), p.midiForwardButton->isEnabled(),
                p.midiRewindButton->isEnabled()};
    }
};

TEST_F(MidiPanelTest, ShowsThePlayerAndItsClicksReachIt) {
    EXPECT_FALSE(panel().midiOpenButton->isEnabled() || panel().resetSystemBox->isEnabled());
    choose("mnuCD");
    EXPECT_TRUE(m_app.midi.midiOpened && panel().midiOpenButton->isEnabled());
    EXPECT_EQ(panel().resetSystemBox->currentIndex(), 0);
    ChooseComboItem(*panel().resetSystemBox, QStringLiteral("XG"));
    renderBlock();
    EXPECT_EQ(m_app.midi.resetKind, 2);
    choose("mnuCD"); // hidden
    choose("mnuCD"); // shown again: not opened twice, the choice stays
    EXPECT_EQ(panel().resetSystemBox->currentIndex(), 2);

    panel().lastMidiFile = QStringLiteral("/music/last.mid");
    const QString song = m_dir.filePath(QStringLiteral("song.mid"));
    ASSERT_TRUE(WriteFile(song, HeldNoteSong(128, 4, "Backing")));
    m_platform.fileDialogs.answers.push_back(song);
    QTest::mouseClick(panel().midiOpenButton, Qt::LeftButton);
    ASSERT_EQ(m_platform.fileDialogs.requests.size(), 1u);
    const FileDialogRequest& asked = m_platform.fileDialogs.requests[0];
    EXPECT_EQ(asked.title + " " + asked.filter + " " + asked.fileName,
              QStringLiteral("MIDIファイルを開く MIDIファイル (*.mid)|*.mid| /music/last.mid"));
    EXPECT_EQ(std::make_tuple(panel().lastMidiFile, m_platform.cursor.waits,
                              panel().midiTitleLabel->text()),
              std::make_tuple(song, 1, QStringLiteral("Song Title")));
    m_output->render(44100);
    m_app.midi.tick(); // the preview's end
    EXPECT_EQ(panel().midiTitleLabel->text() + " " + panel().midiTempoLabel->text() + " " +
                  panel().midiBarSecondsLabel->text(),
              "Backing " + QString::number(panel().midiTempoSpin->value()) + " 1.875");
    EXPECT_EQ(transport(), (std::vector<bool>{true, false, false, false, false}));

    QTest::mouseClick(panel().midiRepeatCheck, Qt::LeftButton);
    EXPECT_TRUE(m_app.midi.repeat);
    QTest::mouseClick(panel().midiStartButton, Qt::LeftButton);
    EXPECT_EQ(transport(), (std::vector<bool>{false, true, true, true, true}));
    m_output->render(std::size_t{88200}); // 4.27 beats at 128 BPM: 4 whole beats, 1.875 s
    m_app.midi.tick();
    EXPECT_EQ(panel().midiTimeLabel->text(), QStringLiteral("00:01"));
    EXPECT_EQ(panel().midiBeatsLabel->text(), QStringLiteral("4"));
    const QColor face = panel().palette().color(QPalette::Window);
    QTest::keyPress(&m_window, Qt::Key_K);
    EXPECT_EQ(panel().palette().color(QPalette::Window), QColor(0, 0, 255));
    QTest::keyRelease(&m_window, Qt::Key_K);
    EXPECT_EQ(panel().palette().color(QPalette::Window), face);
    QTest::mouseClick(panel().midiPauseButton, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, MidiState::Pausing);
    QTest::mouseClick(panel().midiStopButton, Qt::LeftButton);
    EXPECT_EQ(m_app.midi.midiState, MidiState::Stopping);
    for (const QString& text : messageTexts()) {
        EXPECT_TRUE(text.endsWith(QStringLiteral("@OpenCD"))) << text.toStdString(); // no drive
    }
}

} // namespace
} // namespace mt::test
