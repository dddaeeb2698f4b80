#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace mt::test {

// Builders for RIFF/WAVE images, little-endian as on disk.
QByteArray Le16(std::int32_t value);
QByteArray Le32(std::int64_t value);
QByteArray Chunk(const char* id, const QByteArray& body);
QByteArray Chunk(const char* id, std::int64_t declaredSize, const QByteArray& body);
QByteArray FmtBody(int formatTag, int channels, int rate, int bits, int extraBytes = 0);

// A canonical PCM file: RIFF, WAVE, fmt, data with `dataBytes` bytes of a repeating ramp.
QByteArray PcmWav(int channels, int rate, int bits, int dataBytes);

// Writes bytes to a file; returns false on failure.
bool WriteFile(const QString& path, const QByteArray& bytes);

} // namespace mt::test
