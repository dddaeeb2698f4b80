#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// Where the disc's transport stands. None: no disc has been taken in (or the tray opened
// since). A disc that plays to its end stays Playing: only the buttons change this.
enum class CdPlayState { None, Stopping, Playing, Pausing };

// The CD transport buttons, as flags of CdState::enabledButtons.
enum CdButton : unsigned {
    kCdStart = 1u << 0,
    kCdPause = 1u << 1,
    kCdStop = 1u << 2,
    kCdPrev = 1u << 3,
    kCdNext = 1u << 4,
    kCdRewind = 1u << 5,
    kCdForward = 1u << 6,
    kCdAllButtons = (1u << 7) - 1,
};

// The CD player's state, shared by the CD operations (which read it) and the CD player's
// rules (which decide every change of it); the CD panel shows it. UI thread only.
struct CdState {
    bool cdOpened = false;       // the device opened; never cleared while the program runs
    bool cdMediaPresent = false; // a disc was found; cleared when the drive reports "open"
    std::int32_t cdTrackCount = 0;
    std::int32_t cdCurrentTrack = 0; // 1-based, refreshed by the panel's watch
    CdPlayState cdPlayState = CdPlayState::None;
    unsigned enabledButtons = 0;    // CdButton flags: which transport buttons may be pressed
    std::int32_t cdTimeInTrack = 0; // ms into the current track, as the watch last read it
    bool loopOn = false;            // the A-B loop box's tick; it loops only while B > A
    std::int32_t cdLoopStart = 0;   // A mark, ms from the start of the current track
    std::int32_t cdLoopEnd = 0;     // B mark, ms from the start of the current track
    std::int32_t cdSeekStep = 3000; // fast-forward and rewind step in ms
    bool cdMuted = false;           // both channels switched off by MuteCD
    bool stopCdOnExit = false;      // stored setting "EndCDEnd"

    // The disc image played instead of a drive (.cue, .toc or .nrg); empty = the default
    // drive. A setting of the program's own section.
    QString imagePath;
};

} // namespace mt
