#pragma once

#include <cstdint>

namespace mt {

// The sample format and length of a WAV file, as its headers state them.
struct WavInfo {
    std::int16_t formatTag = 0; // 1 = PCM
    std::int16_t channels = 0;
    std::int32_t samplesPerSec = 0;
    std::int32_t avgBytesPerSec = 0;
    std::int16_t blockAlign = 0;
    std::int16_t bitsPerSample = 0;
    std::int32_t frameCount = 0; // sample frames
};

} // namespace mt
