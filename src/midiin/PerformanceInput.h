#pragma once

#include "midiin/MidiMapping.h"

namespace mt {

// What a MIDI controller does to the performance, as calls. Tracks are 0..7; values are in
// the units of the track's own bars: volume in dB (-70..0), pan -40..40, speed in tens of
// hertz on the 44.1 kHz scale (5..9000, 4410 = the file's own pace).
//
// Threading contract: every call comes on one of RtMidi's input threads (for JACK, the
// process thread of one of our JACK clients; for ALSA, RtMidi's reader thread), never on the
// UI thread. Calls are serialized: never two at once, in the order the messages arrived on
// each port. An implementation must return at once: it may post to the UI thread (a queued
// call) or use the core while the UI thread lends it out (CoreAccess::tryBorrow), but never
// wait on the UI thread, take a lock it holds while drawing, or touch a widget. While a call
// runs, the MIDI of every port waits behind it.
class PerformanceInput {
public:
    virtual ~PerformanceInput() = default;

    // The track's key went down (a note-on, or a pad's control change above 0), with the
    // gain the velocity curve gives, in hundredths of a dB on top of the track's volume.
    virtual void press(int track, int velocityGainCentiDb) = 0;
    // The key came up (a note-off, a note-on at velocity 0, or the pad's control change at 0).
    virtual void release(int track) = 0;

    // A knob's position.
    virtual void setVolume(int track, int volumeDb) = 0;
    virtual void setPan(int track, int pan) = 0;
    virtual void setSpeed(int track, int speed) = 0;
    // An endless encoder's turn, from wherever the bar is: one step is 1 dB, 1 pan unit, or
    // 10 speed units (the speed bar's small step).
    virtual void moveVolume(int track, int deltaDb) = 0;
    virtual void movePan(int track, int delta) = 0;
    virtual void moveSpeed(int track, int delta) = 0;

    // Every track, the preview, the CD and the MIDI song fade out.
    virtual void panic() = 0;

    // A learn finished: `trigger` now fires `action`. The mapping is the input's; store it
    // from the UI thread (MidiInput::saveSettings).
    virtual void learned(const MidiAction& action, const MidiTrigger& trigger) = 0;
};

} // namespace mt
