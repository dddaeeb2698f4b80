#pragma once

#include "media/cd/CdAudioDevice.h"
#include "media/cd/CdAudioMci.h"
#include "media/cd/CdCommands.h"
#include "media/cd/CdState.h"

#include <QObject>
#include <QTimer>

namespace mt {

// The program's CD player: its state, the cdaudio device (drive or the chosen image) with
// its command strings, the operations on it, and the rules a performer's presses follow:
// which transport buttons may be pressed, what each does to the state, the 300 ms watch that
// takes a disc in, follows the track and performs the A-B loop, and the keyboard's mute and
// pause. A failing device command is reported by the operations and changes no state. The
// application context owns one; the CD panel shows it and redraws on `changed`. UI thread
// only; an operation waits for the device's replies.
class CdPlayer final : public QObject {
    Q_OBJECT

public:
    static constexpr int kWatchMs = 300;

    CdPlayer(CdAudioDevice::LibraryHandle library, CdCommands::Tell tell);
    CdPlayer(const CdPlayer&) = delete;
    CdPlayer& operator=(const CdPlayer&) = delete;

    // The program's end: when the device is open, stops the disc if the user asked for that
    // and a disc is in, then closes the device. Playback ends with the program either way,
    // since the disc plays through the program's own output.
    void ShutdownCD();

    // Showing the media panel: while the device is not open, opens it (a failure is
    // reported), takes a disc in if there is one, and starts the watch, which from then on
    // runs until the program ends and opens the device quietly when it can. An image is
    // checked by its probe first, alongside: the first watch after the verdict opens it (or
    // reports the refusal) as this would have. Never waits for the probe.
    void openOnShow();
    // One look at the drive; `watchTimer` runs it. A message box it shows runs the event
    // loop, and a tick under it does nothing, so a failing drive shows one box at a time.
    void watch();

    bool canPress(CdButton button) const { return (state.enabledButtons & button) != 0; }
    // The chosen disc image is with its probe: no disc yet, and no verdict.
    bool checkingImage() const { return device.checkingImage(); }
    // Plays from a pause or a stop; nothing in another state.
    void start();
    // Pauses a playing disc; nothing in another state.
    void pause();
    // Stops at the start of the current track, in any state.
    void stop();
    void next();
    void previous();
    void forward();
    void rewind();
    // The A and B marks: the time in the current track now; nothing without a disc.
    void markLoopStart();
    void markLoopEnd();
    // The loop box can be ticked only while B lies after A.
    bool loopAvailable() const { return state.cdLoopEnd > state.cdLoopStart; }
    void setLoopOn(bool on);

    // The pause key: pauses a playing disc, resumes a paused one, as its buttons would.
    void pauseOrResume();
    // The mute key, held: both channels off; nothing when no device is open, so no box
    // interrupts a show. Let go (or the window left): both channels on again.
    void muteOn();
    void muteOff();

    CdState state;
    CdAudioDevice device;
    CdAudioMci commands{device};
    CdCommands mci;
    QTimer watchTimer;

signals:
    // Anything the CD panel shows changed.
    void changed();

private:
    void takeDiscIn();
    void openAndTakeIn();
    void clearForOpenTray();
    void watchOnce();

    bool m_inWatch = false;
    bool m_openWhenChecked = false; // the shown panel's open waits for the probe's verdict
};

} // namespace mt
