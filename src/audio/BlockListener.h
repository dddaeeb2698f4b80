#pragma once

#include <cstdint>

namespace mt {

class OutputClock;

// Hears of each render on the audio thread, to place something in time with the engine's
// frames (Ableton Link reads its session there).
class BlockListener {
public:
    virtual ~BlockListener() = default;

    // Audio thread, at the start of each render, once `clock` places the render's first frame
    // `frame` on the device's and the host's clocks (where it can). Realtime: no lock, no
    // allocation, no I/O.
    virtual void renderStarts(std::int64_t frame, int rate, const OutputClock& clock) noexcept = 0;
};

} // namespace mt
