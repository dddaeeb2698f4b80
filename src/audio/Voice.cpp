#include "audio/Voice.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

// Left and right in the first two lanes of one SIMD register, so both sides of a frame cost
// one set of arithmetic (a GCC/Clang vector, lowered to SSE or NEON).
using Frame = float __attribute__((vector_size(16)));

// Four-point, third-order Hermite (Catmull-Rom) through xm1, x0, x1, x2 at t in [0, 1), in
// the factored form that needs the fewest operations.
inline Frame hermite(Frame xm1, Frame x0, Frame x1, Frame x2, float t) noexcept {
    const Frame c = 0.5f * (x1 - xm1);
    const Frame v = x0 - x1;
    const Frame w = c + v;
    const Frame a = w + v + 0.5f * (x2 - x0);
    const Frame bNeg = w + a;
    return ((a * t - bNeg) * t + c) * t + x0;
}

// Frame i of a buffer; a mono buffer feeds both sides.
template <int Channels> inline Frame frameAt(const float* s, std::int64_t i) noexcept {
    if constexpr (Channels == 2) {
        return Frame{s[2 * i], s[2 * i + 1], 0.0f, 0.0f};
    } else {
        return Frame{s[i], s[i], 0.0f, 0.0f};
    }
}

// The frame at `i` for the interpolator's neighbours: a loop wraps across the seam so the
// curve joins its last frames to its first; a one-shot holds its edge frames.
inline std::int64_t neighbour(std::int64_t i, std::int64_t frames, bool loop) noexcept {
    if (i >= 0 && i < frames) {
        return i;
    }
    if (!loop) {
        return i < 0 ? 0 : frames - 1;
    }
    const std::int64_t m = i % frames;
    return m < 0 ? m + frames : m;
}

} // namespace

void Voice::start(bool looping, double outputRate) noexcept {
    loop = looping;
    playing = buffer != nullptr && buffer->frames() > 0;
    fading = false;
    index = 0;
    frac = 0.0;
    m_fade = 1.0f;
    settle(outputRate);
}

void Voice::startFrom(std::int64_t from, bool looping, double outputRate) noexcept {
    start(looping, outputRate);
    if (!playing || from <= 0) {
        return;
    }
    index = from % buffer->frames();
    m_left = 0.0f;
    m_right = 0.0f;
}

void Voice::settle(double outputRate) noexcept {
    m_left = targetLeft;
    m_right = targetRight;
    m_step = frequency / outputRate;
}

void Voice::beginFade(int fadeFrames) noexcept {
    fading = true;
    m_fadeStep = m_fade / static_cast<float>(std::max(fadeFrames, 1));
}

float Voice::renderAdd(float* bus, int frames, double outputRate, float* track) noexcept {
    if (!playing || buffer == nullptr) {
        return 0.0f;
    }
    const double targetStep = frequency / outputRate;
    return track != nullptr ? renderTo<true>(bus, track, frames, targetStep)
                            : renderTo<false>(bus, track, frames, targetStep);
}

template <bool Track>
float Voice::renderTo(float* bus, float* track, int frames, double targetStep) noexcept {
    if (fading) {
        return buffer->channels() == 1 ? render<1, true, Track>(bus, track, frames, targetStep)
                                       : render<2, true, Track>(bus, track, frames, targetStep);
    }
    return buffer->channels() == 1 ? render<1, false, Track>(bus, track, frames, targetStep)
                                   : render<2, false, Track>(bus, track, frames, targetStep);
}

template <int Channels, bool Fading, bool Track>
float Voice::render(float* bus, float* track, int frames, double targetStep) noexcept {
    // The read position runs in 32.32 fixed point: an integer add per frame instead of a
    // float-to-integer round trip on the loop's critical path.
    constexpr double kOne = 4294967296.0;
    const float* s = buffer->data();
    const std::int64_t length = buffer->frames();
    const float inv = 1.0f / static_cast<float>(frames);
    Frame gain{m_left, m_right, 0.0f, 0.0f};
    const Frame dGain = (Frame{targetLeft, targetRight, 0.0f, 0.0f} - gain) * inv;
    auto inc = static_cast<std::int64_t>(m_step * kOne);
    const auto targetInc = static_cast<std::int64_t>(targetStep * kOne);
    const std::int64_t dInc = (targetInc - inc) / frames;
    float fade = m_fade;
    Frame peak{};
    std::int64_t pos = (index << 32) + static_cast<std::int64_t>(frac * kOne);
    bool ended = false;

    for (std::ptrdiff_t n = 0; n < frames; ++n) {
        gain += dGain;
        inc += dInc;
        if constexpr (Fading) {
            fade -= m_fadeStep;
            if (fade <= 0.0f) {
                ended = true;
                break;
            }
        }
        const std::int64_t i0 = pos >> 32;
        const float t = static_cast<float>(pos & 0xffffffff) * (1.0f / 4294967296.0f);
        Frame y;
        if (i0 >= 1 && i0 + 2 < length) {
            y = hermite(frameAt<Channels>(s, i0 - 1), frameAt<Channels>(s, i0),
                        frameAt<Channels>(s, i0 + 1), frameAt<Channels>(s, i0 + 2), t);
        } else {
            y = hermite(frameAt<Channels>(s, neighbour(i0 - 1, length, loop)),
                        frameAt<Channels>(s, i0),
                        frameAt<Channels>(s, neighbour(i0 + 1, length, loop)),
                        frameAt<Channels>(s, neighbour(i0 + 2, length, loop)), t);
        }
        if constexpr (Fading) {
            y *= fade;
        }
        const Frame out = y * gain;
        bus[2 * n] += out[0];
        bus[2 * n + 1] += out[1];
        if constexpr (Track) {
            track[2 * n] += out[0]; // the very values the main pair took
            track[2 * n + 1] += out[1];
        }
        const Frame square = out * out;
        peak = peak > square ? peak : square;

        pos += inc;
        if ((pos >> 32) >= length) {
            if (!loop) {
                ended = true;
                break;
            }
            pos = (((pos >> 32) % length) << 32) | (pos & 0xffffffff);
        }
    }
    // The glide always lands exactly on its targets, even when the voice ended early.
    m_left = targetLeft;
    m_right = targetRight;
    m_step = targetStep;
    m_fade = std::max(fade, 0.0f);
    index = pos >> 32;
    frac = static_cast<double>(pos & 0xffffffff) / kOne;
    if (ended) {
        playing = false;
    }
    return std::sqrt(std::max(peak[0], peak[1]));
}

} // namespace mt
