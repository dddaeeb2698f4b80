#include "media/cd/CdStream.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

constexpr int kFrameBits = 40;
constexpr std::uint64_t kFrameMask = (std::uint64_t{1} << kFrameBits) - 1;
constexpr std::uint32_t kGenerationMask = (1u << (64 - kFrameBits)) - 1;
constexpr float kSampleScale = 1.0f / 32768.0f;

} // namespace

void CdStream::request(std::uint32_t generation, bool playing) noexcept {
    m_request.store((std::uint64_t{generation} << 1) | (playing ? 1u : 0u),
                    std::memory_order_release);
}

void CdStream::setChannel(int channel, bool on) noexcept {
    m_channelOn[static_cast<std::size_t>(channel)].store(on, std::memory_order_relaxed);
}

std::int64_t CdStream::playedFrame(std::uint32_t generation) const noexcept {
    const std::uint64_t p = m_played.load(std::memory_order_acquire);
    if ((p >> kFrameBits) != (generation & kGenerationMask)) {
        return -1;
    }
    return static_cast<std::int64_t>(p & kFrameMask);
}

bool CdStream::ended(std::uint32_t generation) const noexcept {
    return m_endedGeneration.load(std::memory_order_acquire) == generation + 1;
}

void CdStream::prepare(int sampleRate) {
    const int rate = std::max(sampleRate, 1);
    m_step = static_cast<double>(CdDisc::kSampleRate) / rate;
    m_rampStep = static_cast<float>(1.0 / std::max(1.0, kFadeSeconds * rate));
}

void CdStream::reset() noexcept {
    m_gain = 0.0f;
    m_s0 = {};
    m_s1 = {};
}

void CdStream::switchTo(std::uint32_t generation) noexcept {
    m_generation = generation;
    m_primed = false;
    m_ended = false;
    m_chunkPos = 0;
    m_phase = 0.0;
    m_s0 = {};
    m_s1 = {};
}

void CdStream::dropStale(std::uint32_t requested) noexcept {
    for (const CdChunk* c = m_ring.front(); c != nullptr; c = m_ring.front()) {
        if (c->generation == m_generation || c->generation == requested) {
            return;
        }
        m_ring.pop();
        m_chunkPos = 0;
    }
}

bool CdStream::advance(std::uint32_t requested) noexcept {
    m_s0 = m_s1;
    if (m_ended) {
        m_s1 = {};
        return true;
    }
    dropStale(requested);
    const CdChunk* c = m_ring.front();
    if (c == nullptr || c->generation != m_generation) {
        m_s1 = {};
        return false;
    }
    if ((c->flags & CdChunk::kEnd) != 0) {
        m_ended = true;
        m_nextFrame = std::int64_t{c->sector} * CdDisc::kFramesPerSector;
        m_endedGeneration.store(m_generation + 1, std::memory_order_release);
        m_ring.pop();
        m_s1 = {};
        m_primed = true;
        return true;
    }
    m_s1 = {c->samples[2 * m_chunkPos] * kSampleScale,
            c->samples[2 * m_chunkPos + 1] * kSampleScale};
    m_nextFrame = std::int64_t{c->sector} * CdDisc::kFramesPerSector +
                  static_cast<std::int64_t>(m_chunkPos) + 1;
    m_primed = true;
    if (++m_chunkPos == CdDisc::kFramesPerSector) {
        m_chunkPos = 0;
        m_ring.pop();
    }
    return true;
}

void CdStream::renderAdd(float* bus, std::size_t frames) noexcept {
    const std::uint64_t req = m_request.load(std::memory_order_acquire);
    const auto requested = static_cast<std::uint32_t>(req >> 1);
    const bool playing = (req & 1u) != 0;
    const std::array<float, 2> channelTarget = {
        m_channelOn[0].load(std::memory_order_relaxed) ? 1.0f : 0.0f,
        m_channelOn[1].load(std::memory_order_relaxed) ? 1.0f : 0.0f};
    dropStale(requested);

    bool underran = false;
    for (std::size_t n = 0; n < frames; ++n) {
        if (m_generation != requested && m_gain <= 0.0f) {
            switchTo(requested);
        }
        const bool wanted = m_generation == requested && playing && !m_ended;
        if (!wanted && m_gain <= 0.0f) {
            break; // holding the place: nothing is consumed
        }
        m_gain = wanted ? std::min(1.0f, m_gain + m_rampStep) : std::max(0.0f, m_gain - m_rampStep);
        for (std::size_t ch = 0; ch < 2; ++ch) {
            float& g = m_channelGain[ch];
            g = g < channelTarget[ch] ? std::min(channelTarget[ch], g + m_rampStep)
                                      : std::max(channelTarget[ch], g - m_rampStep);
            const auto phase = static_cast<float>(m_phase);
            const float x = m_s0[ch] + (m_s1[ch] - m_s0[ch]) * phase;
            bus[2 * n + ch] += x * m_gain * g;
        }
        m_phase += m_step;
        while (m_phase >= 1.0) {
            m_phase -= 1.0;
            if (!advance(requested) && m_primed && wanted) {
                underran = true;
            }
        }
    }
    if (underran) {
        m_underruns.fetch_add(1, std::memory_order_relaxed);
    }
    if (m_primed) {
        m_played.store((std::uint64_t{m_generation & kGenerationMask} << kFrameBits) |
                           (static_cast<std::uint64_t>(m_nextFrame) & kFrameMask),
                       std::memory_order_release);
    }
}

} // namespace mt
