#pragma once

// Private sound servers for the tests that play through a real one: a PulseAudio with a null
// sink and a JACK server on its dummy backend, each under a name of its own so that nothing
// else on the machine hears them; stopped on destruction.

#include "support/JackLeftovers.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
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
        RemoveJackSemaphores(m_name.toStdString());
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

} // namespace mt::test
