#pragma once

#include <cmath>
#include <cstdint>

namespace mt {

// The beat clock's grid as it stands, to hand to another thread: beat `anchorBeat` falls on
// the output's frame `anchorFrame` and the beats go on every `framesPerBeat` frames from
// there (0: no output has run yet, no grid); bars start at every multiple of `beatsPerBar`.
struct BeatGrid {
    std::int64_t anchorFrame = 0;
    double anchorBeat = 0.0;
    double framesPerBeat = 0.0;
    int beatsPerBar = 4;

    bool valid() const noexcept { return framesPerBeat > 0.0; }
    bool operator==(const BeatGrid&) const = default;
    // The beat position at `frame`, fractional.
    double beatAt(std::int64_t frame) const noexcept {
        return valid() ? anchorBeat + static_cast<double>(frame - anchorFrame) / framesPerBeat
                       : anchorBeat;
    }
    // The frame of beat `beat`, rounded to the nearest: the one every caller gets for it.
    std::int64_t frameOfBeat(double beat) const noexcept {
        return anchorFrame + std::llround((beat - anchorBeat) * framesPerBeat);
    }
};

} // namespace mt
