#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

#include <cstddef>
#include <memory>

namespace mt {

// Decodes a whole WAV file image held in memory: PCM 8/16/24/32 bit, float, extensible,
// IMA/MS ADPCM, u-law, a-law. Files of more than two channels keep their first two. A
// truncated image yields the frames it holds. On failure returns null and sets `reason` to a
// Japanese sentence for the performer. Any thread except the audio thread: allocates the
// decoded samples, one pass, no copy of the image.
std::unique_ptr<SampleBuffer> DecodeWavImage(const void* image, std::size_t size, QString& reason);

} // namespace mt
