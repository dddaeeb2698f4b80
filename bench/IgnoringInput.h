#pragma once

#include "midiin/PerformanceInput.h"

namespace mt::bench {

// A performance that takes every call from the MIDI input and does nothing: for benchmarks
// that measure the ports, not the tracks. Override what is timed.
class IgnoringInput : public PerformanceInput {
public:
    void press(int /*track*/, int /*gain*/) override {}
    void release(int /*track*/) override {}
    void setVolume(int /*track*/, int /*v*/) override {}
    void setPan(int /*track*/, int /*v*/) override {}
    void setSpeed(int /*track*/, int /*v*/) override {}
    void moveVolume(int /*track*/, int /*d*/) override {}
    void movePan(int /*track*/, int /*d*/) override {}
    void moveSpeed(int /*track*/, int /*d*/) override {}
    void panic() override {}
    void learned(const MidiAction& /*a*/, const MidiTrigger& /*t*/) override {}
};

} // namespace mt::bench
