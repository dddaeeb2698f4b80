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

    // Takes the file's format (the length as frames times the ratio, as setting files were
    // computed) and starts making the track's buffer again from `path`: the track is loading
    // until it is loaded (TrackBank::loadSound). False for a file that is missing or not
    // readable as a sound file: nothing of the track changes but the load, which ends in its
    // turn with the "moved or deleted" message and `failed`. A buffer the library cannot make
    // ends in `failed` too, with the library's message, or silently with no sound device.
    // `tellMissing` false: a file that is gone ends without the message.
    bool reload(int index, const QString& path, std::function<void(int index)> failed = {},
                bool tellMissing = true);

    // A setting file's block, in the file's order: speed, volume and pan, then the file
    // (its title stays even when the file is gone), then Loop, Duuk and the ratio. A track
    // that was loaded loses its sound first. `tellMissing` as for reload().
    void load(int index, const StoredTrack& stored, bool tellMissing = true);
    // The track's values from the set's companion file: quantise, stop on the grid, stretch
    // mode and pitch. For a
    // track that is not armed, as load() leaves it: an armed one would follow the new grid.
    void loadExtras(int index, const TrackExtras& extras);

    // The new command's track: no file, no ratio, the file's own speed, centre, full
    // volume, Loop and Duuk ticked, out of the lone-wolf group, not quantised.
    void reset(int index);

    // Before the sound device closes: every loaded or loading track stops and lets go of its
    // buffer or its load, and waits (its file kept) for reloadLoaded.
    void releaseSounds();
    // After the device opened again: every track waiting is reloaded from its file, which
    // may have been edited meanwhile. One that cannot be becomes empty; with no device, it
    // keeps its file for a later save.
    void reloadLoaded(bool deviceOpen);

private:
    TrackBank& m_bank;
    TrackSound& m_sound;
    Tell m_tell;
};

} // namespace mt
