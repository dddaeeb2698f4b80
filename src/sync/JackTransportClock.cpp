#include "sync/JackTransportClock.h"

#include "audio/OutputClock.h"
#include "core/FrameClock.h"
#include "platform/JackProbe.h"

#include <jack/jack.h>
#include <jack/transport.h>

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace mt {
namespace {

using namespace std::chrono_literals;

constexpr auto kLookEvery = 1000ms;
// While a probe of the server is under way: its answer comes in a few milliseconds.
constexpr auto kProbeWait = 50ms;
// Our timebase callback runs in every cycle while the transport rolls; this many cycles
// without it, another client has taken the timebase from us.
constexpr int kOvertakenCycles = 16;
// The resolution of the BBT we give: JACK's ticks are whole numbers.
constexpr double kTicksPerBeat = 1920.0;

} // namespace

// One client on one server, with what its callbacks keep.
struct JackTransportClock::Connection {
    JackTransportClock* owner = nullptr;
    jack_client_t* client = nullptr;
    double rate = 48000.0; // the server's frames per second
    std::atomic<bool> gone{false};
    std::atomic<bool> leading{false};   // our timebase callback is the server's
    std::atomic<bool> overtaken{false}; // another client took the timebase from us
    std::atomic<unsigned> faults{0};    // BbtFilter::Fault bits seen so far
    // Frames from a cycle's start to its being heard at the server's playback ports; looked
    // up again only when the server says latencies changed: a port lookup made while another
    // thread of the process opens a JACK client has crashed inside libjack.
    std::atomic<std::uint32_t> playbackLatency{0};
    std::atomic<bool> latencyStale{true};
    SeqLock<TransportBeat> published;
    // Its process thread's only.
    BbtFilter filter;
    TransportBeat beat;
    BeatGrid grid;
    int cyclesSinceTimebase = 0;
};

JackTransportClock::JackTransportClock(const FrameClock& frames) : m_frames(frames) {
    m_watcher = std::thread([this] { watch(); });
}

JackTransportClock::~JackTransportClock() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_watcher.join();
    Connection* connection = m_live.load();
    if (connection == nullptr) {
        return;
    }
    if (connection->gone.load()) {
        keepForGood(connection);
        return;
    }
    jack_client_close(connection->client); // lets go of the timebase too
    delete connection;
}

ClockReading JackTransportClock::read() const {
    const OutputClock* output = noteOutput();
    const Connection* connection = m_live.load(std::memory_order_acquire);
    if (connection == nullptr || connection->gone.load()) {
        m_last.present = m_last.rolling = false;
        return m_last;
    }
    const TransportBeat beat = connection->published.read();
    // A master whose BBT was never taken gives no tempo yet.
    m_last.present = beat.present && beat.placed;
    m_last.rolling = m_last.present && beat.rolling;
    if (!beat.placed) {
        return m_last;
    }
    m_last.bpm = beat.bpm;
    m_last.beatsPerBar = beat.beatsPerBar;
    double at = 0.0;
    if (output != nullptr && output->rate() > 0 &&
        place(*output, *connection, beat.frame, beat.micros, at)) {
        m_last.frame = std::llround(at);
        const double beatsPerFrame = beat.bpm / 60.0 / output->rate();
        m_last.beat = beat.beat + (beat.rolling ? (m_last.frame - at) * beatsPerFrame : 0.0);
    } else if (m_frames.frameRate() > 0) {
        // The output places none of its frames yet: the beat now, on the first frame still to
        // be mixed (late by the output's latency).
        const double seconds = (static_cast<double>(jack_get_time()) - beat.micros) / 1e6;
        m_last.frame = m_frames.frameHorizon();
        m_last.beat = beat.beat + (beat.rolling ? std::max(seconds, 0.0) * beat.bpm / 60.0 : 0.0);
    }
    return m_last;
}

void JackTransportClock::followGrid(const BeatGrid& grid) {
    m_grid.write(grid);
    noteOutput();
}

bool JackTransportClock::connected() const {
    const Connection* connection = m_live.load(std::memory_order_acquire);
    return connection != nullptr && !connection->gone.load();
}

