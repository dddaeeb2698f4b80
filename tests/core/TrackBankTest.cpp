#include "core/TrackBank.h"
#include "audio/AudioTestKit.h"
#include "audio/WavReader.h"
#include "core/BeatClock.h"
#include "support/OfflineBank.h"
#include "support/RecordingSound.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace mt {
namespace {

using test::Call;
using test::RecordingSound;

// The bank's signals are followed by the windows (PlaybackTest, KeyboardTest).
class TrackBankTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        QString path = m_dir.filePath(name);
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    // A 0.1 s tone at 44.1 kHz assigned to the track.
    void load(int index) {
        const QString path =
            write(QStringLiteral("t%1.wav").arg(index), test::SineWav(44100, 2, 441.0, 4410));
        ASSERT_EQ(bank.assign(index, path), TrackBank::Assigned::Ok);
    }
    bool sounding(int index) { return sound.sounding[bank.track(index).buffer]; }
    void tap(int index) { bank.press(index), bank.release(index); }

    QTemporaryDir m_dir;
    RecordingSound sound{ReadWavInfo};
    TrackBank bank{sound};
};

TEST_F(TrackBankTest, AssignReadsTheFileAndClearLetsItGo) {
    const QString path = write("long.wav", test::PcmWav(2, 44100, 16, 100000 * 4));
    ASSERT_EQ(bank.assign(3, path), TrackBank::Assigned::Ok);
    const Track& t = bank.track(3);
    EXPECT_EQ(std::make_tuple(t.loaded, t.buffer, t.fileName, t.frames, bank.selectedTrack()),
              std::make_tuple(true, 101, QStringLiteral("long.wav"), 100000.0f, std::int16_t{3}));
    EXPECT_DOUBLE_EQ(t.duration, 2.268);
    EXPECT_TRUE(bank.changed());

    // Another rate: the ratio to 44.1 kHz and the length on that scale (22.05 kHz:
    // PerformanceTest's saved bank).
    ASSERT_EQ(bank.assign(7, write("high.wav", test::PcmWav(2, 48000, 16, 4800 * 4))),
              TrackBank::Assigned::Ok);
    EXPECT_FLOAT_EQ(bank.track(7).rateRatio, 0.91875f);
    EXPECT_FLOAT_EQ(bank.track(7).length44k, 4410.0f);
    bank.play(7);
    EXPECT_EQ(sound.started.back().frequency, 48000) << "at its own speed, its own rate";
    bank.clear(7);
    EXPECT_EQ(bank.selectedTrack(), -1) << "the search starts after the selection, not the track";

    // An empty file, or a path no line of a setting file can hold, is refused before anything
    // of the track goes; a reassignment frees the old buffer.
    EXPECT_EQ(bank.assign(3, write("empty.wav", {})), TrackBank::Assigned::EmptyFile);
    EXPECT_EQ(bank.assign(3, write("a\rb.wav", "RIFF")), TrackBank::Assigned::LineBreakInPath);
    EXPECT_TRUE(bank.track(3).loaded);
    ASSERT_EQ(bank.assign(3, path), TrackBank::Assigned::Ok);
    EXPECT_EQ(sound.released.back(), 101);

    // Clearing a playing track stops it with its buffer; the selection moves on.
    load(5);
    bank.select(3);
    bank.play(3);
    bank.clear(3);
    EXPECT_EQ(std::make_pair(sound.released.back(), bank.selectedTrack()),
              std::make_pair(103, std::int16_t{5}));
    EXPECT_FALSE(bank.track(3).loaded || !bank.track(3).fileName.isEmpty());
    EXPECT_FALSE(bank.playing(3)) << "a cleared track still shows playing";

    // Reassigned while playing, it is stopped; a file with nothing to play leaves it empty,
    // its path kept for the message, its name gone.
    bank.play(5);
    load(5);
    EXPECT_FALSE(bank.playing(5));
    sound.refuse = true;
    EXPECT_EQ(bank.assign(5, path), TrackBank::Assigned::Ok);
    EXPECT_FALSE(bank.track(5).loaded);
    const QString junk = write("junk.wav", "not a wave file");
    EXPECT_EQ(bank.assign(5, junk), TrackBank::Assigned::Unreadable);
    EXPECT_EQ(std::make_tuple(bank.track(5).loaded, bank.track(5).path, bank.track(5).fileName),
              std::make_tuple(false, junk, QString()));
    // Deleted between the listing and the click: a read failure.
    EXPECT_EQ(bank.assign(5, m_dir.filePath("gone.wav")), TrackBank::Assigned::Unreadable);
}

