// The SMF reader: timing, title and events of files written here byte by byte, and the
// malformed files a user may open by mistake.
#include "SmfBytes.h"

#include "media/midi/SmfSong.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace mt::test
