#pragma once

#include "audio/OutputClock.h"

#include <cstdint>
#include <memory>

namespace mt {

// The frames the beat clock counts: the sound output's, as the engine mixes them.
class FrameClock {
public:
    virtual ~FrameClock() = default;

    // The output's frames per second; 0 while no output runs (no grid: nothing is quantised).
    virtual int frameRate() const = 0;
    // The first output frame an event asked for now still lands on exactly: the engine's
    // frame count past the block it may be mixing, and the one after. Never blocks.
    virtual std::int64_t frameHorizon() const = 0;
    // The same frames for threads that send in time with them (the MIDI clock); null when
    // there is no output. The output may make a new one when it is made again.
    virtual std::shared_ptr<const OutputClock> outputClock() const { return nullptr; }
};

} // namespace mt
