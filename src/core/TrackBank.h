#pragma once

#include "core/Track.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

namespace mt {

struct WavInfo;
class BeatClock;
class TrackSound;

// The eight tracks, indexed 0 to 7 (the performer sees 1 to 8), the state the whole bank
// shares, and what a performer does with them. Every input (a button, a key, a menu) is one
// call here; the windows draw what they show from this and redraw on its signals. The
// sound goes through the TrackSound it is given. UI thread only, or a thread that has borrowed
// the core (see CoreAccess), which then has flushNotices() run on the UI thread.
class TrackBank final : public QObject {
    Q_OBJECT

public:
    explicit TrackBank(TrackSound& sound);

    const Track& track(int index) const { return m_tracks[index]; }
    bool playing(int index) const { return m_tracks[index].playing(); }
    std::int16_t selectedTrack() const { return m_selectedTrack; } // -1: none
    bool loneWolfMode() const { return m_loneWolfMode; }
    // The whole bank is silenced by the performance key M.
    bool allTracksMuted() const { return m_allTracksMuted; }
    // The bank differs from its setting file: some value that a setting file stores was
    // edited since the last markSaved(). valuesEdited() follows every edit.
    bool changed() const { return m_changed; }
    // The bank now equals its setting file (just opened, saved, or a new bank).
    void markSaved() { m_changed = false; }
    // The bank differs from its file though no value was edited (a recovered set).
    void markChanged() { edited(-1); }

    // The beat clock quantised starts land on; without one every start is immediate.
    void useClock(const BeatClock* clock) { m_clock = clock; }

    // --- Starting and stopping ------------------------------------------------------------
    // Start from the first frame with the track's mix (silent while a mute holds it); in
    // lone-wolf mode a member first silences every member, itself included. The started
    // track becomes the selection. Callers check `loaded` first.
    //
    // A track quantised to a grid (while the clock runs) is armed instead: its start is
    // scheduled at the next grid point past the output's horizon, and everything above
    // happens at that frame, the lone-wolf silence too. A looping track a whole number of
    // beats long starts where the bar grid says it would be. The performer's presses and
    // PLAY/STOP on an armed track disarm it; with stopOnGrid their stops wait for the grid.
    void play(int index);
    void playLooping(int index);
    void stop(int index);
    // The PLAY/STOP button: stops a playing track, else starts it, looping when set so.
    void toggle(int index);
    // The track's key. Held: a hold track sounds while it is down; a loop track starts, or
    // stops when it was playing; any other restarts. A press of a held key does nothing, and
    // a release always lets go of the key, even of a track cleared or reassigned meanwhile.
    void press(int index);
    void release(int index);
    // The clock's grid changed: every armed start moves to the new grid's next point.
    void regrid();
    // The output has mixed up to `frame`: armed starts and stops due by then have happened.
    void advance(std::int64_t frame);
    // Every held key and mute let go, as if the keys had come up.
    void releaseAll();
    // The key pressed with a level: a controller's velocity, in hundredths of a dB on top of
    // the Vol bar. It holds for the sound this press starts, while the bar moves, until the
    // track is next started.
    void press(int index, int gainCentiDb);

    // --- The performance keys' mutes -------------------------------------------------------
    // The whole bank, and the selected track; either holds over tracks started or turned up
    // under it until it is let go.
    void muteAll();
    void unmuteAll();
    void muteSelected();
    void unmuteSelected();
    // The volume the track sounds at, in hundredths of a dB: silence while a mute holds it.
    std::int32_t soundingVolume(int index) const;
    // Whether the track's frame shows the selected-track mute.
    bool mutedAlone(int index) const { return m_selectedTrackMuted && m_mutedTrack == index; }

    // --- Selection and the choke groups ----------------------------------------------------
    // Starting a member of a choke group silences every member of its group, itself included
    // (it then starts again), with the stop's fade. Group 1 is the lone-wolf group: it chokes
    // only while lone-wolf mode is on (F3); groups 2..kChokeGroups always do.
    void select(int index);
    // Moves the selection to the next loaded track after the current one, never wrapping:
    // -1 when there is none up to track 8. Returns the new selection.
    std::int16_t selectNextLoaded();
    void toggleLoneWolfMode();
    void setLoneWolfMember(int index, bool member);
    // Track `index` joins `group` (0: none), leaving the one it was in; an armed start stays
    // armed, now silencing its new group. Groups 2..kChokeGroups are stored with a set, so
    // joining or leaving one marks the bank changed.
    void setChokeGroup(int index, int group);
    // The selected track in or out of the group; nothing without a selection.
    void toggleSelectedLoneWolf();
    // The selected track's pan; nothing without a selection.
    void panSelected(int pan);

