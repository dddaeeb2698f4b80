#pragma once

#include <QByteArray>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace mt::test {

// Writes standard MIDI files byte by byte for tests: tracks of timed events, the header and
// the chunk lengths filled in, nothing checked (malformed files are written just as easily).
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

// The usual test song at 480 ticks per quarter: tempo `bpm` at tick 0, track name `title`,
// a drawbar organ (program 16) on channel 0 holding A4 (440 Hz) for `bars` bars of four
// beats, end of track there.
QByteArray HeldNoteSong(int bpm, int bars, const QByteArray& title = "Test Song");

// As HeldNoteSong, but A4 struck on every beat and held for three quarters of it: a song
// that sounds again soon after whatever silenced it.
QByteArray BeatSong(int bpm, int bars);

} // namespace mt::test
