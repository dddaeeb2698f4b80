#pragma once

#include "audio/OutputClock.h"
#include "audio/SpscRing.h"
#include "core/BeatGrid.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>

namespace mt {

// What the MIDI clock does from now on, from the UI thread to the thread that sends it.
struct ClockPlan {
    enum class Transport : std::uint8_t {
        Follow,   // only the grid or the output moved: the ticks to come follow it
        Start,    // Song Position 0 (when stopped), then Start and the ticks from `beat`
        Continue, // Song Position `songPosition`, then Continue and the ticks from `beat`
        Stop,     // Stop at once, and no tick after it
    };
    BeatGrid grid;
    // Where the grid's frames play; the UI side keeps it alive for as long as a sender runs.
    const OutputClock* output = nullptr;
    Transport transport = Transport::Follow;
    double beat = 0.0;              // Start: a bar line; Continue: a sixteenth
    std::uint16_t songPosition = 0; // Continue: sixteenths since the last Start
};

// One clock message and the engine frame it is due at.
struct ClockMessage {
    static constexpr std::int64_t kAtOnce = std::numeric_limits<std::int64_t>::min();
    std::int64_t frame = kAtOnce;
    std::uint8_t size = 1;
    std::array<std::uint8_t, 3> bytes{};
};

// The MIDI clock's messages in order, each with the engine frame it is due at: Song Position,
// Start or Continue, then 24 ticks a beat from the beat where it went, on the grid the UI
// handed over last. Ticks are counted, never timed: a new grid that carries the beat on (a
// tempo change) moves the ticks still to come and never drops or repeats one. Beats before
// its anchor (where its beat meets the old one's) stay on the old grid, so a tempo change
// moves no tick about to go. post(), reset() and the counts are the UI thread's; the rest is
// for the one thread that sends (JACK's process thread or the clock's own), and never blocks,
// locks or allocates.
class ClockTrain {
public:
    static constexpr int kTicksPerBeat = 24;

    // UI thread. Never blocks. False when full: the sender is not taking them.
    bool post(const ClockPlan& plan) noexcept { return m_plans.push(plan); }
    // Any thread. Plans the sender has taken, and times it has taken them.
    std::uint64_t taken() const noexcept { return m_taken.load(std::memory_order_acquire); }
    std::uint64_t takes() const noexcept { return m_takes.load(std::memory_order_acquire); }
    // UI thread, only while no sender runs: everything posted and due is forgotten.
    void reset() noexcept;

    // Sender. Takes the plans posted so far.
    void take() noexcept;
    // Sender. The output clock of the last plan; null before the first.
    const OutputClock* output() const noexcept { return m_output; }
    // Sender. The next message, not yet taken; false while none is to come (stopped, or no
    // grid yet: nothing can be placed).
    bool peek(ClockMessage& message) noexcept;
    // Sender. Takes the message the last peek() gave.
    void pop() noexcept;
    // Sender, with the engine's frame `now`. A tick over a beat away from it, before or after,
    // can only come of a grid that jumped (an output made anew counts from 0 again): the train
    // goes on from the first tick not yet due, rather than rush the gear with a burst of old
    // ones or leave it without a tick until the old frames come round. True when it moved.
    bool resync(std::int64_t now) noexcept;

private:
    enum class Next : std::uint8_t { None, AtOnce, Transport, Tick };

    void atOnce(std::uint8_t status, std::uint16_t value, bool withValue) noexcept;
    double tickBeat(std::int64_t tick) const noexcept;
    std::int64_t frameOf(double beat) const noexcept;

    SpscRing<ClockPlan, 32> m_plans;
    std::atomic<std::uint64_t> m_taken{0};
    std::atomic<std::uint64_t> m_takes{0};

    // The sender's own.
    BeatGrid m_grid;
    BeatGrid m_before; // the grid before m_grid, for beats before m_grid's anchor
    const OutputClock* m_output = nullptr;
    std::array<ClockMessage, 8> m_atOnce{}; // Song Position and Stop, sent before anything else
    int m_atOnceCount = 0;
    int m_atOnceNext = 0;
    ClockPlan::Transport m_pending = ClockPlan::Transport::Follow; // Follow: none
    double m_pendingBeat = 0.0;
    bool m_running = false;
    double m_origin = 0.0;   // the beat of tick 0: where Start or Continue went
    std::int64_t m_tick = 0; // the next tick
    Next m_next = Next::None;
};

} // namespace mt
