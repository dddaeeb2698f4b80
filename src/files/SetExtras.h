#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace mt {

// Where a quantised track's start lands: the next grid point of this size after the press.
// Off starts at once, as a track always did.
enum class Quantise : std::uint8_t { Off, Sixteenth, Eighth, Beat, Bar, TwoBars, FourBars };
inline constexpr int kQuantiseCount = 7;

// How the speed bar changes a track's sound. Tape resamples, so its pitch moves with its
// speed, as a track always played; KeepPitch plays the sound stretched to the speed's tempo at
// its own pitch, shifted by the track's pitch control.
enum class Stretch : std::uint8_t { Tape, KeepPitch };
// The pitch control's range, in cents: an octave either way.
inline constexpr int kMinPitchCents = -1200, kMaxPitchCents = 1200;

// What a set holds for one track beyond its block of the setting file.
struct TrackExtras {
    Quantise quantise = Quantise::Off;
    bool stopOnGrid = false; // a stop waits for the next grid point too; holds never do
    Stretch stretch = Stretch::Tape;
    int pitchCents = 0; // kMinPitchCents..kMaxPitchCents; heard only with KeepPitch
    // The track's choke group 2..4; 0 for none and for the lone-wolf group, which no set keeps.
    int chokeGroup = 0;

    bool operator==(const TrackExtras&) const = default;
};

// Where a track's file was when the set was saved, for finding it once the set has moved:
// its size and its path relative to the setting file's folder ("/"-separated; ".." where the
// file lies outside it). Neither is known for a track without a file or a set saved before.
struct FileHint {
    qint64 size = -1;     // bytes; -1 unknown
    QString relativePath; // "" unknown

    bool operator==(const FileHint&) const = default;
};

// Everything a set holds beyond the setting file's 72 lines: the companion file beside it.
struct SetExtras {
    std::array<TrackExtras, 8> tracks{};
    std::array<FileHint, 8> files{};

    bool operator==(const SetExtras&) const = default;
};

// The companion of the setting file at `settingPath`: "live.mrw" has "live.mrwx"; a name
// without the suffix ".mrw" has ".mrwx" added ("live" and "live.mrw", which the save dialog
// takes for one name, share theirs).
QString CompanionPath(const QString& settingPath);

// The companion's bytes: UTF-8 JSON, an object with "format": "marrowtune-set", "version": 1
// and "tracks": eight objects of "quantise" (a word: "off", "1/16", "1/8", "beat", "bar",
// "2bars", "4bars"), "stopOnGrid" (true or false), "stretch" ("tape" or "keepPitch") and
// "pitchCents" (a whole number of cents, -1200..1200), and "chokeGroup" (2..4) for a track in
// one of those groups; a track with a known file also
// "fileSize" (a whole number of bytes) and "relativePath" (a string).
QByteArray EncodeSetExtras(const SetExtras& extras);

// A companion's values. Keys it does not know (a newer version's) are passed over and a key
// that is missing is its default, neither a fault. A value of the wrong type, a word that is
// not one of the above, or bytes that are no such object at all give the default for what
// could not be read and `ok == false`.
struct DecodedSetExtras {
    SetExtras extras;
    bool ok = true;
};
DecodedSetExtras DecodeSetExtras(const QByteArray& bytes);

// The companion at `companionPath`: none there is the defaults and ok; one that is no regular
// file, cannot be read or is damaged is what DecodeSetExtras could take, `ok == false`.
// Never waits on a FIFO.
DecodedSetExtras ReadSetExtras(const QString& companionPath);

} // namespace mt
