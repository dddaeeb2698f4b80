// The CD and MIDI panels under a performer's hands: typed numbers in the up-downs, and a disc
// image chosen in the reference settings that cannot be read.
#include "support/UiFixture.h"
#include "ui/CdPanel.h"
#include "ui/ClickableLabel.h"
#include "ui/MidiPanel.h"
#include "ui/MixPanel.h"
#include "ui/PreferenceWindows.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace mt {
namespace {

class MediaPanelInputTest : public test::MainWindowTest {
protected:
    void SetUp() override { choose("mnuCD"); }
    ~MediaPanelInputTest() override { m_app.midi.MidiCloseDevice(); }

    // Clicks into the up-down's text, selects it and types `digits` over it, one key at a time.
    static void typeInto(QSpinBox& box, const QString& digits,
                         const std::function<void()>& afterEachKey) {
        auto* text = box.findChild<QLineEdit*>();
        ASSERT_NE(text, nullptr);
        QTest::mouseClick(text, Qt::LeftButton);
        ASSERT_TRUE(box.hasFocus());
        // Home, then Shift+End: Ctrl+A is the track key A on the main window.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End, Qt::ShiftModifier);
        for (const QChar c : digits) {
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
            afterEachKey();
        }
    }
};

// Typing 1875 into the CD's bar applies 1875 when the entry is finished, never 1, 18 or 187
// on the way: the bar, which tempo matching follows under the lock, never moves to 0.187 s.
TEST_F(MediaPanelInputTest, TheCdBarAppliesOnlyAFinishedEntry) {
    CdPanel& cd = m_window.cdPanel();
    int moves = 0; // each one re-matches under the lock
    QObject::connect(&m_app.cdBar, &CdBar::moved, [&moves] { ++moves; });

    typeInto(*cd.SpinButtonCD, QStringLiteral("1875"), [&] {
        EXPECT_EQ(cd.lblCDSec->text(), QStringLiteral("2.000"));
        EXPECT_EQ(m_app.cdBar.barSeconds(), 2.0);
    });
    EXPECT_EQ(moves, 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(cd.lblCDSec->text(), QStringLiteral("1.875"));
    EXPECT_EQ(cd.lblCdBpm->text(), QStringLiteral("128"));
    EXPECT_EQ(moves, 1);

    // The arrow steps at once; leaving the box finishes a typed entry.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(cd.lblCDSec->text(), QStringLiteral("1.876"));
    EXPECT_EQ(moves, 2);
    typeInto(*cd.SpinButtonCD, QStringLiteral("2500"),
             [&] { EXPECT_EQ(cd.lblCDSec->text(), QStringLiteral("1.876")); });
    QTest::mouseClick(m_window.mix().Comgo, Qt::LeftButton);
    EXPECT_EQ(cd.lblCDSec->text(), QStringLiteral("2.500"));
    EXPECT_EQ(moves, 3);
}

// Typing 128 into the MIDI tempo never plays at 1 or 12 BPM on the way; the arrow steps at
// once. (Its re-match under the lock: MidiPanelTest.)
TEST_F(MediaPanelInputTest, TheMidiTempoAppliesOnlyAFinishedEntry) {
    MidiPanel& midi = m_window.midiPanel();
    typeInto(*midi.SpinButtonMIDI, QStringLiteral("128"), [&] {
        EXPECT_EQ(midi.lblMIDITempo->text(), QStringLiteral("120"));
        EXPECT_EQ(m_app.midi.midiTempo, 120);
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(midi.lblMIDITempo->text(), QStringLiteral("128"));
    EXPECT_EQ(midi.lblMIDISec->text(), QStringLiteral("1.875"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(m_app.midi.midiTempo, 127);
}

// A cue sheet of one WAVE file per track, chosen in the reference settings: showing the media
// panel says that this is what cannot be read, not that a .bin is missing.
class CueSheetOfWaveFiles : public test::MainWindowTest {};

TEST_F(CueSheetOfWaveFiles, IsRefusedForWhatItIs) {
    addWav("01.wav", 44100, 2, 44100);
    addWav("02.wav", 44100, 2, 44100);
    const QString cue = m_dir.filePath("set.cue");
    ASSERT_TRUE(test::WriteFile(cue, "FILE \"01.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                                     "    INDEX 01 00:00:00\r\n"
                                     "FILE \"02.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n"
                                     "    INDEX 01 00:00:00\r\n"));
    m_platform.modals.inspect = [this, &cue](QDialog& dialog) {
        auto& pref = dynamic_cast<PreferenceWindow&>(dialog);
        m_platform.fileDialogs.answers.push_back(cue);
        QTest::mouseClick(pref.ComCdImage, Qt::LeftButton);
        QTest::mouseClick(pref.ComOK, Qt::LeftButton);
        return pref.result();
    };
    choose("mnuPreference");
    ASSERT_EQ(m_app.cd.state.imagePath, cue);

    choose("mnuCD");
    EXPECT_FALSE(m_app.cd.state.cdOpened);
    ASSERT_EQ(messageTexts().size(), 1u);
    EXPECT_EQ(messageTexts()[0],
              QStringLiteral("キューシートが WAVE ファイルを指しています。読めるの"
                             "は、音声が同じ名前の .bin ファイル1つに入ったキュー"
                             "シートだけです。@OpenCD"));
    m_app.midi.MidiCloseDevice();
}

} // namespace
} // namespace mt
