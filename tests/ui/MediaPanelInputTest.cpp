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

// Typing 1875 into the CD's bar (128 into the MIDI tempo) applies it when the entry is
// finished, never 1, 18 or 187 on the way: what tempo matching follows under the lock never
// passes through a 0.187 s bar. The arrow steps at once; leaving the box finishes an entry.
TEST_F(MediaPanelInputTest, TheUpDownsApplyOnlyAFinishedEntry) {
    CdPanel& cd = m_window.cdPanel();
    MidiPanel& midi = m_window.midiPanel();
    const struct {
        QSpinBox* box;
        const char* typed;
        QLabel* shown;
        const char* before;
        const char* after;
        const char* stepped; // after the up arrow
    } cases[] = {{cd.cdBarSpin, "1875", cd.cdBarSecondsLabel, "2.000", "1.875", "1.876"},
                 {midi.midiTempoSpin, "128", midi.midiBarSecondsLabel, "2.000", "1.875", "1.860"}};
    for (const auto& c : cases) {
        typeInto(*c.box, QLatin1String(c.typed),
                 [&] { EXPECT_EQ(c.shown->text(), QLatin1String(c.before)) << c.typed; });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(c.shown->text(), QLatin1String(c.after));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        EXPECT_EQ(c.shown->text(), QLatin1String(c.stepped));
        typeInto(*c.box, QStringLiteral("250"),
                 [&] { EXPECT_EQ(c.shown->text(), QLatin1String(c.stepped)) << c.typed; });
        QTest::mouseClick(m_window.mix().matchTempoButton, Qt::LeftButton);
        EXPECT_EQ(c.box->value(), 250);
    }
    EXPECT_EQ(cd.cdBpmLabel->text() + " " + midi.midiTempoLabel->text(), "960 250");
    EXPECT_EQ(m_app.cdBar.barSeconds(), 0.25);
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
        QTest::mouseClick(pref.cdImageBrowseButton, Qt::LeftButton);
        QTest::mouseClick(pref.okButton, Qt::LeftButton);
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
