#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

namespace mt {

// Decodes a whole sound file image held in memory. WAV: PCM 8/16/24/32 bit, float,
// extensible, IMA/MS ADPCM, u-law, a-law; a truncated image yields the frames it holds. FLAC,
// Ogg Vorbis, Opus, MP3 and AIFF: all of the length the stream declares, or nothing when it is
// cut or damaged (a frame its decoder refuses, a sample beyond any level a decoder makes);
// nothing half-decoded ever plays. Files of more than two channels keep their first two. On
// failure returns null and sets `reason` to a Japanese sentence for the performer. Any thread
// except the audio thread: allocates the decoded samples, one pass, no copy of the image.
std::unique_ptr<SampleBuffer> DecodeWavImage(const void* image, std::size_t size, QString& reason);

// Told the fraction of the frames decoded so far (0..1) between chunks of a decode; returning
// false abandons it.
using DecodeProgress = std::function<bool(double fraction)>;

// As DecodeWavImage, from the file at `path`, read a chunk at a time: what it holds at once is
// the decoded samples and libsndfile's read buffer, never the file's image. The result is
// sample for sample the image decode's. A path that is no regular file gives null with
// `reason` empty; one that cannot be opened or read, the system's text. Abandoned through
// `progress`: null, `reason` empty. Any thread except the audio thread; blocks while it reads.
std::unique_ptr<SampleBuffer> DecodeSoundFile(const QString& path, QString& reason,
                                              const DecodeProgress& progress = {});

} // namespace mt
