#pragma once

#include <array>
#include <cstdint>

namespace mt {

// Where a quantised track's start lands: the next grid point of this size after the press.
// Off starts at once, as a track always did.
enum class Quantise : std::uint8_t { Off, Sixteenth, Eighth, Beat, Bar, TwoBars, FourBars };
inline constexpr int kQuantiseCount = 7;

// What a set holds for one track beyond its block of the setting file.
struct TrackExtras {
    Quantise quantise = Quantise::Off;
    bool stopOnGrid = false; // a stop waits for the next grid point too; holds never do

    bool operator==(const TrackExtras&) const = default;
};

// Everything a set holds beyond the setting file's 72 lines: the companion file beside it.
struct SetExtras {
    std::array<TrackExtras, 8> tracks{};

    bool operator==(const SetExtras&) const = default;
};

} // namespace mt