    // --- Files -----------------------------------------------------------------------------
    enum class Assigned { Ok, EmptyFile, Unreadable, LineBreakInPath };
    // Clears the track, takes the sound file at `path` with its title and format, selects the
    // track and loads the sound in the background (Ok). An empty file leaves the track as it
    // was, and so does a path holding a CR or LF, which no line of a setting file can hold;
    // an unreadable one leaves it cleared, and so does a load that makes no buffer.
    Assigned assign(int index, const QString& path);
    // Makes the track's sound from `path` in the background, dropping a load under way: the
    // track is loading until the buffer comes, then loaded, its length that of the sound
    // read (less than the header said when the file was cut meanwhile). When none comes,
    // `failed(track)` runs; the track stays unloaded.
    void loadSound(int index, const QString& path, std::function<void(int index)> failed = {});
    // Drops the track's load under way, or its wait for the device: it is no longer loading
    // and its result never reaches it. Tells no window.
    void cancelLoad(int index);
    // Stops and releases the track's sound and empties its file; mix, membership and key
    // state stay. The selection moves on to the next loaded track.
    void clear(int index);
    // Stops and releases the track's sound, or drops its load: no longer loaded, its file
    // fields stay.
    void unload(int index);
    // Takes the format of a file just read: rate, length and the ratios derived from them.
    // An assignment computes the 44.1 kHz length from the rate in double precision; a reload
    // as frames times the stored ratio, as setting files saved earlier were computed.
    enum class LengthFrom { Rate, Ratio };
    void takeFormat(int index, const WavInfo& info, LengthFrom lengthFrom);
    // Empties the track's file fields; membership, key state and mix stay.
    void clearFile(int index);
    // The title and path a setting file names for the track, its format not yet read (the
    // rate's ratio 1, no length). Marks the bank changed.
    void setFile(int index, const QString& fileName, const QString& path);
    // The track's file is now the same bytes at `path` (a collected copy): its title, format and
    // sound stay. Marks the bank changed.
    void movePath(int index, const QString& path);
    // The track's format unknown again (a load that made no buffer): the 44.1 kHz rate, no
    // length. Its title and path stay.
    void forgetFormat(int index);
    // Before the sound device closes: every loaded or loading track stops and lets go of its
    // buffer or its load and waits for the device (its file kept).
    void awaitDevice();
    // The device is back: true, and the track no longer waits, when it was waiting.
    bool endDeviceWait(int index);
    // The library the buffers were made in is gone or not yet open: no track is loaded or
    // playing, and each plays at the 44.1 kHz rate until its file is read again. Nothing is
    // sent to the library; files, mix and membership stay.
    void forgetSounds();

    // --- The mix ---------------------------------------------------------------------------
    // Each sends a loaded track's sound the new value and marks the bank changed; setting
    // the value it already has does nothing.
    void setVolume(int index, int volume);
    void setPan(int index, int pan);
    void setSpeed(int index, int speed); // also the playing time
    void setLoop(int index, bool loop);
    void setHold(int index, bool hold);
    void setRatio(int index, const QString& ratio);
    void setQuantise(int index, Quantise quantise);
    void setStopOnGrid(int index, bool onGrid);
    // Tape or keep-pitch, and the keep-pitch shift in cents (clamped to its range). In keep-pitch
    // mode a new speed or pitch renders a new sound in the background, once the values have
    // stood still for kRenderDelayMs (a bar being dragged renders once, when it stops); until
    // it is ready the track plays what it had, and then changes over without a click: at once
    // when silent, with a short crossfade at the same place in the music when sounding.
    void setStretch(int index, Stretch stretch);
    void setPitch(int index, int cents);
    static constexpr int kRenderDelayMs = 150;
    // The speed bar's fine steps: how the bar moves, not what the track plays, so the bank
    // is not marked changed.
    void setFineSpeed(int index, bool fine);

    // Code outside these operations changed the track's file fields: the playing time is
    // computed again and the windows are told.
    void touch(int index);
    void touchBank() { notifyBank(); }
    // Tells the windows what changed since the last time, a borrowing thread's changes too.
    // UI thread.
    void flushNotices();

    // While one lives, the windows are told of the changes once, when it ends, not at each.
    // UI thread only.
    class Batch {
    public:
        explicit Batch(TrackBank& bank);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        TrackBank& m_bank;
    };

signals:
    // What a track shows changed: its file, button, mix, membership, mute or key.
    void trackChanged(int index);
    // The selection, the lone-wolf mode or the whole-bank mute changed.
    void bankStateChanged();
    // A value a setting file stores was edited since the last time (with the changes above).
    void valuesEdited();

private:
    static constexpr std::uint32_t kBankBit = 1U << kTrackCount;
    static constexpr std::uint32_t kEditBit = 1U << (kTrackCount + 1);

