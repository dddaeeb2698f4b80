#pragma once

#include "core/Track.h"

#include <QString>

#include <functional>

namespace mt {

class TrackBank;
class TrackSound;

// What a setting file keeps of one track.
struct StoredTrack {
    int speed = kNormalSpeed;
    int volume = 0;
    int pan = 0;
    QString fileName;
    QString path;
    bool loop = true;
    bool hold = true;
    QString ratio;
};

// Rebuilding tracks from files on disk: a setting file's blocks, the empty bank of the new
// command, and every loaded track again once the sound device is back after the waveform
// editor had it. Each value goes through the bank's own setter, so the windows redraw from
// the bank and the sound follows. A file that is gone is told to the performer, track by
// track in order, as it is met. UI thread only; a reload blocks while the file is decoded.
class BankLoader {
public:
    using Tell = std::function<void(const QString& message)>;

    BankLoader(TrackBank& bank, TrackSound& sound, Tell tell);

    // Makes the track's buffer again from `path` and takes the file's format (the length as
    // frames times the ratio, as setting files were computed); the caller sets the loaded
    // flag. False, with nothing of the track changed, when no buffer was made: for a file
    // that is missing or not readable as WAV with the "moved or deleted" message, for one
    // the library cannot decode with the library's message, with no sound device silently.
    bool reload(int index, const QString& path);

    // A setting file's block, in the file's order: speed, volume and pan, then the file
    // (its title stays even when the file is gone), then Loop, Duuk and the ratio. A track
    // that was loaded loses its sound first.
    void load(int index, const StoredTrack& stored);

    // The new command's track: no file, no ratio, the file's own speed, centre, full
    // volume, Loop and Duuk ticked, out of the lone-wolf group.
    void reset(int index);

    // Before the sound device closes: every loaded track stops and lets go of its buffer,
    // staying loaded so that reloadLoaded makes it again.
    void releaseSounds();
    // After the device opened again: every loaded track is reloaded from its file, which
    // may have been edited meanwhile. One that cannot be becomes empty; with no device, it
    // keeps its file for a later save.
    void reloadLoaded(bool deviceOpen);

private:
    TrackBank& m_bank;
    TrackSound& m_sound;
    Tell m_tell;
};

} // namespace mt
