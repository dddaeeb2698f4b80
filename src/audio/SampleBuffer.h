#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace mt {

struct WaveOverview;

// Decoded sample frames of one sound buffer: 32-bit float, interleaved, one or two channels,
// full scale = 1.0. Immutable once built, so the audio thread may read it while the UI thread
// holds it; the UI thread owns it and deletes it only after the engine has returned it.
class SampleBuffer {
public:
    // Storage for `frames` frames, left uninitialised for the decoder to fill.
    SampleBuffer(std::int64_t frames, int channels, int sampleRate);

    const float* data() const noexcept { return m_samples.get(); }
    float* data() noexcept { return m_samples.get(); }
    std::int64_t frames() const noexcept { return m_frames; }
    int channels() const noexcept { return m_channels; }
    int sampleRate() const noexcept { return m_sampleRate; }

    // Decoder only: the frames actually delivered when fewer arrived than the header declared.
    // Never grows the buffer.
    void truncate(std::int64_t frames) noexcept;

    // The outline views draw, made where the samples were decoded; null for none. Set before
    // the buffer is handed on, read-only after.
    const std::shared_ptr<const WaveOverview>& overview() const noexcept { return m_overview; }
    void setOverview(std::shared_ptr<const WaveOverview> overview) noexcept {
        m_overview = std::move(overview);
    }

private:
    std::unique_ptr<float[]> m_samples;
    std::int64_t m_frames;
    int m_channels;
    int m_sampleRate;
    std::shared_ptr<const WaveOverview> m_overview;
};

} // namespace mt
