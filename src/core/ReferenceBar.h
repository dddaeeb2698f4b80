#pragma once

namespace mt {

// A player beside the tracks whose bar tempo matching can follow: the CD or the MIDI song.
// UI thread only.
class ReferenceBar {
public:
    virtual ~ReferenceBar() = default;

    // Seconds per bar of four beats, as the player now stands.
    virtual double barSeconds() const = 0;
};

} // namespace mt
