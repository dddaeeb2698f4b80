// End to end through a real sound server: a private PulseAudio with a null sink, our library
// playing into it through RtAudio, and parec recording the sink's monitor.
#include "AudioTestKit.h"

#include "audio/DsCalls.h"
#include "audio/Engine.h"
#include "audio/RtAudioOutput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// libpulse keeps a few small allocations to the end of the process; they are not ours.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name LeakSanitizer looks up
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n";
}

namespace mt::test {
namespace {

constexpr int kRate = 44100;
// Blocks of ~23 ms: a test machine busy compiling must not starve a server that, unlike a
// performer's, runs without realtime priority.
constexpr int kBlock = 1024;

// A PulseAudio server of this test's own, without systemd or D-Bus; stopped on destruction.
class PrivatePulse {
public:
    explicit PrivatePulse(const QString& dir) : m_dir(dir) {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), dir);
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
        m_env.insert(QStringLiteral("PULSE_SERVER"), server());
        m_env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }
    ~PrivatePulse() { stop(); }

    QString server() const { return QStringLiteral("unix:") + socket(); }
    QString socket() const { return m_dir + QStringLiteral("/pulse.sock"); }
    const QProcessEnvironment& env() const { return m_env; }
    QString log() const { return m_log; }

    bool start() {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(QStringLiteral("pulseaudio"),
                {QStringLiteral("-n"), QStringLiteral("--daemonize=yes"),
                 QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--system=false"),
                 QStringLiteral("--use-pid-file=yes"), QStringLiteral("-L"),
                 QStringLiteral("module-null-sink sink_name=testsink"), QStringLiteral("-L"),
                 QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1")
                     .arg(socket())});
        const bool exited = p.waitForFinished(20000);
        m_log = QString::fromLocal8Bit(p.readAllStandardError());
        m_started = exited && p.exitCode() == 0;
        // The daemon's parent returns once the server is up; wait for the socket to answer.
        for (int i = 0; m_started && i < 100 && !QFile::exists(socket()); ++i) {
            QThread::msleep(50);
        }
        return m_started && QFile::exists(socket());
    }

    void stop() {
        if (!m_started) {
            return;
        }
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(QStringLiteral("pulseaudio"), {QStringLiteral("--kill")});
        p.waitForFinished(10000);
        m_started = false;
    }

private:
    QString m_dir;
    QProcessEnvironment m_env;
    QString m_log;
    bool m_started = false;
};

std::vector<float> ReadS16Left(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray raw = f.readAll();
    std::vector<float> left;
    for (qsizetype i = 0; i + 3 < raw.size(); i += 4) {
        std::int16_t v;
        std::memcpy(&v, raw.constData() + i, 2);
        left.push_back(static_cast<float>(v) / 32768.0f);
    }
    return left;
}

