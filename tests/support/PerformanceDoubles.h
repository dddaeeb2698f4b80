#pragma once

#include "core/ReferenceBar.h"
#include "core/TapClock.h"

namespace mt::test {

// A performance's outside parts that the document tests never move: a two-second bar for the
// MIDI song and a tap clock that never runs.
struct FixedBar final : ReferenceBar {
    double barSeconds() const override { return 2.0; }
};
struct StillClock final : TapClock {
    void start() override {}
    void stop() override {}
    bool running() const override { return false; }
    std::int32_t elapsedMs() const override { return 0; }
};

} // namespace mt::test
