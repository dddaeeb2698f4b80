#pragma once

namespace mt {

// Whether and where the program takes OSC, as the performer set it (the program's own settings,
// section "Osc"). Off and on 127.0.0.1 alone until the performer says otherwise.
struct OscSettings {
    bool enabled = false;
    int port = 9000;            // 0: any free port
    bool allInterfaces = false; // every network the machine is on, not 127.0.0.1 alone

    bool operator==(const OscSettings&) const = default;
};

} // namespace mt
