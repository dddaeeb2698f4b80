#pragma once

#include <cstdint>

namespace mt {

// How a note's velocity shapes the level of the track it fires, as a gain in hundredths of a
// dB (the unit of the track's volume) added on top of the track's own volume.
struct VelocityCurve {
    enum class Kind : std::uint8_t {
        Fixed,  // every velocity gives fixedCentiDb
        Linear, // dB linear in velocity: 127 gives 0, 1 gives -rangeCentiDb
        Soft,   // the same ends, bowed up: light touches stay loud
    };
    Kind kind = Kind::Linear;
    int rangeCentiDb = 1200; // 12 dB: velocity 64 plays 6 dB under 127
    int fixedCentiDb = 0;

    static constexpr int kMaxRangeCentiDb = 7000; // the volume bar's whole range
};

// The gain for a note-on of `velocity` (1..127; 0 and beyond 127 are clamped), in hundredths
// of a dB, never above 0 nor below -kMaxRangeCentiDb. Pure; any thread.
int VelocityGainCentiDb(const VelocityCurve& curve, int velocity);

} // namespace mt
