// End to end through a JACK server of the test's own (the dummy backend: no sound card), which
// runs at 48 kHz whatever the program's output format is.
#include "AudioTestKit.h"

#include "audio/DsCalls.h"
#include "audio/RtAudioOutput.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace mt::test {
namespace {

// jackd -d dummy under a private name; clients find it through JACK_DEFAULT_SERVER.
class PrivateJack {
public:
    PrivateJack() : m_name(QStringLiteral("marrowtune-test-%1").arg(::getpid())) {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("JACK_NO_AUDIO_RESERVATION"), QStringLiteral("1"));
        m_env.insert(QStringLiteral("JACK_DEFAULT_SERVER"), m_name);
        ::setenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit().constData(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
    }
    ~PrivateJack() {
        stop();
        ::unsetenv("JACK_DEFAULT_SERVER");
        ::unsetenv("JACK_NO_START_SERVER");
    }

    bool start() {
        m_server.setProcessEnvironment(m_env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("jackd"),
                       {"-n", m_name, "-d", "dummy", "-r", "48000", "-p", "128"});
        for (int i = 0; i < 100 && m_server.waitForStarted(5000); ++i) {
            if (ports(false).contains(QStringLiteral("system:playback_1"))) {
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

    // As a crash would.
    void kill() {
        m_server.kill();
        m_server.waitForFinished(5000);
    }

    void stop() {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            kill();
        }
    }

    // jack_lsp's list of ports, with their connections when asked.
    QString ports(bool connections) const {
        QProcess lsp;
        lsp.setProcessEnvironment(m_env);
        lsp.start(QStringLiteral("jack_lsp"), connections ? QStringList{"-c"} : QStringList{});
        lsp.waitForFinished(5000);
        return QString::fromLocal8Bit(lsp.readAllStandardOutput());
    }

    QString log() { return QString::fromLocal8Bit(m_server.readAll()); }

    // What `port` is connected to, from jack_lsp -c.
    QStringList connections(const QString& port) const {
        QStringList found;
        bool inside = false;
        for (const QString& line : ports(true).split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1Char(' '))) {
                inside = line == port;
            } else if (inside) {
                found << line.trimmed();
            }
        }
        return found;
    }

    // One of JACK's command-line clients against this server; true when it succeeded.
    bool run(const QString& program, const QStringList& arguments) const {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, arguments);
        return p.waitForFinished(5000) && p.exitCode() == 0;
    }

private:
    QString m_name;
    QProcessEnvironment m_env;
    QProcess m_server;
};

// Buffer frames the voice of `buffer` plays per second of wall time, over `ms`.
double FramesPerSecond(std::int32_t lib, std::int32_t buffer, int ms) {
    VoiceStatus a;
    VoiceStatus b;
    dsCollect(lib);
    dsGetStatus(buffer, a);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        dsCollect(lib);
        QThread::msleep(30);
    }
    dsGetStatus(buffer, b);
    return static_cast<double>(b.position - a.position) * 1000.0 / static_cast<double>(t.elapsed());
}

TEST(JackOutput, A48kHzServerIsUsedAtItsRateAndSurvivesARestart) {
    if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("jack_lsp")).isEmpty()) {
        GTEST_SKIP() << "jackd is not installed (package jackd2); the JACK output test needs "
                        "its dummy backend";
    }
    PrivateJack jack;
    ASSERT_TRUE(jack.start()) << "jackd did not start: " << jack.log().toStdString();

    // The default output format, which the server does not run at.
    const std::int32_t lib = dsInitializeOn(
        std::make_unique<RtAudioOutput>(std::vector{AudioApi::Jack}), OutputConfig{22050, 2, 64});
    ASSERT_NE(lib, 0) << "the JACK stream was given up";
    LibraryHealth health;
    ASSERT_TRUE(dsGetHealth(lib, health));
    EXPECT_EQ(health.device.api, "jack");
    EXPECT_EQ(health.device.deviceRate, 48000);
    EXPECT_EQ(health.device.blockFrames, 128) << "the server's period";
    EXPECT_EQ(health.format.sampleRate, 22050);
    const QString ports = jack.ports(true);
    EXPECT_TRUE(ports.contains(QStringLiteral("Marrowtune:"))) << ports.toStdString();
    EXPECT_TRUE(ports.contains(QStringLiteral("   system:playback_1"))) << ports.toStdString();

    // The performer routes the program elsewhere; a format change keeps that routing.
    ASSERT_TRUE(jack.run("jack_disconnect", {"Marrowtune:outport 0", "system:playback_1"}));
    ASSERT_TRUE(jack.run("jack_connect", {"Marrowtune:outport 0", "system:playback_2"}));
    ASSERT_NE(dsSetFormatDS(lib, 44100, 16, 2), 0);
    EXPECT_EQ(jack.connections(QStringLiteral("Marrowtune:outport 0")),
              QStringList{QStringLiteral("system:playback_2")});
    ASSERT_NE(dsSetFormatDS(lib, 22050, 16, 2), 0);

    const QByteArray tone = SineWav(22050, 2, 1000, 10 * 22050);
    const std::int32_t b =
        dsCreateDSB(lib, tone.constData(), static_cast<std::size_t>(tone.size()), 1);
    ASSERT_NE(b, 0);
    dsPlayLoopingEx(b, 0, 0, 22050);
    EXPECT_NEAR(FramesPerSecond(lib, b, 1000), 22050.0, 22050.0 * 0.05)
        << "the format's rate in real time on a 48 kHz device";

    jack.kill();
    QElapsedTimer noticed;
    noticed.start();
    while (dsGetHealth(lib, health) && !health.reopening && noticed.elapsed() < 3000) {
        QThread::msleep(30);
    }
    EXPECT_TRUE(health.reopening) << "the server's end went unnoticed";
    EXPECT_LT(noticed.elapsed(), 1000);
    ASSERT_TRUE(jack.start()) << "jackd did not start again: " << jack.log().toStdString();
    QElapsedTimer back;
    back.start();
    while (dsGetHealth(lib, health) && health.reopening && back.elapsed() < 5000) {
        QThread::msleep(30);
    }
    EXPECT_FALSE(health.reopening);
    EXPECT_LT(back.elapsed(), 3000) << "reopened after " << back.elapsed() << " ms";
    EXPECT_NEAR(FramesPerSecond(lib, b, 500), 22050.0, 22050.0 * 0.1) << "the loop plays on";
    dsTerminate(lib);
}

} // namespace
} // namespace mt::test
