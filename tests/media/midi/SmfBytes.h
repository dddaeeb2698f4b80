#pragma once

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace mt::test {

// Standard MIDI files byte by byte, lengths filled in, nothing checked (malformed ones too).
class SmfTrack {
public:
    // Each call appends one event `delta` ticks after the previous one.
    SmfTrack& raw(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes);
    SmfTrack& noteOn(std::uint32_t delta, int channel, int key, int velocity = 100);
    SmfTrack& noteOff(std::uint32_t delta, int channel, int key);
    SmfTrack& program(std::uint32_t delta, int channel, int program);
    SmfTrack& tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter);
    SmfTrack& meta(std::uint32_t delta, int type, const QByteArray& text);
    SmfTrack& sysex(std::uint32_t delta, std::initializer_list<std::uint8_t> body); // F0 .. F7
    SmfTrack& end(std::uint32_t delta = 0);

    const QByteArray& bytes() const { return m_bytes; }

private:
    void delta(std::uint32_t ticks);
    QByteArray m_bytes;
};

// "MThd" of the given format and division, then one "MTrk" per track.
QByteArray Smf(std::uint16_t division, const std::vector<SmfTrack>& tracks,
               std::uint16_t format = 1);

// 480 per quarter, tempo `bpm`, name `title`: an organ (program 16) holding A4 for `bars` 4/4
// bars.
QByteArray HeldNoteSong(int bpm, int bars, const QByteArray& title = "Test Song");

// As HeldNoteSong, A4 struck every beat for three quarters of it: soon heard again.
QByteArray BeatSong(int bpm, int bars);

// Writes `song` into `dir` under a name not used before; the file's path.
QString WriteSong(const QTemporaryDir& dir, const QByteArray& song);

} // namespace mt::test
