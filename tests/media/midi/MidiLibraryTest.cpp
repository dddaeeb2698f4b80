// MIDI files read and played: the SMF reader on files written here byte by byte (timing, title,
// events, and the malformed files a user may open by mistake), and the MIDI library rendered
// offline: what is heard, where the song is, with or without a mix.
#include "SmfBytes.h"
#include "audio/AudioTestKit.h"

#include "audio/SoundBuffers.h"
#include "media/midi/GmSynth.h"
#include "media/midi/MidiLibrary.h"
#include "media/midi/SmfSong.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace mt::test {
namespace {

bool Parse(const QByteArray& bytes, SmfSong& song) {
    return ParseSmf(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                    static_cast<std::size_t>(bytes.size()), song);
}

TEST(SmfSong, ReadsDivisionTitleAndMergesTracksByTick) {
    SmfTrack conductor;
    conductor.meta(0, 0x01, "a text").meta(0, 0x03, "Song").tempo(0, 500000).tempo(960, 400000);
    conductor.end(960);
    SmfTrack notes;
    notes.meta(0, 0x03, "Piano").program(0, 0, 5).noteOn(480, 0, 60).noteOff(960, 0, 60).end();
    SmfSong song;
    ASSERT_TRUE(Parse(Smf(480, {conductor, notes}), song));
    // The title is the first track name, not a text.
    EXPECT_EQ(std::make_tuple(song.resolution, song.smpte, song.title, song.endTick),
              std::make_tuple(480, false, QStringLiteral("Song"), 1920u));
    ASSERT_EQ(song.events.size(), 5u);
    std::vector<std::uint32_t> ticks;
    for (const SmfEvent& e : song.events) {
        ticks.push_back(e.tick);
    }
    EXPECT_EQ(ticks, (std::vector<std::uint32_t>{0, 0, 480, 960, 1440}));
    // Same tick: the conductor's tempo comes before the other track's program.
    EXPECT_EQ(song.events[0].kind, SmfEvent::Kind::Tempo);
    EXPECT_EQ(song.events[1].status, 0xc0);
    EXPECT_EQ(song.events[3].kind, SmfEvent::Kind::Tempo);
    EXPECT_EQ(song.events[3].value, 400000u);
    EXPECT_EQ(song.initialTempo(), 500000u);
}

TEST(SmfSong, TitleFallsBackToTextAndDecodesShiftJis) {
    SmfTrack t;
    // "曲名" in Shift_JIS, padded with a NUL as some sequencers write it.
    t.meta(0, 0x01, QByteArray("\x8b\xc8\x96\xbc\0", 5)).end();
    SmfSong song;
    ASSERT_TRUE(Parse(Smf(96, {t}, 0), song));
    EXPECT_EQ(song.title, QStringLiteral("曲名"));

    SmfTrack utf;
    utf.meta(0, 0x03, QStringLiteral("テスト").toUtf8()).end();
    ASSERT_TRUE(Parse(Smf(96, {utf}, 0), song));
    EXPECT_EQ(song.title, QStringLiteral("テスト"));

    SmfTrack none;
    none.noteOn(0, 0, 60).end(10);
    ASSERT_TRUE(Parse(Smf(96, {none}, 0), song));
    EXPECT_TRUE(song.title.isEmpty() && song.initialTempo() == SmfSong::kDefaultTempo);
}

TEST(SmfSong, RunningStatusNoteOnZeroAndSysexWithoutFraming) {
    SmfTrack t;
    t.raw(0, {0x90, 60, 100}).raw(10, {62, 100}).raw(10, {60, 0});
    t.sysex(0, {0x7e, 0x7f, 0x09, 0x01}).raw(5, {64, 90}); // running status ended by sysex
    t.end();
    SmfSong song;
    ASSERT_TRUE(Parse(Smf(96, {t}, 0), song));
    ASSERT_EQ(song.events.size(), 4u);
    EXPECT_EQ(std::make_tuple(song.events[1].status, song.events[1].data1, song.events[2].data2),
              std::make_tuple(0x90, 62, 0));
    const SmfEvent& sx = song.events[3];
    ASSERT_TRUE(sx.kind == SmfEvent::Kind::Sysex && sx.length == 4);
    EXPECT_EQ(song.sysexBytes[sx.value], 0x7e);
    EXPECT_EQ(song.sysexBytes[sx.value + 3], 0x01); // F7 left out
    EXPECT_EQ(song.endTick, 20u); // the data byte after the sysex broke the track there
}

TEST(SmfSong, SmpteDivisionGivesTicksPerHalfSecond) {
    SmfTrack t;
    t.tempo(0, 250000).end(100);
    SmfSong song;
    // -25 frames per second, 40 ticks per frame: 1000 ticks a second; -29 is 29.97 frames.
    for (const auto& [division, resolution] :
         {std::pair{(0xe7 << 8) | 40, 500}, {(0xe3 << 8) | 100, 1499}}) {
        ASSERT_TRUE(Parse(Smf(static_cast<std::uint16_t>(division), {t}, 0), song));
        EXPECT_TRUE(song.smpte && song.resolution == resolution) << song.resolution;
    }
    EXPECT_EQ(song.initialTempo(), SmfSong::kDefaultTempo); // tempo has no say over SMPTE
}

TEST(SmfSong, RefusesWhatIsNoMidiFile) {
    SmfSong song;
    EXPECT_FALSE(Parse(QByteArray(), song));
    EXPECT_FALSE(Parse(QByteArray("RIFF\0\0\0\0WAVEfmt ", 16), song));
    const QByteArray good = HeldNoteSong(120, 1);
    EXPECT_FALSE(Parse(good.left(13), song)); // header cut short
    QByteArray zeroDivision = good;
    zeroDivision[12] = 0;
    zeroDivision[13] = 0;
    EXPECT_FALSE(Parse(zeroDivision, song));
    EXPECT_FALSE(Parse("MThd this is text", song)); // no format, a header past the end
    EXPECT_EQ(ParseSmf(nullptr, 100, song), false);
}

TEST(SmfSong, KeepsWhatIsValidOfABrokenFile) {
    const QByteArray good = HeldNoteSong(120, 2);
    SmfSong whole;
    ASSERT_TRUE(Parse(good, whole));
    // Cut inside the second track: the first is whole, the second up to the cut.
    SmfSong cut;
    ASSERT_TRUE(Parse(good.left(good.size() - 6), cut));
    EXPECT_EQ(cut.title, QStringLiteral("Test Song"));
    EXPECT_LT(cut.events.size(), whole.events.size());
    EXPECT_GE(cut.events.size(), 2u);
    // Only the header: a song with nothing in it.
    SmfSong empty;
    ASSERT_TRUE(Parse(good.left(14), empty));
    EXPECT_TRUE(empty.events.empty() && empty.endTick == 0);

    // A chunk length far past the end, a meta length past the end, a stray status byte.
    SmfTrack t;
    t.noteOn(0, 0, 60).raw(10, {0xff, 0x03, 0x7f, 'x'});
    SmfSong longMeta;
    ASSERT_TRUE(Parse(Smf(96, {t}, 0), longMeta));
    EXPECT_TRUE(longMeta.events.size() == 1 && longMeta.title.isEmpty());
    SmfTrack stray;
    stray.noteOn(0, 0, 60).raw(1, {0xf4, 1, 2}).noteOn(1, 0, 62);
    SmfSong strayed;
    ASSERT_TRUE(Parse(Smf(96, {stray}, 0), strayed));
    EXPECT_EQ(strayed.events.size(), 1u);
}

TEST(SmfSong, AbsurdTempoAndTicksAreBounded) {
    SmfTrack t;
    // A tempo of 0, the longest a tempo event can say (16.7 s a quarter), one of 4 bytes.
    t.tempo(0, 0).tempo(0, 0xffffff).raw(0, {0xff, 0x51, 4, 0x03, 0x93, 0x87, 0x00});
    t.noteOn(0x0fffffff, 0, 60);
    for (int i = 0; i < 20; ++i) {
        t.noteOn(0x0fffffff, 0, 60); // 20 maximal deltas run past 2^31 ticks
    }
    SmfSong song;
    ASSERT_TRUE(Parse(Smf(480, {t}, 0), song));
    ASSERT_FALSE(song.events.empty());
    EXPECT_EQ(song.events[0].kind, SmfEvent::Kind::Tempo); // the tempo of 0 was dropped
    EXPECT_EQ(song.events[0].value, 0xffffffu);
    EXPECT_NE(song.events[1].kind, SmfEvent::Kind::Tempo);
    EXPECT_LE(song.endTick, 0x7fffffffu);
    for (const SmfEvent& e : song.events) {
        EXPECT_LE(e.tick, song.endTick);
    }
}

constexpr int kRate = 44100;

class MidiLibraryTest : public ::testing::TestWithParam<int> {
protected:
    MidiLibraryTest() : m_library(GetParam()) {}

