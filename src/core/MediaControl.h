#pragma once

namespace mt {

// What the performance keys do to a media player beside the tracks (the CD, the MIDI song).
// The player decides what applies in its state: a key never shows a box or starts a player
// that has nothing loaded. UI thread only.
class MediaControl {
public:
    virtual ~MediaControl() = default;

    // The mute key held: the player is silenced until muteOff.
    virtual void muteOn() = 0;
    // The mute key let go: the player is heard again.
    virtual void muteOff() = 0;
    virtual bool muted() const = 0;
    // The pause key: pauses a playing player, resumes a paused one.
    virtual void pauseOrResume() = 0;
    // The panic action: a playing or paused player stops; nothing in another state.
    virtual void stopPlaying() = 0;
};

} // namespace mt
