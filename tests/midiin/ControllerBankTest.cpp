// What a controller does to the bank and how its pads are lit, on the bank alone.
#include "midiin/ControllerBank.h"

#include "audio/WavReader.h"
#include "core/TrackBank.h"
#include "support/RecordingSound.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace mt {
namespace {

using Lit = std::vector<std::pair<int, PadState>>;

class ControllerBankTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = m_dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(test::WriteFile(path, test::PcmWav(2, 44100, 16, 4410 * 4)));
        ASSERT_EQ(bank.assign(0, path), TrackBank::Assigned::Ok);
        lit.clear();
    }

    QTemporaryDir m_dir;
    test::RecordingSound sound{ReadWavInfo};
    TrackBank bank{sound};
    Lit lit;
    ControllerBank control{bank, [this](int t, PadState s) { lit.emplace_back(t, s); }};
};

TEST_F(ControllerBankTest, KnobsAndEncodersStayWithinTheBars) {
    control.moveVolume(0, -100);
    EXPECT_EQ(bank.track(0).volume, -70);
    control.moveVolume(0, 5);
    EXPECT_EQ(bank.track(0).volume, -65);
    control.setVolume(0, 3);
    EXPECT_EQ(bank.track(0).volume, 0);
    control.movePan(0, 100);
    EXPECT_EQ(bank.track(0).pan, 40);
    control.setPan(0, -99);
    EXPECT_EQ(bank.track(0).pan, -40);
    control.moveSpeed(0, -10000);
    EXPECT_EQ(bank.track(0).speed, 5);
    control.setSpeed(0, 20000);
    EXPECT_EQ(bank.track(0).speed, 9000);

    // A controller's track number outside the bank changes nothing.
    control.press(8, 0);
    control.moveVolume(-1, 10);
    for (int i = 1; i < kTrackCount; ++i) {
        EXPECT_EQ(bank.track(i).volume, 0);
    }
}

TEST_F(ControllerBankTest, PadsAreLitForEachChangeOfStateWhoeverMadeIt) {
    control.relightAll();
    ASSERT_EQ(lit.size(), 8U);
    EXPECT_EQ(lit[0], std::pair(0, PadState::Loaded));
    EXPECT_EQ(lit[1], std::pair(1, PadState::Empty));
    lit.clear();

    // The bars moving change no pad; the key, the button and the velocity's press do.
    control.setVolume(0, -10);
    EXPECT_TRUE(lit.empty());
    bank.press(0); // the computer key
    bank.setPan(0, 5);
    bank.release(0);
    bank.toggle(0); // the button stops it
    control.press(0, -600);
    EXPECT_EQ(lit, (Lit{{0, PadState::Held},
                        {0, PadState::Playing},
                        {0, PadState::Loaded},
                        {0, PadState::Held}}));
    EXPECT_EQ(sound.started.back().volume, -1000 - 600);

    // Cleared under the held pad: dark, and lit again when asked whatever it showed.
    lit.clear();
    bank.clear(0);
    control.relight(0);
    EXPECT_EQ(lit, (Lit{{0, PadState::Empty}, {0, PadState::Empty}}));
}

} // namespace
} // namespace mt
