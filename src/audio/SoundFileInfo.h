#pragma once

#include "audio/SoundFormat.h"

#include <QString>

namespace mt {

struct WavInfo;

// The format and length of a sound file in any of the formats the tracks play. A file that
// begins "RIFF", or that libsndfile does not take for FLAC, Ogg Vorbis, Opus, MP3 or AIFF, is
// read by ReadWavInfo exactly as before. Any other is described from its own headers:
// `formatTag`, `avgBytesPerSec` and `blockAlign` 0; `bitsPerSample` where the format stores
// samples of a width (FLAC, AIFF), else 0; `frameCount` the length the stream declares.
// Returns false, `info` untouched, for a file that cannot be read, states no usable rate,
// channels or length, or shows in its headers that it was cut: an Ogg stream without its
// end-of-stream page, an AIFF whose sample data stops before the length its "COMM" chunk
// declares. A cut FLAC or MP3 declares its whole length; only decoding finds the cut (seeking
// to the last frame instead took libFLAC up to seconds). `format`, when given, receives the
// format on success. Any thread. Blocks on reading the headers (an Ogg stream's last page).
bool ReadSoundInfo(const QString& path, WavInfo& info, SoundFormat* format = nullptr);

} // namespace mt
