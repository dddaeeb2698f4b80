#pragma once

namespace mt {

// What a key of the performance keyboard stands for.
enum class PerformanceKey {
    None,
    Track,          // with a track number 1..8
    MuteAll,        // M
    MuteSelected,   // N
    MuteCd,         // G
    MuteMidi,       // K
    PauseCd,        // B
    LoneWolfMode,   // F3
    PanLeft,        // F6
    PanCentre,      // F7
    PanRight,       // F8
    LoneWolfMember, // O
    NextTrack,      // Ctrl
};

struct MappedKey {
    PerformanceKey key = PerformanceKey::None;
    int track = 0; // 1..8 for PerformanceKey::Track, else 0
};

// Maps a Qt key code and whether it came from the numeric keypad. Tracks: Z X C A S D W E and
// keypad 1..8; with Num Lock off the keypad sends End, Down, PageDown, Left, Clear, Right,
// Home and Up for 1..8, mapped too. Keys outside the table map to None.
MappedKey MapPerformanceKey(int qtKey, bool keypad);

} // namespace mt
