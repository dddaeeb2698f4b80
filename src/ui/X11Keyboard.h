#pragma once

#include <cstdint>

namespace mt {

// The X server's side of the performance keyboard. X11 sends a held key's auto-repeat as
// release/press pairs, and Qt marks a pair as a repeat only when both halves are already in
// its queue: a repeat release that arrives alone looks exactly like the key coming up, which
// stops a hold-mode track mid-hold. These calls talk to the server the program's windows are
// on; on any other platform (Wayland, which flags its repeats, or offscreen) they do nothing.
// UI thread only; each is one round trip to the server.
class X11Keyboard {
public:
    // Asks the server for XKB's detectable auto-repeat: a held key then repeats as presses
    // only, with no release until it really comes up. Qt does not mark those presses as
    // repeats, so the caller must recognise a press of a key that is already down. True when
    // the server agreed.
    static bool enableDetectableAutoRepeat();

    // Whether the key with this X keycode (QKeyEvent::nativeScanCode) is down at the server
    // now. False off X11.
    static bool isKeyDown(std::uint32_t keycode);
};

} // namespace mt
