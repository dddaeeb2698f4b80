// Tracks loading in the background on the real library over an offline output: the keys of
// the other tracks keep working and a superseded load never lands (a set's loads:
// PerformanceTest).
#include "audio/AudioTestKit.h"
#include "support/OfflineBank.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt {
namespace {

class TrackLoadTest : public ::testing::Test, protected test::OfflineBank {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        QString path = m_dir.filePath(name);
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    // A tone of `seconds` at 44.1 kHz, stereo.
    QString tone(const QString& name, double hz, int seconds = 1) {
        return write(name, test::SineWav(44100, 2, hz, 44100 * seconds));
    }
    // The frequency the output plays, once the start has settled.
    double heardHz() {
        m_output->render(2048);
        return test::MeasureHz(test::Channel(m_output->render(8820), 0, 2), 44100);
    }
    bool sounding(int index) {
        m_output->render(256);
        VoiceStatus s;
        return bufferStatus(bank.track(index).buffer, s) && s.playing;
    }

    QTemporaryDir m_dir;
};

// The results come through the event loop, so until it runs the big track is loading however
// fast the decode: its key and PLAY do nothing while another track's key sounds at once.
TEST_F(TrackLoadTest, ALoadingTracksKeyDoesNothingWhileAnotherTrackPlays) {
    ASSERT_EQ(bank.assign(1, tone("small.wav", 441.0)), TrackBank::Assigned::Ok);
    ASSERT_TRUE(test::WaitForLoads(bank));

    ASSERT_EQ(bank.assign(0, tone("big.wav", 882.0, 20)), TrackBank::Assigned::Ok);
    EXPECT_TRUE(bank.track(0).loading() && !bank.track(0).loaded);
    EXPECT_EQ(bank.track(0).fileName, QStringLiteral("big.wav")) << "the title comes at once";
    EXPECT_NEAR(bank.track(0).duration, 20.0, 0.001);
    bank.press(0);
    bank.toggle(0);
    EXPECT_FALSE(bank.playing(0) || bank.track(0).keyHeld);
    bank.press(1);
    EXPECT_TRUE(sounding(1));
    EXPECT_NEAR(heardHz(), 441.0, 2.0);
    bank.release(1);
    bank.stop(1);

    ASSERT_TRUE(test::WaitForLoads(bank));
    ASSERT_TRUE(bank.track(0).loaded);
    bank.press(0);
    EXPECT_TRUE(sounding(0));
    EXPECT_NEAR(heardHz(), 882.0, 4.0);
    EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(TrackLoadTest, ReassigningOrClearingWhileLoadingDropsTheOldLoad) {
    const QString low = tone("low.wav", 441.0, 5);
    bank.assign(0, low);
    bank.assign(0, tone("high.wav", 882.0));
    bank.assign(2, low);
    bank.clear(2);
    ASSERT_TRUE(test::WaitForLoads(bank));

    EXPECT_FALSE(bank.track(2).loaded || bank.track(2).loading());
    EXPECT_TRUE(bank.track(2).fileName.isEmpty());
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

} // namespace
} // namespace mt
