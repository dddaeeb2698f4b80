#include "core/TrackBank.h"
#include "audio/AudioTestKit.h"
#include "audio/DsCalls.h"
#include "audio/VbDSound.h"
#include "core/LibraryTrackSound.h"
#include "core/TempoMath.h"
#include "support/PlatformDoubles.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace mt {
namespace {

// The sound library as the tracks see it, recording what they ask for.
class RecordingSound final : public TrackSound {
public:
    std::int32_t create(const QString&) override { return refuse ? 0 : ++lastBuffer; }
    void release(std::int32_t buffer) override { released.push_back(buffer); }
    void play(std::int32_t buffer, std::int32_t volume, std::int32_t pan, std::int32_t frequency,
              bool looping) override {
        started.push_back({buffer, volume, pan, frequency, looping});
        sounding[buffer] = true;
    }
    void stop(std::int32_t buffer) override {
        ++stops;
        sounding[buffer] = false;
    }
    void setVolume(std::int32_t buffer, std::int32_t volume) override {
        volumes.push_back({buffer, volume});
    }
    void setPan(std::int32_t buffer, std::int32_t pan) override { pans.push_back({buffer, pan}); }
    void setFrequency(std::int32_t buffer, std::int32_t frequency) override {
        frequencies.push_back({buffer, frequency});
    }

    struct Start {
        std::int32_t buffer, volume, pan, frequency;
        bool looping;
    };
    bool refuse = false;
    std::int32_t lastBuffer = 100;
    std::vector<std::int32_t> released;
    std::vector<Start> started;
    std::map<std::int32_t, bool> sounding;
    int stops = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> volumes, pans, frequencies;
};

class TrackBankTest : public ::testing::Test {
protected:
    TrackBankTest() {
        connect(&bank, &TrackBank::trackChanged, [this](int i) { ++changedTracks[i]; });
        connect(&bank, &TrackBank::bankStateChanged, [this] { ++bankStateChanges; });
    }
    static void connect(TrackBank* bank, auto signal, auto slot) {
        QObject::connect(bank, signal, bank, slot);
    }

    // A 0.1 s tone at 44.1 kHz on disc, assigned to the track.
    void load(int index) {
        const QString path = m_dir.filePath(QStringLiteral("t%1.wav").arg(index));
        ASSERT_TRUE(test::WriteFile(path, test::SineWav(44100, 2, 441.0, 4410)));
        ASSERT_EQ(bank.assign(index, path), TrackBank::Assigned::Ok);
    }
    bool sounding(int index) { return sound.sounding[bank.track(index).buffer]; }

