#pragma once

#include "core/BeatGrid.h"

#include <cstdint>

namespace mt {

// What a clock outside the program said last, placed on the output's frames: its beat `beat`
// falls on the output's frame `frame` and its beats go on at `bpm` from there; its bars start
// at every multiple of `beatsPerBar` beats.
struct ClockReading {
    // The source is there and its tempo holds: a Link peer in the session, MIDI clock ticks
    // arriving, a JACK timebase master. False: what follows is what it said last, if anything.
    bool present = false;
    // Its beat moves on: Link always; MIDI clock between Start (or Continue) and Stop; JACK
    // transport while it rolls. False: only its tempo is followed, the beat runs on free.
    bool rolling = false;
    double bpm = 0.0;
    std::int64_t frame = 0;
    double beat = 0.0;
    int beatsPerBar = 0; // 0: the source does not say; the beat clock's own stands
    int peers = 0;       // Link: the other peers in the session
};

// A clock the beat clock follows: Ableton Link, MIDI clock in, JACK transport. Each listens
// on threads of its own and keeps its latest reading for the UI thread, which polls it.
// Every method is for the UI thread and returns at once.
class ExternalClock {
public:
    virtual ~ExternalClock() = default;

    virtual ClockReading read() const = 0;
    // The performer set the tempo here while this source is followed: one that takes tempo
    // from its peers too (Link) passes it on; the rest keep the tempo they hear.
    virtual void offerTempo(double bpm) { static_cast<void>(bpm); }
    // The beat clock's grid changed (any source): one that sends our beat out (JACK as the
    // timebase master) sends this one from now on.
    virtual void followGrid(const BeatGrid& grid) { static_cast<void>(grid); }
};

} // namespace mt