    void notifyTrack(int index) { notify(1U << index); }
    // A value a setting file stores was edited (-1: the bank as a whole): the one place the
    // bank becomes changed.
    void edited(int index);
    void notifyBank() { notify(kBankBit); }
    void notify(std::uint32_t bits);
    void start(int index, bool looping);
    // Starting the track silences its group now (its group is 0 or switched off: never).
    bool chokes(int index) const;
    bool sameGroup(int index, int other) const {
        return m_tracks[other].chokeGroup == m_tracks[index].chokeGroup;
    }
    // The start asked for now lands here: -1 for at once.
    std::int64_t startGridFrame(int index) const;
    void arm(int index, bool looping, std::int64_t frame);
    // Drops the track's scheduled start and stop; true when it was armed.
    bool disarm(int index);
    // The performer's stop: on the grid when the track says so, else at once.
    void stopPressed(int index);
    // Starts the timer that runs advance() when the next scheduled frame is due. UI thread.
    void scheduleAdvance();
    void applyVolume(int index);
    // The frequency the track's sounding buffer plays at: the file's own rate for its
    // keep-pitch sound (the tempo is in the samples), the speed bar's for its own buffer.
    std::int32_t soundingFrequency(int index) const;
    // Where a loop a whole number of beats long, `frames` long at `hz`, is at output frame
    // `frame` by the bar grid; -1 for a sound that is not such a loop or no running grid.
    std::int64_t gridPhase(int index, std::int64_t frame, std::int64_t frames, double hz) const;

    // The keep-pitch sound. stretchChanged follows a new mode, speed, pitch or buffer: the
    // track's own buffer where none is needed, else a render once the values stand still.
    void stretchChanged(int index);
    void cancelRender(int index);
    // The render under way dropped and the keep-pitch sound released (unless the library
    // that made it is gone): the track sounds through its own buffer.
    void dropRender(int index, bool release = true);
    // Starts the debounce timer after stretchChanged; UI thread only.
    void scheduleRenders();
    void startRender(int index);
    // Makes `rendered` (0: none) the keep-pitch sound, carrying over what the old sound was
    // doing: sounding, armed or waiting for a stop.
    void changeSound(int index, std::int32_t rendered, int speed, int pitch);
    // A sounding track's change-over from `old` (played at `oldHz`) to its sound now; the frame
    // the old one stops at, -1 when it was silent and stopped at once.
    std::int64_t crossfade(int index, std::int32_t old, double oldHz);
    // A keep-pitch sound changed over from, released once the output has mixed its fade past
    // `until` (at once when -1 or nothing mixes), or when another is retired after it.
    void retire(int index, std::int32_t buffer, std::int64_t until);
    void releaseRetired();

    TrackSound& m_sound;
    const BeatClock* m_clock = nullptr;
    QTimer m_advanceTimer; // UI thread: runs advance() while a start or stop is scheduled
    std::array<Track, kTrackCount> m_tracks;
    std::int16_t m_selectedTrack = -1; // -1: none
    bool m_loneWolfMode = false;
    bool m_changed = false;
    // The performance keys' mutes: M silences the whole bank, N the track `m_mutedTrack`.
    bool m_allTracksMuted = false;
    bool m_selectedTrackMuted = false;
    std::int16_t m_mutedTrack = 0;
    // Each track's load under way, and a count of the loads it was given: a result that
    // comes back for an older count is not the track's any more.
    std::array<std::uint64_t, kTrackCount> m_loadIds{};
    std::array<std::uint64_t, kTrackCount> m_loadCounts{};
    // Each track's level on top of its bar for the sound now playing (0 unless a controller
    // started it), and the level the start under way takes.
    std::array<int, kTrackCount> m_triggerGain{};
    int m_nextTriggerGain = 0;
    // Renders: the tracks (bits) whose values stand waiting for the debounce timer, whether a
    // change asked for the timer to start again, each track's render under way and a count
    // of its renders, as for loads.
    QTimer m_renderTimer; // UI thread
    std::uint32_t m_renderDue = 0;
    bool m_renderTimerWanted = false;
    std::array<std::uint64_t, kTrackCount> m_renderIds{};
    std::array<std::uint64_t, kTrackCount> m_renderCounts{};
    // Each track's keep-pitch sound changed over from, fading out up to `until`.
    struct Retired {
        std::int32_t buffer = 0;
        std::int64_t until = -1;
    };
    std::array<Retired, kTrackCount> m_retired{};
    // Tracks (bit i) and the bank (kBankBit) changed and not yet told.
    std::atomic<std::uint32_t> m_notices{0};
    int m_batches = 0; // UI thread
};

} // namespace mt
