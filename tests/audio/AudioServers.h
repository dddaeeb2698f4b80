#pragma once

// Private sound servers for the tests that play through a real one: a PulseAudio with a null
// sink and a JACK server on its dummy backend (support/PrivateJack.h), each under a name of its
// own so that nothing else on the machine hears them; stopped on destruction.

#include "audio/SoundBuffers.h"
#include "support/PrivateJack.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mt::test {

// A private PulseAudio (no systemd, no D-Bus) with a null sink; stopped on destruction.
class PrivatePulse {
public:
    PrivatePulse() {
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR"}) {
            m_env.insert(QString::fromLatin1(name), m_dir.path());
        }
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        m_env.insert(QStringLiteral("PULSE_SERVER"), server());
        m_env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        ::setenv("PULSE_SERVER", server().toLocal8Bit().constData(), 1);
    }
    ~PrivatePulse() { stop(); }

    static bool installed() {
        return !QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() &&
               !QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty();
    }
    QString server() const { return QStringLiteral("unix:") + socket(); }
    QString log() const { return m_log; }

    bool start() {
        const QString sink = QStringLiteral("module-null-sink sink_name=testsink");
        const QString unix =
            QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket());
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(QStringLiteral("pulseaudio"),
                {"-n", "--daemonize=yes", "--exit-idle-time=-1", "--system=false",
                 "--use-pid-file=yes", "-L", sink, "-L", unix});
        m_started = p.waitForFinished(20000) && p.exitCode() == 0;
        m_log = QString::fromLocal8Bit(p.readAllStandardError());
        // The daemon's parent returns once the server is up; wait for the socket to answer.
        for (int i = 0; m_started && i < 100 && !QFile::exists(socket()); ++i) {
            QThread::msleep(50);
        }
        return m_started && QFile::exists(socket());
    }

    // Kills the daemon as a crash would; its pid file goes too, as an unreaped zombie would
    // pass for a running server through it.
    bool kill() {
        QFile f(pidFile());
        const pid_t pid = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
        if (pid <= 0 || ::kill(pid, SIGKILL) != 0) {
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ")) {
                QFile::remove(pidFile());
                return true;
            }
            QThread::msleep(10);
        }
        return false;
    }

    void stop() {
        if (m_started) {
            QProcess p;
            p.setProcessEnvironment(m_env);
            p.start(QStringLiteral("pulseaudio"), {QStringLiteral("--kill")});
            p.waitForFinished(10000);
            m_started = false;
        }
    }

    // parec on the null sink's monitor, 16-bit stereo at `rate`, into `name` in the folder.
    void record(QProcess& recorder, const QString& name, int rate) const {
        recorder.setProcessEnvironment(m_env);
        recorder.setStandardOutputFile(m_dir.filePath(name));
        recorder.start(QStringLiteral("parec"), {"--device=testsink.monitor", "--format=s16le",
                                                 QStringLiteral("--rate=%1").arg(rate),
                                                 "--channels=2", "--raw", "--latency-msec=20"});
        EXPECT_TRUE(recorder.waitForStarted(5000));
    }
    // The left channel of a finished recording.
    std::vector<float> recorded(const QString& name) const {
        QFile f(m_dir.filePath(name));
        const QByteArray raw = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        std::vector<float> left;
        for (qsizetype i = 0; i + 3 < raw.size(); i += 4) {
            std::int16_t v;
            std::memcpy(&v, raw.constData() + i, 2);
            left.push_back(static_cast<float>(v) / 32768.0f);
        }
        return left;
    }

private:
    QString socket() const { return m_dir.filePath(QStringLiteral("pulse.sock")); }
    QString pidFile() const { return m_dir.filePath(QStringLiteral("pulse/pid")); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_log;
    bool m_started = false;
};

// A test on a private PulseAudio, started before it; skipped where it is not installed. No
// rtkit here: the server, recorder and client thread are raised above the compilers, as on a
// performer's desktop (inherited by children and threads; best effort).
class PulseServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivatePulse::installed()) {
            GTEST_SKIP() << "pulseaudio or parec is not installed (packages pulseaudio, "
                            "pulseaudio-utils); the end-to-end output tests need them";
        }
        ::setpriority(PRIO_PROCESS, 0, -10);
        ASSERT_TRUE(m_pulse.start()) << "pulseaudio did not start: " << m_pulse.log().toStdString();
    }

    PrivatePulse m_pulse;
};

// Runs the UI thread's display-rate duty (the status line's timer) for `ms` milliseconds.
inline void PumpLibrary(std::int32_t lib, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        collectLibrary(lib);
        QThread::msleep(30);
    }
}

// Health as the status line reads it until `done` holds: the milliseconds that took, or -1
// when `ms` passed first.
template <typename Done>
qint64 MsUntilHealth(std::int32_t lib, LibraryHealth& health, int ms, Done done) {
    QElapsedTimer t;
    t.start();
    while (libraryHealth(lib, health) && t.elapsed() <= ms) {
        if (done(health)) {
            return t.elapsed();
        }
        QThread::msleep(30);
    }
    return -1;
}

} // namespace mt::test
