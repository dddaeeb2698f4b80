#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace mt {

// The longest sound a render makes, in samples (frames × channels): 256 MiB of floats, some
// twelve minutes of 44.1 kHz stereo. A slow speed on a long file would ask for more.
inline constexpr std::int64_t kMaxRenderedSamples = std::int64_t{1} << 26;

// `source`'s sound stretched in time by `timeRatio` (2: twice as long, at half the tempo) and
// shifted in pitch by `pitchScale` (2: an octave up), with Rubber Band's finer (R3) engine in
// its offline mode, on the calling thread: a new buffer of the same rate and channels,
// round(frames × timeRatio) frames long, its overview made. `progress(fraction)` comes now
// and then with the share done; false from it cancels: null with an empty reason. Null with a
// Japanese reason for a sound it cannot make (longer than kMaxRenderedSamples, a ratio that is
// not finite and positive). An empty source gives an empty buffer.
std::unique_ptr<SampleBuffer> RenderStretched(const SampleBuffer& source, double timeRatio,
                                              double pitchScale,
                                              const std::function<bool(double fraction)>& progress,
                                              QString& reason);

} // namespace mt