    QTemporaryDir m_dir;
    RecordingSound sound;
    TrackBank bank{sound};
    std::map<int, int> changedTracks;
    int bankStateChanges = 0;
};

TEST_F(TrackBankTest, AssignReadsTheFileAndClearLetsItGo) {
    const QString path = m_dir.filePath(QStringLiteral("long.wav"));
    ASSERT_TRUE(test::WriteFile(path, test::PcmWav(2, 44100, 16, 100000 * 4)));
    ASSERT_EQ(bank.assign(3, path), TrackBank::Assigned::Ok);
    const Track& t = bank.track(3);
    EXPECT_TRUE(t.loaded);
    EXPECT_EQ(t.buffer, 101);
    EXPECT_EQ(t.fileName, QStringLiteral("long.wav"));
    EXPECT_EQ(t.sampleRate, 44100);
    EXPECT_FLOAT_EQ(t.frames, 100000.0f);
    EXPECT_DOUBLE_EQ(t.duration, 2.268);
    EXPECT_EQ(bank.selectedTrack, 3);
    EXPECT_TRUE(bank.bankChanged);
    EXPECT_GT(changedTracks[3], 0);

    // Other rates: the ratio to 44.1 kHz and the length on that scale.
    const QString half = m_dir.filePath(QStringLiteral("half.wav"));
    ASSERT_TRUE(test::WriteFile(half, test::PcmWav(1, 22050, 16, 1000 * 2)));
    ASSERT_EQ(bank.assign(4, half), TrackBank::Assigned::Ok);
    EXPECT_FLOAT_EQ(bank.track(4).rateRatio, 2.0f);
    EXPECT_FLOAT_EQ(bank.track(4).length44k, 2000.0f);
    const QString high = m_dir.filePath(QStringLiteral("high.wav"));
    ASSERT_TRUE(test::WriteFile(high, test::PcmWav(2, 48000, 16, 4800 * 4)));
    ASSERT_EQ(bank.assign(7, high), TrackBank::Assigned::Ok);
    EXPECT_FLOAT_EQ(bank.track(7).rateRatio, 0.91875f);
    EXPECT_FLOAT_EQ(bank.track(7).length44k, 4410.0f);
    bank.clear(4);
    EXPECT_EQ(bank.selectedTrack, -1) << "the search starts after the selection, not the track";
    bank.clear(7);

    // An empty file is refused before anything of the track goes.
    const QString empty = m_dir.filePath(QStringLiteral("empty.wav"));
    ASSERT_TRUE(test::WriteFile(empty, QByteArray()));
    EXPECT_EQ(bank.assign(3, empty), TrackBank::Assigned::EmptyFile);
    EXPECT_TRUE(bank.track(3).loaded);

    // Clearing a playing track stops it with its buffer; the selection moves on.
    load(5);
    bank.select(3);
    bank.play(3);
    bank.clear(3);
    EXPECT_EQ(sound.released.back(), 101);
    EXPECT_FALSE(bank.track(3).loaded);
    EXPECT_FALSE(bank.playing(3));
    EXPECT_TRUE(bank.track(3).fileName.isEmpty());
    EXPECT_EQ(bank.selectedTrack, 5);

    // A file the library makes no buffer of leaves the track empty, not loaded.
    sound.refuse = true;
    EXPECT_EQ(bank.assign(5, path), TrackBank::Assigned::NoBuffer);
    EXPECT_FALSE(bank.track(5).loaded);
    const QString junk = m_dir.filePath(QStringLiteral("junk.wav"));
    ASSERT_TRUE(test::WriteFile(junk, QByteArray("not a wave file")));
    EXPECT_EQ(bank.assign(5, junk), TrackBank::Assigned::Unreadable);
    EXPECT_FALSE(bank.track(5).loaded);
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
    EXPECT_EQ(sound.started[0].volume, -600);
    EXPECT_EQ(sound.started[0].pan, 2000);
    EXPECT_EQ(sound.started[0].frequency, PlaybackFrequency(8820, 1.0f));
    EXPECT_FALSE(sound.started[0].looping);
    EXPECT_TRUE(bank.playing(0));

    bank.setLoneWolfMember(0, true);
    bank.setLoneWolfMember(2, true);
    bank.toggleLoneWolfMode();
    bank.playLooping(4);
    bank.play(2);
    EXPECT_FALSE(sounding(0));
    EXPECT_FALSE(bank.playing(0));
    EXPECT_TRUE(sounding(2));
    EXPECT_TRUE(bank.playing(4)) << "a non-member was silenced";
    EXPECT_EQ(bank.selectedTrack, 2);

    // Mode off: membership stays but silences nothing.
    bank.toggleLoneWolfMode();
    bank.play(0);
    EXPECT_TRUE(bank.playing(2));

    // The button: a playing track stops; a stopped loop track starts looping.
    bank.toggle(2);
    EXPECT_FALSE(bank.playing(2));
    bank.setLoop(2, true);
    bank.toggle(2);
    EXPECT_TRUE(sound.started.back().looping);
    EXPECT_TRUE(bank.playing(2));
}

TEST_F(TrackBankTest, KeysFollowHoldLoopAndPlainTracks) {
    for (int i : {0, 1, 2}) {
        load(i);
    }
    // Hold: sounds while the key is down; a second press of a held key does nothing.
    bank.setHold(0, true);
    bank.setLoop(0, true);
    bank.press(0);
    EXPECT_TRUE(sounding(0));
    EXPECT_TRUE(sound.started.back().looping);
    bank.press(0);
    EXPECT_EQ(sound.started.size(), 1u);
    bank.release(0);
    EXPECT_FALSE(sounding(0));
    EXPECT_FALSE(bank.playing(0));

    // Loop without hold: a press starts, the next press stops.
    bank.setLoop(1, true);
    bank.press(1);
    bank.release(1);
    EXPECT_TRUE(bank.playing(1));
    bank.press(1);
    bank.release(1);
    EXPECT_FALSE(bank.playing(1));

    // Plain: every press restarts, a release lets it ring.
    bank.press(2);
    bank.release(2);
    bank.press(2);
    bank.release(2);
    EXPECT_TRUE(bank.playing(2));
    EXPECT_EQ(sound.started.size(), 4u);

    // A key held while its track is cleared still comes up; an empty track ignores keys.
    bank.press(0);
    bank.clear(0);
    EXPECT_TRUE(bank.track(0).keyHeld);
    bank.release(0);
    EXPECT_FALSE(bank.track(0).keyHeld);
    bank.press(0);
    EXPECT_FALSE(bank.track(0).keyHeld);

    // Focus lost with a key down: it is let go as if it had come up.
    bank.press(1);
    bank.setHold(1, true);
    bank.releaseAll();
    EXPECT_FALSE(bank.track(1).keyHeld);
    EXPECT_FALSE(bank.playing(1));
}

TEST_F(TrackBankTest, MutesHoldOverTracksStartedOrTurnedUpUnderThem) {
    load(0);
    load(1);
    bank.setVolume(1, -10);
    bank.muteAll();
    EXPECT_TRUE(bank.allTracksMuted);
    EXPECT_EQ(sound.volumes.back().second, -10000);
    bank.play(1);
    EXPECT_EQ(sound.started.back().volume, -10000);
    bank.setVolume(1, -3);
    EXPECT_EQ(sound.volumes.back().second, -10000);

    // N on the selected track (1) outlasts M.
    bank.muteSelected();
    EXPECT_TRUE(bank.mutedAlone(1));
    bank.unmuteAll();
    EXPECT_EQ(sound.volumes.back(), (std::pair<std::int32_t, std::int32_t>{102, -10000}));
    EXPECT_EQ(bank.soundingVolume(0), 0);
    bank.unmuteSelected();
    EXPECT_EQ(sound.volumes.back(), (std::pair<std::int32_t, std::int32_t>{102, -300}));

    // N needs a loaded selection; letting everything go ends both mutes.
    bank.select(-1);
    bank.muteSelected();
    EXPECT_FALSE(bank.selectedTrackMuted);
    bank.select(0);
    bank.muteSelected();
    bank.muteAll();
    bank.releaseAll();
    EXPECT_FALSE(bank.allTracksMuted);
    EXPECT_FALSE(bank.selectedTrackMuted);
    EXPECT_EQ(bank.soundingVolume(0), 0);
}

TEST_F(TrackBankTest, MixSettersReachLoadedTracksAndMarkTheBankChanged) {
    load(0);
    bank.bankChanged = false;
    bank.setVolume(0, 0); // unchanged: nothing happens
    bank.setSpeed(0, kNormalSpeed);
    EXPECT_FALSE(bank.bankChanged);
    EXPECT_TRUE(sound.volumes.empty());

    bank.setSpeed(0, 2205);
    EXPECT_EQ(sound.frequencies.back().second, PlaybackFrequency(2205, 1.0f));
    EXPECT_DOUBLE_EQ(bank.track(0).duration, 0.2);
    EXPECT_TRUE(bank.bankChanged);

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
    EXPECT_TRUE(bank.track(0).loneWolf);
    bank.select(-1);
    bank.panSelected(0);
    bank.toggleSelectedLoneWolf();
    EXPECT_EQ(bank.track(0).pan, 40);
    EXPECT_TRUE(bank.track(0).loneWolf);

    // The selection moves to the next loaded track and never wraps.
    load(4);
    bank.select(0);
    EXPECT_EQ(bank.selectNextLoaded(), 4);
    EXPECT_EQ(bank.selectNextLoaded(), -1);
    EXPECT_EQ(bank.selectNextLoaded(), 0) << "from none the search starts at track 1";
    EXPECT_GT(bankStateChanges, 0);
}

// The real library on an offline output: what the performer hears.
TEST(TrackBankSoundTest, HoldSoundsOnlyWhileTheKeyIsDownAndAMuteSilencesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(test::WriteFile(path, test::SineWav(44100, 2, 441.0, 44100)));
    test::RecordingMessageBoxes messages;
    OfflineOutput* output = nullptr;
    VbDSound library(messages, [&output](std::intptr_t, std::int32_t) {
        auto offline = std::make_unique<OfflineOutput>();
        output = offline.get();
        return dsInitializeOn(std::move(offline));
    });
    library.InitSoundLibrary(0, 2);
    ASSERT_NE(output, nullptr);
    LibraryTrackSound sound(library);
    TrackBank bank(sound);
    ASSERT_EQ(bank.assign(0, path), TrackBank::Assigned::Ok);
    bank.setHold(0, true);

    bank.press(0);
    output->render(2048);
    EXPECT_GT(test::Peak(output->render(1024)), 0.3f);
    bank.muteAll();
    output->render(1024);
    EXPECT_EQ(test::Peak(output->render(1024)), 0.0f);
    bank.unmuteAll();
    output->render(1024);
    EXPECT_GT(test::Peak(output->render(1024)), 0.3f);
    bank.release(0);
    output->render(2048);
    EXPECT_EQ(test::Peak(output->render(1024)), 0.0f);
    library.TerminateSoundLibrary();
}

} // namespace
} // namespace mt
