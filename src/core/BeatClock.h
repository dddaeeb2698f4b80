#pragma once

#include "core/BeatGrid.h"
#include "core/ExternalClock.h"
#include "core/FrameClock.h"
#include "core/ReferenceBar.h"
#include "files/SetExtras.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>

namespace mt {

// Where the beat clock takes its tempo from, one at a time. Typed: the sync window's field;
// Tap: the BPM counter's OK; ReferenceBar: the bar tempo matching follows (the CD's, or the
// MIDI song's while that is the reference). The last three are clocks outside the program
// (ExternalClock) whose beat the clock follows as well as their tempo: an Ableton Link
// session, MIDI clock from any input port, the JACK transport's timebase master. Stored by
// number: new ones go at the end.
enum class TempoSource : std::uint8_t { Typed, Tap, ReferenceBar, Link, MidiClock, JackTransport };

// True for the sources outside the program, whose beat is followed too.
constexpr bool IsExternal(TempoSource source) {
    return source == TempoSource::Link || source == TempoSource::MidiClock ||
           source == TempoSource::JackTransport;
}

// How the clock stands to an outside source while one is chosen. Following: its tempo (and
// while it rolls, its beat) are the clock's. FreeRunning: it is not there (no Link peer, no
// MIDI clock, no JACK timebase master, or none in this program): the clock runs on at the
// last tempo it had.
enum class FollowState : std::uint8_t { Own, Following, FreeRunning };

// The performance's beat clock: a tempo, beats per bar, and the beat position as a function of
// the output's frame. Beat 0 falls on a frame the clock chose (its anchor); bars start at
// every multiple of beatsPerBar. A tempo change keeps the beat position of the frame at which
// it happens, so the grid moves on from there without a jump. A grid point is a whole frame:
// every caller asking for the same point gets the same frame. Also the bar tempo matching
// can follow: beatsPerBar x 60 / bpm seconds. UI thread only.
class BeatClock final : public QObject, public ReferenceBar {
    Q_OBJECT

public:
    static constexpr double kMinBpm = 20.0;
    static constexpr double kMaxBpm = 300.0;
    static constexpr int kMaxBeatsPerBar = 16;

    explicit BeatClock(const FrameClock& frames);

    double bpm() const { return m_bpm; }
    int beatsPerBar() const { return m_beatsPerBar; }
    TempoSource source() const { return m_source; }

    // False, nothing changed, outside kMinBpm..kMaxBpm (or not a number).
    bool setBpm(double bpm);
    // Clamped to 1..kMaxBeatsPerBar.
    void setBeatsPerBar(int beats);
    void setSource(TempoSource source);
    // A tempo offered by `source`: taken when it is the chosen one and in range.
    void offer(TempoSource source, double bpm);

    // How often a chosen outside source is read: a tempo it changes is followed within this.
    static constexpr int kFollowMs = 10;
    // The grid moves to an outside source's only when they differ by more than these: what
    // a source wavers by never moves armed starts back and forth.
    static constexpr double kPhaseTolerance = 0.0005; // seconds, at the output's horizon
    static constexpr double kTempoTolerance = 0.01;   // BPM

    // The outside clock behind `source` (Link, MidiClock, JackTransport); null: this program
    // has none (the source then runs free). Not owned; it outlives the clock or is detached.
    void attach(TempoSource source, ExternalClock* clock);
    // The chosen source's clock, null when it is not an outside one or has none.
    ExternalClock* followed() const;
    // What the chosen outside source said last, read every kFollowMs; Own otherwise.
    FollowState followState() const { return m_followState; }
    const ClockReading& lastReading() const { return m_reading; }
    // Takes a reading as the poll does: the tempo within range (out of it, or not a number, the
    // reading is ignored), the beats per bar it gives, and its beat while it rolls.
    void follow(const ClockReading& reading);
    // The performer set the tempo: taken as the Typed source's, or, while Link is the source,
    // taken at once and passed to the session. False, nothing changed, when out of range.
    bool setTypedBpm(double bpm);

    double barSeconds() const override;
    // False while the output runs no frames: every start is immediate then.
    bool running() const { return m_frames.frameRate() > 0; }
    double framesPerBeat() const;
    // The beat position at `frame`, fractional.
    double beatAt(std::int64_t frame) const;
    // The frame of beat `beat`, rounded to the nearest.
    std::int64_t frameOfBeat(double beat) const;
    // The grid as it stands, for another thread: the same frames as frameOfBeat until the
    // next changed().
    BeatGrid grid() const;
    // The grid's step in beats for `q`: 1/4, 1/2, 1, a bar, two, four; 0 for Off.
    double gridBeats(Quantise q) const;
    // The first grid point of `q` at or after `notBefore`; `notBefore` itself for Off or
    // while the clock does not run.
    std::int64_t nextGridFrame(std::int64_t notBefore, Quantise q) const;
    // Now: the beat within the bar (0-based) and the bar, at the output's horizon.
    int beatInBar() const;
    std::int64_t bar() const;

signals:
    // The tempo, the beats per bar or the source changed, or the grid moved to an outside
    // source's beat: the grid from now on differs.
    void changed();
    // The follow state or the chosen source's presence, peers or rolling changed.
    void followChanged();

private:
    // Re-anchors at the horizon so the beat there stays where it is, and follows the output's
    // rate should it have changed since.
    void reanchor();
    // The anchor moved to the horizon when the output's rate is not the one it was taken at,
    // or when its frames began again from 0 (a new output).
    void followRate() const;
    void poll();

    static constexpr int kSources = static_cast<int>(TempoSource::JackTransport) + 1;
    std::array<ExternalClock*, kSources> m_externals{};
    QTimer m_poll;
    FollowState m_followState = FollowState::Own;
    ClockReading m_reading;

    const FrameClock& m_frames;
    double m_bpm = 120.0;
    int m_beatsPerBar = 4;
    TempoSource m_source = TempoSource::Typed;
    // The grid: beat m_anchorBeat falls on frame m_anchorFrame, at m_rate frames per second.
    // Mutable: a query that finds the output at another rate moves it first.
    mutable std::int64_t m_anchorFrame = 0;
    mutable double m_anchorBeat = 0.0;
    mutable int m_rate = 0;
    mutable std::int64_t m_lastHorizon = 0; // to tell an output that began counting again
};

} // namespace mt
