#pragma once

#include "audio/SampleBuffer.h"

#include <cstdint>

namespace mt {

// The playing state of one sound buffer, or of a fading tail cut from it. Plain data owned by
// the audio thread; every method is audio-thread only, never blocks and never allocates.
class Voice {
public:
    const SampleBuffer* buffer = nullptr;
    int slot = -1;          // the engine slot whose buffer this reads
    int output = -1;        // the track output it feeds beside the main pair; -1 none
    bool playing = false;   // advancing and audible
    bool loop = false;      // wraps at the end instead of falling silent
    bool fading = false;    // a tail: fades to silence, then finishes
    std::int64_t index = 0; // integer part of the read position, in buffer frames
    double frac = 0.0;      // fractional part, 0 <= frac < 1

    // Targets set by commands; the current values glide to them across the next block.
    double frequency = 0.0; // Hz: buffer frames per second of output
    float targetLeft = 1.0f;
    float targetRight = 1.0f;

    // Starts from the first frame with the targets applied at once (a fresh start has no old
    // level to glide from).
    void start(bool looping, double outputRate) noexcept;
    // As start, from buffer frame `from` (wrapped into the buffer): mid-sound, so the gains
    // rise from silence across the first block instead of being applied at once.
    void startFrom(std::int64_t from, bool looping, double outputRate) noexcept;

    // Snaps the current gains and speed to the targets; for a voice that is not sounding.
    void settle(double outputRate) noexcept;

    // Begins a fade to silence over `fadeFrames` output frames.
    void beginFade(int fadeFrames) noexcept;

    // 1 until a fade begins, then down to 0.
    float fadeLevel() const noexcept { return m_fade; }

    // Adds `frames` frames into the interleaved stereo bus, and the same values into `track`
    // (a second stereo bus) unless it is null; returns the largest absolute value it added.
    // Sets playing = false when a one-shot runs out or a fade completes.
    float renderAdd(float* bus, int frames, double outputRate, float* track = nullptr) noexcept;

private:
    float m_left = 1.0f;
    float m_right = 1.0f;
    double m_step = 1.0;
    float m_fade = 1.0f;
    float m_fadeStep = 0.0f;

    template <int Channels, bool Fading, bool Track>
    float render(float* bus, float* track, int frames, double targetStep) noexcept;
    template <bool Track>
    float renderTo(float* bus, float* track, int frames, double targetStep) noexcept;
};

} // namespace mt
