// The MIDI player's numbers and rules, the song rendered offline; the watch runs when called.
#include "SmfBytes.h"
#include "audio/AudioTestKit.h"

#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "media/midi/GmSynth.h"
#include "media/midi/MidiFilePlayer.h"
#include "support/PlatformDoubles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt::test {
namespace {

class MidiFilePlayerTest : public ::testing::Test {
protected:
    MidiFilePlayerTest() { m_sound.soundLibHandle = m_library.handle; }

    QTemporaryDir m_dir;
    RecordingMessageBoxes m_boxes;
    OfflineLibrary m_library{44100};
    SoundDevice m_sound{m_boxes};
    std::vector<QString> m_messages;
    MidiFilePlayer m_midi{[this](const QString& text) {
                              m_messages.push_back(text);
                              if (whileShown) {
                                  whileShown(); // a modal box runs the event loop
                              }
                          },
                          m_sound};
    std::function<void()> whileShown;

    void seconds(double s) { m_library.render(static_cast<std::size_t>(std::lround(s * 44100))); }
    // Opens the device, opens the song and lets its preview end.
    void previewed(const QByteArray& song) {
        m_midi.openDevice();
        m_midi.openSong(WriteSong(m_dir, song));
        ASSERT_EQ(m_midi.midiState, MidiState::Preview);
        seconds(1.0);
        m_midi.tick();
    }
    // The state, the buttons it allows, and whether the watch runs.
    std::tuple<MidiState, unsigned, bool> shown() const {
        return {m_midi.midiState, m_midi.enabledButtons, m_midi.watchTimer.isActive()};
    }
    MidiInfo info() {
        MidiInfo i;
        EXPECT_EQ(m_midi.kbgm.songInfo(m_midi.midiSong, i), MidiLibrary::kOk);
        return i;
    }
    ~MidiFilePlayerTest() override { m_midi.MidiCloseDevice(); }
};

using Shown = std::tuple<MidiState, unsigned, bool>;
const Shown kStopped{MidiState::Stopping, kMidiStart, false};

// What the panel shows of the tempo and the time: the bar to three decimals, whole beats
// rounded half to even, and nothing divided by a tempo of 0.
TEST_F(MidiFilePlayerTest, BarSecondsAndElapsedTimeAsThePanelShowsThem) {
    for (const auto& [tempo, text] : {std::pair{120, "2.000"},
                                      {128, "1.875"},
                                      {90, "2.667"},
                                      {400, "0.600"},
                                      {7, "34.286"},
                                      {0, "0.000"}}) {
        m_midi.midiTempo = tempo;
        m_midi.UpdateBarSeconds();
        EXPECT_EQ(m_midi.BarSecondsText(), QLatin1String(text)) << tempo;
    }
    m_midi.midiTempo = 90;
    m_midi.UpdateBarSeconds();
    EXPECT_DOUBLE_EQ(m_midi.midiBarSeconds, 240.0 / 90.0); // exact: tempo matching reads it

    const struct {
        int resolution, tempo, ticks;
        bool shown;
        std::pair<int, int> beatsAndHundredths;
    } times[] = {{0, 120, 960, false, {0, 0}}, // no preview yet
                 {480, 120, 960, true, {2, 100}},  {480, 120, 720, true, {2, 100}},
                 {480, 120, 1200, true, {2, 100}}, {480, 90, 480 * 7, true, {7, 467}},
                 {480, 0, 960, false, {0, 0}}};
    for (const auto& t : times) {
        m_midi.midiResolution = t.resolution;
        m_midi.midiTempo = t.tempo;
        std::pair<std::int32_t, std::int32_t> got{0, 0};
        EXPECT_EQ(m_midi.ElapsedFromPosition(t.ticks, got.first, got.second), t.shown) << t.ticks;
        EXPECT_EQ(got, t.beatsAndHundredths) << t.ticks;
    }
}

TEST_F(MidiFilePlayerTest, ReattachesAfterTheLibraryIsMadeAgain) {
    ASSERT_TRUE(m_midi.MidiOpenDevice());
    ASSERT_TRUE(m_midi.MidiLoadSong(WriteSong(m_dir, HeldNoteSong(120, 8)), 0));
    m_library.render(22050);
    closeSoundLibrary(m_library.handle);
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

TEST(MidiFilePlayerOpen, WithoutASoundLibraryItOpensAndRunsUnheard) {
    RecordingMessageBoxes boxes;
    SoundDevice sound(boxes);
    MidiFilePlayer midi([](const QString&) {}, sound);
    EXPECT_TRUE(midi.MidiOpenDevice());
}

// Choosing the reset already chosen sends it again: how a performer resets a strayed synth.
TEST_F(MidiFilePlayerTest, OpensOnceSayingWhenItCannotAndSendsEveryChosenReset) {
    m_midi.kbgm.setSoundFont(m_dir.filePath(QStringLiteral("missing.sf2")));
    m_midi.openDevice();
    EXPECT_EQ(m_messages, std::vector<QString>{QStringLiteral("MIDIデバイスが開けません。")});
    EXPECT_FALSE(m_midi.midiOpened);
    m_midi.kbgm.setSoundFont(MidiLibrary::kDefaultSoundFont);
    m_midi.openDevice(); // tried again
    EXPECT_TRUE(m_midi.midiOpened);
    m_library.render(256);
    EXPECT_EQ(m_midi.kbgm.synth()->lastReset(), 0); // GM, sent by this opening
    const int kinds[] = {0, 1, 4, 2, 3};            // GM GS XG VL VL2 -> library numbering
    for (int index : {4, 3, 2, 1}) {
        m_midi.chooseReset(index);
        m_library.render(256);
        EXPECT_EQ(m_midi.kbgm.synth()->lastReset(), kinds[index]) << index;
    }
    m_midi.kbgm.sendSystemReset(0); // a GM reset from elsewhere: a song's own, say
    m_midi.chooseReset(1);
    m_midi.SendMidiReset(-1); // not in the list: nothing
    m_midi.SendMidiReset(5);
    m_library.render(256);
    EXPECT_EQ(m_midi.kbgm.synth()->lastReset(), 1);
    m_midi.openDevice(); // already open: nothing happens, the choice stays
    EXPECT_EQ(m_midi.resetKind, 1);
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(MidiFilePlayerTest, OpeningASongPreviewsItForOneSecondThenReadsIt) {
    m_midi.openDevice();
    m_midi.openSong(WriteSong(m_dir, HeldNoteSong(128, 4, "Backing")));
    EXPECT_EQ(m_midi.enabledButtons, 0u);
    seconds(1.0);
    EXPECT_EQ(info().playing, 1); // heard during the preview
    m_midi.tick();
    EXPECT_EQ(std::make_tuple(m_midi.songTitle, m_midi.midiTempo, m_midi.midiBarSeconds),
              std::make_tuple(QStringLiteral("Backing"), 128, 1.875));
    EXPECT_EQ(shown(), kStopped);
    EXPECT_EQ(info().playing, 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MidiFilePlayerTest, TransportFollowsItsTable) {
    previewed(HeldNoteSong(120, 8));
    m_midi.start();
    EXPECT_EQ(shown(),
              Shown(MidiState::Playing, kMidiPause | kMidiStop | kMidiForward | kMidiRewind, true));
    seconds(0.5);
    m_midi.pauseIfPlaying();
    EXPECT_EQ(shown(), Shown(MidiState::Pausing, kMidiStart | kMidiPause | kMidiStop, false));
    const std::int32_t pausedAt = info().position;
    seconds(0.5);
    EXPECT_EQ(info().position, pausedAt);
    EXPECT_LT(Peak(m_library.render(4410)), 1e-3f); // the held note was released
    m_midi.start();                                 // resumes where it paused
    seconds(0.25);
    EXPECT_NEAR(info().position, pausedAt + 240, 2);
    m_midi.stop();
    EXPECT_EQ(shown(), kStopped);
    m_midi.start(); // from the top
    seconds(0.25);
    EXPECT_NEAR(info().position, 240, 2);
}

// A file that will not load frees the playing song and leaves no watch to ask about it.
TEST_F(MidiFilePlayerTest, AFailedLoadWhilePlayingFreesTheSongAndLeavesAnEmptyPlayer) {
    previewed(HeldNoteSong(120, 8));
    m_midi.start();
    const std::int32_t first = m_midi.midiSong;
    m_midi.openSong(WriteSong(m_dir, "not a song"));
    EXPECT_EQ(shown(), Shown(MidiState::None, 0u, false));
    EXPECT_EQ(m_midi.midiSong, 0);
    MidiInfo freed;
    EXPECT_NE(m_midi.kbgm.songInfo(first, freed), MidiLibrary::kOk); // stopped and freed first
    EXPECT_FALSE(m_midi.songTitle.has_value());
    seconds(1.0); // the organ's release and the reverb die away
    EXPECT_LT(Peak(m_library.render(4410)), 1e-3f);
    m_midi.start(); // nothing to play
    EXPECT_FALSE(m_midi.watchTimer.isActive());
    m_midi.openSong(WriteSong(m_dir, HeldNoteSong(120, 4)));
    EXPECT_EQ(m_midi.midiState, MidiState::Preview);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MidiFilePlayerTest, StartDuringAPreviewReadsTheSongFirst) {
    previewed(HeldNoteSong(120, 4)); // Start is allowed now, and stays so through a load
    m_midi.openSong(WriteSong(
        m_dir, Smf(96, {SmfTrack().meta(0, 3, "Second").tempo(0, 1000000).end(96 * 16)})));
    ASSERT_TRUE(m_midi.canPress(kMidiStart));
    seconds(0.3);
    m_midi.start();
    EXPECT_EQ(std::make_tuple(m_midi.songTitle, m_midi.midiResolution, m_midi.midiStartTempo,
                              m_midi.midiState),
              std::make_tuple(QStringLiteral("Second"), 96, 60, MidiState::Playing));
    seconds(2.0); // from the top: two beats at 60 BPM
    m_midi.tick();
    EXPECT_EQ(std::pair(m_midi.midiBeats, m_midi.midiTimeHundredths), std::pair(2, 200));
}

TEST_F(MidiFilePlayerTest, PlayingWatchCountsWholeBeatsFollowsTheSongsTempoAndItsEnd) {
    SmfTrack conductor;
    conductor.meta(0, 3, "Change").tempo(0, 500000).tempo(1920, 400000).end(3840);
    SmfTrack organ;
    organ.program(0, 0, 16).noteOn(0, 0, 69).noteOff(5760, 0, 69).end();
    previewed(Smf(480, {conductor, organ}));
    m_midi.start();
    seconds(1.0); // 960 ticks at 480 per quarter and 120 BPM: 2 beats, one second
    m_midi.tick();
    EXPECT_EQ(std::pair(m_midi.midiBeats, m_midi.midiTimeHundredths), std::pair(2, 100));
    seconds(1.1); // past bar 2: 150 BPM
    m_midi.tick();
    EXPECT_EQ(std::make_tuple(m_midi.midiTempo, m_midi.midiBarSeconds, info().tempo),
              std::make_tuple(150, 1.6, 150)); // following did not push a different tempo back

    seconds(4.0); // past the end
    m_midi.tick();
    EXPECT_EQ(shown(), kStopped);
    m_midi.repeat = true;
    m_midi.start();
    seconds(5.5); // the song is 5.2 s long
    m_midi.tick();
    EXPECT_EQ(m_midi.midiState, MidiState::Playing);
    EXPECT_EQ(info().playing, 1);
    EXPECT_LT(info().position, 480); // the second time round, heard
    EXPECT_GT(RmsDb(Channel(m_library.render(13230), 0, 2), 1.0), -40.0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MidiFilePlayerTest, TheTempoIsSentOnlyWhilePlaying) {
    m_midi.setTempo(60); // no song: only the bar
    EXPECT_DOUBLE_EQ(m_midi.midiBarSeconds, 4.0);
    EXPECT_TRUE(m_messages.empty());
    previewed(HeldNoteSong(120, 8));
    m_midi.setTempo(90); // stopped: kept, not sent
    m_midi.start();      // at the song's own tempo all the same
    seconds(0.5);
    m_midi.tick();
    EXPECT_EQ(m_midi.midiTempo, 120);
    EXPECT_NEAR(info().position, 480, 2);
    m_midi.setTempo(180); // playing: sent
    seconds(0.5);
    EXPECT_NEAR(info().position, 480 + 720, 3);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MidiFilePlayerTest, StepsAndTheirFailuresShowOneBoxAtATime) {
    previewed(HeldNoteSong(120, 8));
    m_midi.start();
    seconds(0.5);
    m_midi.forward();
    EXPECT_NEAR(info().position, 480 + 1920, 2);
    m_midi.rewind();
    m_midi.rewind();
    EXPECT_EQ(info().position, 0);
    EXPECT_TRUE(m_messages.empty());
    // The song freed under the player; a watch tick under the failing watch's box does nothing.
    m_midi.MidiStop();
    m_midi.MidiFreeSong();
    m_midi.forward(); // a failing step forward is not reported
    m_midi.rewind();
    whileShown = [this] { m_midi.tick(); };
    m_midi.tick();
    EXPECT_EQ(m_messages, (std::vector<QString>{QStringLiteral("巻き戻し時にエラー発生"),
                                                QStringLiteral("GETINFOMIDIでエラー発生")}));
    m_midi.tick(); // the next tick after the box was closed reports again
    EXPECT_EQ(m_messages.size(), 3u);
}

// The mute key silences only a playing song; let go after its end, it still unmutes.
TEST_F(MidiFilePlayerTest, TheMuteKeyLetGoAfterTheSongEndedLeavesTheNextSongAudible) {
    previewed(HeldNoteSong(120, 1)); // two seconds
    m_midi.muteOn();
    EXPECT_FALSE(m_midi.midiMuted); // not playing
    m_midi.start();
    seconds(0.5);
    m_midi.muteOn();
    EXPECT_TRUE(m_midi.midiMuted);
    m_library.render(256);
    EXPECT_EQ(Peak(m_library.render(4410)), 0.0f);
    seconds(6.0);
    m_midi.tick();
    ASSERT_EQ(m_midi.midiState, MidiState::Stopping);
    m_midi.muteOff();
    EXPECT_FALSE(m_midi.midiMuted);
    m_midi.start();
    seconds(0.1); // the volume glides
    EXPECT_GT(Peak(m_library.render(22050)), 0.01f) << "the next song is silent";
}

} // namespace
} // namespace mt::test
