#pragma once

#include "core/BeatGrid.h"
#include "core/ExternalClock.h"
#include "sync/BbtFilter.h"
#include "audio/SeqLock.h"

#include <jack/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mt {

class FrameClock;
class OutputClock;

// The JACK transport as a clock: a JACK client of its own, with no ports, whose process
// callback reads the transport in every cycle and follows the BBT of a timebase master when
// one gives it (tempo, bar, beat and tick, beats per bar, rolling or not), checked by a
// BbtFilter. The beat at the cycle's first frame is placed on the output's frames through its
// output clock: by JACK's frame time while the output plays on JACK, else by the host's clock.
// It can also be the timebase master itself, giving the beat clock's grid as BBT: the beat
// where the next cycle plays, whether the transport rolls on or was moved; withheld while
// there is no grid or the output places none of its frames.
//
// A watcher thread of its own opens the client when a server answers (looking every second),
// and when the server goes it keeps the dead client (libjack must never close it, see
// MidiPorts::abandonPorts) and waits for a server again. No method waits on JACK.
class JackTransportClock final : public ExternalClock {
public:
    // Our part in the transport's timebase.
    enum class Mastery : std::uint8_t {
        Off,         // not asked to lead
        Master,      // our grid is the transport's BBT
        OtherMaster, // asked, but another client leads; we take over when it lets go
        NoServer,    // asked, and no JACK server answers yet
    };

    // `frames` gives the output clock, and outlives this. Starts watching for a server.
    explicit JackTransportClock(const FrameClock& frames);
    // Closes the client (kept instead if its server has gone); waits for the watcher, which
    // never waits on JACK for long.
    ~JackTransportClock() override;
    JackTransportClock(const JackTransportClock&) = delete;
    JackTransportClock& operator=(const JackTransportClock&) = delete;

    // UI thread. Never blocks. Not present while there is no master but us, or no server.
    ClockReading read() const override;
    // UI thread. Never blocks. The grid our BBT gives from the next cycle on, while we lead.
    void followGrid(const BeatGrid& grid) override;

    // UI thread. Never blocks. Off by default. Asks to lead the transport's timebase, only
    // where no other client leads (or to let go of it); mastery() says how it went within a
    // moment.
    void setMaster(bool lead);
    // Any thread. Never blocks.
    Mastery mastery() const { return m_mastery.load(); }
    // Any thread. Never blocks. A client of ours is on a running server.
    bool connected() const;

private:
    struct Connection;

    // Watcher thread: every second or when woken.
    void watch();
    // How long until it looks again.
    std::chrono::milliseconds tend();
    bool connect();
    void lead(Connection& connection);
    void reportFaults(Connection& connection);
    // A client whose server has gone, with what its callbacks used: kept for as long as the
    // process lives.
    static void keepForGood(Connection* connection);

    // Process thread of the connection's client.
    static int process(jack_nframes_t frames, void* arg);
    static void giveTimebase(jack_transport_state_t state, jack_nframes_t frames,
                             jack_position_t* position, int newPosition, void* arg);
    static void serverGone(void* arg);

    // Any thread. The output's frame, fractional, at which the JACK cycle beginning at frame
    // time `frame` (JACK's clock `micros`) is heard; false when the output cannot say.
    static bool place(const OutputClock& output, const Connection& connection, std::uint32_t frame,
                      std::uint64_t micros, double& outputFrame) noexcept;
    // UI thread: the output clock as it is now, handed to the process thread too.
    const OutputClock* noteOutput() const;

    const FrameClock& m_frames;

    // UI thread only. Every output clock handed to the process thread, kept while it may be
    // read; the reading last given, whose tempo stands while no master gives one.
    mutable std::vector<std::shared_ptr<const OutputClock>> m_outputs;
    mutable ClockReading m_last;
    // From the UI thread to the process thread.
    SeqLock<BeatGrid> m_grid;
    mutable std::atomic<const OutputClock*> m_output{nullptr};

    std::atomic<bool> m_wantMaster{false};
    std::atomic<Mastery> m_mastery{Mastery::Off};
    // The live connection; the watcher's to change. Every one lives as long as this does, or
    // for good with its client when its server has gone.
    std::atomic<Connection*> m_live{nullptr};

    // The watcher's.
    std::chrono::steady_clock::time_point m_goneAt{};
    unsigned m_logged = 0; // fault kinds said in the log already
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;  // under m_mutex
    bool m_woken = false; // under m_mutex
    std::thread m_watcher;
};

} // namespace mt
