#pragma once

#include "audio/BlockListener.h"
#include "core/ExternalClock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace ableton {
class Link;
}

namespace mt {

class FrameClock;

// Ableton Link as a clock the beat clock follows. Link stays off, and silent on the network,
// until setEnabled(true). Each render of the engine this listens to reads the session on the
// audio thread at the host time its first frame is heard (the output clock places it) and
// publishes what it found for read(), without a lock; while no render is placed (no output,
// or one that gives no callback times) read() asks the session itself, at the output's
// frames as they stand.
// With no peer the session's timeline is ours alone: the reading is not present, so the beat
// clock runs free. A session tempo outside kMinBpm..kMaxBpm is read clamped, with the beat
// not followed (rolling false) and the clamped tempo never offered back.
// Every method but renderStarts is for the UI thread.
class LinkClock final : public ExternalClock, public BlockListener {
public:
    static constexpr double kMinBpm = 20.0;
    static constexpr double kMaxBpm = 300.0;

    // `frames` (the output the beat clock counts) outlives this. The session's tempo is `bpm`
    // until a peer's or offerTempo() changes it. An engine that renders to this is told to stop
    // (setLibraryBlockListener(library, nullptr)) and its render under way let finish, or its
    // output closed, before this goes.
    LinkClock(const FrameClock& frames, double bpm);
    ~LinkClock() override;
    LinkClock(const LinkClock&) = delete;
    LinkClock& operator=(const LinkClock&) = delete;

    // Joins (or leaves) the sessions on the network. May block a moment while Link's own
    // threads start or stop.
    void setEnabled(bool on);
    bool enabled() const;
    // The beat clock's bar: Link's quantum, the beats whose phase the peers share.
    void setBeatsPerBar(int beats);
    // With start/stop sync on, the session's transport is shared with the peers that share it
    // too, and the reading rolls only while it plays; off, it always rolls.
    void setStartStopSync(bool on);
    // Starts or stops the session's transport now (our Start and Stop); the peers hear of it
    // when start/stop sync is on.
    void setPlaying(bool playing);

    ClockReading read() const override;
    // Commits `bpm` (clamped to kMinBpm..kMaxBpm) as the session's tempo from now, unless it
    // is a tempo read from the session within the last kEchoMicros (the beat clock handing
    // back what it follows) or the session has it already.
    void offerTempo(double bpm) override;

    // Audio thread. Never blocks, never allocates.
    void renderStarts(std::int64_t frame, int rate, const OutputClock& clock) noexcept override;

private:
    // What a render found: the session's beat and tempo at the engine's frame `frame`, heard
    // at host time `micros` (CLOCK_MONOTONIC_RAW microseconds).
    struct Snapshot {
        std::int64_t frame = 0;
        double micros = 0.0;
        double beat = 0.0;
        double bpm = 0.0;
        bool playing = false;
    };
    struct ReadTempo {
        double micros = -1e18;
        double bpm = 0.0;
    };

    static constexpr double kEchoMicros = 300'000.0;
    // A published snapshot older than this is a render that no longer comes.
    static constexpr double kStaleMicros = 200'000.0;
    // This many tempo changes read within a second are a session whose tempo will not settle.
    // (Link sends a peer's changes 20 times a second at most.)
    static constexpr std::size_t kRestlessChanges = 10;
    // Tempos this close are one: Link carries a tempo as microseconds per beat.
    static constexpr double kSameBpm = 0.005;

    bool published(Snapshot& snapshot) const noexcept;
    Snapshot fromSession() const;
    void watch(double sessionBpm, double bpm) const;

    const FrameClock& m_frames;
    std::atomic<double> m_quantum{4.0};
    std::atomic<int> m_peers{0};
    std::atomic<bool> m_startStopSync{false};

    // The audio thread's latest snapshot, behind a sequence count (odd while it writes): the
    // reader retries when the count moved under it, so the writer never waits.
    std::atomic<std::uint32_t> m_sequence{0};
    std::atomic<bool> m_placed{false};
    std::atomic<std::int64_t> m_frame{0};
    std::atomic<double> m_micros{0.0};
    std::atomic<double> m_beat{0.0};
    std::atomic<double> m_bpm{0.0};
    std::atomic<bool> m_playing{false};

    // The UI thread's record of what read() returned, for offerTempo's echoes and the log.
    mutable std::array<ReadTempo, 32> m_readTempos{};
    mutable std::size_t m_nextRead = 0;
    mutable std::array<double, kRestlessChanges> m_changes{};
    mutable std::size_t m_nextChange = 0;
    mutable double m_lastBpm = 0.0;
    mutable bool m_loggedRange = false;
    mutable bool m_loggedRestless = false;

    // Last: its threads call back into the members above until it is gone.
    std::unique_ptr<ableton::Link> m_link;
};

} // namespace mt
