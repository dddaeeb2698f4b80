#pragma once

#include <cstdint>

namespace mt {

// What a meter or a waveform view may read about one slot, at any time, from any thread.
struct VoiceStatus {
    bool playing = false;
    std::int64_t position = 0; // buffer frames from the start
    // The largest absolute output of the slot's voice, after gain and pan, over the last
    // Engine::kMeterWindowSeconds to twice that: a reader at least that often misses no peak.
    float peak = 0.0f;
};

} // namespace mt
