#pragma once

// A JACK server of the test's own, with the dummy backend (no sound card).
#include "support/JackLeftovers.h"

#include <jack/jack.h>

#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace mt::test {

// jackd -d dummy under a private name; clients find it through JACK_DEFAULT_SERVER. Started
// with posix_spawn, not QProcess: ThreadSanitizer loses track of this process's locks after
// QProcess's vfork-like child runs its interceptors.
class PrivateJack {
public:
    PrivateJack() : m_name("marrowtune-midi-" + std::to_string(::getpid())) {
        ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    }
    ~PrivateJack() {
        stop();
        ::unsetenv("JACK_DEFAULT_SERVER");
        ::unsetenv("JACK_NO_START_SERVER");
        RemoveJackSemaphores(m_name);
    }
    // Stops the server, as a restart of JACK does; start() starts it again under the same name.
    void stop() {
        if (m_watch != nullptr) {
            jack_client_close(m_watch);
            m_watch = nullptr;
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }
    bool start() {
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        std::string args[] = {"jackd", "-n", m_name, "-d", "dummy", "-r", "48000", "-p", "128"};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const int failed = posix_spawnp(&m_pid, "jackd", &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (failed != 0) {
            m_pid = 0;
            return false;
        }
        jack_set_error_function([](const char*) {}); // "cannot connect" until it is up
        for (int i = 0; i < 100; ++i) {
            // The client that stays is the one that hears of late cycles.
            if ((m_watch = jack_client_open("xrun watch", JackNoStartServer, nullptr))) {
                jack_set_xrun_callback(m_watch, &PrivateJack::lateCycle, this);
                return jack_activate(m_watch) == 0;
            }
            QThread::msleep(50);
        }
        return false;
    }

    // Cycles the server has reported late so far (xruns). In a late cycle the server may hand
    // a client's MIDI to nobody: JACK drops it, not the program.
    int xruns() const { return m_xruns.load(); }

private:
    static int lateCycle(void* self) {
        ++static_cast<PrivateJack*>(self)->m_xruns;
        return 0;
    }

    std::string m_name;
    pid_t m_pid = 0;
    jack_client_t* m_watch = nullptr;
    std::atomic<int> m_xruns{0};
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

// Waits up to 5 s for `done`.
template <typename F> bool WaitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) {
        QThread::msleep(20);
    }
    return done();
}

} // namespace mt::test