TEST_F(TrackBankTest, StartsWithTheMixAndLoneWolvesChokeEachOther) {
    for (int i : {0, 2, 4}) {
        load(i);
    }
    bank.setVolume(0, -6);
    bank.setPan(0, 20);
    bank.setSpeed(0, 8820);
    bank.play(0);
    ASSERT_EQ(sound.started.size(), 1u);
    const test::RecordingSound::Start& s = sound.started[0];
    EXPECT_EQ(std::make_tuple(s.volume, s.pan, s.frequency, s.looping),
              std::make_tuple(-600, 2000, 88200, false));

    bank.setLoneWolfMember(0, true);
    bank.setLoneWolfMember(2, true);
    bank.toggleLoneWolfMode();
    bank.playLooping(4);
    bank.play(2);
    EXPECT_TRUE(!sounding(0) && !bank.playing(0) && sounding(2));
    EXPECT_TRUE(bank.playing(4)) << "a non-member was silenced";
    EXPECT_EQ(bank.selectedTrack(), 2);

    // Mode off: membership stays but silences nothing.
    bank.toggleLoneWolfMode();
    bank.play(0);
    EXPECT_TRUE(bank.playing(2));

    // Groups 2 to 4 choke whatever the mode; each group only its own, and a track is in one.
    for (int i : {1, 3, 5, 6}) {
        load(i);
    }
    bank.setChokeGroup(1, 3);
    bank.setChokeGroup(3, 3);
    bank.setChokeGroup(5, 4);
    bank.setChokeGroup(6, 4);
    bank.setChokeGroup(0, 4); // leaves the lone-wolf group
    EXPECT_FALSE(bank.track(0).loneWolf());
    bank.play(0);
    bank.play(1);
    bank.play(5);
    bank.play(3);
    EXPECT_TRUE(!bank.playing(1) && bank.playing(3) && !bank.playing(0) && bank.playing(5) &&
                bank.playing(2));
    bank.setChokeGroup(5, 0);
    bank.play(6);
    EXPECT_TRUE(bank.playing(5) && bank.playing(6));

    // The button: a playing track stops; a stopped loop track starts looping.
    bank.toggle(2);
    EXPECT_FALSE(bank.playing(2));
    bank.setLoop(2, true);
    bank.toggle(2);
    EXPECT_TRUE(sound.started.back().looping && bank.playing(2));
}

// What each key does to the sound, auto-repeat and one-shots, is heard in TrackBankSoundTest;
// here the key states it leaves.
TEST_F(TrackBankTest, KeysFollowHoldLoopAndPlainTracks) {
    for (int i : {0, 1, 2, 3}) {
        load(i);
    }
    // Hold and loop: loops while the key is down. Two held keys each keep their own track.
    bank.setHold(0, true);
    bank.setLoop(0, true);
    bank.setHold(3, true);
    bank.press(0);
    bank.press(3);
    EXPECT_TRUE(sound.started.front().looping);
    bank.release(0);
    EXPECT_TRUE(!bank.playing(0) && bank.playing(3));
    bank.release(3);
    EXPECT_FALSE(bank.playing(3));

    // Loop without hold: a press starts, the next press stops.
    bank.setLoop(1, true);
    tap(1);
    EXPECT_TRUE(bank.playing(1));
    tap(1);
    EXPECT_FALSE(bank.playing(1));

    // Plain: a second press without a release (the key's auto-repeat) does not restart.
    const std::size_t before = sound.started.size();
    bank.press(2);
    bank.press(2);
    EXPECT_EQ(sound.started.size(), before + 1);

    // A key held while its track is cleared or reassigned still comes up; an empty track
    // ignores keys.
    bank.press(0);
    bank.clear(0);
    EXPECT_TRUE(bank.track(0).keyHeld);
    bank.release(0);
    EXPECT_FALSE(bank.track(0).keyHeld);
    bank.press(0);
    EXPECT_FALSE(bank.track(0).keyHeld);
    load(0);
    bank.press(0);
    load(0);
    bank.release(0);
    bank.press(0);
    EXPECT_TRUE(bank.playing(0)) << "the key stayed down after reassigning";

    // Focus lost with a key down: it is let go as if it had come up.
    bank.press(1);
    bank.setHold(1, true);
    bank.releaseAll();
    EXPECT_FALSE(bank.track(1).keyHeld || bank.playing(1));
}