void JackTransportClock::setMaster(bool lead) {
    m_wantMaster.store(lead);
    {
        const std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}

const OutputClock* JackTransportClock::noteOutput() const {
    std::shared_ptr<const OutputClock> output = m_frames.outputClock();
    if (output != nullptr && (m_outputs.empty() || m_outputs.back() != output)) {
        m_outputs.push_back(output);
    }
    m_output.store(output.get(), std::memory_order_release);
    return output.get();
}

bool JackTransportClock::place(const OutputClock& output, const Connection& connection,
                               std::uint32_t frame, std::uint64_t micros,
                               double& outputFrame) noexcept {
    if (output.frameOfDevice(frame, output.frames(), outputFrame)) {
        return true;
    }
    // The output plays elsewhere: by the host's clock, when the cycle is heard. JACK's clock
    // is the system's monotonic one (or its raw one, as libjack was built): their difference
    // now.
    const double heard =
        static_cast<double>(micros) +
        connection.playbackLatency.load(std::memory_order_relaxed) / connection.rate * 1e6 +
        (OutputClock::HostMicros() - static_cast<double>(jack_get_time()));
    return output.frameAtHostTime(heard, outputFrame);
}

void JackTransportClock::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        lock.unlock();
        const auto wait = tend();
        lock.lock();
        m_wake.wait_for(lock, wait, [this] { return m_quit || m_woken; });
        m_woken = false;
    }
}

std::chrono::milliseconds JackTransportClock::tend() {
    Connection* connection = m_live.load();
    if (connection != nullptr && connection->gone.load()) {
        m_live.store(nullptr);
        keepForGood(connection);
        connection = nullptr;
        m_goneAt = std::chrono::steady_clock::now();
    }
    if (connection == nullptr) {
        m_mastery.store(m_wantMaster.load() ? Mastery::NoServer : Mastery::Off);
        if (std::chrono::steady_clock::now() - m_goneAt < kJackSettle) {
            return kLookEvery;
        }
        const std::optional<JackAnswer> answer = PollJack(kLookEvery);
        if (!answer) {
            return kProbeWait;
        }
        // The rest waits for the next look: a server that returns brings every JACK client
        // of the process back at once, and a port lookup beside another thread's
        // jack_client_open has crashed inside libjack.
        if (*answer == JackAnswer::Runs) {
            connect();
        }
        return kLookEvery;
    }
    if (connection->latencyStale.exchange(false)) {
        jack_latency_range_t latency{0, 0};
        if (const char** ports =
                jack_get_ports(connection->client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                               JackPortIsPhysical | JackPortIsInput)) {
            if (jack_port_t* port = jack_port_by_name(connection->client, ports[0])) {
                jack_port_get_latency_range(port, JackPlaybackLatency, &latency);
            }
            jack_free(static_cast<void*>(ports));
        }
        connection->playbackLatency.store(latency.max, std::memory_order_relaxed);
    }
    lead(*connection);
    reportFaults(*connection);
    return kLookEvery;
}

bool JackTransportClock::connect() {
    auto* connection = new Connection;
    connection->owner = this;
    connection->client = jack_client_open("Marrowtune transport", JackNoStartServer, nullptr);
    if (connection->client == nullptr) {
        delete connection;
        return false;
    }
    connection->rate = jack_get_sample_rate(connection->client);
    jack_on_shutdown(connection->client, &JackTransportClock::serverGone, connection);
    jack_set_latency_callback(
        connection->client,
        [](jack_latency_callback_mode_t mode, void* arg) {
            if (mode == JackPlaybackLatency) {
                static_cast<Connection*>(arg)->latencyStale.store(true); // read at the next look
            }
        },
        connection);
    if (jack_set_process_callback(connection->client, &JackTransportClock::process, connection) !=
            0 ||
        jack_activate(connection->client) != 0) {
        if (connection->gone.load()) {
            keepForGood(connection);
        } else {
            jack_client_close(connection->client);
            delete connection;
        }
        return false;
    }
    m_live.store(connection, std::memory_order_release);
    return true;
}

void JackTransportClock::lead(Connection& connection) {
    const bool want = m_wantMaster.load();
    if (connection.leading.load() && connection.overtaken.exchange(false)) {
        connection.leading.store(false);
        m_mastery.store(Mastery::OtherMaster); // asked again at the next look
        return;
    }
    if (want && !connection.leading.load()) {
        // Conditional: refused while another client leads.
        const bool took =
            jack_set_timebase_callback(connection.client, 1, &JackTransportClock::giveTimebase,
                                       &connection) == 0;
        connection.leading.store(took);
        m_mastery.store(took ? Mastery::Master : Mastery::OtherMaster);
    } else if (!want) {
        if (connection.leading.exchange(false)) {
            jack_release_timebase(connection.client);
        }
        m_mastery.store(Mastery::Off);
    }
}

