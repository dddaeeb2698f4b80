// The MIDI module's wrappers and numbers: the bar length and its text, the elapsed time in
// whole beats, the reset list's mapping and the library's failures turned into messages.
#include "SmfBytes.h"
#include "audio/AudioTestKit.h"

#include "audio/DsCalls.h"
#include "audio/VbDSound.h"
#include "media/midi/KbgmSynth.h"
#include "media/midi/ModuleMIDI.h"
#include "support/PlatformDoubles.h"

#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt::test {
namespace {

class ModuleMIDITest : public ::testing::Test {
protected:
    ModuleMIDITest() { m_sound.soundLibHandle = m_library.handle; }

    QString write(const QByteArray& bytes) {
        QString path = m_dir.filePath(QStringLiteral("s%1.mid").arg(++m_files));
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    RecordingMessageBoxes m_boxes;
    OfflineLibrary m_library{44100};
    VbDSound m_sound{m_boxes};
    std::vector<QString> m_messages;
    ModuleMIDI m_midi{[this](const QString& text) { m_messages.push_back(text); }, m_sound};
};

TEST_F(ModuleMIDITest, BarSecondsAndTheirText) {
    EXPECT_DOUBLE_EQ(m_midi.midiBarSeconds, 2.0);
    EXPECT_EQ(m_midi.BarSecondsText(), QStringLiteral("2.000"));
    const std::pair<int, const char*> cases[] = {{120, "2.000"}, {128, "1.875"}, {90, "2.667"},
                                                 {400, "0.600"}, {7, "34.286"},  {0, "0.000"}};
    for (const auto& [tempo, text] : cases) {
        m_midi.midiTempo = tempo;
        m_midi.UpdateBarSeconds();
        EXPECT_EQ(m_midi.BarSecondsText(), QLatin1String(text)) << tempo;
    }
    m_midi.midiTempo = 90;
    m_midi.UpdateBarSeconds();
    EXPECT_DOUBLE_EQ(m_midi.midiBarSeconds, 240.0 / 90.0); // exact: tempo matching reads it
}

TEST_F(ModuleMIDITest, ElapsedTimeCountsWholeBeats) {
    std::int32_t beats = -1;
    std::int32_t hundredths = -1;
    EXPECT_FALSE(m_midi.ElapsedFromPosition(960, beats, hundredths)); // no preview yet
    EXPECT_EQ(beats, -1);
    m_midi.midiResolution = 480;
    m_midi.midiTempo = 120;
    ASSERT_TRUE(m_midi.ElapsedFromPosition(960, beats, hundredths));
    EXPECT_EQ(beats, 2);
    EXPECT_EQ(hundredths, 100);
    m_midi.ElapsedFromPosition(720, beats, hundredths); // 1.5 beats: halves go to even
    EXPECT_EQ(beats, 2);
    m_midi.ElapsedFromPosition(1200, beats, hundredths); // 2.5
    EXPECT_EQ(beats, 2);
    m_midi.midiTempo = 90;
    m_midi.ElapsedFromPosition(480 * 7, beats, hundredths);
    EXPECT_EQ(hundredths, 467); // 7 beats at 90 BPM = 4.666.. s
    m_midi.midiTempo = 0;
    EXPECT_FALSE(m_midi.ElapsedFromPosition(960, beats, hundredths));
}

TEST_F(ModuleMIDITest, ResetListMapsToTheLibrarysKinds) {
    ASSERT_TRUE(m_midi.MidiOpenDevice());
    const int expected[] = {0, 1, 4, 2, 3}; // GM GS XG VL VL2 -> library numbering
    for (int index = 0; index < 5; ++index) {
        m_midi.SendMidiReset(index);
        m_library.render(256);
        EXPECT_EQ(m_midi.kbgm.synth()->lastReset(), expected[index]) << index;
    }
    m_midi.SendMidiReset(-1);
    m_midi.SendMidiReset(5);
    m_library.render(256);
    EXPECT_EQ(m_midi.kbgm.synth()->lastReset(), 3);
}

TEST_F(ModuleMIDITest, LibraryFailuresBecomeMessages) {
    ASSERT_TRUE(m_midi.MidiOpenDevice());
    EXPECT_FALSE(m_midi.MidiGetInfo()); // no song
    m_midi.MidiRewind();
    m_midi.MidiForward(); // a failing step forward is not reported
    EXPECT_EQ(m_messages, (std::vector<QString>{QStringLiteral("GETINFOMIDIでエラー発生"),
                                                QStringLiteral("巻き戻し時にエラー発生")}));
}

TEST_F(ModuleMIDITest, LoadingFreesThePreviousSongEvenWhenTheNewOneFails) {
    ASSERT_TRUE(m_midi.MidiOpenDevice());
    ASSERT_TRUE(m_midi.MidiLoadSong(write(HeldNoteSong(128, 4, "First")), 0));
    EXPECT_EQ(m_midi.midiState, QStringLiteral("Preview"));
    m_library.render(44100);
    ASSERT_TRUE(m_midi.MidiGetInfo());
    EXPECT_EQ(m_midi.midiInfo.playing, 1);
    EXPECT_EQ(m_midi.midiInfo.title, QStringLiteral("First"));
    EXPECT_EQ(m_midi.midiInfo.tempo, 128);
    const std::int32_t first = m_midi.midiSong;

    m_midi.midiState = QStringLiteral("Stopping");
    EXPECT_FALSE(m_midi.MidiLoadSong(write("not a midi file"), 0));
    // Nothing points at the freed song any more: no handle, the state of no song.
    EXPECT_TRUE(m_midi.midiState.isEmpty());
    EXPECT_EQ(m_midi.midiSong, 0);
    // The playing song was stopped and freed first.
    MidiInfo info;
    EXPECT_NE(m_midi.kbgm.KBGMGetInfo(first, info), Kbgm::kOk);
    m_library.render(44100); // the organ's release and the reverb die away
    EXPECT_LT(Peak(m_library.render(4410)), 1e-3f);
}

TEST_F(ModuleMIDITest, MuteAndReattachAfterTheLibraryIsMadeAgain) {
    ASSERT_TRUE(m_midi.MidiOpenDevice());
    ASSERT_TRUE(m_midi.MidiLoadSong(write(HeldNoteSong(120, 8)), 0));
    m_library.render(22050);
    m_midi.MidiMute();
    m_library.render(256);
    EXPECT_EQ(Peak(m_library.render(4410)), 0.0f);
    m_midi.MidiUnmute();
    m_library.render(256);
    EXPECT_GT(Peak(m_library.render(4410)), 0.01f);

    dsTerminate(m_library.handle);
    OfflineLibrary again(44100);
    m_sound.soundLibHandle = again.handle;
    m_midi.MidiReattach();
    again.render(256);
    EXPECT_GT(Peak(again.render(4410)), 0.01f);
    m_midi.MidiStop();
    m_midi.MidiCloseDevice();
    EXPECT_FALSE(m_midi.kbgm.isOpen());
    m_library.handle = 0;
}

TEST(ModuleMIDIOpen, AMissingSoundFontFailsTheDevice) {
    RecordingMessageBoxes boxes;
    VbDSound sound(boxes);
    ModuleMIDI midi([](const QString&) {}, sound);
    midi.kbgm.setSoundFont(QStringLiteral("/nonexistent.sf2"));
    EXPECT_FALSE(midi.MidiOpenDevice());
    midi.kbgm.setSoundFont(Kbgm::kDefaultSoundFont);
    EXPECT_TRUE(midi.MidiOpenDevice()); // no sound library: opens, runs unheard
}

} // namespace
} // namespace mt::test
