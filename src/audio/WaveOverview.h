#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace mt {

class SampleBuffer;

// A sound's outline for drawing: the lowest and the highest sample of its channel mix (the
// mean of its channels) over each of up to kColumns equal stretches of its frames. Built once,
// where the sound is decoded, and immutable after, so any thread may read it and every view
// shares one. Column c covers frames [c * frames / columns, (c + 1) * frames / columns).
struct WaveOverview {
    static constexpr int kColumns = 1024;

    std::int64_t frames = 0; // the length the columns divide
    std::vector<float> low;  // per column, full scale = 1.0
    std::vector<float> high;

    int columns() const noexcept { return static_cast<int>(low.size()); }

    // The lowest and the highest over columns [first, end), as a drawing of fewer pixels than
    // columns needs them. Empty or out-of-range spans give 0, 0.
    struct Span {
        float low = 0.0f;
        float high = 0.0f;
    };
    Span span(int first, int end) const noexcept;
};

// One pass over interleaved float frames of one or two channels: min(kColumns, frames)
// columns. Any thread but the audio thread; allocates the columns.
std::shared_ptr<const WaveOverview> MakeWaveOverview(const float* samples, std::int64_t frames,
                                                     int channels);
std::shared_ptr<const WaveOverview> MakeWaveOverview(const SampleBuffer& buffer);

} // namespace mt
