#pragma once

#include <cstdint>

namespace mt {

// The performer's chosen output format, as stored in the settings: only what the
// sound-quality window offers (44100, 22050 or 11025 Hz; 16 or 8 bits; stereo or mono).
struct OutputFormat {
    std::int32_t QuSample = 22050; // Hz
    std::int16_t QuBit = 16;       // bits per sample
    std::int16_t QuSm = 2;         // channels: 2 stereo, 1 mono

    // Each value that the window does not offer replaced by its default: a stored 1 Hz once
    // opened a stream that the sound system could not close again.
    OutputFormat offeredOnly() const {
        OutputFormat f = *this;
        if (f.QuSample != 44100 && f.QuSample != 22050 && f.QuSample != 11025) {
            f.QuSample = OutputFormat{}.QuSample;
        }
        if (f.QuBit != 16 && f.QuBit != 8) {
            f.QuBit = OutputFormat{}.QuBit;
        }
        if (f.QuSm != 2 && f.QuSm != 1) {
            f.QuSm = OutputFormat{}.QuSm;
        }
        return f;
    }
};

} // namespace mt