// That a track started or turned up under M or N stays silent, that N outlasts M, and that each
// comes back at its bar's volume, is heard in TrackBankSoundTest; here the volume sent and when
// each mute ends.
TEST_F(TrackBankTest, MutesEndWithTheirKeysOrTheFocus) {
    load(0);
    load(1);
    // N needs a loaded selection; letting everything go ends both mutes.
    bank.select(-1);
    bank.muteSelected();
    EXPECT_FALSE(bank.mutedAlone(0));
    bank.select(0);
    bank.muteSelected();
    bank.muteAll();
    EXPECT_TRUE(bank.allTracksMuted() && sound.volumes.back() == (Call{102, -10000}));
    bank.releaseAll();
    EXPECT_FALSE(bank.allTracksMuted() || bank.mutedAlone(0) || bank.soundingVolume(0) != 0);

    // N held on a track cleared under it ends with N; N then works on the next track.
    bank.select(1);
    bank.muteSelected();
    bank.clear(1);
    bank.unmuteSelected();
    EXPECT_FALSE(bank.mutedAlone(1));
    bank.select(0);
    bank.muteSelected();
    EXPECT_TRUE(bank.mutedAlone(0)) << "N stopped working";
    EXPECT_EQ(sound.volumes.back(), (Call{101, -10000}));
}

TEST_F(TrackBankTest, MixSettersReachLoadedTracksAndMarkTheBankChanged) {
    load(0);
    bank.markSaved();
    bank.setVolume(0, 0); // unchanged: nothing happens
    bank.setSpeed(0, kNormalSpeed);
    EXPECT_FALSE(bank.changed() || !sound.volumes.empty());

    bank.setSpeed(0, 2205);
    EXPECT_EQ(sound.frequencies.back().second, 22050);
    EXPECT_DOUBLE_EQ(bank.track(0).duration, 0.2);
    bank.setVolume(0, -12);
    EXPECT_EQ(sound.volumes.back(), (Call{101, -1200}));

    // Every edit a setting file stores marks the bank changed; how it is shown does not.
    const std::pair<std::function<void()>, bool> edits[] = {
        {[&] { bank.setVolume(2, -5); }, true},
        {[&] { bank.setPan(2, 5); }, true},
        {[&] { bank.setSpeed(2, 4000); }, true},
        {[&] { bank.setLoop(2, true); }, true},
        {[&] { bank.setHold(2, true); }, true},
        {[&] { bank.setRatio(2, "*2"); }, true},
        {[&] { bank.setFile(2, "a", "/a"); }, true},
        {[&] { bank.clear(2); }, true},
        {[&] { bank.setFineSpeed(2, true); }, false},
        {[&] { bank.select(2); }, false},
        {[&] { bank.setLoneWolfMember(2, true); }, false},
        {[&] { bank.setChokeGroup(2, 3); }, true},
        {[&] { bank.setChokeGroup(2, 0); }, true},
        {[&] { bank.setChokeGroup(2, 1); }, false}};
    for (std::size_t i = 0; i < std::size(edits); ++i) {
        bank.markSaved();
        edits[i].first();
        EXPECT_EQ(bank.changed(), edits[i].second) << "edit " << i;
    }

    // An empty track keeps its settings without a sound to send them to.
    bank.setPan(6, -40);
    bank.setVolume(6, -20);
    EXPECT_TRUE(sound.pans.empty());
    EXPECT_EQ(bank.track(6).pan, -40);

    // The pan keys and the lone-wolf key act on the selection, and on nothing without one.
    bank.select(0);
    bank.panSelected(40);
    EXPECT_EQ(sound.pans.back().second, 4000);
    bank.toggleSelectedLoneWolf();
    EXPECT_TRUE(bank.track(0).loneWolf());
    bank.select(-1);
    bank.panSelected(0);
    bank.toggleSelectedLoneWolf();
    EXPECT_TRUE(bank.track(0).pan == 40 && bank.track(0).loneWolf());

    // The selection moves to the next loaded track and never wraps.
    load(4);
    bank.select(0);
    EXPECT_EQ(bank.selectNextLoaded(), 4);
    EXPECT_EQ(bank.selectNextLoaded(), -1);
    EXPECT_EQ(bank.selectNextLoaded(), 0) << "from none the search starts at track 1";
}

