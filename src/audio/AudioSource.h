#pragma once

#include <cstddef>

namespace mt {

// A further producer of sound mixed beside the sample voices (the CD stream, the MIDI synth).
// The engine owns the bus; a source adds into it.
class AudioSource {
public:
    virtual ~AudioSource() = default;

    // UI thread, while the engine is not rendering. May allocate: size everything here for
    // blocks of at most `maxBlockFrames` frames of `channels` interleaved channels.
    virtual void prepare(int sampleRate, int channels, std::size_t maxBlockFrames) = 0;

    // Audio thread only. Adds `frames` frames into the interleaved bus. Must not block,
    // allocate, lock or do I/O.
    virtual void renderAdd(float* interleaved, std::size_t frames) noexcept = 0;

    // UI thread, while the engine is not rendering. Drops any sound in flight.
    virtual void reset() = 0;
};

} // namespace mt
