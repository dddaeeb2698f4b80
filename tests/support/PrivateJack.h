#pragma once

// A JACK server of the test's own with the dummy backend (no sound card), for every test that
// plays or listens through a real one.
#include <jack/jack.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace mt::test {

// A JACK client still open when its server went leaves its semaphore in /dev/shm; a test's
// private server names them after itself, so its fixture removes them as it goes, or every run
// of a test that kills its server would leave a few behind.
inline void RemoveJackSemaphores(const std::string& server) {
    std::error_code ignored;
    const std::string prefix = "jack_sem." + std::to_string(::getuid()) + "_" + server + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
        if (entry.path().filename().string().starts_with(prefix)) {
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

// jackd -d dummy at 48 kHz in periods of 128 under a private name; clients find it through
// JACK_DEFAULT_SERVER. Started with posix_spawn, not QProcess: ThreadSanitizer loses track of
// this process's locks after QProcess's vfork-like child runs its interceptors.
class PrivateJack {
public:
    PrivateJack() : m_name("marrowtune-test-" + std::to_string(::getpid())) {
        ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    }
    ~PrivateJack() {
        stop();
        ::unsetenv("JACK_DEFAULT_SERVER");
        ::unsetenv("JACK_NO_START_SERVER");
        RemoveJackSemaphores(m_name);
        std::remove(logPath().c_str());
    }
    PrivateJack(const PrivateJack&) = delete;
    PrivateJack& operator=(const PrivateJack&) = delete;

    static bool installed() {
        return !QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty();
    }

    // Starts the server, again under the same name after stop() or kill(); true once its
    // playback ports are there.
    bool start() {
        posix_spawn_file_actions_t output;
        posix_spawn_file_actions_init(&output);
        posix_spawn_file_actions_addopen(&output, 1, logPath().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&output, 1, 2);
        std::string args[] = {"jackd", "-n", m_name, "-d", "dummy", "-r", "48000", "-p", "128"};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const int failed = posix_spawnp(&m_pid, "jackd", &output, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&output);
        if (failed != 0) {
            m_pid = 0;
            return false;
        }
        jack_set_error_function([](const char*) {}); // "cannot connect" until it is up
        for (int i = 0; i < 100; ++i) {
            // The client that stays is the one that hears of late cycles.
            if ((m_watch = jack_client_open("xrun watch", JackNoStartServer, nullptr))) {
                jack_set_xrun_callback(m_watch, &PrivateJack::lateCycle, this);
                for (int j = 0; j < 100; ++j) {
                    if (jack_port_by_name(m_watch, "system:playback_1") != nullptr) {
                        return jack_activate(m_watch) == 0;
                    }
                    QThread::msleep(20);
                }
                return false;
            }
            QThread::msleep(50);
        }
        return false;
    }

    // Stops the server, as a restart of JACK does.
    void stop() { end(SIGTERM); }
    // As a crash would.
    void kill() { end(SIGKILL); }

    // What the server wrote.
    QString log() const {
        QFile f(QString::fromStdString(logPath()));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

    // Cycles the server has reported late so far (xruns). In a late cycle the server may hand
    // a client's MIDI to nobody: JACK drops it, not the program.
    int xruns() const { return m_xruns.load(); }

    // jack_lsp's list of ports, with their connections when asked.
    QString ports(bool connections) const {
        QProcess lsp;
        lsp.start(QStringLiteral("jack_lsp"), connections ? QStringList{"-c"} : QStringList{});
        lsp.waitForFinished(5000);
        return QString::fromLocal8Bit(lsp.readAllStandardOutput());
    }

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
    static bool run(const QString& program, const QStringList& arguments) {
        QProcess p;
        p.start(program, arguments);
        return p.waitForFinished(5000) && p.exitCode() == 0;
    }

private:
    void end(int signal) {
        if (m_watch != nullptr) {
            jack_client_close(m_watch);
            m_watch = nullptr;
        }
        if (m_pid > 0) {
            ::kill(m_pid, signal);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }
    std::string logPath() const { return QDir::tempPath().toStdString() + "/" + m_name + ".log"; }
    static int lateCycle(void* self) {
        ++static_cast<PrivateJack*>(self)->m_xruns;
        return 0;
    }

    std::string m_name;
    pid_t m_pid = 0;
    jack_client_t* m_watch = nullptr;
    std::atomic<int> m_xruns{0};
};

// A client of the test's own on the private server: its ports registered, then `activate`d
// with the work of each cycle (given the cycle's frames); closed on destruction, so an owner
// declares it last, closing it before whatever its cycles touch.
class JackClient {
public:
    explicit JackClient(const char* name)
        : m_client(jack_client_open(name, JackNoStartServer, nullptr)) {}
    ~JackClient() {
        if (m_client != nullptr) {
            jack_client_close(m_client);
        }
    }
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    bool open() const { return m_client != nullptr; }
    jack_client_t* get() const { return m_client; }
    jack_port_t* port(const char* name, const char* type, JackPortFlags direction) {
        return jack_port_register(m_client, name, type, direction, 0);
    }
    void activate(std::function<void(jack_nframes_t)> cycle) {
        m_cycle = std::move(cycle);
        jack_set_process_callback(
            m_client,
            [](jack_nframes_t frames, void* self) {
                static_cast<JackClient*>(self)->m_cycle(frames);
                return 0;
            },
            this);
        jack_activate(m_client);
    }
    void connect(const std::string& from, const std::string& to) {
        jack_connect(m_client, from.c_str(), to.c_str());
    }
    // The playback latency of `port` in frames, the most JACK gives for it.
    jack_nframes_t playbackLatency(const char* port) const {
        jack_latency_range_t latency{};
        jack_port_get_latency_range(jack_port_by_name(m_client, port), JackPlaybackLatency,
                                    &latency);
        return latency.max;
    }

private:
    jack_client_t* m_client;
    std::function<void(jack_nframes_t)> m_cycle;
};

// A client whose server has gone is kept, never destroyed: libjack crashes closing it (as
// RtMidi's destructor does, unregistering its port).
template <typename Client> void Abandon(std::unique_ptr<Client> client) {
    static auto* const kept = new std::vector<std::unique_ptr<Client>>();
    kept->push_back(std::move(client));
}

// Starts `jack` in a fixture's SetUp, which goes on unless IsSkipped() or HasFatalFailure():
// the test is skipped where jackd is not installed.
inline void StartJack(PrivateJack& jack) {
    if (!PrivateJack::installed()) {
        GTEST_SKIP() << "jackd is not installed (package jackd2)";
    }
    ASSERT_TRUE(jack.start()) << "jackd did not start: " << jack.log().toStdString();
}

// A test on a private JACK server, started before it.
class JackServerTest : public ::testing::Test {
protected:
    void SetUp() override { StartJack(m_jack); }

    PrivateJack m_jack;
};

// Sends an unmapped note with `send` until `input` has heard one: a connection the server
// has just made may lose what is sent before its graph takes it in (a cycle here, more under
// ThreadSanitizer), so tests that count every message start once it carries one.
template <typename Input, typename Send> bool UntilHeard(const Input& input, Send send) {
    const auto before = input.received();
    QElapsedTimer t;
    t.start();
    while (input.received() == before && t.elapsed() < 5000) {
        send(std::vector<unsigned char>{0x9F, 0, 1});
        QThread::msleep(20);
    }
    return input.received() != before;
}

// The MIDI port whose name is `name`, opened on `port` (an RtMidiIn or RtMidiOut).
template <typename Port> bool OpenByName(Port& port, const std::string& name) {
    for (unsigned i = 0; i < port.getPortCount(); ++i) {
        if (port.getPortName(i) == name) {
            port.openPort(i, "test");
            return true;
        }
    }
    return false;
}

// Waits up to 5 s for `done`.
template <typename F> bool WaitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) {
        QThread::msleep(20);
    }
    return done();
}

// Runs `attempt` (what it got wrong; empty when nothing) until it passes. In a late cycle (an
// xrun) JACK itself may move or drop what is due in it, which on a loaded machine without
// realtime scheduling happens now and then: a run with late cycles is made again, up to `tries`
// times, and a run that fails with every cycle on time fails the test.
template <typename F> void UnlessLate(const PrivateJack& jack, int tries, F attempt) {
    for (int n = 1;; ++n) {
        const int xruns = jack.xruns();
        const std::string faults = attempt();
        if (faults.empty()) {
            return;
        }
        if (jack.xruns() == xruns) {
            ADD_FAILURE() << faults;
            return;
        }
        if (n == tries) {
            std::cerr << "every run had late cycles; not checked: " << faults << "\n";
            return;
        }
    }
}

} // namespace mt::test