// The real library on an offline output at 44.1 kHz: what the performer hears, and tracks
// loading in the background (a set's loads: PerformanceTest).
class TrackBankSoundTest : public ::testing::Test, protected test::OfflineBank {
protected:
    void load(int index, const QByteArray& wav) {
        ASSERT_EQ(bank.assign(index, write(QStringLiteral("t%1.wav").arg(index), wav)),
                  TrackBank::Assigned::Ok);
        ASSERT_TRUE(test::WaitForLoads(bank));
    }
    // A tone of `seconds` at 44.1 kHz, stereo.
    QString tone(const QString& name, double hz, int seconds = 1) {
        return write(name, test::SineWav(44100, 2, hz, 44100 * seconds));
    }
    VoiceStatus status(int index) {
        m_output->render(256);
        VoiceStatus s;
        bufferStatus(bank.track(index).buffer, s);
        return s;
    }
    // The left channel once changes have settled.
    std::vector<float> heard(std::size_t frames = 8192) {
        m_output->render(2048);
        return test::Channel(m_output->render(frames), 0, 2);
    }
    double heardHz() { return test::MeasureHz(heard(8820), 44100); }
    void tap(int index) { bank.press(index), bank.release(index); }
};

TEST_F(TrackBankSoundTest, HeldKeysSoundWhileDownAndPlainOnesRestartOnlyOnANewPress) {
    load(0, test::SineWav(44100, 2, 441.0, 44100));
    load(1, test::SineWav(44100, 2, 441.0, 4410));
    bank.setHold(0, true);
    bank.press(0);
    const std::int64_t started = status(0).position;
    for (int n = 0; n < 5; ++n) {
        bank.press(0); // the key's auto-repeat
        m_output->render(256);
    }
    EXPECT_TRUE(status(0).playing);
    EXPECT_GT(status(0).position, started + std::int64_t{5} * 256)
        << "auto-repeat restarted the track";
    bank.release(0);
    EXPECT_EQ(test::Peak(heard(1024)), 0.0f);
    EXPECT_FALSE(status(0).playing);

    // A one-shot rings on after its release, and a new press starts it from the top.
    bank.press(1);
    m_output->render(2048);
    bank.release(1);
    EXPECT_GT(status(1).position, 2048);
    bank.press(1);
    EXPECT_LT(status(1).position, 1024);
    // Run out, it still counts as playing until stopped: the button stops it first.
    m_output->render(44100);
    EXPECT_TRUE(!status(1).playing && bank.playing(1));
    bank.toggle(1);
    EXPECT_FALSE(bank.playing(1));
    bank.toggle(1);
    EXPECT_TRUE(status(1).playing);
}

