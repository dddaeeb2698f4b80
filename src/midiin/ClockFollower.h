#pragma once

#include "core/ExternalClock.h"
#include "midiin/MidiParser.h"

#include <array>
#include <cstdint>

namespace mt {

// What a MIDI clock says of tempo and beat, from its messages and the frames they arrived at.
// The tempo is the slope of a least-squares line through the last ticks (up to two bars of
// 4/4), steady through a sender's jitter; when the ticks leave that line on one side for a run
// of them (a real tempo change) the line begins again from the run, so a change is followed
// within about a beat. The beat of a tick is Song Position / 4 plus the ticks since Start or
// Continue / 24: after Start the first tick is beat 0. Rolling from Start or Continue to Stop;
// ticks before any Start give the tempo only.
//
// Bad input is ignored, never followed into a runaway tempo, and noted once per kind in
// faults(): ticks closer than half a tick at kMaxBpm (a tick twice, or a storm of them); a tick
// a fraction of the spacing after the last, when the next comes a spacing after that one
// (doubled); one two or more spacings after it, counted as that many (ticks lost) unless the
// next is as far again (the tempo fell); a line outside kMinBpm..kMaxBpm by more than a
// sender's jitter takes it (the reading keeps the last tempo in range and is not present);
// Song Position at its maximum, which a sender past it sends too (our own count carries on); a
// second source while the first ticks (the first that ticks is followed until it goes quiet).
//
// Pure and small: no allocation, lock or system call, for JACK's process thread. One thread at
// a time.
class ClockFollower {
public:
    static constexpr int kTicksPerBeat = 24;
    static constexpr double kMinBpm = 20.0; // the beat clock's range
    static constexpr double kMaxBpm = 300.0;
    // A source with no tick for this long is gone.
    static constexpr double kQuietSeconds = 0.5;
    // Ticks the line is fitted through at most, and at least before its tempo is taken.
    static constexpr int kWindow = 192;
    static constexpr int kMinFit = 12;
    // Ticks in a row off the line on one side that make it begin again.
    static constexpr int kRunToRefit = 6;

    enum class Fault : std::uint8_t {
        TempoOutOfRange,
        TickStorm,
        DoubledTick,
        LostTick,
        NoStart,
        SongPositionAtMaximum,
        SecondSource,
    };
    static constexpr int kFaultKinds = 7;

    // `event` from the source `source` (anything that tells sources apart) arrived at frame
    // `frame` of a timeline of `rate` frames a second. A new rate is a new timeline: the line
    // begins again there, the tempo kept. True when it was a tick, taken onto the line.
    bool take(const MidiClockEvent& event, const void* source, double frame, int rate) noexcept;

    // As of the last message taken; `present` says nothing of the time since (see quiet()).
    ClockReading reading() const noexcept;
    // No tick from the source followed for kQuietSeconds by frame `now` of the same timeline.
    bool quiet(double now) const noexcept;
    // The faults seen so far, bit n for Fault n.
    std::uint32_t faults() const noexcept { return m_faults; }
    // One line for a log, in English.
    static const char* faultText(Fault fault) noexcept;

private:
    struct Tick {
        std::int64_t index = 0; // ticks counted since the timeline began, lost ones included
        double frame = 0.0;
    };

    // A tick that arrived: false when it was refused, or held until the next one tells.
    bool tick(double frame) noexcept;
    // Takes a tick onto the line, `step` ticks after the last.
    void add(double frame, int step) noexcept;
    // Drops every tick on the line but the last `keep`.
    void refit(int keep) noexcept;
    void fit() noexcept;
    // The source followed changed or went quiet: its transport and line are forgotten.
    void forgetSource() noexcept;
    void note(Fault fault) noexcept { m_faults |= 1U << static_cast<unsigned>(fault); }
    double framesPerTick(double bpm) const noexcept;

    std::uint32_t m_faults = 0;
    const void* m_source = nullptr; // null: none ticks yet
    int m_rate = 0;

    // The line: the ticks on it, oldest first from m_first, in a ring.
    std::array<Tick, kWindow> m_ticks{};
    int m_first = 0;
    int m_count = 0;
    double m_slope = 0.0;  // frames per tick; 0 while fewer than kMinFit ticks are on it
    double m_offset = 0.0; // the line at the last tick, less that tick's frame
    double m_spread = 0.0; // the ticks' RMS distance from it, in frames
    int m_run = 0;         // ticks in a row off the line on side m_runSide
    int m_runSide = 0;
    int m_lost = 0;            // ticks guessed lost before the last one
    bool m_guessMoved = false; // ...which moved the song position for them
    bool m_doubtful = false;   // a tick came too soon after the last: the same one again?
    double m_doubtfulFrame = 0.0;
    bool m_haveReceived = false;
    bool m_stormRun = false; // the last tick received was refused as too close
    double m_received = 0.0; // its frame
    bool m_haveTick = false;
    Tick m_last; // the last tick taken

    // Transport, in ticks of the song.
    bool m_rolling = false;
    bool m_everRolled = false;    // since the source was taken
    bool m_awaitingFirst = false; // Start or Continue came, no tick since
    bool m_exactNext = false;     // the next tick is at m_position, whatever was lost before it
    double m_startFrame = 0.0;
    std::int64_t m_position = 0;     // the song position of the next tick while rolling
    std::int64_t m_lastPosition = 0; // of the last tick

    // What reading() gives: the last tempo in range, and its line.
    double m_bpm = 0.0;
    bool m_outOfRange = false;
    std::int64_t m_lineFrame = 0;
    double m_lineBeat = 0.0;
};

} // namespace mt
