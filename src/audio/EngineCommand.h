#pragma once

#include <cstdint>

namespace mt {

class AudioSource;
class SampleBuffer;

// One request from the UI thread to the audio thread; small and trivially copyable so the
// command ring moves it by value.
struct EngineCommand {
    enum class Kind : std::uint8_t {
        Attach,       // slot starts holding `buffer` (silent, rewound)
        Release,      // slot lets go of its buffer; it fades if sounding, then is returned
        Play,         // restart from the first frame with gains, frequency and `loop`
        Stop,         // fade out and rewind
        SetGain,      // glide to gainLeft/gainRight across the next block
        SetFrequency, // glide to `frequency` across the next block
        AddSource,    // mix `source` from the next block on
        RemoveSource, // stop mixing `source`; it is returned
        Cancel,       // drop the slot's Play and Stop still waiting for their frame
        Route,        // the slot's voice, and the tails cut from it from now on, feed `output`
    };

    Kind kind = Kind::Stop;
    bool loop = false;
    std::uint16_t slot = 0;
    // Route: the track output (0..Engine::kTrackOutputs - 1) the slot's sound also plays
    // into beside the main pair; -1 for the main pair only.
    std::int8_t output = -1;
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    double frequency = 0.0;
    // Play and Stop: the output frame (Engine::frameCount's) to act at, inside the block that
    // holds it; below 0, or a frame already mixed, acts at the top of the next block.
    std::int64_t atFrame = -1;
    std::int64_t startIndex = 0; // Play: the buffer frame to start from (a loop's phase)
    const SampleBuffer* buffer = nullptr;
    AudioSource* source = nullptr;
};

// Something the audio thread has finished with; the UI thread deletes or reuses it.
struct EngineReturn {
    enum class Kind : std::uint8_t { SlotFree, SourceRemoved };

    Kind kind = Kind::SlotFree;
    std::uint16_t slot = 0;
    AudioSource* source = nullptr;
};

} // namespace mt