TEST_F(TrackBankSoundTest, QuantisedStartsLandOnTheGridAndLoopsStartInPhase) {
    // 120 BPM at 44.1 kHz: a beat is 22050 frames, a bar 88200. Levels add up, so each
    // track's share of the output tells who sounds from which frame.
    BeatClock clock(m_sound);
    bank.useClock(&clock);
    m_output->render(256);
    ASSERT_TRUE(clock.setBpm(120.0) && clock.running());
    const auto level = [](float v, int frames) {
        return test::Pcm16Wav(44100, 1, std::vector<float>(static_cast<std::size_t>(frames), v));
    };
    std::vector<float> ramp(22050); // a loop one beat long, its place readable from its level
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = 0.25f * static_cast<float>(i) / 22050.0f;
    }
    load(0, level(0.5f, 88200));
    load(1, level(0.25f, 88200));
    load(2, level(0.125f, 88200));
    load(3, test::Pcm16Wav(44100, 1, ramp));
    for (int i = 0; i < 4; ++i) {
        bank.setLoop(i, true);
        bank.setHold(i, false);
        bank.setQuantise(i, i == 3 ? Quantise::Sixteenth : Quantise::Bar);
    }
    bank.toggleLoneWolfMode();
    bank.setLoneWolfMember(1, true);
    bank.setLoneWolfMember(2, true);
    bank.setQuantise(2, Quantise::Off);
    std::vector<float> out; // left channel from frame `origin` on
    const std::int64_t origin = m_output->frameCount();
    const auto until = [&](std::int64_t frame) {
        while (origin + static_cast<std::int64_t>(out.size()) < frame) {
            const auto part = test::Channel(m_output->render(300), 0, 2);
            out.insert(out.end(), part.begin(), part.end());
        }
        bank.advance(m_output->frameCount());
    };
    const auto at = [&](std::int64_t frame) {
        return out[static_cast<std::size_t>(frame - origin)];
    };
    const std::int64_t bar1 = clock.frameOfBeat(4.0);
    const std::int64_t bar2 = clock.frameOfBeat(8.0);

    bank.press(2); // a lone wolf, unquantised: at once
    until(origin + 5000);
    tap(0);
    tap(1); // a lone wolf: track 2 falls silent when it starts, not now
    tap(3); // pressed twice before its start: never heard
    tap(3);
    EXPECT_TRUE(bank.track(0).armed() && !bank.playing(0) && !bank.track(3).armed());
    until(bar1 + 20);
    EXPECT_NEAR(at(bar1 - 1), 0.125f, 0.001f) << "the choke waits for the start";
    EXPECT_NEAR(at(bar1), 0.875f, 0.01f) << "both armed loops start on the bar's frame";
    EXPECT_TRUE(bank.playing(0) && bank.playing(1) && !bank.playing(2));
    until(bar1 + 1000);
    EXPECT_NEAR(at(bar1 + 999), 0.75f, 0.001f);

    // A tempo change moves an armed start to the new grid; the ramp, a beat long at the old
    // tempo, is no whole number of beats at the new one, so it starts from its top.
    tap(3);
    clock.setBpm(90.0);
    bank.regrid();
    const std::int64_t start = bank.track(3).startFrame;
    EXPECT_EQ(start, clock.nextGridFrame(start, Quantise::Sixteenth));
    until(start + 400);
    EXPECT_NEAR(at(start - 1), 0.75f, 0.001f);
    EXPECT_NEAR(at(start + 399) - 0.75f, 0.25f * 399 / 22050, 0.001f);

    // Back at 120 BPM the ramp is one beat: restarted on a sixteenth it takes up a quarter,
    // a half or three quarters of the way through, as if it had run since the bar.
    bank.stop(3);
    clock.setBpm(120.0);
    until(bar2 + 7000);
    bank.press(3);
    const std::int64_t phased = bank.track(3).startFrame;
    const double phase = clock.beatAt(phased) - std::floor(clock.beatAt(phased));
    until(phased + 400);
    EXPECT_NEAR(at(phased + 399) - 0.75f, 0.25f * (phase + 399.0 / 22050), 0.002f);
    EXPECT_GT(phase, 0.2);

    // In 3/4 at 240 BPM the ramp is two beats, which do not fill a bar: it keeps time with the
    // bar, as if started on its first beat (pressed in an odd bar, where the two part).
    bank.release(3);
    bank.stop(3);
    clock.setBeatsPerBar(3);
    clock.setBpm(240.0);
    const double oddBar = 6 * std::floor(clock.beatAt(m_output->frameCount()) / 6) + 9;
    until(clock.frameOfBeat(oddBar + 0.3));
    bank.press(3);
    const std::int64_t third = bank.track(3).startFrame;
    const double inBar = clock.beatAt(third) - oddBar;
    until(third + 400);
    EXPECT_NEAR(at(third + 399) - 0.75f, 0.25f * (std::fmod(inBar, 2.0) / 2 + 399.0 / 22050),
                0.002f);
}

