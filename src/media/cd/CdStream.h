#pragma once

#include "audio/AudioSource.h"
#include "media/cd/CdChunkRing.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mt {

// The disc's sound between the reader thread and the engine. The reader fills the ring with
// sectors tagged by the generation of the play or seek request they were read for; the audio
// thread plays the requested generation, drops stale sectors, and publishes where it is.
//
// Every change is ramped: starting, pausing and moving to another place fade over kFadeSeconds
// (a move fades the old place out before the new one fades in), and each channel's on/off
// glides the same way. An empty ring while playing is an underrun: silence, counted, never
// waited for. The sound is resampled linearly from 44.1 kHz to the engine's rate.
class CdStream {
public:
    static constexpr std::size_t kRingSectors = 128; // 1.7 s read ahead
    static constexpr double kFadeSeconds = 0.005;
    using Ring = CdChunkRing<kRingSectors>;

    // UI thread. Never blocks. From the next block on, sound `generation` when `playing`, else
    // fade to silence and hold the place.
    void request(std::uint32_t generation, bool playing) noexcept;
    // UI thread. Never blocks. Channel 0 = left, 1 = right.
    void setChannel(int channel, bool on) noexcept;

    // Any thread. Never blocks. How far `generation` has played: the disc frame (44.1 kHz
    // frames from sector 0) after the last one taken from the ring, or -1 while that
    // generation has not started sounding.
    std::int64_t playedFrame(std::uint32_t generation) const noexcept;
    // Any thread. Never blocks. Whether `generation` has played up to its end marker.
    bool ended(std::uint32_t generation) const noexcept;
    // Any thread. Never blocks. Blocks in which the ring ran dry while playing.
    std::uint64_t underruns() const noexcept { return m_underruns.load(std::memory_order_relaxed); }

    // The reader's side of the ring. Reader thread only.
    Ring& ring() noexcept { return m_ring; }

    // UI thread, while the engine is not rendering.
    void prepare(int sampleRate);
    void reset() noexcept;
    // Audio thread only. Never blocks, locks or allocates. Adds into the stereo bus.
    void renderAdd(float* bus, std::size_t frames) noexcept;

private:
    void switchTo(std::uint32_t generation) noexcept;
    void dropStale(std::uint32_t requested) noexcept;
    // Moves s1 into s0 and fetches the next frame into s1; false when the ring ran dry.
    bool advance(std::uint32_t requested) noexcept;

    Ring m_ring;
    std::atomic<std::uint64_t> m_request{0}; // generation << 1 | playing
    std::array<std::atomic<bool>, 2> m_channelOn{true, true};
    std::atomic<std::uint64_t> m_played{~std::uint64_t{0}}; // generation << 40 | disc frame
    std::atomic<std::uint32_t> m_endedGeneration{0};        // generation + 1; 0 = none
    std::atomic<std::uint64_t> m_underruns{0};

    // Audio thread only (and prepare/reset while nothing renders).
    double m_step = 1.0; // disc frames per output frame
    float m_rampStep = 1.0f;
    std::uint32_t m_generation = 0;
    bool m_primed = false; // the generation's first sector has arrived
    bool m_ended = false;
    std::size_t m_chunkPos = 0;
    double m_phase = 0.0;
    std::array<float, 2> m_s0{};
    std::array<float, 2> m_s1{};
    std::int64_t m_nextFrame = 0; // the disc frame after the last one taken
    float m_gain = 0.0f;
    std::array<float, 2> m_channelGain{1.0f, 1.0f};
};

// The stream as the engine sees it. The sound library owns and deletes its sources (also when
// it is terminated), so the device hands it this adapter and keeps the stream itself.
class CdStreamSource final : public AudioSource {
public:
    explicit CdStreamSource(std::shared_ptr<CdStream> stream) : m_stream(std::move(stream)) {}
    void prepare(int sampleRate, int /*channels*/, std::size_t /*maxBlockFrames*/) override {
        m_stream->prepare(sampleRate);
    }
    void renderAdd(float* interleaved, std::size_t frames) noexcept override {
        m_stream->renderAdd(interleaved, frames);
    }
    void reset() override { m_stream->reset(); }

private:
    std::shared_ptr<CdStream> m_stream;
};

} // namespace mt
