#pragma once

#include <QString>

#include <cstdint>

namespace mt {

// The CD player's state, shared by the CD operations (which read it) and the CD panel (which
// decides every change of it). UI thread only.
struct CdState {
    bool cdOpened = false;       // the device opened; never cleared while the program runs
    bool cdMediaPresent = false; // a disc was found; cleared when the drive reports "open"
    std::int32_t cdTrackCount = 0;
    std::int32_t cdCurrentTrack = 0; // 1-based, refreshed by the panel's watch
    QString cdPlayState;             // "PLAYING", "PAUSING", "STOPPING", empty before a disc
    std::int32_t cdLoopStart = 0;    // A mark, ms from the start of the current track
    std::int32_t cdLoopEnd = 0;      // B mark, ms from the start of the current track
    std::int32_t cdSeekStep = 3000;  // fast-forward and rewind step in ms
    bool cdMuted = false;            // both channels switched off by MuteCD
    bool stopCdOnExit = false;       // stored setting "EndCDEnd"

    double cdBarSeconds = 2.0;     // one bar of four beats of the CD, in seconds
    double cdBarSecondsBase = 0.0; // the part of a millisecond the up-down cannot hold
    float cdBpm = 120.0f;          // 240 / cdBarSeconds, three decimals

    // The disc image played instead of a drive (.cue, .toc or .nrg); empty = the default
    // drive. A setting of the program's own section.
    QString imagePath;
};

} // namespace mt