    void SetUp() override {
        ASSERT_EQ(m_kbgm.open(10, -1), MidiLibrary::kOk);
        ASSERT_EQ(m_kbgm.setOutput(m_library.handle), MidiLibrary::kOk);
    }

    int rate() const { return GetParam(); }

    std::int32_t load(const QByteArray& bytes) {
        std::int32_t song = 0;
        EXPECT_EQ(m_kbgm.loadFile(song, WriteSong(m_dir, bytes)), MidiLibrary::kOk);
        return song;
    }
    std::vector<float> seconds(double s) {
        return m_library.render(static_cast<std::size_t>(std::lround(s * rate())));
    }
    MidiInfo info(std::int32_t song) {
        MidiInfo i;
        EXPECT_EQ(m_kbgm.songInfo(song, i), MidiLibrary::kOk);
        return i;
    }
    // Ticks a song at `bpm` and 480 per quarter moves in `s` seconds.
    static double ticks(double bpm, double s) { return bpm / 60.0 * 480.0 * s; }
    int program() { // the synth's program on channel 0, after a short render
        seconds(0.01);
        int font = 0;
        int bank = 0;
        int value = -1;
        fluid_synth_get_program(m_kbgm.synth()->synth(), 0, &font, &bank, &value);
        return value;
    }

