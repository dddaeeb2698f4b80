#include "audio/SampleBuffer.h"

#include <algorithm>

namespace mt {

SampleBuffer::SampleBuffer(std::int64_t frames, int channels, int sampleRate)
    // No zeroing pass: the decoder writes every frame it keeps.
    : m_samples(std::make_unique_for_overwrite<float[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(frames, 1) * channels))),
      m_frames(frames), m_channels(channels), m_sampleRate(sampleRate) {}

void SampleBuffer::truncate(std::int64_t frames) noexcept {
    m_frames = std::clamp<std::int64_t>(frames, 0, m_frames);
}

} // namespace mt
