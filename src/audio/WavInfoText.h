#pragma once

#include <QString>

namespace mt {

struct WavInfo;

// One-line format texts of a WAV file. Short (style 0): "44kHz,16bit,S" with the rate as a
// whole kilohertz from the list 48/44/22/11 (any other rate gives 0). Long (style 1):
// "44.1kHz,16ビット,ステレオ". One channel is mono; any other count is stereo.
QString FormatWavInfo(const WavInfo& info, int style);

// Reads the file's headers each time. A file that cannot be read gives "" (nothing to show),
// as does a style other than 0 or 1. UI thread; blocks on the header read.
QString FormatWavInfo(const QString& path, int style);

} // namespace mt
