#pragma once

#include "audio/SoundFormat.h"

#include <QString>

namespace mt {

struct WavInfo;

// One-line format texts of a WAV file. Short (style 0): "44kHz,16bit,S" with the rate as a
// whole kilohertz from the list 48/44/22/11 (any other rate gives 0). Long (style 1):
// "44.1kHz,16ビット,ステレオ". One channel is mono; any other count is stereo.
QString FormatWavInfo(const WavInfo& info, int style);

// The same texts for a file in any format the tracks play: a WAV file's exactly as above; any
// other leaves out the bits where the format has none (Ogg Vorbis, Opus, MP3) and ends with
// the format's name: "44kHz,16bit,S,FLAC", "48kHz,S,Opus"; "44.1kHz,ステレオ,MP3".
QString FormatSoundInfo(const WavInfo& info, SoundFormat format, int style);

// Reads the file's headers each time (ReadSoundInfo). A file that cannot be read gives ""
// (nothing to show), as does a style other than 0 or 1. UI thread; blocks on the header read.
QString FormatWavInfo(const QString& path, int style);

} // namespace mt
