#pragma once

#include "osc/OscMessage.h"

#include <cstdint>
#include <string>

namespace mt {

// One thing an OSC message asks of the program, already checked: the track is 0..7, and every
// value is within the range of the control it sets.
struct OscCall {
    enum class Op : std::uint8_t {
        Press,   // the track's key down
        Release, // and up
        Play,    // starts the track (looping when set so)
        Stop,
        Toggle,    // the PLAY/STOP button
        Volume,    // value: dB, -70..0
        Pan,       // value: -40..40
        Speed,     // value: 5..9000, 4410 the file's own pace
        Loop,      // value: 0 or 1
        Hold,      // value: 0 or 1
        Quantise,  // value: a Quantise
        KeepPitch, // value: 0 (tape) or 1
        Pitch,     // value: cents, -1200..1200
        Choke,     // value: 0 none, 1 the lone-wolf group, 2..4
        Panic,
        Mute,        // value: 1 every track muted, 0 let go
        LoneWolf,    // value: 1 lone-wolf mode on, 0 off
        Tempo,       // number: BPM within the beat clock's range
        ClockSource, // value: a TempoSource
        Open,        // text: the setting file's path
        Save,        // overwrite the set's own file
        SaveAs,      // text: the path to save to
        Subscribe,   // value: 1 with the levels
        Unsubscribe,
        Ping,
    };

    Op op = Op::Ping;
    int track = -1; // -1 for calls that name none
    int value = 0;
    double number = 0.0;
    std::string text;
    OscPeer from; // the sender, where a reply goes

    bool operator==(const OscCall&) const = default;
};

// Receives the calls OscDispatch reads out of messages, on the thread that reads them.
class OscTarget {
public:
    virtual ~OscTarget() = default;
    virtual void call(const OscCall& call) = 0;
};

} // namespace mt
