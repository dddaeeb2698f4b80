// The performance keys' actions on the CD and the MIDI player (mute while held, the CD's pause
// key, letting go of every mute when the window loses the keyboard) and on the selected track.
#include "core/PerformanceKeys.h"
#include "core/MediaControl.h"
#include "core/TrackBank.h"
#include "support/RecordingSound.h"

#include <gtest/gtest.h>

namespace mt {
namespace {

class FakePlayer final : public MediaControl {
public:
    void muteOn() override { isMuted = true; }
    void muteOff() override {
        isMuted = false;
        ++unmutes;
    }
    bool muted() const override { return isMuted; }
    void pauseOrResume() override { ++pauseKeys; }
    void stopPlaying() override { ++stops; }
    bool isMuted = false;
    int unmutes = 0;
    int pauseKeys = 0;
    int stops = 0;
};

TEST(PerformanceKeys, MediaKeysReachTheirPlayerAndLettingGoOfAllEndsTheirMutes) {
    test::RecordingSound sound;
    TrackBank bank(sound);
    FakePlayer cd;
    FakePlayer midi;
    PerformanceKeys keys(bank, cd, midi);
    keys.press({PerformanceKey::MuteCd});
    keys.press({PerformanceKey::MuteMidi});
    keys.press({PerformanceKey::MuteAll});
    EXPECT_TRUE(cd.isMuted && midi.isMuted && bank.allTracksMuted());
    keys.press({PerformanceKey::PauseCd});
    keys.release({PerformanceKey::PauseCd}); // the pause key acts on its press alone
    EXPECT_EQ(std::make_pair(cd.pauseKeys, midi.pauseKeys), std::make_pair(1, 0));
    keys.release({PerformanceKey::MuteMidi});
    EXPECT_TRUE(!midi.isMuted && cd.isMuted);

    keys.releaseAll(); // the window lost the focus with G and M held
    EXPECT_FALSE(cd.isMuted || bank.allTracksMuted());
    EXPECT_EQ(midi.unmutes, 1) << "a player that was not muted is left alone";

    // Ctrl selects the next loaded track; F6, F8 and F7 pan it left, right and back; N mutes it
    // while held.
    bank.loadSound(7, QStringLiteral("t.wav")); // made at once
    keys.press({PerformanceKey::NextTrack});    // from none to the next loaded one, the last
    EXPECT_EQ(bank.selectedTrack(), 7);
    bank.play(7);
    for (const auto& [key, pan] : {std::pair{PerformanceKey::PanLeft, -40},
                                   {PerformanceKey::PanRight, 40},
                                   {PerformanceKey::PanCentre, 0}}) {
        keys.press({key});
        EXPECT_EQ(bank.track(7).pan, pan);
    }
    keys.press({PerformanceKey::MuteSelected});
    EXPECT_TRUE(bank.mutedAlone(7));
    keys.release({PerformanceKey::MuteSelected});
    EXPECT_FALSE(bank.mutedAlone(7));

    keys.panic();
    EXPECT_EQ(cd.stops + midi.stops, 2) << "panic stops both players beside the tracks";
    EXPECT_FALSE(bank.playing(7)) << "and every track, the last too";
}

} // namespace
} // namespace mt
