#include "audio/WaveOverview.h"

#include "audio/SampleBuffer.h"

#include <algorithm>

namespace mt {

WaveOverview::Span WaveOverview::span(int first, int end) const noexcept {
    first = std::max(first, 0);
    end = std::min(end, columns());
    if (first >= end) {
        return {};
    }
    const auto a = low.begin() + first;
    const auto b = high.begin() + first;
    return {*std::min_element(a, a + (end - first)), *std::max_element(b, b + (end - first))};
}

std::shared_ptr<const WaveOverview> MakeWaveOverview(const float* samples, std::int64_t frames,
                                                     int channels) {
    auto overview = std::make_shared<WaveOverview>();
    if (samples == nullptr || frames <= 0 || channels < 1 || channels > 2) {
        return overview;
    }
    const auto columns = static_cast<int>(std::min<std::int64_t>(WaveOverview::kColumns, frames));
    overview->frames = frames;
    overview->low.resize(static_cast<std::size_t>(columns));
    overview->high.resize(static_cast<std::size_t>(columns));
    std::int64_t from = 0;
    for (int c = 0; c < columns; ++c) {
        const std::int64_t to = (c + 1) * frames / columns; // every column holds a frame
        float lo = 1e30f;
        float hi = -1e30f;
        if (channels == 1) {
            for (std::int64_t i = from; i < to; ++i) {
                lo = std::min(lo, samples[i]);
                hi = std::max(hi, samples[i]);
            }
        } else {
            for (std::int64_t i = from; i < to; ++i) {
                const float mix = 0.5f * (samples[2 * i] + samples[2 * i + 1]);
                lo = std::min(lo, mix);
                hi = std::max(hi, mix);
            }
        }
        overview->low[static_cast<std::size_t>(c)] = lo;
        overview->high[static_cast<std::size_t>(c)] = hi;
        from = to;
    }
    return overview;
}

std::shared_ptr<const WaveOverview> MakeWaveOverview(const SampleBuffer& buffer) {
    return MakeWaveOverview(buffer.data(), buffer.frames(), buffer.channels());
}

} // namespace mt
