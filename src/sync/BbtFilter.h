#pragma once

#include <jack/transport.h>

#include <cstdint>

namespace mt {

// Where a timebase master's beat stood at the start of one cycle.
struct TransportBeat {
    bool present = false; // a master gives BBT in this cycle
    bool rolling = false;
    bool placed = false; // beat, frame and micros hold a BBT that was taken
    double bpm = 0.0;    // 20..300
    double beat = 0.0;   // from 0 at bar 1 beat 1; at JACK's frame time `frame`
    std::uint32_t frame = 0;
    std::uint64_t micros = 0; // JACK's clock (jack_get_time) at `frame`
    int beatsPerBar = 0;
};

// A master's BBT, checked cycle by cycle before it is followed. A cycle whose BBT cannot be a
// beat (no tempo, beats per bar not a whole number from 1 to 16, a beat or tick outside its
// bar or beat) is ignored, and so is one whose beat leaves the line the last one set (the
// beat at the last transport frame, on at its tempo) until the next cycle goes on from it: a
// relocation or a tempo change is followed a cycle late, a master whose BBT jumps about never.
// A tempo outside 20..300 BPM is clamped. Process thread only; never blocks.
class BbtFilter {
public:
    // What was wrong with a cycle's BBT, a bit for each kind.
    enum Fault : unsigned {
        kNoTempo = 1U << 0,         // 0, negative, not a number: ignored
        kTempoOutOfRange = 1U << 1, // clamped
        kBeatsPerBar = 1U << 2,     // ignored
        kPosition = 1U << 3,        // ticks per beat not positive, beat or tick out of range
        kJumps = 1U << 4,           // a jump the next cycle did not go on from: ignored
    };
    static constexpr int kFaultKinds = 5;
    // A beat this far off the line is a jump.
    static constexpr double kJumpBeats = 1.0 / 32.0;

    // What the BBT said before says nothing of what comes next (another master, a new server).
    void reset() noexcept { m_hasLast = m_hasPending = false; }
    // The cycle at JACK's frame time `frame`, clock `micros`: `beat` becomes what it says, as
    // far as it holds. The faults found in it.
    unsigned take(jack_transport_state_t state, const jack_position_t& position,
                  std::uint32_t frame, std::uint64_t micros, TransportBeat& beat) noexcept;
    // For the log: what a fault means, in a few words.
    static const char* describe(Fault fault) noexcept;

private:
    // A beat at a transport frame, going on at a tempo.
    struct Line {
        double transportFrame = 0.0;
        double beat = 0.0;
        double beatsPerFrame = 0.0;
        bool holds(const Line& next) const noexcept;
    };

    Line m_last;
    Line m_pending; // a jump, taken if the next cycle goes on from it
    bool m_hasLast = false;
    bool m_hasPending = false;
};

} // namespace mt
