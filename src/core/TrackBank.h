#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace mt {

struct WavInfo;

inline constexpr int kTrackCount = 8;

// The eight tracks' state, indexed 0 to 7 (the performer sees 1 to 8). A track's volume, pan
// and speed are not here: they are the values of its scroll bars. UI thread only.
struct TrackBank {
    TrackBank();

    template <typename T> using PerTrack = std::array<T, kTrackCount>;

    PerTrack<QString> trackPath;            // full path of the WAV file
    PerTrack<QString> trackFileName;        // file name alone, the track's title
    PerTrack<std::int32_t> trackBuffer;     // sound buffer handle; 0 when creation failed
    PerTrack<bool> trackLoaded;             // holds a playable file
    PerTrack<float> trackRateRatio;         // 44100 / the file's rate
    PerTrack<std::int32_t> trackSampleRate; // Hz
    PerTrack<float> trackFrames;            // length in the file's own frames
    PerTrack<float> trackLength44k;         // length in frames at 44.1 kHz
    PerTrack<bool> trackKeyDown;            // the track's key is held
    PerTrack<bool> trackLoneWolf;           // member of the lone-wolf group
    PerTrack<double> trackDuration;         // seconds at the current speed, 3 decimals

    std::int16_t selectedTrack = -1; // -1: none
    std::int16_t popupTrack = 0;     // the track whose number label was last right-clicked
    bool loneWolfMode = false;
    QString browserFilePath;  // the file selected in the browser, "" before the first click
    bool bankChanged = false; // the bank differs from its setting file

    // The performance keys' mutes: M silences the whole bank, N the track `mutedTrack`.
    bool allTracksMuted = false;
    bool selectedTrackMuted = false;
    std::int16_t mutedTrack = 0;

    // The volume the track sounds at, in hundredths of a dB: silence while a mute holds it,
    // else `barVolume`. Every start and every volume change goes through this, so a track
    // started or turned up under a held mute stays silent until the mute is let go.
    std::int32_t soundingVolume(int index, std::int32_t barVolume) const;

    // Takes the format of a file just read: rate, length and the ratios derived from them.
    // An assignment computes the 44.1 kHz length from the rate in double precision; a reload
    // as frames times the stored ratio, as setting files saved earlier were computed.
    enum class LengthFrom { Rate, Ratio };
    void takeFormat(int index, const WavInfo& info, LengthFrom lengthFrom);

    // Empties the track's file fields; membership, key state and mix controls stay.
    void clearFile(int index);

    // Moves the selection to the next loaded track after the current one, never wrapping:
    // -1 when there is none up to track 8. Returns the new selection.
    std::int16_t selectNextLoaded();
};

// Seconds that `length44k` frames at 44.1 kHz play for at speed-bar value `speed` (tens of
// hertz on the 44.1 kHz scale), rounded half up to 3 decimals.
double TrackDurationSeconds(float length44k, int speed);

// "(" + number + ")トラックのＷＡＶは移動もしくは削除されています。割り当て直してください"
QString TrackMovedMessage(int index);

} // namespace mt
