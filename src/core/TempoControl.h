#pragma once

#include "core/Track.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

namespace mt {

class ReferenceBar;
class TrackBank;

// What tempo matching follows: the track marked "基準", the CD's bar, the MIDI song's bar or
// the beat clock's bar.
enum class TempoReference { Track, Cd, Midi, Clock };

// Tempo matching and the tempo lock over the track bank. Each track's ratio says how many of
// its plays fit the reference ("*2": two, "/4": a quarter). Matching sets the speeds of the
// loaded tracks with a ratio so that they fit; the lock keeps the reference track's speed for
// its reset button and, while it is on, makes the others follow a moved reference track.
// Every change of speeds is computed for all tracks first and then set once through the bank.
// Speeds are speed-bar values (tens of hertz on the 44.1 kHz scale, 4410 = the file's own).
// UI thread only.
class TempoControl final : public QObject {
    Q_OBJECT

public:
    // Tells the performer something (OK only, the program's title).
    using MessageSink = std::function<void(const QString&)>;

    TempoControl(TrackBank& bank, const ReferenceBar& cdBar, const ReferenceBar& midiBar,
                 const ReferenceBar& clockBar, MessageSink tell);

    // --- Matching --------------------------------------------------------------------------
    // Sets every loaded track with a ratio to fit the chosen reference: the CD's or the MIDI
    // song's bar, or else the last track marked "基準" (at its speed; without one, the ratio
    // times the file's own speed). A target outside 5..8995 is refused with a message naming
    // the track, which keeps its speed; the other tracks are set.
    void match();
    // A player's bar or the clock's changed: under the lock, with that reference chosen,
    // the tracks are matched to it again.
    void referenceBarChanged(TempoReference which);

    // --- The reference and the lock --------------------------------------------------------
    TempoReference reference() const { return m_reference; }
    // A player's or the clock's reference box ticked or unticked; at most one is chosen.
    void useReference(TempoReference which, bool on);
    // A track's ratio chosen by the performer; a reference it adds or takes away rules the lock.
    void chooseRatio(int index, const QString& ratio);
    bool lockOn() const { return m_lockOn; }
    // The lock can be switched while a reference exists: a track marked "基準" or a box.
    bool lockAvailable() const { return m_lockAvailable; }
    // Looks at the references again: without any, the lock goes off and unavailable.
    void updateLockAvailability();
    // On: the last marked track's speed is kept for its reset. Nothing while unavailable.
    void toggleLock();
    // Off and unavailable, as a new bank starts: every captured speed is the file's own.
    void switchLockOff();

    // --- Speeds ----------------------------------------------------------------------------
    // The performer took hold of a speed bar: under the lock every speed is kept, the speeds
    // a failed re-match returns to.
    void captureSpeeds();
    // A track's speed moved (its bar, its reset, a setting file). Under the lock, a moved
    // loaded reference track re-matches the others against its new speed: silently, and only
    // when every target lies in range. While the last re-match has failed (or none ran) and
    // no box is the reference, every speed returns to its captured value instead.
    void moveSpeed(int index, int speed);
    // The reset button: 4410, or the speed kept by the lock for the reference track.
    void resetSpeed(int index);

signals:
    // The lock, its availability or the reference changed.
    void stateChanged();

private:
    using Speeds = std::array<int, kTrackCount>;
    using Ratios = std::array<double, kTrackCount>;
    struct ReferenceTrack {
        double length44k = 0.0; // 0: no reference track, or an empty one
        double speed = 0.0;
    };

    ReferenceTrack referenceTrack(const Speeds& speeds) const;
    Ratios ratios() const;
    Speeds speeds() const;
    // The re-match against the reference track, into `speeds`; false (nothing written) when
    // a target falls outside its range.
    bool rematch(Speeds& speeds) const;
    void matchToTargets(const std::array<double, kTrackCount>& targets, const Ratios& ratio);
    void apply(const Speeds& speeds);

    TrackBank& m_bank;
    const ReferenceBar& m_cdBar;
    const ReferenceBar& m_midiBar;
    const ReferenceBar& m_clockBar;
    MessageSink m_tell;
    TempoReference m_reference = TempoReference::Track;
    bool m_lockOn = false;
    bool m_lockAvailable = false;
    // The reference speed captured when the lock went on, and every speed as it was when a
    // bar was last taken hold of under it (0 for never captured).
    int m_lockedSpeed = 0;
    Speeds m_capturedSpeeds{};
    bool m_rematchOk = false; // the last re-match set every follower; false before the first
};

} // namespace mt
