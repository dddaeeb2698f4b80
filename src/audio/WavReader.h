#pragma once

#include "audio/WavInfo.h"

#include <QString>

namespace mt {

// Walks the RIFF chunks of the file just far enough to learn its format and length in frames;
// the samples are never read, so a 2 GB file costs what a 2 kB one does. The walk stops at the
// first "fact" chunk (its sample count) or "data" chunk (size / bytes per sample / channels,
// halves to even). A "data" chunk that declares more bytes than the file holds (a cut file, or
// 0xFFFFFFFF from a streaming writer) counts the whole frames actually present. Returns false,
// leaving `info` untouched, when the file cannot be opened, ends or lies before such a chunk
// (a size that is negative or runs past the end, an "fmt " shorter than 16 bytes), reaches
// "fact" with no usable channels or rate, or "data" with no usable channels, bits or rate or
// not one whole frame behind a size that runs past the end.
// Any thread. Blocks on file reads.
bool ReadWavInfo(const QString& path, WavInfo& info);

} // namespace mt
