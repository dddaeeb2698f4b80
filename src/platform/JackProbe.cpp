#include "platform/JackProbe.h"

#include <jack/jack.h>

#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace mt {
namespace {

using Clock = std::chrono::steady_clock;

struct Probe {
    Clock::time_point started;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool runs = false;
};

std::mutex g_mutex;
std::shared_ptr<Probe> g_latest; // the last probe started; it may not have come back
std::function<bool()> g_open;    // tests only

bool OpenWithLibjack() {
    // libjack writes four lines to stderr for every open that finds no server, and a program
    // waiting for its server asks every two seconds. RtAudio silences it the same way as soon
    // as it looks at JACK; what the performer needs is said by the output and MIDI windows.
    static std::once_flag quiet;
    std::call_once(quiet, [] { jack_set_error_function([](const char* /*message*/) {}); });
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Marrowtune probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

// With g_mutex held: a new probe, which becomes the latest.
std::shared_ptr<Probe> StartProbe() {
    auto probe = std::make_shared<Probe>();
    probe->started = Clock::now();
    g_latest = probe;
    // Detached: a stuck open can never be joined. The thread keeps what it uses.
    std::thread([probe, open = g_open ? g_open : std::function<bool()>(OpenWithLibjack)] {
        const bool runs = open();
        {
            const std::lock_guard probeLock(probe->mutex);
            probe->runs = runs;
            probe->finished = true;
        }
        probe->done.notify_all();
    }).detach();
    return probe;
}

} // namespace

JackAnswer ProbeJack(std::chrono::milliseconds limit) {
    std::shared_ptr<Probe> probe;
    {
        const std::lock_guard lock(g_mutex);
        if (g_latest) {
            const std::lock_guard probeLock(g_latest->mutex);
            if (!g_latest->finished) {
                probe = g_latest; // under way (or stuck): wait for that one, from its start
            }
        }
        if (!probe) {
            probe = StartProbe();
        }
    }
    std::unique_lock lock(probe->mutex);
    if (!probe->done.wait_until(lock, probe->started + limit, [&] { return probe->finished; })) {
        return JackAnswer::Stuck;
    }
    return probe->runs ? JackAnswer::Runs : JackAnswer::NoServer;
}

std::optional<JackAnswer> PollJack(std::chrono::milliseconds fresh) {
    const std::lock_guard lock(g_mutex);
    if (g_latest) {
        const std::lock_guard probeLock(g_latest->mutex);
        if (!g_latest->finished) {
            if (Clock::now() - g_latest->started >= kJackProbeLimit) {
                return JackAnswer::Stuck;
            }
            return std::nullopt;
        }
        if (Clock::now() - g_latest->started < fresh) {
            return g_latest->runs ? JackAnswer::Runs : JackAnswer::NoServer;
        }
    }
    StartProbe();
    return std::nullopt;
}

std::string JackStuckReason() {
    return "libjack does not answer: a JACK client that died left the lock of /dev/shm/jack_db-" +
           std::to_string(::getuid()) + " held (remove that folder, then restart JACK)";
}

void SetJackOpenForTests(std::function<bool()> open) {
    const std::lock_guard lock(g_mutex);
    g_open = std::move(open);
}

} // namespace mt
