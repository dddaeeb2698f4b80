// The sound output as the performer sees and chooses it: the status line on the main window,
// a device that goes away and comes back, and the output window.
#include "audio/AudioTestKit.h"

#include "audio/DsCalls.h"
#include "audio/OfflineOutput.h"
#include "core/AppContext.h"
#include "support/PlatformDoubles.h"
#include "ui/AppShell.h"
#include "ui/AudioStatusLine.h"
#include "ui/Form1.h"
#include "ui/FrmOutput.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace mt::test {
namespace {

const QString kOwn = QStringLiteral("Marrowtune");

// A program on an offline device that the test can take away ("the server died") and bring
// back, started from settings the test writes first.
class AudioStatusTest : public ::testing::Test {
protected:
    Form1& start() {
        m_app.dataDir = QStringLiteral(MT_BUILD_DATA_DIR);
        m_window = std::make_unique<Form1>(m_app);
        m_window->shell().endProcess = [] {};
        m_window->Form_Load();
        m_window->show();
        return *m_window;
    }
    std::int32_t openOffline() {
        auto output = std::make_unique<OfflineOutput>(
            [this](const OutputConfig&) { return m_serverUp.load(); });
        m_output = output.get();
        return dsInitializeOn(std::move(output));
    }
    QLabel& line() { return m_window->audioStatus(); }
    // Waits (running the event loop, so the line's timer runs) until the line says `what`.
    bool lineSays(const QString& what, int ms = 3000) {
        return QTest::qWaitFor([&] { return line().text().contains(what); }, ms);
    }
    void TearDown() override { m_app.sound.TerminateSoundLibrary(); }

    TestPlatform m_platform;
    OfflineOutput* m_output = nullptr;
    std::atomic<bool> m_serverUp{true}; // read by the library's reopening thread
    AppContext m_app{m_platform.services,
                     [this](std::intptr_t, std::int32_t) { return openOffline(); }};
    std::unique_ptr<Form1> m_window;
};

TEST_F(AudioStatusTest, TheLineShowsTheOutputAndAClickOpensTheOutputWindow) {
    start();
    // The default output format, 22.05 kHz, in blocks of about 3 ms.
    ASSERT_TRUE(lineSays(QStringLiteral("22.05 kHz/64"))) << line().text().toStdString();
    EXPECT_TRUE(line().toolTip().contains(QStringLiteral("64 フレーム（2.9 ms）")))
        << line().toolTip().toStdString();
    EXPECT_TRUE(line().text().contains(QStringLiteral("アンダーラン 0")));
    EXPECT_TRUE(line().isVisible()) << "always in sight";
    EXPECT_LE(line().sizeHint().width(), m_window->width() / 2) << "it fits beside the menus";
    EXPECT_TRUE(m_platform.messages.shown.empty());

    QTest::mouseClick(&line(), Qt::LeftButton);
    auto* window = m_window->findChild<FrmOutput*>();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    QTest::mouseClick(&line(), Qt::LeftButton);
    EXPECT_EQ(m_window->findChildren<FrmOutput*>().size(), 1) << "one output window at a time";
}

TEST_F(AudioStatusTest, ADeviceThatDiesIsShownReopenedAndPlaysOnFromWhereItWas) {
    start();
    const QByteArray wav = SineWav(22050, 2, 441, 22050);
    const std::int32_t buffer = dsCreateDSB(m_app.sound.soundLibHandle, wav.constData(),
                                            static_cast<std::size_t>(wav.size()), 1);
    ASSERT_NE(buffer, 0);
    dsPlayLoopingEx(buffer, 0, 0, 22050);
    m_output->render(1000);
    VoiceStatus before;
    ASSERT_TRUE(dsGetStatus(buffer, before));
    ASSERT_TRUE(before.playing);

    m_serverUp = false;
    m_output->setAlive(false);
    ASSERT_TRUE(lineSays(QStringLiteral("再接続"))) << line().text().toStdString();
    QTest::qWait(1500); // retries fail meanwhile; the window goes on
    EXPECT_TRUE(line().text().contains(QStringLiteral("再接続")));
    EXPECT_TRUE(m_platform.messages.shown.empty()) << "no message box for a lost device";

    m_serverUp = true;
    ASSERT_TRUE(lineSays(QStringLiteral("22.05 kHz"))) << line().text().toStdString();
    EXPECT_FALSE(line().text().contains(QStringLiteral("再接続")));
    const std::vector<float> after = m_output->render(256);
    VoiceStatus resumed;
    ASSERT_TRUE(dsGetStatus(buffer, resumed)) << "the buffer survived";
    EXPECT_TRUE(resumed.playing) << "the loop plays on";
    EXPECT_GT(resumed.position, before.position) << "from where it was, not from the start";
    EXPECT_LT(resumed.position, before.position + 1000);
    EXPECT_GT(Peak(after), 0.4f);
}

TEST_F(AudioStatusTest, TheOutputWindowsChoiceAppliesAtOnceAndIsStoredInTheOwnSection) {
    start();
    QTest::mouseClick(&line(), Qt::LeftButton);
    auto* window = m_window->findChild<FrmOutput*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->CboBlock->currentData().toDouble(), 0.003) << "the default block";
    EXPECT_TRUE(window->lblLatency->text().contains(QStringLiteral("13 ms")))
        << "3 ms block + PulseAudio's 10 ms queue: " << window->lblLatency->text().toStdString();
    window->CboBlock->setFocus();
    QTest::keyClick(window->CboBlock, Qt::Key_Down); // the next preset, 6 ms
    EXPECT_TRUE(window->lblLatency->text().contains(QStringLiteral("24 ms")))
        << window->lblLatency->text().toStdString();
    QTest::mouseClick(window->ComOK, Qt::LeftButton);
    EXPECT_EQ(m_app.outputChoice.blockSeconds, 0.006);
    EXPECT_EQ(m_output->config().blockFrames, 128) << "6 ms at 22.05 kHz, applied at once";
    ASSERT_TRUE(lineSays(QStringLiteral("22.05 kHz/128"))) << line().text().toStdString();

    m_window->close();
    EXPECT_EQ(m_platform.settings.value(m_app.appName, kOwn, QStringLiteral("AudioBlockMs")),
              QStringLiteral("6"));
    EXPECT_EQ(m_platform.settings.value(m_app.appName, kOwn, QStringLiteral("AudioSystem")),
              QStringLiteral("auto"));
    EXPECT_FALSE(m_platform.settings.value(m_app.appName, QStringLiteral("Info"),
                                           QStringLiteral("AudioBlockMs")))
        << "the twelve keys' section stays as it is";

    // The next start opens on the stored choice.
    m_app.sound.TerminateSoundLibrary();
    m_app.outputChoice = OutputChoice{};
    start();
    EXPECT_EQ(m_app.outputChoice.blockSeconds, 0.006);
    EXPECT_EQ(m_output->config().blockFrames, 128);
}

} // namespace
} // namespace mt::test
