#pragma once

#include "core/KeyMap.h"

namespace mt {

class MediaControl;
class TrackBank;

// What each key of the performance keyboard does, pressed and let go: the track keys, the
// mutes of the bank, the selected track, the CD and the MIDI song, the CD's pause, the pan
// keys, the lone-wolf keys and the selection. The keyboard sends each key here once per
// press and once per release (repeats filtered out). UI thread only.
class PerformanceKeys {
public:
    PerformanceKeys(TrackBank& bank, MediaControl& cd, MediaControl& midi)
        : m_bank(bank), m_cd(cd), m_midi(midi) {}

    void press(const MappedKey& key);
    void release(const MappedKey& key);
    // Every held key and mute let go, as if the keys had come up: the window lost the focus.
    void releaseAll();
    // Panic: every playing track stops with the library's fade, and the CD and the MIDI song
    // stop. No box, whatever the state.
    void panic();

private:
    TrackBank& m_bank;
    MediaControl& m_cd;
    MediaControl& m_midi;
};

} // namespace mt
