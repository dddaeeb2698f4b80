#pragma once

#include "media/cd/CdAudioDevice.h"
#include "media/cd/CdAudioMci.h"
#include "media/cd/CdState.h"
#include "media/cd/ModuleMCI.h"

namespace mt {

// The program's CD player: its state, the cdaudio device (drive or the chosen image) with
// its command strings, and the operations on it. The application context owns one; the CD
// panel and the keyboard work through `mci`. UI thread only.
class CdPlayer {
public:
    CdPlayer(CdAudioDevice::LibraryHandle library, ModuleMCI::Tell tell);
    CdPlayer(const CdPlayer&) = delete;
    CdPlayer& operator=(const CdPlayer&) = delete;

    // The program's end: when the device is open, stops the disc if the user asked for that
    // and a disc is in, then closes the device. Playback ends with the program either way,
    // since the disc plays through the program's own output.
    void ShutdownCD();

    CdState state;
    CdAudioDevice device;
    CdAudioMci commands{device};
    ModuleMCI mci;
};

} // namespace mt
