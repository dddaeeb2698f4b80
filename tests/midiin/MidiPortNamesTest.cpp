#include "RecordingPerformance.h"
#include "support/StuckJack.h"

#include "midiin/MidiInput.h"
#include "midiin/MidiPorts.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace mt {
namespace {

TEST(MidiPortNames, HardwareIsToldFromProgramsAndNamesOutliveTheMachine) {
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Alsa, "LPD8:LPD8 MIDI 1 24:0"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Alsa, "Midi Through:Midi Through Port-0 14:0"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Alsa, "VMPK Output:out 128:0"));
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Jack, "system:midi_capture_1"));
    EXPECT_TRUE(MidiPorts::isHardware(MidiSystem::Jack, "a2j:LPD8 [24] (capture): LPD8 MIDI 1"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Jack, "a2j:Midi Through [14] (capture): x"));
    EXPECT_FALSE(MidiPorts::isHardware(MidiSystem::Jack, "Test pads:pads"));
    // ALSA numbers the clients as they come: a pad plugged in elsewhere is the same pad.
    EXPECT_EQ(MidiPorts::stableName("LPD8:LPD8 MIDI 1 24:0"), "LPD8:LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("LPD8:LPD8 MIDI 1 28:0"), "LPD8:LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("a2j:LPD8 [24] (capture): LPD8 MIDI 1"),
              "a2j:LPD8 (capture): LPD8 MIDI 1");
    EXPECT_EQ(MidiPorts::stableName("Test pads:pads"), "Test pads:pads");
}

// A libjack stuck on a dead client's lock turns JACK MIDI off with the lock named, and is asked
// once: a second open would only wait behind the first.
TEST(MidiPorts, AStuckJackLibraryTurnsJackMidiOffAndNamesTheLock) {
    test::StuckJack jack;
    test::RecordingPerformance sink;
    MidiInput midi(sink);
    EXPECT_FALSE(midi.start(MidiSystem::Jack));
    EXPECT_TRUE(
        midi.status().contains(QStringLiteral("JACKのライブラリが応答しません（/dev/shm/jack_db-")))
        << midi.status().toStdString();
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0) {
        EXPECT_FALSE(midi.start(MidiSystem::Auto));
        EXPECT_TRUE(midi.status().contains(
            QStringLiteral("JACKのライブラリが応答せず、ALSAシーケンサーもありません")))
            << midi.status().toStdString();
    }
    EXPECT_EQ(jack.opens(), 1);
}

} // namespace
} // namespace mt
