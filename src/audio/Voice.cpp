#include "audio/Voice.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

// Four-point, third-order Hermite (Catmull-Rom) through xm1, x0, x1, x2 at t in [0, 1).
inline float hermite(float xm1, float x0, float x1, float x2, float t) noexcept {
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * t + c2) * t + c1) * t + x0;
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

void Voice::settle(double outputRate) noexcept {
    m_left = targetLeft;
    m_right = targetRight;
    m_step = frequency / outputRate;
}

void Voice::beginFade(int fadeFrames) noexcept {
    fading = true;
    m_fadeStep = m_fade / static_cast<float>(std::max(fadeFrames, 1));
}

float Voice::renderAdd(float* bus, int frames, double outputRate) noexcept {
    if (!playing || buffer == nullptr) {
        return 0.0f;
    }
    const double targetStep = frequency / outputRate;
    return buffer->channels() == 1 ? render<1>(bus, frames, targetStep)
                                   : render<2>(bus, frames, targetStep);
}

template <int Channels> float Voice::render(float* bus, int frames, double targetStep) noexcept {
    const float* s = buffer->data();
    const std::int64_t length = buffer->frames();
    const float inv = 1.0f / static_cast<float>(frames);
    const float dLeft = (targetLeft - m_left) * inv;
    const float dRight = (targetRight - m_right) * inv;
    const double dStep = (targetStep - m_step) / frames;
    float left = m_left;
    float right = m_right;
    double step = m_step;
    float fade = m_fade;
    const float fadeStep = fading ? m_fadeStep : 0.0f;
    float peak = 0.0f;
    std::int64_t i0 = index;
    double t = frac;
    bool ended = false;

    for (int n = 0; n < frames; ++n) {
        left += dLeft;
        right += dRight;
        step += dStep;
        fade -= fadeStep;
        if (fade <= 0.0f) {
            ended = true;
            break;
        }
        float a;
        float b;
        const auto ft = static_cast<float>(t);
        if (i0 >= 1 && i0 + 2 < length) {
            const float* p = s + (i0 - 1) * Channels;
            a = hermite(p[0], p[Channels], p[2 * Channels], p[3 * Channels], ft);
            b = Channels == 2 ? hermite(p[1], p[3], p[5], p[7], ft) : a;
        } else {
            const std::int64_t im1 = neighbour(i0 - 1, length, loop);
            const std::int64_t ip1 = neighbour(i0 + 1, length, loop);
            const std::int64_t ip2 = neighbour(i0 + 2, length, loop);
            a = hermite(s[im1 * Channels], s[i0 * Channels], s[ip1 * Channels], s[ip2 * Channels],
                        ft);
            b = Channels == 2
                    ? hermite(s[im1 * 2 + 1], s[i0 * 2 + 1], s[ip1 * 2 + 1], s[ip2 * 2 + 1], ft)
                    : a;
        }
        const float l = a * left * fade;
        const float r = b * right * fade;
        bus[2 * n] += l;
        bus[2 * n + 1] += r;
        peak = std::max(peak, std::max(std::fabs(l), std::fabs(r)));

        t += step;
        const auto whole = static_cast<std::int64_t>(t);
        i0 += whole;
        t -= static_cast<double>(whole);
        if (i0 >= length) {
            if (!loop) {
                ended = true;
                break;
            }
            i0 %= length;
        }
    }
    // The glide always lands exactly on its targets, even when the voice ended early.
    m_left = targetLeft;
    m_right = targetRight;
    m_step = targetStep;
    m_fade = std::max(fade, 0.0f);
    index = i0;
    frac = t;
    if (ended) {
        playing = false;
    }
    return peak;
}

} // namespace mt