TEST_F(TrackBankSoundTest, TracksStartedUnderAMuteStaySilentUntilItIsLetGo) {
    load(0, test::SineWav(44100, 2, 441.0, 44100));
    load(1, test::SineWav(44100, 2, 441.0, 44100));
    bank.setLoop(0, true);
    bank.setVolume(0, -6);
    bank.press(0);
    const double alone = test::RmsDb(heard(), 1.0);
    bank.release(0);
    tap(0); // the loop off again

    bank.muteAll();
    bank.press(0);
    bank.play(1);
    EXPECT_LT(test::Peak(heard(4096)), 1e-4f) << "a track started under M sounds";
    bank.setVolume(0, -5);
    bank.setVolume(0, -6);
    EXPECT_LT(test::Peak(heard(4096)), 1e-4f) << "moving a bar under M unmuted it";
    bank.unmuteAll();
    bank.stop(1);
    EXPECT_NEAR(test::RmsDb(heard(), 1.0), alone, 0.1) << "not at its bar's volume after M";

    // N on track 1, started again under N, stays silent across M.
    bank.select(0);
    bank.muteSelected();
    bank.stop(0);
    bank.playLooping(0);
    bank.muteAll();
    bank.unmuteAll();
    EXPECT_LT(test::Peak(heard(4096)), 1e-4f) << "N's track sounds while N is held";
    bank.unmuteSelected();
    EXPECT_NEAR(test::RmsDb(heard(), 1.0), alone, 0.1);
}

