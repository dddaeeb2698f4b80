#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mt {

// One event of a standard MIDI file, placed on the song's merged timeline.
struct SmfEvent {
    enum class Kind : std::uint8_t { Channel, Sysex, Tempo };

    std::uint32_t tick = 0; // from the start of the song
    Kind kind = Kind::Channel;
    std::uint8_t status = 0; // channel events: 0x80..0xEF
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint32_t value = 0;  // tempo: microseconds per quarter; sysex: offset into sysexBytes
    std::uint32_t length = 0; // sysex: byte count without F0 and the closing F7
};

// A whole standard MIDI file read into memory: its timing, its title and every event of every
// track merged by tick (events of one tick keep track order, so the conductor track's tempo
// comes before the notes it governs). Built on the UI thread; read-only afterwards, so the
// audio thread may walk it while the UI thread holds it.
struct SmfSong {
    static constexpr std::uint32_t kDefaultTempo = 500000; // 120 BPM

    // Ticks per quarter note. For SMPTE-timed files: ticks per half second, so that the
    // song plays at real time under the fixed 120 BPM such files get.
    std::int32_t resolution = 0;
    bool smpte = false;
    QByteArray titleBytes; // as stored: the first track name, else the first text event
    QString title;         // titleBytes decoded (UTF-8 when valid, else Shift_JIS)
    std::vector<SmfEvent> events;
    std::vector<std::uint8_t> sysexBytes;
    std::uint32_t endTick = 0; // the last end-of-track (or last event) of any track

    // Microseconds per quarter at tick 0: the first tempo event there, else 120 BPM.
    std::uint32_t initialTempo() const noexcept;
};

// Reads a standard MIDI file image. False (and `song` unspecified) when it is not one: no
// "MThd" header, a header cut short or longer than the file, a format other than 0, 1 or 2,
// or a division of 0. A track cut short, a chunk length
// past the end, an unknown chunk or a malformed event ends that track with what was valid
// before it; such a file still loads and plays what it holds. Never reads outside
// [data, data + size); ticks past 2^31 - 1 are dropped.
bool ParseSmf(const std::uint8_t* data, std::size_t size, SmfSong& song);

// Decodes a title as MIDI files store them: UTF-8 when the bytes are valid UTF-8, otherwise
// Shift_JIS (the Japanese code page such files are written in), Latin-1 as a last resort.
QString DecodeSmfText(const QByteArray& bytes);

} // namespace mt
