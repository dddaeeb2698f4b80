#pragma once

#include "midiin/MidiInput.h"

#include <QObject>

#include <array>
#include <functional>

namespace mt {

class TrackBank;
struct Track;

// What a controller does to the track bank, and the pads' lights that follow the bank. A pad
// presses and releases its track as its key would, with the velocity's gain on top of the
// Vol bar; a knob sets a bar to a position, an encoder moves it from where it is, both kept
// within the bar's range. Each pad is lit for its track's state whenever that state changes,
// whoever changed it (a key, a click, a setting file). UI thread only: whatever arrives on
// the MIDI threads is posted here.
class ControllerBank final : public QObject {
    Q_OBJECT

public:
    // Lights the track's pad for `state`.
    using Light = std::function<void(int track, PadState state)>;

    ControllerBank(TrackBank& bank, Light light);

    // The state a track's pad shows.
    static PadState padState(const Track& track);

    // Tracks outside 0..7 are ignored.
    void press(int track, int velocityGainCentiDb);
    void release(int track);
    void setVolume(int track, int volumeDb);
    void setPan(int track, int pan);
    void setSpeed(int track, int speed);
    void moveVolume(int track, int deltaDb);
    void movePan(int track, int delta);
    void moveSpeed(int track, int delta);

    // Lights the pad whatever it showed before (its port just opened, or it was just bound).
    void relight(int track);
    void relightAll();

private:
    void follow(int track, bool always);

    TrackBank& m_bank;
    Light m_light;
    std::array<int, 8> m_lit{}; // the state each pad was last lit for, -1 for none
};

} // namespace mt
