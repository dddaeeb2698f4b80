#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace mt {

// The file formats a track or the browser's preview plays.
enum class SoundFormat { Wav, Flac, OggVorbis, Opus, Mp3, Aiff };

// The format of a libsndfile format code (major type and subtype), or none for a format the
// tracks do not play (CAF, AU, RF64, Ogg FLAC, ...). WAV covers WAVE_FORMAT_EXTENSIBLE; AIFF
// covers AIFF-C.
std::optional<SoundFormat> SoundFormatOf(int sndfileFormat);

// The format's name as the information texts show it: "WAV", "FLAC", "Ogg Vorbis", "Opus",
// "MP3", "AIFF".
QString SoundFormatName(SoundFormat format);

// Bits per sample of a libsndfile subtype that stores them (PCM 8 to 32 bit, float, double);
// 0 for a lossy codec, which has none.
int SubtypeBits(int sndfileFormat);

// How many frames a stream may decode short of the length it declares without being cut off.
// MP3 without a length tag declares an estimate from the file size, off by up to a frame of
// 1152; the other formats state their length exactly.
std::int64_t DeclaredLengthSlack(SoundFormat format);

// The frame count an AIFF or AIFF-C file's "COMM" chunk declares, found by walking the chunks
// of `head` (the file's first bytes); none when `head` is not AIFF or holds no "COMM". libsndfile
// clamps its count to the samples present, so a cut file is only seen against this one.
std::optional<std::int64_t> AiffDeclaredFrames(const unsigned char* head, std::size_t size);

// The browser's name patterns for the six formats' usual extensions (matched without regard
// to case by QDir).
QStringList SoundFileNameFilters();

} // namespace mt
