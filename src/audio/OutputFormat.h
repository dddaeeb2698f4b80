#pragma once

#include <cstdint>

namespace mt {

// The performer's chosen output format, as stored in the settings: only what the
// sound-quality window offers (44100, 22050 or 11025 Hz; 16 or 8 bits; stereo or mono).
struct OutputFormat {
    std::int32_t sampleRate = 22050; // Hz
    std::int16_t bits = 16;          // bits per sample
    std::int16_t channels = 2;       // channels: 2 stereo, 1 mono

    // Each value that the window does not offer replaced by its default: a stored 1 Hz once
    // opened a stream that the sound system could not close again.
    OutputFormat offeredOnly() const {
        OutputFormat f = *this;
        if (f.sampleRate != 44100 && f.sampleRate != 22050 && f.sampleRate != 11025) {
            f.sampleRate = OutputFormat{}.sampleRate;
        }
        if (f.bits != 16 && f.bits != 8) {
            f.bits = OutputFormat{}.bits;
        }
        if (f.channels != 2 && f.channels != 1) {
            f.channels = OutputFormat{}.channels;
        }
        return f;
    }
};

} // namespace mt