TEST(PulseOutput, ToneReachesTheServerAtItsPitchAndLevelWithoutGaps) {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        GTEST_SKIP() << "pulseaudio or parec is not installed (packages pulseaudio, "
                        "pulseaudio-utils); the end-to-end output test needs them";
    }
    // The server, the recorder and libpulse's client thread all run at normal priority here
    // (no rtkit). Raised above a busy test machine's compilers and parallel tests, they keep
    // up as on a performer's desktop; children and later threads inherit it. Best effort.
    ::setpriority(PRIO_PROCESS, 0, -10);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    PrivatePulse pulse(dir.path());
    ASSERT_TRUE(pulse.start()) << "pulseaudio did not start: " << pulse.log().toStdString();
    ::setenv("PULSE_SERVER", pulse.server().toLocal8Bit().constData(), 1);

    const QString recording = dir.filePath(QStringLiteral("monitor.raw"));
    QProcess recorder;
    recorder.setProcessEnvironment(pulse.env());
    recorder.setStandardOutputFile(recording);
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("--device=testsink.monitor"), QStringLiteral("--format=s16le"),
                    QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=2"),
                    QStringLiteral("--raw"), QStringLiteral("--latency-msec=20")});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    // A recorder with a short latency keeps the null sink's latency short too.
    QThread::msleep(500);

    // With the server up, the default opening finds it (no JACK runs here).
    const std::int32_t plain = dsInitialize2(0, 2);
    EXPECT_NE(plain, 0);
    dsTerminate(plain);

    const std::int32_t lib =
        dsInitializeOn(std::make_unique<RtAudioOutput>(std::vector{AudioApi::Pulse}),
                       OutputConfig{kRate, 2, kBlock});
    ASSERT_NE(lib, 0) << "RtAudio could not open the PulseAudio stream";
    const QByteArray tone = SineWav(kRate, 2, 1000, kRate, 0.5);
    const std::int32_t b =
        dsCreateDSB(lib, tone.constData(), static_cast<std::size_t>(tone.size()), 1);
    ASSERT_NE(b, 0);
    // The null sink holds a new stream back for up to a second or two; let ours run silent
    // through that before the tone starts, so the whole tone is recorded.
    QThread::msleep(1500);
    dsPlayLoopingEx(b, 0, 0, kRate);
    QThread::msleep(2000);
    dsStop(b);
    QThread::msleep(300);
    dsTerminate(lib);
    QThread::msleep(200);
    recorder.terminate();
    recorder.waitForFinished(5000);
    pulse.stop();

    const std::vector<float> left = ReadS16Left(recording);
    ASSERT_GT(left.size(), static_cast<std::size_t>(kRate)) << "the monitor recorded nothing";
    std::size_t first = 0;
    while (first < left.size() && std::fabs(left[first]) < 0.05f) {
        ++first;
    }
    std::size_t last = left.size();
    while (last > first && std::fabs(left[last - 1]) < 0.05f) {
        --last;
    }
    ASSERT_GT(last - first, static_cast<std::size_t>(kRate * 1.8)) << "tone played for 2 s";
    // Leave out the edges, where the stream starts and the stop fades.
    const std::vector<float> tone1k(left.begin() + static_cast<std::ptrdiff_t>(first + 2205),
                                    left.begin() + static_cast<std::ptrdiff_t>(last - 2205));
    const double hz = MeasureHz(tone1k, kRate);
    const double db = RmsDb(tone1k, 0.5 / std::sqrt(2.0));
    EXPECT_NEAR(hz, 1000.0, 5.0);
    EXPECT_NEAR(db, 0.0, 0.5);
    // A dropout shows as a quiet stretch: every 2 ms window keeps the tone's level.
    constexpr std::size_t kWindow = 88;
    double quietest = 0.0;
    for (std::size_t i = 0; i + kWindow <= tone1k.size(); i += kWindow) {
        const std::vector<float> w(tone1k.begin() + static_cast<std::ptrdiff_t>(i),
                                   tone1k.begin() + static_cast<std::ptrdiff_t>(i + kWindow));
        quietest = std::min(quietest, RmsDb(w, 0.5 / std::sqrt(2.0)));
    }
    EXPECT_GT(quietest, -1.5) << "a gap in the recorded tone";
    std::printf("recorded %.2f s of tone: %.2f Hz, %+.3f dB, quietest 2 ms window %+.2f dB\n",
                static_cast<double>(tone1k.size()) / kRate, hz, db, quietest);
    // A step no sine of this pitch can make is a dropout or a click.
    EXPECT_LT(MaxStep(tone1k), 0.5f * 2 * 3.1416f * 1000 / kRate * 1.1f);
}

// With no sound server at all (a fresh desktop-less machine), the log names every audio system
// that was tried and what each said, so a user can act on it.
TEST(PulseOutput, NoServerAtAllNamesEverySystemTried) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ::setenv("PULSE_SERVER", ("unix:" + dir.filePath(QStringLiteral("none.sock"))).toLocal8Bit(),
             1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", "marrowtune-test-none", 1);
    RtAudioOutput output;
    Engine engine;
    EXPECT_FALSE(output.open(OutputConfig{22050, 2, 256}, engine));
    const std::string& said = output.failures();
    for (const char* api : {"jack: ", "pulse: ", "alsa: "}) {
        const auto at = said.find(api);
        ASSERT_NE(at, std::string::npos) << api << " missing from: " << said;
        EXPECT_NE(said[at + std::strlen(api)], ';') << "no reason given for " << api;
    }
    std::printf("tried: %s\n", said.c_str());
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
}

} // namespace
} // namespace mt::test
