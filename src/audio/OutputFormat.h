#pragma once

#include <cstdint>

namespace mt {

// The performer's chosen output format, as stored in the settings. Values read back are used
// as they are, even ones the sound-quality window does not offer.
struct OutputFormat {
    std::int32_t QuSample = 22050; // Hz
    std::int16_t QuBit = 16;       // bits per sample
    std::int16_t QuSm = 2;         // channels: 2 stereo, 1 mono
};

} // namespace mt
