// The wrappers: which failures the performer hears about, and the device-opening sequence.
#include "AudioTestKit.h"

#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "support/PlatformDoubles.h"
#include "support/WavBytes.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace mt::test {
namespace {

const QString kTitle = QStringLiteral("VbDSnd.Dll");

// An offline library whose pretend device takes only the rates listed.
SoundDevice::Initializer OfflineDevice(const std::vector<int>& rates,
                                       OfflineOutput** output = nullptr) {
    return [rates, output](std::intptr_t, std::int32_t level) {
        EXPECT_EQ(level, 2);
        auto o = std::make_unique<OfflineOutput>([rates](const OutputConfig& c) {
            return std::find(rates.begin(), rates.end(), c.sampleRate) != rates.end() &&
                   c.channels >= 1 && c.channels <= 2;
        });
        if (output != nullptr) {
            *output = o.get();
        }
        return openSoundLibraryWith(std::move(o));
    };
}

TEST(SoundDevice, OpeningTheDeviceAppliesTheStoredFormatOrSaysWhyNot) {
    RecordingMessageBoxes messages;
    OfflineOutput* output = nullptr;
    SoundDevice sound(messages, OfflineDevice({44100, 22050, 11025}, &output));
    sound.OpenSoundDevice(0, OutputFormat{11025, 8, 1});
    ASSERT_NE(sound.soundLibHandle, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::pair(output->config().sampleRate, output->config().channels),
              std::pair(11025, 1));
    sound.TerminateSoundLibrary();
    EXPECT_EQ(sound.soundLibHandle, 0);
    sound.TerminateSoundLibrary(); // a second time does nothing

    SoundDevice none(messages, [](std::intptr_t, std::int32_t) { return 0; });
    none.OpenSoundDevice(0, OutputFormat{});
    SoundDevice picky(messages, OfflineDevice({44100}));
    picky.OpenSoundDevice(0, OutputFormat{48000, 16, 2});
    ASSERT_EQ(messages.shown.size(), 2u) << "no format message without a library";
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Direct Soundインターフェースが作成できません。"));
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("フォーマットを設定できません。"));
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, kTitle);
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    EXPECT_NE(picky.soundLibHandle, 0) << "the library stays open in its previous format";
    picky.TerminateSoundLibrary();
}

TEST(SoundDevice, CreateTrackBufferReportsOnlyWhatThePerformerCanAct) {
    RecordingMessageBoxes messages;
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("tone.wav"));
    const QString bad = dir.filePath(QStringLiteral("noise.wav"));
    ASSERT_TRUE(WriteFile(good, SineWav(44100, 2, 441, 4410)));
    ASSERT_TRUE(WriteFile(bad, QByteArray(3000, 'x')));

    SoundDevice sound(messages, OfflineDevice({44100}));
    EXPECT_EQ(sound.CreateTrackBuffer(good, 1), 0) << "no library yet";
    sound.InitSoundLibrary(0, 2);
    ASSERT_NE(sound.soundLibHandle, 0);
    EXPECT_EQ(sound.CreateTrackBuffer(dir.filePath(QStringLiteral("missing.wav")), 1), 0);
    EXPECT_EQ(sound.CreateTrackBuffer(dir.path(), 1), 0) << "a folder is no file";
    EXPECT_TRUE(messages.shown.empty());

    const std::int32_t b = sound.CreateTrackBuffer(good, 1);
    EXPECT_NE(b, 0);
    EXPECT_EQ(sound.CreateTrackBuffer(bad, 1), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    const ShownMessage& told = messages.shown[0];
    EXPECT_TRUE(!told.text.isEmpty() && told.title == kTitle &&
                told.icon == MessageIcon::Exclamation);

    // The library's termination takes the buffer with it.
    sound.TerminateSoundLibrary();
    VoiceStatus s;
    EXPECT_FALSE(bufferStatus(b, s));
    EXPECT_EQ(sound.CreateTrackBuffer(good, 1), 0);
    EXPECT_EQ(messages.shown.size(), 1u);

    // A read error shows the system's text: the kernel refuses to read address 0 of a
    // process's memory file.
    sound.InitSoundLibrary(0, 2);
    if (QFileInfo(QStringLiteral("/proc/self/mem")).isFile()) {
        EXPECT_EQ(sound.CreateTrackBuffer(QStringLiteral("/proc/self/mem"), 1), 0);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_FALSE(messages.shown[1].text.isEmpty());
    }
    sound.TerminateSoundLibrary();
}

} // namespace
} // namespace mt::test