void JackTransportClock::reportFaults(Connection& connection) {
    const unsigned fresh = connection.faults.load(std::memory_order_relaxed) & ~m_logged;
    for (int kind = 0; kind < BbtFilter::kFaultKinds; ++kind) {
        const auto fault = static_cast<BbtFilter::Fault>(1U << kind);
        if ((fresh & fault) != 0) {
            qWarning("JACK transport: the timebase master sent %s", BbtFilter::describe(fault));
        }
    }
    m_logged |= fresh;
}

void JackTransportClock::keepForGood(Connection* connection) {
    static auto* const kept = new std::vector<Connection*>();
    kept->push_back(connection);
}

int JackTransportClock::process(jack_nframes_t /*frames*/, void* arg) {
    auto& connection = *static_cast<Connection*>(arg);
    jack_position_t position{};
    const jack_transport_state_t state = jack_transport_query(connection.client, &position);
    jack_nframes_t frame = 0;
    jack_time_t micros = 0;
    jack_time_t next = 0;
    float period = 0.0f;
    if (jack_get_cycle_times(connection.client, &frame, &micros, &next, &period) != 0) {
        frame = jack_last_frame_time(connection.client);
        micros = jack_frames_to_time(connection.client, frame);
    }
    if (connection.leading.load(std::memory_order_relaxed)) {
        // The BBT is ours: nothing to follow.
        if (state == JackTransportRolling && ++connection.cyclesSinceTimebase > kOvertakenCycles) {
            connection.overtaken.store(true);
        }
        connection.filter.reset();
        connection.beat.present = false;
    } else {
        connection.cyclesSinceTimebase = 0;
        const unsigned faults =
            connection.filter.take(state, position, frame, micros, connection.beat);
        if (faults != 0) {
            connection.faults.fetch_or(faults, std::memory_order_relaxed);
        }
    }
    connection.published.write(connection.beat);
    return 0;
}

void JackTransportClock::giveTimebase(jack_transport_state_t /*state*/, jack_nframes_t frames,
                                      jack_position_t* position, int /*newPosition*/, void* arg) {
    auto& connection = *static_cast<Connection*>(arg);
    connection.cyclesSinceTimebase = 0;
    const JackTransportClock& clock = *connection.owner;
    clock.m_grid.tryRead(connection.grid); // a write under way: the grid before it stands
    const BeatGrid& grid = connection.grid;
    const OutputClock* output = clock.m_output.load(std::memory_order_acquire);
    jack_nframes_t frame = 0;
    jack_time_t micros = 0;
    jack_time_t next = 0;
    float period = 0.0f;
    double at = 0.0;
    // The position asked for is the next cycle's, `frames` frames on, whether the transport
    // rolls on to it or was moved there.
    if (!grid.valid() || output == nullptr || output->rate() <= 0 ||
        jack_get_cycle_times(connection.client, &frame, &micros, &next, &period) != 0 ||
        !place(*output, connection, frame + frames, next, at)) {
        position->valid = static_cast<jack_position_bits_t>(
            position->valid & ~(JackPositionBBT | JackBBTFrameOffset));
        return;
    }
    const double beat = grid.anchorBeat + (at - grid.anchorFrame) / grid.framesPerBeat;
    const int perBar = std::max(grid.beatsPerBar, 1);
    const double bar = std::floor(beat / perBar);
    const double inBar = beat - bar * perBar;
    const double whole = std::min(std::floor(inBar), perBar - 1.0);
    const double ticks = (inBar - whole) * kTicksPerBeat;
    const double tick = std::min(std::floor(ticks), kTicksPerBeat - 1.0);
    const double bpm = 60.0 * output->rate() / grid.framesPerBeat;
    position->valid =
        static_cast<jack_position_bits_t>(position->valid | JackPositionBBT | JackBBTFrameOffset);
    position->bar = static_cast<std::int32_t>(bar) + 1;
    position->beat = static_cast<std::int32_t>(whole) + 1;
    position->tick = static_cast<std::int32_t>(tick);
    position->bar_start_tick = bar * perBar * kTicksPerBeat;
    position->beats_per_bar = static_cast<float>(perBar);
    position->beat_type = 4.0f;
    position->ticks_per_beat = kTicksPerBeat;
    position->beats_per_minute = bpm;
    // The whole tick fell this many frames before the cycle's first.
    position->bbt_offset = static_cast<jack_nframes_t>(
        std::lround((ticks - tick) / kTicksPerBeat * 60.0 / bpm * connection.rate));
}

void JackTransportClock::serverGone(void* arg) {
    static_cast<Connection*>(arg)->gone.store(true);
}

} // namespace mt
