// The sound output as the performer sees and chooses it: the status line on the main window,
// the output window, and a device that goes away and comes back.
#include "app/AppContext.h"
#include "audio/AudioTestKit.h"
#include "audio/OfflineOutput.h"
#include "audio/RtAudioOutput.h"
#include "audio/SoundBuffers.h"
#include "support/PlatformDoubles.h"
#include "support/PrivateJack.h"
#include "ui/AppShell.h"
#include "ui/AudioStatusLine.h"
#include "ui/MainWindow.h"
#include "ui/OutputWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace mt::test {
namespace {

// The main window started and shown as the program does, its end a no-op.
std::unique_ptr<MainWindow> Started(AppContext& app) {
    app.dataDir = QStringLiteral(MT_BUILD_DATA_DIR);
    auto window = std::make_unique<MainWindow>(app);
    window->shell().endProcess = [] {};
    window->onLoad();
    window->show();
    return window;
}

TEST(AudioStatus, TheLineShowsTheOutputTheWindowChoosesItAndADeadDeviceComesBack) {
    TestPlatform platform;
    OfflineOutput* output = nullptr;
    std::atomic<bool> serverUp{true}; // read by the library's reopening thread
    AppContext app{platform.services, [&](std::intptr_t, std::int32_t) {
                       auto device = std::make_unique<OfflineOutput>(
                           [&](const OutputConfig&) { return serverUp.load(); });
                       output = device.get();
                       return openSoundLibraryWith(std::move(device));
                   }};
    std::unique_ptr<MainWindow> window = Started(app);
    // Waits, with the line's timer running, until it says `what`.
    const auto lineSays = [&](const char* what) {
        const QLabel& line = window->audioStatus();
        const bool said = QTest::qWaitFor([&] { return line.text().contains(what); }, 3000);
        EXPECT_TRUE(said) << what << ": " << line.text().toStdString();
        return said;
    };
    ASSERT_TRUE(lineSays("22.05 kHz/64")) << "the default format in blocks of ~3 ms";
    EXPECT_LE(window->audioStatus().sizeHint().width(), window->width() / 2) << "beside the menus";
    QTest::mouseClick(&window->audioStatus(), Qt::LeftButton);
    QTest::mouseClick(&window->audioStatus(), Qt::LeftButton);
    ASSERT_EQ(window->findChildren<OutputWindow*>().size(), 1) << "one output window at a time";
    OutputWindow& choice = *window->findChild<OutputWindow*>();
    choice.blockBox->setFocus();
    QTest::keyClick(choice.blockBox, Qt::Key_Down); // the next preset, 6 ms
    QTest::mouseClick(choice.okButton, Qt::LeftButton);
    EXPECT_EQ(output->config().blockFrames, 128) << "6 ms at 22.05 kHz, applied at once";
    lineSays("22.05 kHz/128");

    const QByteArray wav = SineWav(22050, 2, 441, 22050);
    const std::int32_t buffer = createSoundBuffer(app.sound.soundLibHandle, wav.constData(),
                                                  static_cast<std::size_t>(wav.size()), 1);
    playBufferLoopingWith(buffer, 0, 0, 22050);
    output->render(1000);
    VoiceStatus before;
    ASSERT_TRUE(bufferStatus(buffer, before) && before.playing);
    serverUp = false;
    output->setAlive(false);
    lineSays("再接続");
    QTest::qWait(1500); // retries fail meanwhile; the window goes on
    lineSays("再接続");
    serverUp = true;
    lineSays("22.05 kHz/128");
    const std::vector<float> after = output->render(256);
    VoiceStatus resumed;
    ASSERT_TRUE(bufferStatus(buffer, resumed) && resumed.playing) << "the loop plays on";
    EXPECT_GT(resumed.position, before.position) << "from where it was, not from the start";
    EXPECT_LT(resumed.position, before.position + 1000);
    EXPECT_GT(Peak(after), 0.4f);
    EXPECT_TRUE(platform.messages.shown.empty()) << "no message box for a lost device";

    window->close();
    const auto stored = [&](const char* section, const char* key) {
        return platform.settings.value(app.appName, section, key).value_or("none");
    };
    EXPECT_EQ(stored("Marrowtune", "AudioBlockMs") + stored("Marrowtune", "AudioSystem") +
                  stored("Info", "AudioBlockMs"),
              QStringLiteral("6autonone"))
        << "in the own section, never in the twelve keys'";
    app.sound.TerminateSoundLibrary(); // the next start opens on the stored choice
    app.outputChoice = OutputChoice{};
    window = Started(app);
    EXPECT_EQ(output->config().blockFrames, 128);
    app.sound.TerminateSoundLibrary();
}

// Separate outputs need JACK: elsewhere the box is disabled with the reason beside it, and a
// wish stored while on JACK is kept; chosen with JACK it is stored.
TEST(AudioStatus, SeparateOutputsAreOfferedOnJackOnlyAndStored) {
    TestPlatform platform;
    AppContext app{platform.services, [](std::intptr_t, std::int32_t) {
                       return openSoundLibraryWith(std::make_unique<OfflineOutput>());
                   }};
    platform.settings.setValue(app.appName, "Marrowtune", "SeparateOutputs", "1");
    std::unique_ptr<MainWindow> window = Started(app);
    QTest::mouseClick(&window->audioStatus(), Qt::LeftButton);
    OutputWindow& choice = *window->findChild<OutputWindow*>();
    EXPECT_FALSE(choice.separateBox->isEnabled());
    EXPECT_TRUE(choice.separateBox->isChecked()) << "the stored wish is kept";
    EXPECT_TRUE(choice.separateReason->isVisible());
    EXPECT_EQ(choice.separateReason->text(), QStringLiteral("JACK でのみ使えます"));
    choice.systemBox->setFocus();
    QTest::keyClick(choice.systemBox, Qt::Key_Down); // JACK
    ASSERT_TRUE(choice.separateBox->isEnabled());
    EXPECT_FALSE(choice.separateReason->isVisible());
    QTest::mouseClick(choice.separateBox, Qt::LeftButton);
    QTest::mouseClick(choice.okButton, Qt::LeftButton);
    window->close();
    EXPECT_EQ(platform.settings.value(app.appName, "Marrowtune", "SeparateOutputs"),
              QStringLiteral("0"));
    app.sound.TerminateSoundLibrary();
}

// The automatic choice on a JACK server: the window shows the server's period and the delay
// it gives, not PulseAudio's figures for blocks that do not apply there.
using AudioStatusOnJack = JackServerTest;

TEST_F(AudioStatusOnJack, TheWindowShowsTheServersPeriod) {
    TestPlatform platform;
    AppContext app{platform.services, [](std::intptr_t, std::int32_t) {
                       return openSoundLibraryWith(std::make_unique<RtAudioOutput>(),
                                                   OutputConfig{22050, 2, 64});
                   }};
    const std::unique_ptr<MainWindow> window = Started(app);
    QTest::mouseClick(&window->audioStatus(), Qt::LeftButton);
    const OutputWindow* choice = window->findChild<OutputWindow*>();
    ASSERT_NE(choice, nullptr);
    const QString said = choice->latencyLabel->text();
    EXPECT_TRUE(said.contains(QStringLiteral("周期 128 フレーム（2.67 ms）")) &&
                said.contains(QStringLiteral("64 フレーム（2.9 ms）")))
        << said.toStdString();
    EXPECT_EQ(choice->blockBox->itemText(1).toStdString(), "3 ms") << "no PulseAudio delay";
    window->close();
    app.sound.TerminateSoundLibrary();
}

} // namespace
} // namespace mt::test
