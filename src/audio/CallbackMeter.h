#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mt {

// The audio callback's own account of how it keeps up: underruns, the share of each block
// period spent rendering, and whether the device still asks for blocks at the pace of time.
// Times are steady-clock nanoseconds handed in by the caller, so a test can drive it with a
// clock of its own.
//
// Underruns come from the device's own flag where it has one (JACK, ALSA), counted when our own
// cycle came late or the one before ran past its period: a JACK server raises it in every client
// for any late cycle in its graph, which loses nothing of ours when ours kept time. A device that
// takes blocks through a blocking write (PulseAudio through RtAudio) never raises it; there
// the meter keeps an estimate of the server's queue: a write that had to wait means the queue
// was full, and the queue drains at the device rate while the callback is away. A callback
// that comes back after the queue would have run dry counts as one underrun. Counting starts
// at the first such wait: a server may hold a new stream back for a while before it plays.
//
// A dead stream whose writes fail at once calls back in a tight loop: the meter sees blocks
// handed over far faster than time passes and says the stream is spinning.
class CallbackMeter {
public:
    // UI thread, while no callback runs. `queueSeconds`: what the server holds ahead of the
    // speaker when full; 0 for a device that reports its own underruns.
    void reset(int deviceRate, int blockFrames, double queueSeconds, std::int64_t now) noexcept;

    // Audio thread, at the top of each callback. Never blocks. `deviceUnderflow`: the device's
    // own flag for this block. False when the stream is spinning: render nothing, return.
    bool enter(std::int64_t now, bool deviceUnderflow) noexcept;

    // Audio thread, after rendering `frames` frames. Never blocks.
    void leave(std::int64_t now, std::size_t frames) noexcept;

    // Any thread. Never blocks.
    std::uint32_t underruns() const noexcept { return m_underruns.load(std::memory_order_relaxed); }
    std::int64_t lastCallback() const noexcept {
        return m_lastCallback.load(std::memory_order_relaxed);
    }
    bool spinning() const noexcept { return m_spinning.load(std::memory_order_relaxed); }

    // One reader thread (the UI). The largest load (time in the callback / block period) since
    // the previous call; 0 when no block came.
    float takePeakLoad() noexcept { return m_peakLoad.exchange(0.0f, std::memory_order_relaxed); }

private:
    // Audio thread only.
    int m_rate = 44100;
    double m_blockSeconds = 0.0;
    double m_queueSeconds = 0.0;
    std::int64_t m_enteredAt = 0;
    std::int64_t m_leftAt = 0;
    std::int64_t m_anchorAt = 0;   // when the queue estimate was last set
    double m_anchorQueue = 0.0;    // the queue then, seconds
    std::size_t m_sinceAnchor = 0; // frames handed over since
    std::int64_t m_waitedAt = 0;   // the last callback that found the device waiting
    std::size_t m_sinceWait = 0;   // frames handed over since
    bool m_started = false;
    bool m_steady = false; // the server has been seen playing the queue in real time

    std::atomic<std::uint32_t> m_underruns{0};
    std::atomic<std::int64_t> m_lastCallback{0};
    std::atomic<float> m_peakLoad{0.0f};
    std::atomic<bool> m_spinning{false};
};

// Steady-clock nanoseconds. Any thread; never blocks (a vDSO read on Linux).
std::int64_t SteadyNanos() noexcept;

} // namespace mt