// The results come through the event loop, so until it runs the big track is loading however
// fast the decode: its key does nothing while another track's key sounds at once (its title,
// length and PLAY meanwhile: TrackLoadingTest).
TEST_F(TrackBankSoundTest, ALoadingTracksKeyDoesNothingWhileAnotherTrackPlays) {
    load(1, test::SineWav(44100, 2, 441.0, 44100));
    ASSERT_EQ(bank.assign(0, tone("big.wav", 882.0, 20)), TrackBank::Assigned::Ok);
    EXPECT_TRUE(bank.track(0).loading() && !bank.track(0).loaded);
    bank.press(0);
    EXPECT_FALSE(bank.playing(0) || bank.track(0).keyHeld);
    bank.press(1);
    EXPECT_TRUE(status(1).playing);
    EXPECT_NEAR(heardHz(), 441.0, 2.0);
    bank.release(1);
    bank.stop(1);

    ASSERT_TRUE(test::WaitForLoads(bank));
    ASSERT_TRUE(bank.track(0).loaded);
    bank.press(0);
    EXPECT_TRUE(status(0).playing);
    EXPECT_NEAR(heardHz(), 882.0, 4.0);
    EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(TrackBankSoundTest, ReassigningOrClearingWhileLoadingDropsTheOldLoad) {
    const QString low = tone("low.wav", 441.0, 5);
    bank.assign(0, low);
    bank.assign(0, tone("high.wav", 882.0));
    bank.assign(2, low);
    bank.clear(2);
    ASSERT_TRUE(test::WaitForLoads(bank));

    EXPECT_FALSE(bank.track(2).loaded || bank.track(2).loading() ||
                 !bank.track(2).fileName.isEmpty());
    ASSERT_TRUE(bank.track(0).loaded);
    EXPECT_EQ(bank.track(0).fileName, QStringLiteral("high.wav"));
    bank.press(0);
    EXPECT_NEAR(heardHz(), 882.0, 4.0) << "the superseded load landed in the track";

    // No dropped load ever became a buffer: the next one made takes the very next handle.
    const std::int32_t made = bank.track(0).buffer;
    bank.assign(3, low);
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(bank.track(3).buffer, made + 1);
}

TEST_F(TrackBankSoundTest, KeepPitchPlaysTheTempoAtItsOwnPitchAndChangesOverWithoutAClick) {
    load(0, test::SineWav(44100, 2, 441.0, 88200));
    bank.setSpeed(0, 5292); // ×1.2
    bank.playLooping(0);
    EXPECT_NEAR(heardHz(), 529.2, 2.0);
    const auto changedOver = [this] {
        // The blocks the new sound took over in: a step no larger than the tone's own, and no
        // gap between the two sounds (every 5 ms as loud as the tone).
        const std::vector<float> left = test::Channel(m_output->render(4096), 0, 2);
        EXPECT_LT(test::MaxStep(left), 0.06f);
        for (std::size_t at = 0; at + 220 <= left.size(); at += 220) {
            const std::vector<float> part(left.begin() + at, left.begin() + at + 220);
            EXPECT_GT(test::RmsDb(part, 1.0), -12.0) << "a gap at frame " << at;
        }
        return heardHz();
    };
    bank.setStretch(0, Stretch::KeepPitch);
    EXPECT_EQ(bank.track(0).renderState, RenderState::Rendering);
    EXPECT_NEAR(heardHz(), 529.2, 2.0) << "the tape sound plays on until the render is ready";
    ASSERT_TRUE(test::WaitForLoads(bank));
    const Track& t = bank.track(0);
    ASSERT_NE(t.rendered, 0);
    EXPECT_EQ(bufferFrames(t.rendered), 73500) << "2 s at ×1.2";
    EXPECT_NEAR(changedOver(), 441.0, 2.0);
    EXPECT_DOUBLE_EQ(t.duration, 1.667);

    bank.setPitch(0, 700);
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_NEAR(changedOver(), 660.7, 3.0);
    // Dragging the bar renders once, for where it stops; the tempo's own pitch needs none.
    const std::int32_t before = t.rendered;
    for (int speed = 4000; speed <= 4410; speed += 10) {
        bank.setSpeed(0, speed);
    }
    bank.setPitch(0, 0);
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(t.rendered, 0);
    EXPECT_NEAR(changedOver(), 441.0, 2.0);
    bank.setSpeed(0, 2205);
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(t.rendered, before + 1) << "no render between";
    bank.setStretch(0, Stretch::Tape);
    EXPECT_TRUE(t.rendered == 0 && t.renderState == RenderState::None);
    EXPECT_NEAR(changedOver(), 220.5, 2.0);
}

TEST_F(TrackBankSoundTest, ARenderNeverLandsOnATrackThatMovedOnAndAFailureKeepsTheTapeSound) {
    // Sounds of no frames, one frame, one channel and eight: nothing to hear, nothing wrong.
    for (const auto& [channels, frames] : {std::pair{2, 0}, {2, 1}, {1, 4410}, {8, 4410}}) {
        load(1, test::SineWav(44100, channels, 441.0, frames));
        bank.setStretch(1, Stretch::KeepPitch);
        bank.setSpeed(1, kMaxSpeed);
        ASSERT_TRUE(test::WaitForLoads(bank));
        EXPECT_EQ(bank.track(1).renderState, RenderState::None) << channels << " " << frames;
        tap(1);
        m_output->render(8192);
    }
    // Too long to render at the bar's slowest: the tape sound, and the frame says why.
    load(0, test::SineWav(44100, 2, 441.0, 441000));
    bank.setStretch(0, Stretch::KeepPitch);
    bank.setSpeed(0, kMinSpeed);
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_TRUE(bank.track(0).renderState == RenderState::Failed &&
                !bank.track(0).renderError.isEmpty() && bank.track(0).rendered == 0);

    // Renders dropped by a new value, a reassignment and a clear, each while it runs (ten
    // seconds of sound take a while).
    const auto whileRendering = [](const std::function<void()>& change) {
        QTest::qWait(TrackBank::kRenderDelayMs + 50);
        change();
    };
    bank.setSpeed(0, 3000);
    whileRendering([this] { bank.setSpeed(0, 3500); });
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(bank.track(0).renderedSpeed, 3500);
    bank.setSpeed(0, 3000);
    whileRendering([this] { load(0, test::SineWav(44100, 2, 882.0, 441000)); });
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(bank.track(0).renderedSpeed, 3000) << "the new file's own render";
    bank.press(0);
    EXPECT_NEAR(heardHz(), 882.0, 4.0);
    const std::int32_t made = bank.track(0).rendered;
    bank.setSpeed(0, 4000);
    whileRendering([this] { bank.clear(0); });
    ASSERT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(bank.track(0).rendered, 0);
    // No dropped render ever became a buffer: the next one made takes the very next handle.
    load(2, test::SineWav(44100, 2, 441.0, 4410));
    EXPECT_EQ(bank.track(2).buffer, made + 1);
}

} // namespace
} // namespace mt