    QTemporaryDir m_dir;
    OfflineLibrary m_library;
    MidiLibrary m_kbgm;
};

TEST_P(MidiLibraryTest, SongSoundsAtItsPitchThroughTheMix) {
    const std::int32_t song = load(HeldNoteSong(120, 2));
    EXPECT_LT(Peak(seconds(0.1)), 1e-6f); // loaded is not playing
    ASSERT_EQ(m_kbgm.play(song, 0), MidiLibrary::kOk);
    seconds(0.3); // past the attack
    const std::vector<float> left = Channel(seconds(0.5), 0, 2);
    EXPECT_GT(RmsDb(left, 1.0), -40.0);
    // A4 of the organ: 440 Hz stands far above its neighbour semitone.
    EXPECT_GT(ToneAmplitude(left, rate(), 440.0), 10.0 * ToneAmplitude(left, rate(), 466.16));
    EXPECT_LT(MaxStep(left), 0.2f);
}

// 120 BPM, then 150 from bar 2; set to 240, its later change is doubled too.
TEST_P(MidiLibraryTest, PositionAndTempoFollowTheSongsTempoMapScaledBySetTempo) {
    SmfTrack conductor;
    conductor.tempo(0, 500000).tempo(1920, 400000).end(1920);
    SmfTrack organ;
    organ.program(0, 0, 16).noteOn(0, 0, 69).noteOff(3840, 0, 69).end();
    const std::int32_t song = load(Smf(480, {conductor, organ}));
    ASSERT_EQ(m_kbgm.play(song, 0), MidiLibrary::kOk);
    // Read before a single block has rendered: the call's effect is already reported.
    MidiInfo i = info(song);
    EXPECT_EQ(std::make_tuple(i.playing, i.position, i.tempo, i.resolution),
              std::make_tuple(1, 0, 120, 480));

    seconds(1.0);
    EXPECT_NEAR(info(song).position, ticks(120, 1.0), 2.0);
    seconds(1.5);
    i = info(song);
    EXPECT_EQ(i.tempo, 150);
    EXPECT_NEAR(i.position, 1920 + ticks(150, 0.5), 2.0);
    seconds(1.2); // the song ends at 3840: 2 s + 1.6 s
    EXPECT_EQ(info(song).playing, 0);

    m_kbgm.play(song, 0);
    seconds(0.5);
    ASSERT_EQ(m_kbgm.setTempo(song, 240), MidiLibrary::kOk);
    EXPECT_EQ(info(song).tempo, 240);
    seconds(0.5);
    EXPECT_NEAR(info(song).position, ticks(120, 0.5) + ticks(240, 0.5), 2.0);
    seconds(0.5); // past 1920: the song's 150 plays twice as fast too
    EXPECT_EQ(info(song).tempo, 300);
    EXPECT_EQ(m_kbgm.setTempo(song, 0), MidiLibrary::kBadArgument);
    m_kbgm.play(song, 0); // starts over at the song's own tempo
    seconds(0.25);
    EXPECT_EQ(info(song).tempo, 120);
}

TEST_P(MidiLibraryTest, SeekStepsWithinTheSongAndRestoresItsPrograms) {
    SmfTrack organ;
    organ.program(0, 0, 16).noteOn(0, 0, 69).program(3000, 0, 40).noteOff(3000, 0, 69).end();
    const std::int32_t song = load(Smf(480, {organ}, 0));
    EXPECT_NE(m_kbgm.seek(song, -1920), MidiLibrary::kOk); // not playing
    m_kbgm.play(song, 0);
    seconds(0.1);
    ASSERT_EQ(m_kbgm.seek(song, 1920), MidiLibrary::kOk);
    ASSERT_EQ(m_kbgm.seek(song, 1920), MidiLibrary::kOk);
    EXPECT_NEAR(info(song).position, ticks(120, 0.1) + 3840, 2.0);
    EXPECT_EQ(program(), 40); // passed over, still applied
    ASSERT_EQ(m_kbgm.seek(song, -1920 * 3), MidiLibrary::kOk);
    EXPECT_EQ(info(song).position, 0);
    EXPECT_EQ(program(), 16);
    ASSERT_EQ(m_kbgm.seek(song, 100000), MidiLibrary::kOk);
    EXPECT_EQ(info(song).position, 6000); // the end, not beyond
}

TEST_P(MidiLibraryTest, EveryResetKindResetsThePrograms) {
    for (int kind = 0; kind <= 4; ++kind) {
        fluid_synth_program_change(m_kbgm.synth()->synth(), 0, 40);
        ASSERT_EQ(m_kbgm.sendSystemReset(kind), MidiLibrary::kOk);
        EXPECT_EQ(program(), 0) << "reset kind " << kind;
    }
    EXPECT_EQ(m_kbgm.sendSystemReset(5), MidiLibrary::kBadArgument);
    EXPECT_EQ(systemResetBytes(1),
              (std::vector<std::uint8_t>{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41}));
    EXPECT_EQ(systemResetBytes(4), (std::vector<std::uint8_t>{0x43, 0x10, 0x4c, 0, 0, 0x7e, 0}));
}

TEST_P(MidiLibraryTest, MuteGlidesToSilenceAndUnmuteRestores) {
    const std::int32_t song = load(HeldNoteSong(120, 8));
    m_kbgm.play(song, 0);
    seconds(0.3);
    const std::vector<float> before = Channel(seconds(0.3), 0, 2);
    ASSERT_EQ(m_kbgm.setVolume(song, 0), MidiLibrary::kOk);
    const std::vector<float> fading = Channel(m_library.render(256), 0, 2);
    EXPECT_LE(MaxStep(fading), MaxStep(before) * 1.1f); // no click on the way down
    EXPECT_EQ(Peak(seconds(0.3)), 0.0f);
    m_kbgm.setVolume(song, 100);
    m_library.render(256);
    EXPECT_NEAR(RmsDb(Channel(seconds(0.3), 0, 2), 1.0), RmsDb(before, 1.0), 1.0);
}

TEST_P(MidiLibraryTest, FreeRefusesThePlayingSongAndForgetsAFreedOne) {
    const std::int32_t song = load(HeldNoteSong(120, 2));
    m_kbgm.play(song, 0);
    EXPECT_EQ(m_kbgm.freeSong(song), MidiLibrary::kStillPlaying);
    seconds(0.1);
    EXPECT_EQ(info(song).playing, 1);
    m_kbgm.stop();
    EXPECT_EQ(m_kbgm.freeSong(song), MidiLibrary::kOk);
    MidiInfo i;
    EXPECT_NE(m_kbgm.songInfo(song, i), MidiLibrary::kOk);
    EXPECT_NE(m_kbgm.play(song, 0), MidiLibrary::kOk);
    EXPECT_NE(m_kbgm.freeSong(song), MidiLibrary::kOk);
    seconds(0.1);
    m_kbgm.stop(); // any call deletes what the audio thread handed back
    EXPECT_TRUE(m_kbgm.synth()->freed.empty());
}

TEST_P(MidiLibraryTest, UnreadableFilesLoadNothing) {
    std::int32_t song = 77;
    EXPECT_EQ(m_kbgm.loadFile(song, m_dir.filePath(QStringLiteral("missing.mid"))),
              MidiLibrary::kBadFile);
    EXPECT_EQ(m_kbgm.loadFile(song, WriteSong(m_dir, "MThd this is text")), MidiLibrary::kBadFile);
    EXPECT_EQ(song, 77);
    // Read whole at load: deleting the file afterwards changes nothing.
    const QString path = WriteSong(m_dir, HeldNoteSong(120, 1));
    ASSERT_EQ(m_kbgm.loadFile(song, path), MidiLibrary::kOk);
    QFile::remove(path);
    m_kbgm.play(song, 0);
    EXPECT_GT(RmsDb(Channel(seconds(0.5), 0, 2), 1.0), -40.0);
}

TEST_P(MidiLibraryTest, SurvivesTheSoundLibraryBeingMadeAgain) {
    const std::int32_t song = load(BeatSong(120, 8));
    m_kbgm.play(song, 0);
    seconds(0.5);
    closeSoundLibrary(m_library.handle);
    // No library: the calls still act, on this thread.
    m_kbgm.pause();
    EXPECT_EQ(m_kbgm.synth()->state(), GmSynth::State::Paused);
    m_kbgm.resume(song);
    const std::int32_t other = load(HeldNoteSong(128, 1));
    m_kbgm.play(other, 0);
    EXPECT_EQ(m_kbgm.synth()->bpm(), 60.0e6 / 468750); // the song's own tempo, applied here
    EXPECT_EQ(info(other).tempo, 128);
    m_kbgm.play(song, 0);
    m_kbgm.seek(song, 480); // back where it was: half a second in

    auto output = std::make_unique<OfflineOutput>();
    OfflineOutput* out = output.get();
    const std::int32_t again =
        openSoundLibraryWith(std::move(output), OutputConfig{rate(), 2, 256});
    m_library.handle = again; // terminated by the fixture
    ASSERT_EQ(m_kbgm.setOutput(again), MidiLibrary::kOk);
    out->render(static_cast<std::size_t>(rate() / 5));
    const std::vector<float> heard = out->render(static_cast<std::size_t>(rate() / 2));
    EXPECT_GT(RmsDb(Channel(heard, 0, 2), 1.0), -40.0);
    EXPECT_NEAR(info(song).position, ticks(120, 0.5 + 0.2 + 0.5), 3.0);
    EXPECT_NE(m_kbgm.setOutput(987654), MidiLibrary::kOk);
}

TEST_P(MidiLibraryTest, MovesFromOneLiveLibraryToAnother) {
    const std::int32_t song = load(BeatSong(120, 8));
    m_kbgm.play(song, 0);
    seconds(0.3);
    OfflineLibrary other(rate());
    ASSERT_EQ(m_kbgm.setOutput(other.handle), MidiLibrary::kOk);
    EXPECT_EQ(Peak(seconds(0.5)), 0.0f); // left the first mix at once
    other.render(static_cast<std::size_t>(rate() / 5));
    EXPECT_GT(Peak(other.render(static_cast<std::size_t>(rate() / 2))), 0.01f);
    EXPECT_NEAR(info(song).position, ticks(120, 0.3 + 0.7), 3.0); // only the new one drives it
    ASSERT_EQ(m_kbgm.setOutput(m_library.handle), MidiLibrary::kOk);
    EXPECT_EQ(Peak(other.render(4410)), 0.0f);
}

TEST_P(MidiLibraryTest, FollowsTheOutputRateWhilePlaying) {
    const std::int32_t song = load(BeatSong(120, 8));
    m_kbgm.play(song, 0);
    seconds(0.5);
    const int other = rate() == 44100 ? 48000 : 44100;
    ASSERT_NE(setLibraryFormat(m_library.handle, other, 16, 2), 0);
    // Still A4 at the new rate, and the song time still runs in seconds.
    const auto tail = Settled(Channel(m_library.render(std::size_t(other)), 0, 2), 1, other / 2);
    EXPECT_GT(ToneAmplitude(tail, other, 440.0), 10.0 * ToneAmplitude(tail, other, 466.16));
    EXPECT_NEAR(info(song).position, ticks(120, 1.5), 3.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, MidiLibraryTest, ::testing::Values(44100, 48000));

TEST(MidiLibraryOpen, FailsWithoutItsSoundFontAndRefusesEveryCall) {
    MidiLibrary kbgm(QStringLiteral("/nonexistent/none.sf2"));
    EXPECT_NE(kbgm.open(10, -1), MidiLibrary::kOk);
    EXPECT_FALSE(kbgm.isOpen());
    std::int32_t song = 0;
    MidiInfo i;
    for (const int code : {kbgm.loadFile(song, QStringLiteral("/dev/null")), kbgm.play(1, 0),
                           kbgm.sendSystemReset(0), kbgm.songInfo(1, i)}) {
        EXPECT_EQ(code, MidiLibrary::kNotOpen);
    }
    EXPECT_EQ(kbgm.close(), MidiLibrary::kOk);
}

TEST(MidiLibraryOpen, CloseWhileMixedLeavesTheLibraryWorking) {
    OfflineLibrary library(kRate);
    QTemporaryDir dir;
    const QString path = WriteSong(dir, HeldNoteSong(120, 8));
    {
        MidiLibrary kbgm;
        ASSERT_EQ(kbgm.open(10, -1), MidiLibrary::kOk);
        ASSERT_EQ(kbgm.setOutput(library.handle), MidiLibrary::kOk);
        std::int32_t song = 0;
        ASSERT_EQ(kbgm.loadFile(song, path), MidiLibrary::kOk);
        kbgm.play(song, 0);
        library.render(kRate / 2);
        kbgm.close();
        EXPECT_EQ(kbgm.play(song, 0), MidiLibrary::kNotOpen);
    } // the MidiLibrary is gone; the source may still be in the mix until the next block
    library.render(kRate / 10);
    EXPECT_LT(Peak(library.render(kRate / 10)), 1e-6f);
    EXPECT_NE(library.load(SineWav(kRate, 2, 440.0, 1000)), 0);
}

} // namespace
} // namespace mt::test
